#pragma once
// The list replies of a microphone console, each read whole: every number within its bounds,
// and a reply with one entry that does not read refused as a whole
// (exception::UnexpectedResponseOfDevice with the reply), never taken in part. Also the zone
// binding command, which the console takes in one line of bounded length.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "devicelink/ConsoleZone.h"

namespace device::tribel {

constexpr int highestZone = 20;
constexpr int lowestVirtualZone = 1;
constexpr int highestVirtualZone = 1023;
// Loudspeakers are named by the 24-bit device number.
constexpr std::uint32_t highestZoneAddress = 0xFFFFFF;
constexpr std::size_t longestBindCommand = 1395;

// "zoneList all": the zones without their scenarios (those come from "zoneScList"); "no" for
// none. Each record is the zone number, the virtual zone and the hexadecimal addresses.
ConsoleZones readZoneList(const std::string& reply);
// "zoneScList": zone number to scenario; "no" for none.
std::map<int, int> readZoneScenarios(const std::string& reply);
// "zoneOffList": zone numbers; "no" for none.
std::set<int> readZoneNumbers(const std::string& reply);

struct ZoneMemory {
    std::uint32_t size = 0;
    std::uint32_t free = 0;
};
// "zoneSizeGet": "size(free)"; nothing when it does not read.
std::optional<ZoneMemory> readZoneSize(const std::string& reply);

// "zoneBind zone virtualZone " and every address in ascending order, each ending with ",".
std::string makeZoneBindCommand(int zoneNumber, int virtualZone, const std::set<std::uint32_t>& addresses);

struct PasskeyList {
    std::vector<std::string> keys;
    // The console is learning a key.
    bool listening = false;
};
// "passkeyList": the keys, each hexadecimal text, and the word "listening" among them while the
// console learns one; "no" for none.
PasskeyList readPasskeyList(const std::string& reply);

}  // namespace device::tribel
