// A loudspeaker's status datagram: the scan of its fields, the version text and the range
// check of every generation. After the check no field lies out of its range, so a second check
// changes nothing.

#include "FuzzSupport.h"
#include "devicelink/StatePacket.h"
#include "devices/VokarStatePacket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string datagram = fuzz::text(data, size);
    net::HardwareAddress address;
    device::isStatePacket(datagram, address);

    const auto packet = device::scanVokarStatePacket(datagram);
    if (!packet) return 0;
    fuzz::require(packet->hardwareAddress.size() <= device::VokarStatePacket::longestAddress,
                  "the address field is bounded");
    fuzz::require(packet->numbersRead >= device::VokarStatePacket::fewestNumbers &&
                      packet->numbersRead <= device::VokarStatePacket::fieldCount,
                  "the count of numbers read is within the packet's fields");
    fuzz::require(packet->versionText.size() <= 255 &&
                      packet->versionText.find_first_of(std::string("\r\n\0", 3)) == std::string::npos,
                  "the version text is bounded and holds no line end or NUL");

    const net::IpAndPort sender("127.0.0.2", 5000);
    for (const device::VokarVersion version :
         {device::vokarUnknown, device::vokarA_2_01_72, device::vokarB_1_00_56, device::vokarV3_Higher}) {
        device::VokarStatePacket checked = *packet;
        device::checkVokarStatePacket(checked, version, sender);
        device::VokarStatePacket again = checked;
        device::checkVokarStatePacket(again, version, sender);
        fuzz::require(again.values == checked.values, "a checked packet passes the check unchanged");
    }
    return 0;
}
