// Writing a full audio memory to one emulated loudspeaker, beside the floor of the protocol for
// it: a plain socket of the benchmark's own making one round trip to the same emulator for every
// piece and for the three requests around them (ready, erase, ready), each a piece-sized program
// command, measured in the same run. Saving the logical image of that memory, which reads every
// fragment's data back, beside a plain socket making one read round trip per piece read. Each
// prints its floor ("floor_ms") and its time over the floor ("ratio"); the aim of the write is 2.
// Beside them, the heap allocations and thread switches of the whole process per exchange, the
// floor's and the program's.

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/RequestCost.h"
#include "devicelink/TransferProtocol.h"
#include "devicememory/V4AudioMemory.h"
#include "foundation/HexText.h"
#include "foundation/ThreadDispatcher.h"
#include "support/AudioFlash.h"
#include "support/DeviceEmulator.h"
#include "support/PlainExchange.h"
#include "support/TestDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kFlashSize = 1024 * 1024;

struct Bench {
    Bench() : port(test::freeUdpPort()) {
        base::ThreadDispatcher::create();
        transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        transport->run();
        emulated = std::make_unique<test::EmulatedDevice>("127.0.0.2", port);
        flash = std::make_unique<test::AudioFlash>(*emulated, kFlashSize);
        device = test::TestDevice::create(1, device::types::vokarB, net::HardwareAddress("02:7E:41:00:00:01"),
                                          emulated->address(), L"Hall", transport, nullptr);
    }
    ~Bench() {
        device.reset();
        transport->stop();
        transport.reset();
        base::ThreadDispatcher::destroy();
    }
    std::uint16_t port;
    std::shared_ptr<device::TransferProtocol> transport;
    std::unique_ptr<test::EmulatedDevice> emulated;
    std::unique_ptr<test::AudioFlash> flash;
    std::shared_ptr<test::TestDevice> device;
};

constexpr int kExchanges = 500;

std::string pieceCommand() {
    const std::string piece(512, '\xFF');
    return "voiceMemProgram 00000000 512 " + base::toHex(piece.data(), piece.size());
}

void WriteFullAudioMemory(benchmark::State& state) {
    Bench bench;
    std::vector<double> writes;
    std::size_t pieces = 0;
    double plainUs = 0;
    bench::CostMeter floorCost;
    bench::CostMeter cost;
    std::size_t exchanges = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string command = pieceCommand();
        floorCost.start();
        plainUs +=
            test::plainRoundTripMicros(bench.emulated->address(), command, kExchanges) / state.max_iterations;
        floorCost.stop();
        auto memory = device::v4::memory::AudioMemory::create(bench.device, bench.transport, nullptr, true);
        // Fragments of 60 KiB until the flash is full.
        for (int n = 0;; ++n) {
            try {
                memory->addFragment(std::string(60 * 1024, static_cast<char>(n)),
                                    L"fragment " + std::to_wstring(n));
            } catch (const std::exception&) {
                break;
            }
        }
        std::mutex lock;
        std::condition_variable done;
        int last = 0;
        std::size_t reports = 0;
        bench.emulated->clearReceived();
        state.ResumeTiming();

        cost.start();
        const auto start = Clock::now();
        memory->writeChanges([&](int percent) {
            std::lock_guard<std::mutex> guard(lock);
            last = percent;
            ++reports;
            // Only the end wakes the waiting thread, so the reports cost the write nothing more.
            if (percent == 100 || percent == -1) done.notify_all();
        });
        std::unique_lock<std::mutex> guard(lock);
        done.wait(guard, [&] { return last == 100 || last == -1; });
        writes.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        cost.stop();
        if (last != 100) state.SkipWithError("the write failed");
        pieces = reports;
        exchanges += bench.emulated->receivedCount();
    }
    bench::setCostPerRequest(state, "floor_", floorCost.spent(), double(kExchanges) * state.iterations());
    bench::setCostPerRequest(state, "", cost.spent(), static_cast<double>(exchanges));
    double mean = 0;
    for (double write : writes) mean += write / writes.size();
    state.counters["pieces"] = static_cast<double>(pieces);
    state.counters["write_ms"] = mean / 1000;
    state.counters["plain_rtt_us"] = plainUs;
    state.counters["floor_ms"] = (pieces + 3) * plainUs / 1000;
    state.counters["ratio"] = mean / ((pieces + 3) * plainUs);
}
BENCHMARK(WriteFullAudioMemory)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void SaveLogicalImageOfAFullMemory(benchmark::State& state) {
    Bench bench;
    {
        auto memory = device::v4::memory::AudioMemory::create(bench.device, bench.transport, nullptr, true);
        for (int n = 0;; ++n) {
            try {
                memory->addFragment(std::string(60 * 1024, static_cast<char>(n)),
                                    L"fragment " + std::to_wstring(n));
            } catch (const std::exception&) {
                break;
            }
        }
        memory->writeChanges(nullptr);
        while (memory->getWriteProgress() != 100) {
            if (memory->getWriteProgress() == -1) {
                state.SkipWithError("the write failed");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    double mean = 0;
    double readUs = 0;
    std::size_t reads = 0;
    for (auto _ : state) {
        state.PauseTiming();
        readUs +=
            test::plainRoundTripMicros(bench.emulated->address(), "voiceMemRead 00000000 512", kExchanges) /
            state.max_iterations;
        // Loaded without the fragments' data, as a memory is before its image is saved.
        auto memory = device::v4::memory::AudioMemory::create(bench.device, bench.transport, nullptr, false);
        bench.emulated->clearReceived();
        state.ResumeTiming();

        const auto start = Clock::now();
        const std::string image = memory->getImage(false);
        mean +=
            std::chrono::duration<double, std::micro>(Clock::now() - start).count() / state.max_iterations;
        if (image.size() != kFlashSize) state.SkipWithError("the image is not as long as the flash");
        reads = bench.emulated->receivedCount();
    }
    state.counters["reads"] = static_cast<double>(reads);
    state.counters["image_ms"] = mean / 1000;
    state.counters["plain_rtt_us"] = readUs;
    state.counters["floor_ms"] = reads * readUs / 1000;
    state.counters["ratio"] = mean / (reads * readUs);
}
BENCHMARK(SaveLogicalImageOfAFullMemory)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
