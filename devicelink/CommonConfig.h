#pragma once
// The network, server and Nerida settings that every device keeps: the common start of the
// loudspeaker's and the console's configuration records.

#include <cstdint>
#include <string>

namespace device {

struct CommonConfig {
    std::uint32_t number = 0;
    // Addresses are dotted IPv4 texts.
    std::string ip;
    std::string mask;
    std::string gateway;
    bool dhcp = false;
    // What the device runs with now; differs from the above until it restarts.
    std::string currentIp;
    std::string currentMask;
    std::string currentGateway;
    std::string multicastIp;
    std::uint16_t discoveryPort = 0;
    std::uint16_t serverPort = 0;
    std::uint16_t generationCode = 0;
    std::string currentServerIp;
    std::string serverIp;
    bool switchMode = true;
    std::uint32_t igmpReport = 0;
    std::uint8_t neridaAddress = 0;
    bool neridaRelay = false;
    bool neridaTest = false;
    bool neridaReserve = false;
    std::uint32_t token33Value = 0;
};

}  // namespace device
