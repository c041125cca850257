#include "devicelink/StatePacket.h"

#include <algorithm>

#include "foundation/ScanFields.h"

namespace device {
namespace {

constexpr std::size_t kShortestStatePacket = 26;
constexpr std::size_t kLongestStatePacket = 256;
constexpr std::size_t kLongestAddressField = 17;
constexpr std::size_t kLongestNameField = 255;
constexpr std::size_t kLongestVersionText = 255;
constexpr int kStatePacketNumbers = 5;

}  // namespace

bool isStatePacket(const std::string& datagram, net::HardwareAddress& address) {
    const std::string_view text(datagram);
    if (text.size() < kShortestStatePacket || text.size() > kLongestStatePacket || text[2] != ':')
        return false;

    // The address field: one to 17 characters up to the first ','.
    const std::size_t addressEnd = text.find(',');
    if (addressEnd == std::string_view::npos || addressEnd == 0 || addressEnd > kLongestAddressField)
        return false;

    std::size_t at = addressEnd + 1;
    for (int number = 0; number < kStatePacketNumbers; ++number) {
        std::uint32_t ignored = 0;
        if (!base::scan::readUnsigned(text, at, ignored)) return false;
        if (at >= text.size() || text[at] != ',') return false;
        ++at;
    }
    // The seventh field: one to 255 characters up to the next ',' or line feed.
    const std::size_t nameEnd = std::min(text.find_first_of(",\n", at), text.size());
    if (nameEnd == at || nameEnd - at > kLongestNameField) return false;

    address = net::HardwareAddress::parse(text.substr(0, addressEnd));
    if (!address.isValid()) return false;
    return parseStateVersion(datagram, nullptr);
}

bool stateVersionText(std::string_view packet, std::string& text) {
    const std::size_t comma = packet.rfind(',');
    if (comma == std::string_view::npos) return false;
    text.clear();
    for (std::size_t at = comma + 1; at < packet.size() && text.size() < kLongestVersionText; ++at) {
        const char c = packet[at];
        if (c != '\r' && c != '\n' && c != '\0') text += c;
    }
    return true;
}

bool parseStateVersion(const std::string& packet, Version* out) {
    std::string text;
    return stateVersionText(packet, text) && parseVersion(text, out);
}

}  // namespace device
