#pragma once
// The status datagram of a loudspeaker: its hardware address, up to 26 numbers separated
// by ',' and ';' and, last, the firmware version text. Older firmware sends fewer numbers;
// those it leaves out keep their defaults.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "devices/VokarVersion.h"
#include "foundation/NetworkAddress.h"

namespace device {

struct VokarStatePacket {
    enum Field : std::size_t {
        batteryLevel,
        batteryState,
        line1,  // the tips added mask from generation 10 on
        line2,  // the tips active mask from generation 10 on
        caseState,
        playbackState,
        soundPressure,
        acPowerSupply,
        nerida,
        ain,
        eth,
        zone,
        activeZoneAddress,
        activeAlarmOrder,
        playbackSource,
        preferenceCrc,
        channel,
        amplifierOutput,
        ledPanel,
        feedback,
        inputStreams,
        selfTest,
        audioMemoryState,
        scenarioCount,
        apiLevel,
        apiCompatibility,
        fieldCount
    };

    // The longest hardware address text a packet may carry.
    static constexpr std::size_t longestAddress = 17;
    // Packets with fewer numbers than this are refused.
    static constexpr std::size_t fewestNumbers = 5;

    std::string hardwareAddress;
    // Signed fields are kept as their 32-bit pattern, so that a negative one fails its
    // range check.
    std::array<std::uint32_t, fieldCount> values{0, 0, 0, 0, 2, 0, 0, 0, 0, 12, 2, 3, 0,
                                                 0, 0, 0, 0, 1, 1, 0, 0, 0, 1,  0, 0, 0};
    std::size_t numbersRead = 0;
    std::string versionText;

    std::uint32_t& operator[](Field field) { return values[field]; }
    std::uint32_t operator[](Field field) const { return values[field]; }
};

// Reads the fields in order until one does not match. Nothing when the address (up to 17
// characters) and the first five numbers are not all there.
std::optional<VokarStatePacket> scanVokarStatePacket(std::string_view packet);

// The text behind the packet's last ',' without CR, LF and NUL characters, at most 255 of them.
std::string stateVersionText(std::string_view packet);

// Replaces every field outside its range by its fixed value, logging each at EXTERN (about one
// packet's lines a second from each sender), and sets the battery level of a first-generation
// loudspeaker without a battery to 0.
void checkVokarStatePacket(VokarStatePacket& packet, VokarVersion version, const net::IpAndPort& sender);

}  // namespace device
