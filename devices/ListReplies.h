#pragma once
// The list replies of both device classes: entries separated by commas (and, in some console
// lists, semicolons), "no" for an empty list. Each reader takes the reply whole or refuses it
// with exception::UnexpectedResponseOfDevice naming the reply.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace device {

// Every piece between the separators, empty ones included.
std::vector<std::string> splitList(const std::string& reply, const char* separators);

// A loudspeaker's "zoneAnnRead": decimal virtual zones 0..65534; an empty piece is refused.
std::set<std::int32_t> readAnnounceZoneList(const std::string& reply);
// A loudspeaker's "zoneAddrRead" and "zoneAddrOffRead": hexadecimal 24-bit device numbers;
// empty pieces are skipped.
std::set<std::uint32_t> readZoneAddressList(const std::string& reply);

}  // namespace device
