// The cost of a loudspeaker's status packet: every loudspeaker of an installation sends one
// continually, and most of them repeat the previous one.

#include <benchmark/benchmark.h>

#include <memory>

#include "devicelink/TransferProtocol.h"
#include "devices/VokarInfo.h"
#include "devices/VokarStatePacket.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/LoudspeakerEmulator.h"

namespace {

const char* const hardwareAddress = "02:7E:41:00:00:01";

std::string fullPacket() {
    return test::LoudspeakerEmulator::makeStatusPacket(
        hardwareAddress, {}, test::LoudspeakerEmulator::fullNumberCount, "Vokar-B 1.03.128");
}

void BM_ScanPacket(benchmark::State& state) {
    const std::string packet = fullPacket();
    for (auto _ : state) benchmark::DoNotOptimize(device::scanVokarStatePacket(packet));
}
BENCHMARK(BM_ScanPacket);

// A packet equal to the one before: scanned, compared and stamped, nothing stored.
void BM_RepeatedPacket(benchmark::State& state) {
    base::ThreadDispatcher::create();
    const std::uint16_t port = test::freeUdpPort();
    {
        auto transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        const net::IpAndPort sender("127.0.0.2", port);
        auto device = device::VokarInfo::create(
            1, device::types::vokarB, net::HardwareAddress(hardwareAddress), sender, L"", transport, {});
        const std::string packet = fullPacket();
        device->parseState(packet, sender);
        for (auto _ : state) benchmark::DoNotOptimize(device->parseState(packet, sender));
        transport->stop();
    }
    base::ThreadDispatcher::destroy();
}
BENCHMARK(BM_RepeatedPacket);

}  // namespace
