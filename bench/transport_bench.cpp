// The device transport against emulated devices on loopback: the floor of a plain UDP
// ping-pong, sync round trips (p50, p99, and p50 over the floor's p50 of the same run), also with
// every thread on one CPU, and async requests per second across many devices.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "devicelink/TransferProtocol.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Devices live at 127.1.x.y, a loopback address each.
std::string ipOf(int n) {
    return "127.1." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
}

std::unique_ptr<test::EmulatedDevice> echoDevice(int n, std::uint16_t port) {
    auto device = std::make_unique<test::EmulatedDevice>(ipOf(n), port);
    device->on("", [](const std::string& command) { return std::optional<std::string>("OK " + command); });
    return device;
}

// The floor's p50 by whether the threads share one CPU, for the sync figures that follow.
double floorP50[2] = {0, 0};

double setPercentiles(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) return 0;
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    return micros[micros.size() / 2];
}

// With range(0) set, this thread and every thread made while it lives run on one CPU.
class OneCpu {
public:
    explicit OneCpu(bool pin) : pinned_(pin) {
        if (!pinned_) return;
        sched_getaffinity(0, sizeof saved_, &saved_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &saved_)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        sched_setaffinity(0, sizeof one, &one);
    }
    ~OneCpu() {
        if (pinned_) sched_setaffinity(0, sizeof saved_, &saved_);
    }

private:
    bool pinned_;
    cpu_set_t saved_;
};

void PlainUdpPingPong(benchmark::State& state) {
    const OneCpu cpu(state.range(0) != 0);
    const std::uint16_t port = test::freeUdpPort();
    auto device = echoDevice(1, port);
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    inet_pton(AF_INET, ipOf(1).c_str(), &target.sin_addr);
    char buffer[1500];
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = Clock::now();
        ::sendto(fd, "get vol\n", 8, 0, reinterpret_cast<sockaddr*>(&target), sizeof target);
        ::recv(fd, buffer, sizeof buffer, 0);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    ::close(fd);
    floorP50[state.range(0) != 0] = setPercentiles(state, micros);
}
BENCHMARK(PlainUdpPingPong)->Arg(0)->Arg(1)->UseRealTime();

struct Transport {
    Transport() : port(test::freeUdpPort()) {
        base::ThreadDispatcher::create();
        protocol = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        protocol->run();
    }
    ~Transport() {
        protocol->stop();
        protocol.reset();
        base::ThreadDispatcher::destroy();
    }
    std::uint16_t port;
    std::shared_ptr<device::TransferProtocol> protocol;
};

void SyncRoundTrip(benchmark::State& state) {
    const OneCpu cpu(state.range(0) != 0);
    Transport transport;
    auto device = echoDevice(1, transport.port);
    std::string reply;
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!transport.protocol->sync(device->address(), "get vol", reply, 2, 1000)) {
            state.SkipWithError("no reply");
            break;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    const double p50 = setPercentiles(state, micros);
    const double floor = floorP50[state.range(0) != 0];
    if (floor > 0) state.counters["p50_vs_floor"] = p50 / floor;
}
BENCHMARK(SyncRoundTrip)->Arg(0)->Arg(1)->UseRealTime();

void AsyncRequestsAcrossDevices(benchmark::State& state) {
    Transport transport;
    const int count = static_cast<int>(state.range(0));
    std::vector<std::unique_ptr<test::EmulatedDevice>> devices;
    for (int n = 1; n <= count; ++n) devices.push_back(echoDevice(n, transport.port));
    constexpr int kPerDevice = 20;
    std::mutex lock;
    std::condition_variable finished;
    std::int64_t completed = 0;
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> guard(lock);
            completed = 0;
        }
        for (int r = 0; r < kPerDevice; ++r) {
            for (const auto& device : devices) {
                transport.protocol->async(
                    device->address(), "get vol",
                    [&](const std::string&, bool) {
                        std::lock_guard<std::mutex> guard(lock);
                        if (++completed == std::int64_t(count) * kPerDevice) finished.notify_all();
                    },
                    2, 1000);
            }
        }
        std::unique_lock<std::mutex> guard(lock);
        finished.wait(guard, [&] { return completed == std::int64_t(count) * kPerDevice; });
    }
    state.SetItemsProcessed(state.iterations() * count * kPerDevice);
}
BENCHMARK(AsyncRequestsAcrossDevices)
    ->Arg(1)
    ->Arg(16)
    ->Arg(256)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
