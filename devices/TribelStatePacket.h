#pragma once
// The status datagram of a microphone console: its hardware address, sixteen decimal numbers
// separated by ',' and, last, the firmware version text. A packet that does not carry all
// sixteen numbers counts as carrying zeros.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/NetworkAddress.h"

namespace device {

struct TribelStatePacket {
    enum Field : std::size_t {
        priority,
        power1Level,
        power1State,
        power2Level,
        power2State,
        ethernet1,
        ethernet2,
        microphone,
        playbackState,
        access,
        caseState,
        boundZones,
        connectedZones,
        activatedZones,
        neridaLines,
        ain,
        fieldCount
    };

    // The longest hardware address text a packet may carry.
    static constexpr std::size_t longestAddress = 17;

    std::string hardwareAddress;
    std::array<std::uint32_t, fieldCount> values{};

    std::uint32_t& operator[](Field field) { return values[field]; }
    std::uint32_t operator[](Field field) const { return values[field]; }
};

// Reads the address and the numbers. Nothing when the address field is longer than 17
// characters; an empty address field gives an empty address.
std::optional<TribelStatePacket> scanTribelStatePacket(std::string_view packet);

// Replaces every field outside its range by its fixed value, logging each at EXTERN (about one
// packet's lines a second from each sender).
void checkTribelStatePacket(TribelStatePacket& packet, const net::IpAndPort& sender);

}  // namespace device
