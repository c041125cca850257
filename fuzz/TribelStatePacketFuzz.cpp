// A microphone console's status datagram: the scan of its address and numbers and the range
// check. After the check no field lies out of its range, so a second check changes nothing.

#include "FuzzSupport.h"
#include "devices/TribelStatePacket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto packet = device::scanTribelStatePacket(fuzz::text(data, size));
    if (!packet) return 0;
    fuzz::require(packet->hardwareAddress.size() <= device::TribelStatePacket::longestAddress,
                  "the address field is bounded");

    const net::IpAndPort sender("127.0.0.2", 5000);
    device::TribelStatePacket checked = *packet;
    device::checkTribelStatePacket(checked, sender);
    device::TribelStatePacket again = checked;
    device::checkTribelStatePacket(again, sender);
    fuzz::require(again.values == checked.values, "a checked packet passes the check unchanged");
    return 0;
}
