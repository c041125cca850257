#pragma once
// Exchanges with an emulated device from a plain socket of their own, without the transport:
// the floor the benchmarks set the device protocols beside.

#include <string>
#include <vector>

#include "foundation/NetworkAddress.h"

namespace test {

// A UDP socket of its own on 127.0.0.1 (a port the system chooses), with room for the replies or
// packets of hundreds of devices at once.
int plainLoopbackSocket();

// The mean round trip in microseconds of `exchanges` sends of `command` (a line feed is added)
// to `device`, each waiting for its reply.
double plainRoundTripMicros(const net::IpAndPort& device, const std::string& command, int exchanges);

// The microseconds that one socket and thread take for `exchanges` sends of `command` to each of
// `devices` at once: every device's next send goes out when its reply came, as at most one request
// is in flight per device. A reply that does not come within a second is sent for again.
double plainExchangesAcrossMicros(const std::vector<net::IpAndPort>& devices, const std::string& command,
                                  int exchanges);

}  // namespace test
