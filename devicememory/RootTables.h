#pragma once
// Where a root record says the three tables lie and how many records each holds, in the order
// of every layout's root.

#include <cstdint>
#include <tuple>

namespace device::memory {

struct RootTables {
    std::uint32_t fragmentTable = 0;
    std::uint16_t fragmentCount = 0;
    std::uint32_t scenarioTable = 0;
    std::uint16_t scenarioCount = 0;
    std::uint32_t nameTable = 0;
    std::uint16_t nameCount = 0;

    template <class Record>
    static auto tables(Record& r) {
        return std::tie(r.fragmentTable, r.fragmentCount, r.scenarioTable, r.scenarioCount, r.nameTable,
                        r.nameCount);
    }
};

}  // namespace device::memory
