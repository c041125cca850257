#pragma once
// The records of a version-4 audio flash, little-endian and packed: the root at address 0,
// then the fragment, scenario and name tables. The model keeps its records in these types
// for every layout; each layout reads and writes its own bytes.

#include <cstdint>
#include <tuple>

#include "devicememory/PackedRecord.h"
#include "devicememory/RootTables.h"

namespace device::v4::memory {

struct Root : device::memory::PackedRecord<Root>, device::memory::RootTables {
    static constexpr std::uint32_t size = 24;
    std::uint16_t version = 0;
    std::uint32_t checksum = 0;

    template <class Record>
    static auto fields(Record& r) {
        return std::tuple_cat(std::tie(r.version), tables(r), std::tie(r.checksum));
    }
};

struct Fragment : device::memory::PackedRecord<Fragment> {
    static constexpr std::uint32_t size = 18;
    std::int16_t id = 0;
    std::uint16_t order = 0;
    std::uint32_t address = 0;
    std::uint32_t dataSize = 0;
    std::uint32_t dataCrc = 0;
    std::int16_t nameId = 0;

    template <class Record>
    static auto fields(Record& r) {
        return std::tie(r.id, r.order, r.address, r.dataSize, r.dataCrc, r.nameId);
    }
};

struct Scenario : device::memory::PackedRecord<Scenario> {
    static constexpr std::uint32_t size = 14;
    std::int16_t id = 0;
    std::uint16_t order = 0;
    std::uint16_t value = 1;
    std::int16_t gongId = 0;
    std::int16_t fragmentId = 0;
    std::uint16_t repeatPeriod = 0;
    std::int16_t nameId = 0;

    template <class Record>
    static auto fields(Record& r) {
        return std::tie(r.id, r.order, r.value, r.gongId, r.fragmentId, r.repeatPeriod, r.nameId);
    }
};

struct Name : device::memory::PackedRecord<Name> {
    static constexpr std::uint32_t size = 10;
    std::int16_t id = 0;
    std::uint32_t address = 0;
    std::uint32_t length = 0;  // bytes of the text, its NUL included

    template <class Record>
    static auto fields(Record& r) {
        return std::tie(r.id, r.address, r.length);
    }
};

}  // namespace device::v4::memory
