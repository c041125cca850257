#pragma once
// The records of a version-4 audio flash, little-endian and packed: the root at address 0,
// then the fragment, scenario and name tables. The model keeps its records in these types
// for every layout; each layout reads and writes its own bytes.

#include <cstdint>

namespace device::v4::memory {

struct Root {
    static constexpr std::uint32_t size = 24;
    std::uint16_t version = 0;
    std::uint32_t fragmentTable = 0;
    std::uint16_t fragmentCount = 0;
    std::uint32_t scenarioTable = 0;
    std::uint16_t scenarioCount = 0;
    std::uint32_t nameTable = 0;
    std::uint16_t nameCount = 0;
    std::uint32_t checksum = 0;

    static Root read(const std::uint8_t* bytes);
    void write(std::uint8_t* bytes) const;
};

struct Fragment {
    static constexpr std::uint32_t size = 18;
    std::int16_t id = 0;
    std::uint16_t order = 0;
    std::uint32_t address = 0;
    std::uint32_t dataSize = 0;
    std::uint32_t dataCrc = 0;
    std::int16_t nameId = 0;

    static Fragment read(const std::uint8_t* bytes);
    void write(std::uint8_t* bytes) const;
};

struct Scenario {
    static constexpr std::uint32_t size = 14;
    std::int16_t id = 0;
    std::uint16_t order = 0;
    std::uint16_t value = 1;
    std::int16_t gongId = 0;
    std::int16_t fragmentId = 0;
    std::uint16_t repeatPeriod = 0;
    std::int16_t nameId = 0;

    static Scenario read(const std::uint8_t* bytes);
    void write(std::uint8_t* bytes) const;
};

struct Name {
    static constexpr std::uint32_t size = 10;
    std::int16_t id = 0;
    std::uint32_t address = 0;
    std::uint32_t length = 0;  // bytes of the text, its NUL included

    static Name read(const std::uint8_t* bytes);
    void write(std::uint8_t* bytes) const;
};

}  // namespace device::v4::memory
