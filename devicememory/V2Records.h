#pragma once
// The records of a version-2 audio flash, little-endian and packed: the root at address 0,
// then the fragment, scenario and name tables. The records carry no ids: a fragment's or a
// scenario's id is its place in its table, counted from 0. Names are UTF-16 texts without a
// terminator, their lengths counted in code units.

#include <cstdint>
#include <tuple>

#include "devicememory/PackedRecord.h"
#include "devicememory/RootTables.h"

namespace device::v2::memory {

struct root_t : device::memory::PackedRecord<root_t>, device::memory::RootTables {
    static constexpr std::uint32_t size = 19;
    std::uint8_t version = 0;

    template <class Record>
    static auto fields(Record& r) {
        return std::tuple_cat(std::tie(r.version), tables(r));
    }
};

struct fragment_t : device::memory::PackedRecord<fragment_t> {
    static constexpr std::uint32_t size = 10;
    std::uint32_t address = 0;
    std::uint32_t dataSize = 0;
    std::int16_t nameId = 0;

    template <class Record>
    static auto fields(Record& r) {
        return std::tie(r.address, r.dataSize, r.nameId);
    }
};

struct scenario_t : device::memory::PackedRecord<scenario_t> {
    static constexpr std::uint32_t size = 10;
    std::uint16_t value = 1;
    std::int16_t gongId = 0;
    std::int16_t fragmentId = 0;
    std::uint16_t repeatPeriod = 0;
    std::int16_t nameId = 0;

    template <class Record>
    static auto fields(Record& r) {
        return std::tie(r.value, r.gongId, r.fragmentId, r.repeatPeriod, r.nameId);
    }
};

// The length comes before the address, unlike in version 4.
struct name_t : device::memory::PackedRecord<name_t> {
    static constexpr std::uint32_t size = 10;
    std::int16_t id = 0;
    std::uint32_t length = 0;  // UTF-16 code units of the text
    std::uint32_t address = 0;

    template <class Record>
    static auto fields(Record& r) {
        return std::tie(r.id, r.length, r.address);
    }
};

}  // namespace device::v2::memory
