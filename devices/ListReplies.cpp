#include "devices/ListReplies.h"

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceReply.h"
#include "foundation/Exceptions.h"

namespace device {
namespace {

constexpr const char* noEntries = "no";
constexpr std::int64_t highestAnnounceZone = 65534;
constexpr std::uint32_t highestZoneAddress = 0xFFFFFF;

}  // namespace

std::vector<std::string> splitList(const std::string& reply, const char* separators) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = reply.find_first_of(separators, start);
        pieces.push_back(reply.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return pieces;
        start = end + 1;
    }
}

std::set<std::int32_t> readAnnounceZoneList(const std::string& reply) {
    std::set<std::int32_t> zones;
    if (reply == noEntries) return zones;
    for (const std::string& piece : splitList(reply, ",")) {
        std::int64_t zone = 0;
        if (!DeviceBase::parseIntValue(piece, zone, 0, highestAnnounceZone))
            throw exception::UnexpectedResponseOfDevice(reply);
        zones.insert(static_cast<std::int32_t>(zone));
    }
    return zones;
}

std::set<std::uint32_t> readZoneAddressList(const std::string& reply) {
    std::set<std::uint32_t> addresses;
    if (reply == noEntries) return addresses;
    for (const std::string& piece : splitList(reply, ",")) {
        if (piece.empty()) continue;
        std::uint32_t address = 0;
        if (!DeviceReply::parseHex(piece, address, highestZoneAddress))
            throw exception::UnexpectedResponseOfDevice(reply);
        addresses.insert(address);
    }
    return addresses;
}

}  // namespace device
