// The cost of a loudspeaker's status packet: every loudspeaker of an installation sends one
// continually, and most of them repeat the previous one. Floors of the same run: one pass over
// the packet's bytes for the scan, and comparing it with a copy of the last one for a repeated
// packet ("floor_ns" and "ratio" beside each).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "bench/FloorRatio.h"
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

using Clock = std::chrono::steady_clock;
constexpr long kFloorCalls = 1000000;

void BM_ScanPacket(benchmark::State& state) {
    const std::string packet = fullPacket();
    const double floor = bench::nanosecondsEach(
        [&] { benchmark::DoNotOptimize(std::count(packet.begin(), packet.end(), ' ')); }, kFloorCalls);
    const auto start = Clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(device::scanVokarStatePacket(packet));
    bench::setFloorRatio(state, start, floor);
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
        const std::string last = packet;
        const double floor =
            bench::nanosecondsEach([&] { benchmark::DoNotOptimize(packet == last); }, kFloorCalls);
        const auto start = Clock::now();
        for (auto _ : state) benchmark::DoNotOptimize(device->parseState(packet, sender));
        bench::setFloorRatio(state, start, floor);
        transport->stop();
    }
    base::ThreadDispatcher::destroy();
}
BENCHMARK(BM_RepeatedPacket);

}  // namespace
