// Updating emulated loudspeakers with a 256 KiB image, beside the floor of the protocol for it: a
// plain socket of the benchmark's own making the same exchanges with the same emulators, one
// block-sized program command for every block and for the three requests around them (memory
// size, erase, closing request), each device's next one sent when its reply came, measured in the
// same run (on a machine whose cores are taken by other work, that floor grows with the devices
// too). Beside them, the same number of block commands sent through the transport alone. Each
// prints its floor ("floor_ms") and its time over the floor ("ratio"); the aims: an update of one
// device 2, of eight devices at once 1.3. Beside them, the heap allocations and thread switches of
// the whole process per exchange, the floor's and the program's.

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "bench/RequestCost.h"
#include "devicelink/TransferProtocol.h"
#include "devicememory/FirmwareDetection.h"
#include "foundation/HexText.h"
#include "foundation/ThreadDispatcher.h"
#include "support/FirmwareFlash.h"
#include "support/FirmwareImages.h"
#include "support/LoudspeakerEmulator.h"
#include "support/PlainExchange.h"
#include "support/TestDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kImageSize = 256 * 1024;

struct Loudspeaker {
    std::unique_ptr<test::LoudspeakerEmulator> emulated;
    std::unique_ptr<test::FirmwareFlash> flash;
    std::shared_ptr<test::TestDevice> device;
    std::shared_ptr<device::IFirmware> image;
};

struct Bench {
    explicit Bench(int devices) : port(test::freeUdpPort()) {
        base::ThreadDispatcher::create();
        transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        transport->run();
        const std::string bytes = test::unifiedImage(test::firmwareModel("Vokar-B"), kImageSize);
        for (int n = 0; n < devices; ++n) {
            Loudspeaker loudspeaker;
            const std::string ip = "127.0.0." + std::to_string(n + 2);
            loudspeaker.emulated = std::make_unique<test::LoudspeakerEmulator>(ip, port, "02:7E:41:00:00:01",
                                                                               device::vokarV3_Higher);
            loudspeaker.emulated->setRebootPause(std::chrono::milliseconds(0));
            loudspeaker.flash = std::make_unique<test::FirmwareFlash>(*loudspeaker.emulated, kImageSize);
            loudspeaker.device = test::TestDevice::create(
                n + 1, device::types::vokarB, net::HardwareAddress("02:7E:41:00:00:01"),
                loudspeaker.emulated->address(), L"Hall", transport, nullptr);
            loudspeaker.image = device::detectFirmware(bytes);
            loudspeaker.image->bind(loudspeaker.emulated->address(), transport, loudspeaker.device);
            loudspeakers.push_back(std::move(loudspeaker));
        }
    }
    ~Bench() {
        loudspeakers.clear();
        transport->stop();
        transport.reset();
        base::ThreadDispatcher::destroy();
    }

    std::string blockCommand() const {
        const std::string block(512, '\x5A');
        return "firmwareProgram 00000000 512 " + base::toHex(block.data(), block.size());
    }

    // What one plain socket and thread take for the requests of an update to every device at once,
    // each device's next block sent when its reply came: the floor of many devices on this machine.
    double plainAcrossDevices() {
        std::vector<net::IpAndPort> addresses;
        for (Loudspeaker& loudspeaker : loudspeakers) {
            loudspeaker.flash->flash().setStrict(false);
            addresses.push_back(loudspeaker.emulated->address());
        }
        return test::plainExchangesAcrossMicros(addresses, blockCommand(), kImageSize / 512 + 3);
    }

