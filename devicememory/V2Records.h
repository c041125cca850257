#pragma once
// The records of a version-2 audio flash, little-endian and packed: the root at address 0,
// then the fragment, scenario and name tables. The records carry no ids: a fragment's or a
// scenario's id is its place in its table, counted from 0. Names are UTF-16 texts without a
// terminator, their lengths counted in code units.

#include <cstdint>

namespace device::v2::memory {

struct root_t {
    static constexpr std::uint32_t size = 19;
    std::uint8_t version = 0;
    std::uint32_t fragmentTable = 0;
    std::uint16_t fragmentCount = 0;
    std::uint32_t scenarioTable = 0;
    std::uint16_t scenarioCount = 0;
    std::uint32_t nameTable = 0;
    std::uint16_t nameCount = 0;

    static root_t read(const std::uint8_t* bytes);
    void write(std::uint8_t* bytes) const;
};

struct fragment_t {
    static constexpr std::uint32_t size = 10;
    std::uint32_t address = 0;
    std::uint32_t dataSize = 0;
    std::int16_t nameId = 0;

    static fragment_t read(const std::uint8_t* bytes);
    void write(std::uint8_t* bytes) const;
};

struct scenario_t {
    static constexpr std::uint32_t size = 10;
    std::uint16_t value = 1;
    std::int16_t gongId = 0;
    std::int16_t fragmentId = 0;
    std::uint16_t repeatPeriod = 0;
    std::int16_t nameId = 0;

    static scenario_t read(const std::uint8_t* bytes);
    void write(std::uint8_t* bytes) const;
};

struct name_t {
    static constexpr std::uint32_t size = 10;
    std::int16_t id = 0;
    std::uint32_t length = 0;  // UTF-16 code units of the text
    std::uint32_t address = 0;

    static name_t read(const std::uint8_t* bytes);
    void write(std::uint8_t* bytes) const;
};

}  // namespace device::v2::memory
