#pragma once
// One zone of a microphone console, as the console keeps it and the registry's zone bindings
// read it: the console's zone number, the virtual zone its loudspeakers listen to, the scenario
// it may carry and the device numbers of its loudspeakers.

#include <cstdint>
#include <map>
#include <set>

namespace device {

struct ConsoleZone {
    int zoneNumber = 0;
    int virtualZone = 0;
    // The scenario bound to the zone; noScenario for none.
    int scenario = -1;
    std::set<std::uint32_t> addresses;

    static constexpr int noScenario = -1;
};

// A console's zones by zone number.
using ConsoleZones = std::map<int, ConsoleZone>;

}  // namespace device
