#pragma once
// What the settings readers and writers of both device classes share: the address tokens of a
// settings reply, the check of an address before it is written, and the restart that puts
// written network settings in force.

#include <cstdint>
#include <limits>
#include <string>

namespace device {

class DeviceBase;

namespace limits {
constexpr std::int64_t largestU32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t largestU16 = std::numeric_limits<std::uint16_t>::max();
// The ports of the two audio streams follow the server port; all three must fit 16 bits.
constexpr std::int64_t largestServerPort = largestU16 - 2;
constexpr std::uint16_t lowestWritableServerPort = 1024;
constexpr std::uint8_t highestNeridaAddress = 127;
}  // namespace limits

// A check of a record before it is written: exception::IncorrectFormat with the check's title.
void require(bool condition, const wchar_t* step);

// An address token of a settings reply, optionally with a port; the address part is kept.
bool readAddressToken(const std::string& text, std::string& address);
// Whether the address-mode token of a settings reply names DHCP.
bool namesDhcp(const std::string& text);
// Four dotted numbers up to 255 and nothing else; 0.0.0.0 only where `zeroAllowed`.
bool isDottedAddress(const std::string& text, bool zeroAllowed);

// Restarts the device so that the settings just written take effect. A device that does not
// answer the restart has its settings written but not in force: that is logged and thrown as
// exception::DeviceReason rather than reported as done.
void rebootToApplySettings(DeviceBase& device, const char* place);

}  // namespace device
