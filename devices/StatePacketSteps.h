#pragma once
// The steps that the status-packet parsers of both device classes share: following the sender's
// address, announcing a device that comes online, and stamping the time of a packet.

#include <string>

#include "foundation/NetworkAddress.h"

namespace device {

class DeviceBase;

// Takes the sender's address as the device's when it moved; true when it did.
bool followSender(DeviceBase& device, const net::IpAndPort& sender, const char* place);

// On the first packet since the device was found silent: logs that it is connected and clears
// the responding flag until it answers again. True for that packet.
bool announceConnection(DeviceBase& device, const net::IpAndPort& sender, const std::string& versionText,
                        const char* place);

// Stamps the packet's time and tells the window when the device's shown state changed; after the
// first packet, and after one that finds it shown offline, queues the check whether it answers.
void stampStatePacket(DeviceBase& device, bool firstPacket);

}  // namespace device
