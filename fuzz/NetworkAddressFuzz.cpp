// Hardware and IP address texts of status packets, replies and state files, and the URL check
// of the settings. An address that reads is written by the program as a text that reads back
// as the same address.

#include <cstdio>

#include "FuzzSupport.h"
#include "foundation/NetworkAddress.h"
#include "foundation/TextConversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::text(data, size);

    const net::HardwareAddress hardware = net::HardwareAddress::parse(text);
    if (hardware.isValid()) {
        char written[18];
        std::snprintf(written, sizeof written, "%02X:%02X:%02X:%02X:%02X:%02X",
                      hardware.getHigh() >> 16 & 0xFF, hardware.getHigh() >> 8 & 0xFF,
                      hardware.getHigh() & 0xFF, hardware.getLow() >> 16 & 0xFF,
                      hardware.getLow() >> 8 & 0xFF, hardware.getLow() & 0xFF);
        const net::HardwareAddress again = net::HardwareAddress::parse(written);
        fuzz::require(
            again.isValid() && again.getHigh() == hardware.getHigh() && again.getLow() == hardware.getLow(),
            "a hardware address reads back from its text");
        fuzz::require(hardware.getHigh() <= 0xFFFFFF && hardware.getLow() <= 0xFFFFFF,
                      "a hardware address has six bytes");
    }

    std::uint32_t address = 0;
    std::uint16_t port = 0;
    net::parseIpAndPort(text, &address, &port);
    std::string addressText;
    net::splitIpAndPort(text, &addressText, &port);
    net::isMulticast(text);
    net::isHttpUrl(base::widen(text));

    // Only the exact text "0.0.0.0" is the empty address: "0.0.0.0:80" is a valid address 0, which
    // a number never gives.
    const net::IpAndPort sender(text, port);
    if (sender.Ip4Address::isValid() && sender.getAddress() != 0) {
        const net::IpAndPort written(sender.getAddress(), sender.getPort());
        const net::Ip4Address again(written.getText());
        fuzz::require(again.isValid() && again.getAddress() == sender.getAddress(),
                      "an IP address reads back from its text");
        fuzz::require(written.getWideText() == base::widen(written.getText()) + L":" + std::to_wstring(port),
                      "the wide text is the address and the port");
    }
    return 0;
}
