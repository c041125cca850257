#include "devices/VokarStatePacket.h"

#include "devices/OutOfRangeLines.h"
#include "foundation/Place.h"
#include "foundation/ScanFields.h"

namespace device {
namespace {

constexpr const char* place = "device::VokarInfo::parseState";

enum class Conversion { unsignedDecimal, hex, integer };

struct FieldFormat {
    const char* separator;
    Conversion conversion;
};

const FieldFormat fieldFormats[VokarStatePacket::fieldCount] = {
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::hex},
    {",", Conversion::unsignedDecimal},
    {",", Conversion::unsignedDecimal},
    {";", Conversion::hex},
    {";", Conversion::unsignedDecimal},
    {";", Conversion::unsignedDecimal},
    {";", Conversion::unsignedDecimal},
    {";", Conversion::unsignedDecimal},
    {";", Conversion::unsignedDecimal},
    {";", Conversion::unsignedDecimal},
    {";", Conversion::integer},
    {";", Conversion::unsignedDecimal},
    {";A", Conversion::integer},
    {";C", Conversion::integer},
};

bool readSeparator(std::string_view text, std::size_t& at, std::string_view separator) {
    if (text.substr(at, separator.size()) != separator) return false;
    at += separator.size();
    return true;
}

bool readField(std::string_view text, std::size_t& at, Conversion conversion, std::uint32_t& value) {
    switch (conversion) {
        case Conversion::unsignedDecimal:
            return base::scan::readUnsigned(text, at, value);
        case Conversion::hex:
            return base::scan::readHex(text, at, value);
        case Conversion::integer: {
            std::int32_t signedValue = 0;
            if (!base::scan::readInteger(text, at, signedValue)) return false;
            value = static_cast<std::uint32_t>(signedValue);
            return true;
        }
    }
    return false;
}

struct RangeCheck {
    VokarStatePacket::Field field;
    std::uint32_t highest;
    std::uint32_t replacement;
    const wchar_t* message;
    // A %i field, logged with its sign.
    bool isSigned = false;
};

using F = VokarStatePacket;

// In the order the checks run: the battery fix comes between the playback state and line 1.
const RangeCheck leadingChecks[] = {
    {F::batteryLevel, 100, 100, L"State packet has unknown battery level '%1%'"},
    {F::batteryState, 6, 6, L"State packet has unknown battery state '%1%'"},
    {F::playbackState, 13, 13, L"State packet has unknown playback state '%1%'"},
};

const RangeCheck trailingChecks[] = {
    {F::line1, 5, 5, L"State packet has unknown line1 state '%1%'"},
    {F::line2, 5, 5, L"State packet has unknown line2 state '%1%'"},
    {F::caseState, 3, 3, L"State packet has unknown case state '%1%'"},
    {F::acPowerSupply, 2, 2, L"State packet has unknown acPowerSupply '%1%'"},
    {F::nerida, 15, 16, L"State packet has unknown nerida state '%1%'"},
    {F::ain, 15, 16, L"State packet has unknown ain state '%1%'"},
    {F::eth, 7, 8, L"State packet has unknown eth state '%1%'"},
    {F::zone, 7, 8, L"State packet has unknown zone state '%1%'"},
    {F::activeZoneAddress, 0xFFFFFE, 0xFFFFFF,
     L"State packet has an unknown address of the active zone '%1%'"},
    {F::activeAlarmOrder, 0xFFFF, 0, L"State packet has an unknown active alarm order '%1%'"},
    {F::playbackSource, 13, 13, L"State packet has unknown playback source state '%1%'"},
    {F::preferenceCrc, 0xFFFF, 0, L"State packet has incorrect preference CRC '%1%'"},
    // The channel has a gap: 22 (no channel) is accepted, 21 is not.
    {F::channel, 20, 22, L"State packet has incorrect channel '%1%'"},
    {F::amplifierOutput, 13, 13, L"State packet has incorrect amplifier output state '%1%'"},
    {F::ledPanel, 2, 2, L"State packet has incorrect led panel '%1%'"},
    {F::feedback, 2, 2, L"State packet has incorrect feedback '%1%'"},
    {F::inputStreams, 0x1FFFFF, 0x200000, L"State packet has incorrect input streams '0x%1$06X'"},
    {F::selfTest, 2, 2, L"State packet has incorrect device test '%1%'"},
    {F::audioMemoryState, 2, 2, L"State packet has incorrect audio memory state '%1%'", true},
    {F::scenarioCount, 63, 64, L"State packet has incorrect scenario count '%1%'"},
    {F::apiLevel, 2, 2, L"State packet has unsupported API level '%1%'", true},
    {F::apiCompatibility, 2, 2, L"State packet has unsupported compatible API level '%1%'", true},
};

void check(VokarStatePacket& packet, const RangeCheck& rule, OutOfRangeLines& lines) {
    std::uint32_t& value = packet[rule.field];
    if (value <= rule.highest) return;
    if (rule.field == F::channel && value == 22) return;
    if (rule.isSigned) {
        lines.write(rule.message, static_cast<std::int32_t>(value));
    } else {
        lines.write(rule.message, value);
    }
    value = rule.replacement;
}

}  // namespace

std::optional<VokarStatePacket> scanVokarStatePacket(std::string_view packet) {
    VokarStatePacket result;
    std::size_t at = 0;
    std::string_view address;
    if (!base::scan::readUntil(packet, at, ',', VokarStatePacket::longestAddress, address))
        return std::nullopt;
    result.hardwareAddress = std::string(address);
    for (std::size_t field = 0; field < VokarStatePacket::fieldCount; ++field) {
        const FieldFormat& format = fieldFormats[field];
        std::size_t next = at;
        if (!readSeparator(packet, next, format.separator)) break;
        if (!readField(packet, next, format.conversion, result.values[field])) break;
        at = next;
        ++result.numbersRead;
    }
    if (result.numbersRead < VokarStatePacket::fewestNumbers) return std::nullopt;
    result.versionText = stateVersionText(packet);
    return result;
}

std::string stateVersionText(std::string_view packet) {
    constexpr std::size_t longestText = 255;
    const std::size_t comma = packet.rfind(',');
    if (comma == std::string_view::npos) return {};
    std::string text;
    for (const char c : packet.substr(comma + 1)) {
        if (c == '\r' || c == '\n' || c == '\0') continue;
        if (text.size() == longestText) break;
        text.push_back(c);
    }
    return text;
}

void checkVokarStatePacket(VokarStatePacket& packet, VokarVersion version, const net::IpAndPort& sender) {
    OutOfRangeLines lines(place, sender);
    for (const RangeCheck& rule : leadingChecks) check(packet, rule, lines);
    const std::uint32_t batteryState = packet[F::batteryState];
    if (version <= vokarA_2_01_72 && (batteryState == 4 || batteryState == 5) &&
        packet[F::batteryLevel] != 0) {
        debug::Place(place).mark(L"fix battery level to 0");
        packet[F::batteryLevel] = 0;
    }
    for (const RangeCheck& rule : trailingChecks) check(packet, rule, lines);
}

}  // namespace device
