#include "devices/TribelStatePacket.h"

#include "devices/OutOfRangeLines.h"
#include "foundation/ScanFields.h"

namespace device {
namespace {

constexpr const char* place = "device::TribelInfo::parseState";
constexpr std::uint32_t zoneMask = 0x1FFFFF;

using F = TribelStatePacket;

struct RangeCheck {
    F::Field field;
    std::uint32_t highest;
    // The value stored instead; the zone masks keep their bits within range instead.
    std::uint32_t replacement;
    const wchar_t* message;
};

constexpr std::uint32_t keepBits = 0xFFFFFFFF;

const RangeCheck rangeChecks[] = {
    {F::priority, 255, 255, L"State packet has unknown priority '%1%'"},
    {F::power1Level, 100, 100, L"State packet has unknown power 1 level '%1%'"},
    {F::power1State, 15, 16, L"State packet has unknown power 1 state '%1%'"},
    {F::power2Level, 100, 100, L"State packet has unknown power 2 level '%1%'"},
    {F::power2State, 15, 16, L"State packet has unknown power 2 state '%1%'"},
    {F::ethernet1, 31, 32, L"State packet has unknown ethernet 1 state '%1%'"},
    {F::ethernet2, 31, 32, L"State packet has unknown ethernet 2 state '%1%'"},
    {F::microphone, 3, 3, L"State packet has unknown microphone state '%1%'"},
    {F::playbackState, 31, 32, L"State packet has unknown playback state '%1%'"},
    {F::access, 3, 3, L"State packet has unknown access state '%1%'"},
    {F::caseState, 2, 2, L"State packet has unknown case state '%1%'"},
    {F::boundZones, zoneMask, keepBits, L"State packet has unknown bound zones '%1%'"},
    {F::connectedZones, zoneMask, keepBits, L"State packet has unknown connected zones '%1%'"},
    {F::activatedZones, zoneMask, keepBits, L"State packet has unknown activated zones '%1%'"},
    {F::neridaLines, 15, 16, L"State packet has unknown nerida state '%1%'"},
    {F::ain, 5, 5, L"State packet has unknown AIN state '%1%'"},
};

}  // namespace

std::optional<TribelStatePacket> scanTribelStatePacket(std::string_view packet) {
    TribelStatePacket result;
    std::size_t at = 0;
    std::string_view address;
    if (base::scan::readUntil(packet, at, ',', F::longestAddress, address)) {
        result.hardwareAddress = std::string(address);
    } else if (at < packet.size() && packet[at] != ',') {
        return std::nullopt;
    }
    std::size_t numbers = 0;
    for (; numbers < F::fieldCount; ++numbers) {
        if (at >= packet.size() || packet[at] != ',') break;
        ++at;
        if (!base::scan::readUnsigned(packet, at, result.values[numbers])) break;
    }
    // Anything short of the whole set is no set at all.
    if (numbers < F::fieldCount) result.values.fill(0);
    return result;
}

void checkTribelStatePacket(TribelStatePacket& packet, const net::IpAndPort& sender) {
    OutOfRangeLines lines(place, sender);
    for (const RangeCheck& rule : rangeChecks) {
        std::uint32_t& value = packet[rule.field];
        if (value <= rule.highest) continue;
        lines.write(rule.message, value);
        value = rule.replacement == keepBits ? value & rule.highest : rule.replacement;
    }
}

}  // namespace device