    // The same number of block commands to every device straight through the transport, each
    // device's one after the other: what the transport alone takes for the blocks of an update.
    void blocksAlone() {
        const std::string command = blockCommand();
        std::mutex lock;
        std::condition_variable done;
        std::size_t completed = 0;
        const std::size_t total = loudspeakers.size() * (kImageSize / 512 + 3);
        std::vector<net::IpAndPort> addresses;
        for (Loudspeaker& loudspeaker : loudspeakers) addresses.push_back(loudspeaker.emulated->address());
        for (std::size_t n = 0; n < kImageSize / 512 + 3; ++n) {
            for (const net::IpAndPort& address : addresses) {
                transport->async(
                    address, command,
                    [&](const std::string&, bool) {
                        std::lock_guard<std::mutex> guard(lock);
                        if (++completed == total) done.notify_all();
                    },
                    1, 1000);
            }
        }
        std::unique_lock<std::mutex> guard(lock);
        done.wait(guard, [&] { return completed == total; });
    }

    // Starts every device's update and waits until all of them reported their end.
    bool updateAll() {
        std::mutex lock;
        std::condition_variable done;
        std::size_t ended = 0;
        bool failed = false;
        for (Loudspeaker& loudspeaker : loudspeakers) {
            loudspeaker.image->upgrade([&](int percent) {
                if (percent != 100 && percent != -1) return;
                std::lock_guard<std::mutex> guard(lock);
                ++ended;
                failed = failed || percent == -1;
                done.notify_all();
            });
        }
        std::unique_lock<std::mutex> guard(lock);
        done.wait(guard, [&] { return ended == loudspeakers.size(); });
        return !failed;
    }

    // The exchanges of one update (or of the blocks alone) with every device.
    double exchanges() const { return double(loudspeakers.size()) * (kImageSize / 512 + 3); }

    std::uint16_t port;
    std::shared_ptr<device::TransferProtocol> transport;
    std::vector<Loudspeaker> loudspeakers;
};

void UpdateFirmware(benchmark::State& state) {
    Bench bench(static_cast<int>(state.range(0)));
    double plainAllUs = 0;
    std::vector<double> updates;
    bench::CostMeter floorCost;
    bench::CostMeter cost;
    for (auto _ : state) {
        state.PauseTiming();
        floorCost.start();
        plainAllUs += bench.plainAcrossDevices() / state.max_iterations;
        floorCost.stop();
        state.ResumeTiming();
        cost.start();
        const auto start = Clock::now();
        if (!bench.updateAll()) state.SkipWithError("an update failed");
        updates.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        cost.stop();
    }
    bench::setCostPerRequest(state, "floor_", floorCost.spent(), bench.exchanges() * state.iterations());
    bench::setCostPerRequest(state, "", cost.spent(), bench.exchanges() * state.iterations());
    double mean = 0;
    for (double update : updates) mean += update / updates.size();
    state.counters["update_ms"] = mean / 1000;
    state.counters["floor_ms"] = plainAllUs / 1000;
    state.counters["ratio"] = mean / plainAllUs;
}
void TransportAloneAcrossDevices(benchmark::State& state) {
    Bench bench(static_cast<int>(state.range(0)));
    for (Loudspeaker& loudspeaker : bench.loudspeakers) loudspeaker.flash->flash().setStrict(false);
    double plainAllUs = 0;
    double aloneUs = 0;
    bench::CostMeter floorCost;
    bench::CostMeter cost;
    for (auto _ : state) {
        state.PauseTiming();
        floorCost.start();
        plainAllUs += bench.plainAcrossDevices() / state.max_iterations;
        floorCost.stop();
        state.ResumeTiming();
        cost.start();
        const auto start = Clock::now();
        bench.blocksAlone();
        aloneUs +=
            std::chrono::duration<double, std::micro>(Clock::now() - start).count() / state.max_iterations;
        cost.stop();
    }
    bench::setCostPerRequest(state, "floor_", floorCost.spent(), bench.exchanges() * state.iterations());
    bench::setCostPerRequest(state, "", cost.spent(), bench.exchanges() * state.iterations());
    state.counters["blocks_ms"] = aloneUs / 1000;
    state.counters["floor_ms"] = plainAllUs / 1000;
    state.counters["ratio"] = aloneUs / plainAllUs;
}
BENCHMARK(TransportAloneAcrossDevices)
    ->Arg(1)
    ->Arg(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

BENCHMARK(UpdateFirmware)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
