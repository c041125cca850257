#pragma once
// The few datagrams that do not belong to the device transport: the probe for a multicast stream
// that already plays on the group, the probe for internet access, and the "discovery" datagrams
// that make lost loudspeakers announce themselves. Each call opens its own socket and closes it
// before it returns.

#include <cstddef>
#include <cstdint>
#include <string>

namespace os {

// The loudspeakers' factory default address, and the fixed port of their discovery datagram.
constexpr const char* kFactoryAddress = "192.168.100.1";
constexpr std::uint16_t kFactoryPort = 11991;
constexpr const char* kLimitedBroadcast = "255.255.255.255";
constexpr const char* kDiscoveryPayload = "discovery";
constexpr const char* kInternetHost = "example.com";
constexpr const char* kInternetService = "80";

// Where the discovery datagrams go besides the interface's own broadcast address.
struct DiscoveryTargets {
    std::string factoryAddress = kFactoryAddress;
    std::uint16_t factoryPort = kFactoryPort;
    std::string limitedBroadcast = kLimitedBroadcast;
};

// The web server whose answer tells that the internet is reachable.
struct InternetTarget {
    std::string host = kInternetHost;
    std::string service = kInternetService;
};

// Listens about 1.2 s on `group` ("address:port") joined on the interface with address
// `interfaceIp`; true when a datagram of an MPEG transport stream arrived on the group. Every
// failure is logged and gives false.
bool hasStream(const char* group, const char* interfaceIp);
// Whether the datagram is whole transport-stream packets, as the streams of this program send
// them: 188 bytes each, each beginning with the sync byte 0x47.
bool isTransportStreamDatagram(const unsigned char* data, std::size_t size);

// Whether a TCP connection to the target could be made, waiting at most a second. A probe that
// needs longer keeps running and stores its answer for later calls; until then a call gives the
// answer of the probe before (false before the first has ended). One probe runs at a time.
bool hasInternet(const InternetTarget& target = InternetTarget());

// Sends "discovery" to the factory address (from a thread of its own, not waited for) and as
// broadcasts on the interface to `port`; gives the result of the broadcasts.
bool findLostDevices(const std::string& interfaceIp, std::uint16_t port,
                     const DiscoveryTargets& targets = DiscoveryTargets());

// Sends "discovery" from `localIp` to `remoteIp`:`port`; true when it was sent. A failure,
// also an address text that does not parse, is logged.
bool sendPackageToUdpAddress(const std::string& localIp, const std::string& remoteIp, std::uint16_t port);
void sendPackageToFactoryStaticAddress(const std::string& interfaceIp,
                                       const DiscoveryTargets& targets = DiscoveryTargets());

// Sends `payload` through the interface with address `localIp` to its directed broadcast address,
// then to `limitedBroadcast`, both at `port`; true when both were sent. Nothing more is sent
// after a failure.
bool sendBroadcast(const std::string& localIp, const std::string& payload, std::uint16_t port,
                   const std::string& limitedBroadcast = kLimitedBroadcast);

}  // namespace os
