#include "devices/TribelReplies.h"

#include <cstdio>

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceReply.h"
#include "devices/ListReplies.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/Validators.h"

namespace device::tribel {
namespace {

constexpr const char* noEntries = "no";
constexpr const char* listeningWord = "listening";
// Longer than any key a console reader presents.
constexpr std::size_t longestKey = 64;
constexpr int highestScenario = 0x7FFE;
constexpr std::int64_t largestU32 = 0xFFFFFFFF;

// The pieces between the separators; an empty last piece (a separator at the end) is dropped.
std::vector<std::string> split(const std::string& text, const char* separators) {
    std::vector<std::string> pieces = splitList(text, separators);
    if (pieces.back().empty()) pieces.pop_back();
    return pieces;
}

bool readNumber(const std::string& text, int& value, int lowest, int highest) {
    std::int64_t number = 0;
    if (!DeviceBase::parseIntValue(text, number, lowest, highest)) return false;
    value = static_cast<int>(number);
    return true;
}

[[noreturn]] void refuse(const wchar_t* line, const std::string& part, const std::string& reply) {
    debug::Place("device::TribelInfo::initZones").external(line, part);
    throw exception::UnexpectedResponseOfDevice(reply);
}

[[noreturn]] void refuseList(const char* place, const std::string& reply) {
    debug::Place(place).external(L"Response from Tribel has an incorrect list: %1%", reply);
    throw exception::UnexpectedResponseOfDevice(reply);
}

}  // namespace

ConsoleZones readZoneList(const std::string& reply) {
    ConsoleZones zones;
    if (reply == noEntries) return zones;
    if (reply.empty()) refuse(L"Response from Tribel has small number of parts: %1%", reply, reply);
    for (const std::string& record : split(reply, ";")) {
        const std::vector<std::string> parts = split(record, ",");
        ConsoleZone zone;
        if (parts.size() < 3 || !readNumber(parts[0], zone.zoneNumber, 0, highestZone) ||
            !readNumber(parts[1], zone.virtualZone, 0, 0xFFFF) || zones.count(zone.zoneNumber) != 0) {
            refuse(L"Response from Tribel has small number of parts: %1%", record, reply);
        }
        for (std::size_t n = 2; n < parts.size(); ++n) {
            std::uint32_t address = 0;
            if (!DeviceReply::parseHex(parts[n], address, highestZoneAddress))
                refuse(L"Response from Tribel has incorrect address: %1%", record, reply);
            zone.addresses.insert(address);
        }
        zones[zone.zoneNumber] = std::move(zone);
    }
    return zones;
}

std::map<int, int> readZoneScenarios(const std::string& reply) {
    std::map<int, int> scenarios;
    if (reply == noEntries) return scenarios;
    const std::vector<std::string> tokens = split(reply, ",;");
    if (tokens.empty() || tokens.size() % 2 != 0) refuseList("device::TribelInfo::initZones", reply);
    for (std::size_t n = 0; n < tokens.size(); n += 2) {
        int zone = 0;
        int scenario = 0;
        if (!readNumber(tokens[n], zone, 0, highestZone) ||
            !readNumber(tokens[n + 1], scenario, 0, highestScenario) ||
            !scenarios.emplace(zone, scenario).second) {
            refuseList("device::TribelInfo::initZones", reply);
        }
    }
    return scenarios;
}

std::set<int> readZoneNumbers(const std::string& reply) {
    std::set<int> numbers;
    if (reply == noEntries) return numbers;
    if (reply.empty()) refuseList("device::TribelInfo::getZonesOff", reply);
    for (const std::string& token : split(reply, ",")) {
        int zone = 0;
        if (!readNumber(token, zone, 0, highestZone)) refuseList("device::TribelInfo::getZonesOff", reply);
        numbers.insert(zone);
    }
    return numbers;
}

std::optional<ZoneMemory> readZoneSize(const std::string& reply) {
    const std::size_t open = reply.find('(');
    const std::size_t close = reply.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open ||
        reply.find_first_not_of(" \t\r\n", close + 1) != std::string::npos) {
        return std::nullopt;
    }
    std::int64_t size = 0;
    std::int64_t free = 0;
    if (!DeviceBase::parseIntValue(reply.substr(0, open), size, 0, largestU32) ||
        !DeviceBase::parseIntValue(reply.substr(open + 1, close - open - 1), free, 0, size)) {
        return std::nullopt;
    }
    return ZoneMemory{static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(free)};
}

std::string makeZoneBindCommand(int zoneNumber, int virtualZone, const std::set<std::uint32_t>& addresses) {
    std::string command = "zoneBind " + std::to_string(zoneNumber) + " " + std::to_string(virtualZone) + " ";
    char text[16];
    for (const std::uint32_t address : addresses) {
        std::snprintf(text, sizeof text, "%X,", address);
        command += text;
    }
    return command;
}

PasskeyList readPasskeyList(const std::string& reply) {
    PasskeyList list;
    if (reply == noEntries) return list;
    if (reply.empty()) refuseList("device::TribelInfo::getPasskeys", reply);
    for (const std::string& token : split(reply, ",")) {
        if (token == listeningWord) {
            list.listening = true;
            continue;
        }
        if (token.size() > longestKey || !base::isHexText(token))
            refuseList("device::TribelInfo::getPasskeys", reply);
        list.keys.push_back(token);
    }
    return list;
}

}  // namespace device::tribel
