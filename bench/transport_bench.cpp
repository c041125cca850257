// The device transport against emulated devices on loopback: sync round trips (p50, p99) beside
// the floor of a plain UDP ping-pong with the same emulated device, the best p50 of three taken
// around the measurement (one before, two after), and p50 over that floor; the same pair with
// every thread on one CPU, where only the work and the number of thread switches count (aim: 2).
// Beside them, taken the same way, the chain of hand-offs that the transport's threads make of
// every reply, on plain sockets and queues, and p50 over it: what is the transport's own work.
// Async requests per second across many devices. Each prints, beside its floor's, the heap
// allocations and the thread switches of the whole process per request.

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
#include <thread>
#include <vector>

#include "bench/RequestCost.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/PlainExchange.h"

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

sockaddr_in endpointOf(const net::IpAndPort& device) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(device.getPort());
    target.sin_addr.s_addr = htonl(device.getAddress());
    return target;
}

// The p50 in microseconds of `exchanges` plain ping-pongs with the device from a socket of
// this thread's own.
double plainPingPongP50(const net::IpAndPort& device, int exchanges) {
    const int fd = test::plainLoopbackSocket();
    const sockaddr_in target = endpointOf(device);
    char buffer[1500];
    std::vector<double> micros;
    for (int n = 0; n < exchanges; ++n) {
        const auto start = Clock::now();
        ::sendto(fd, "get vol\n", 8, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
        ::recv(fd, buffer, sizeof buffer, 0);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    ::close(fd);
    std::sort(micros.begin(), micros.end());
    return micros[micros.size() / 2];
}

// The least a reply can cost with the transport's threads: the same exchanges with the same
// device, each reply read by a thread of its own that queues it for a second thread, which wakes
// the waiting caller. The four threads a reply passes in the transport (the caller, the device,
// the receiver and the responder), with nothing of its matching; p50 in microseconds.
double handOffChainP50(const net::IpAndPort& device, int exchanges) {
    const int fd = test::plainLoopbackSocket();
    const sockaddr_in target = endpointOf(device);
    std::mutex queueLock;
    std::condition_variable queued;
    int waiting = 0;
    std::mutex callerLock;
    std::condition_variable answered;
    int replies = 0;
    std::atomic<bool> ending{false};
    std::thread receiver([&] {
        char buffer[1500];
        while (::recv(fd, buffer, sizeof buffer, 0) >= 0 && !ending) {
            {
                std::lock_guard<std::mutex> guard(queueLock);
                ++waiting;
            }
            queued.notify_one();
        }
    });
    std::thread responder([&] {
        for (;;) {
            int taken = 0;
            {
                std::unique_lock<std::mutex> guard(queueLock);
                queued.wait(guard, [&] { return waiting > 0 || ending; });
                if (ending) return;
                std::swap(taken, waiting);
            }
            {
                std::lock_guard<std::mutex> guard(callerLock);
                replies += taken;
            }
            answered.notify_one();
        }
    });
    std::vector<double> micros;
    for (int n = 0; n < exchanges; ++n) {
        const auto start = Clock::now();
        ::sendto(fd, "get vol\n", 8, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
        std::unique_lock<std::mutex> guard(callerLock);
        answered.wait(guard, [&] { return replies > n; });
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    // A datagram to itself ends the receiver's wait.
    ending = true;
    sockaddr_in self{};
    socklen_t length = sizeof self;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &length);
    ::sendto(fd, "", 0, 0, reinterpret_cast<sockaddr*>(&self), sizeof self);
    receiver.join();
    {
        std::lock_guard<std::mutex> guard(queueLock);
    }
    queued.notify_one();
    responder.join();
    ::close(fd);
    std::sort(micros.begin(), micros.end());
    return micros[micros.size() / 2];
}

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
    // As the program's devices keep theirs.
    const net::IpAndPort address = device->address();
    constexpr int kFloorExchanges = 2000;
    bench::CostMeter floorCost;
    floorCost.start();
    double floor = plainPingPongP50(address, kFloorExchanges);
    floorCost.stop();
    double chain = handOffChainP50(address, kFloorExchanges);
    std::string reply;
    std::vector<double> micros;
    bench::CostMeter cost;
    cost.start();
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!transport.protocol->sync(address, "get vol", reply, 2, 1000)) {
            state.SkipWithError("no reply");
            break;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    cost.stop();
    floorCost.start();
    for (int n = 0; n < 2; ++n) floor = std::min(floor, plainPingPongP50(address, kFloorExchanges));
    floorCost.stop();
    for (int n = 0; n < 2; ++n) chain = std::min(chain, handOffChainP50(address, kFloorExchanges));
    bench::setCostPerRequest(state, "floor_", floorCost.spent(), 3.0 * kFloorExchanges);
    bench::setCostPerRequest(state, "", cost.spent(), static_cast<double>(state.iterations()));
    const double p50 = setPercentiles(state, micros);
    state.counters["floor_p50_us"] = floor;
    state.counters["p50_vs_floor"] = p50 / floor;
    state.counters["chain_p50_us"] = chain;
    state.counters["p50_vs_chain"] = p50 / chain;
}
BENCHMARK(SyncRoundTrip)->Arg(0)->Arg(1)->UseRealTime();

void AsyncRequestsAcrossDevices(benchmark::State& state) {
    Transport transport;
    const int count = static_cast<int>(state.range(0));
    std::vector<std::unique_ptr<test::EmulatedDevice>> devices;
    for (int n = 1; n <= count; ++n) devices.push_back(echoDevice(n, transport.port));
    constexpr int kPerDevice = 20;
    // The floor: one plain socket and thread making the same exchanges with the same devices, at
    // most one request in flight to each, as the transport keeps them.
    std::vector<net::IpAndPort> addresses;
    for (const auto& device : devices) addresses.push_back(device->address());
    bench::CostMeter floorCost;
    floorCost.start();
    const double floorUs = test::plainExchangesAcrossMicros(addresses, "get vol", kPerDevice);
    floorCost.stop();
    bench::CostMeter cost;
    cost.start();
    const auto start = Clock::now();
    std::mutex lock;
    std::condition_variable finished;
    std::int64_t completed = 0;
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> guard(lock);
            completed = 0;
        }
        for (int r = 0; r < kPerDevice; ++r) {
            for (const net::IpAndPort& address : addresses) {
                transport.protocol->async(
                    address, "get vol",
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
    const double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    cost.stop();
    bench::setCostPerRequest(state, "floor_", floorCost.spent(), double(count) * kPerDevice);
    bench::setCostPerRequest(state, "", cost.spent(), double(state.iterations()) * count * kPerDevice);
    state.SetItemsProcessed(state.iterations() * count * kPerDevice);
    state.counters["floor_ms"] = floorUs / 1000;
    state.counters["ratio"] = micros / state.iterations() / floorUs;
}
BENCHMARK(AsyncRequestsAcrossDevices)
    ->Arg(1)
    ->Arg(16)
    ->Arg(256)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
