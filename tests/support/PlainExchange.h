#pragma once
// Exchanges with an emulated device from a plain socket of their own, without the transport:
// the floor the benchmarks set the device protocols beside.

#include <string>

#include "foundation/NetworkAddress.h"

namespace test {

// The mean round trip in microseconds of `exchanges` sends of `command` (a line feed is added)
// to `device`, each waiting for its reply.
double plainRoundTripMicros(const net::IpAndPort& device, const std::string& command, int exchanges);

}  // namespace test
