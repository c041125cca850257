#pragma once
// The status packets that devices send by themselves: the test that tells them from replies, and
// the version text in their last field.

#include <string>
#include <string_view>

#include "devicelink/Version.h"
#include "foundation/NetworkAddress.h"

namespace device {

// Whether the datagram is a status packet; gives its sender's hardware address.
bool isStatePacket(const std::string& datagram, net::HardwareAddress& address);
// The text after the last ',' without CR, LF and NUL, at most 255 characters; false when there is
// no ','.
bool stateVersionText(std::string_view packet, std::string& text);
// The version of a status packet; with `out` null only tests it.
bool parseStateVersion(const std::string& packet, Version* out);

}  // namespace device
