// How many status packets the device registry absorbs end to end (datagrams over loopback from
// 400 emulated loudspeakers and 100 consoles, through the transport's threads and the dispatcher,
// to the device's packet parser), and what recognising and handling one unchanged packet costs.
// A site of that size sends about 500 packets a second; the aim is 100 times that. The headline
// is the site with the program's own device classes, beside the floor of one plain socket and
// thread receiving the same rounds of packets from the same senders in the same run ("ratio":
// the time per packet over the floor's). The registry's road with a stub class is a figure for
// finding where the time goes, not an aim.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/FloorRatio.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/TransferProtocol.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/ThreadDispatcher.h"
#include "support/ConsoleEmulator.h"
#include "support/DeviceEmulator.h"
#include "support/LoudspeakerEmulator.h"
#include "support/PlainExchange.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSenders = 500;
// Senders from this number on are consoles.
constexpr int kLoudspeakers = 400;
// Packets a second that a site of kSenders devices sends.
constexpr double kSitePacketRate = 500;

std::atomic<std::uint64_t> parsedPackets{0};

// Takes a packet the way the device classes do at the least: version, sender, time stamps. It
// measures what the registry's road costs without the device classes' parsers.
class BenchDevice : public device::DeviceBase {
public:
    using DeviceBase::DeviceBase;
    static std::shared_ptr<BenchDevice> create(std::uint32_t id, device::DeviceType type,
                                               const net::HardwareAddress& hardwareAddress,
                                               const net::IpAndPort& address, const std::wstring& title,
                                               const std::shared_ptr<device::TransferProtocol>& protocol,
                                               const device::StateHandler& stateHandler) {
        auto device = std::make_shared<BenchDevice>(id, hardwareAddress, address, title, protocol);
        device->setThisBasePtr(device);
        device->setStateHandler(stateHandler);
        return device;
    }
    bool parseState(const std::string& packet, const net::IpAndPort& sender) override {
        std::string text;
        if (!device::stateVersionText(packet, text)) return false;
        if (!hasVersionText(text)) {
            device::Version version;
            if (!device::parseVersion(text, &version)) return false;
            setVersion(version);
        }
        if (sender.getAddress() != getAddress().getAddress()) setAddress(sender);
        lastPacketTime = now();
        lastStateTime = now();
        stateReceived = true;
        parsedPackets.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    bool checkUpgradePossibility(const std::shared_ptr<device::IFirmware>&) override { return false; }
    bool setVolume(std::int32_t) override { return false; }
    bool hasInternalPlaying() override { return false; }
    std::wstring getTypeText() override { return L"bench"; }
    device::CommonConfig getCommonConfig(bool) override { return device::CommonConfig(); }
    bool setCommonConfig(const device::CommonConfig&) override { return false; }
    std::string getDebugInfo() override { return std::string(); }
    std::string debugInfoRequest(bool) const override { return "get dbg"; }
    void startDeviceTest() override {}
    bool isTestRunning() const override { return false; }
    void handleVolume(const std::string&) override {}
};

std::string hardwareText(int number) {
    return net::HardwareAddress(net::HardwareAddress::vendorPrefix, static_cast<std::uint32_t>(number))
        .toCharArray();
}

// The packet each device sends, in the form of its kind.
std::string statePacket(int number) {
    if (number >= kLoudspeakers) {
        return test::ConsoleEmulator::makeStatusPacket(hardwareText(number), {}, "Tribel-T 1.00.16");
    }
    return test::LoudspeakerEmulator::makeStatusPacket(
        hardwareText(number), {}, test::LoudspeakerEmulator::fullNumberCount, "Vokar-B 1.03.128");
}

template <class Loudspeaker, class Console>
void setFactories(device::DeviceCollection& registry) {
    registry.setFactory(device::types::loudspeaker, std::make_shared<device::DeviceFactoryOf<Loudspeaker>>());
    registry.setFactory(device::types::console, std::make_shared<device::DeviceFactoryOf<Console>>());
}

device::DeviceType familyOf(int number) {
    return number >= kLoudspeakers ? device::types::console : device::types::loudspeaker;
}

// Emulated devices live at 127.1.x.y, a loopback address each.
std::string ipOf(int n) {
    return "127.1." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
}

class Senders {
public:
    Senders(int count, std::uint16_t port) : target_("127.0.0.1", port) {
        for (int n = 0; n < count; ++n) {
            devices_.push_back(std::make_unique<test::EmulatedDevice>(ipOf(n), port));
            packets_.push_back(statePacket(n));
        }
    }
    void send(int n) { send(n, target_); }
    void send(int n, const net::IpAndPort& target) { devices_[n]->send(packets_[n], target); }
    int count() const { return static_cast<int>(devices_.size()); }

private:
    const net::IpAndPort target_;
    std::vector<std::unique_ptr<test::EmulatedDevice>> devices_;
    std::vector<std::string> packets_;
};

// Waits until `target` packets were parsed; gives up when nothing moves for a while (a datagram
// lost in a full socket buffer) and returns how many are missing.
std::uint64_t waitForParsed(std::uint64_t target) {
    std::uint64_t last = parsedPackets.load();
    auto lastMove = Clock::now();
    while (last < target) {
        std::this_thread::yield();
        const std::uint64_t now = parsedPackets.load();
        if (now != last) {
            last = now;
            lastMove = Clock::now();
        } else if (Clock::now() - lastMove > std::chrono::milliseconds(200)) {
            return target - now;
        }
    }
    return 0;
}

// Sends every sender's first packet, which only registers it, until all are registered; a first
// packet lost in a full socket buffer is sent again. False when some never were.
bool registerAll(Senders& senders, device::DeviceCollection& registry) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    std::vector<bool> registered(senders.count(), false);
    for (std::size_t known = 0; known < registered.size() && Clock::now() < deadline;) {
        for (int n = 0; n < senders.count(); ++n) {
            if (registered[n]) continue;
            senders.send(n);
            if (n % 32 == 31) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        known = 0;
        for (int n = 0; n < senders.count(); ++n) {
            registered[n] =
                registry.searchForFamily(net::HardwareAddress(hardwareText(n)), familyOf(n)) != nullptr;
            known += registered[n] ? 1 : 0;
        }
    }
    return registry.getDevices().size() == static_cast<std::size_t>(senders.count());
}

// A registry on loopback with the factories of one kind of device classes and every sender
// registered; the body gets the senders and the registry.
template <class Loudspeaker, class Console, class Body>
void withRegistry(benchmark::State& state, Body&& body) {
    base::ThreadDispatcher::create();
    {
        const std::uint16_t port = test::freeUdpPort();
        auto transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        auto registry = std::make_shared<device::DeviceCollection>(transport, port);
        setFactories<Loudspeaker, Console>(*registry);
        std::uint32_t lastId = 0;
        registry->setNewDeviceHandler(
            [&](const std::string&, const net::HardwareAddress&, const std::wstring&) { return ++lastId; });
        transport->run();
        Senders senders(kSenders, port);
        if (!registerAll(senders, *registry)) {
            state.SkipWithError("not every sender was registered");
        } else {
            body(senders, *registry);
        }
        registry->stop();
        transport->stop();
    }
    base::ThreadDispatcher::destroy();
}

// The registry's road alone: the devices take their packets by the least a class does (no aim).
void BM_PacketsAbsorbedEndToEnd(benchmark::State& state) {
    const auto window = static_cast<std::uint64_t>(state.range(0));
    constexpr std::uint64_t kPacketsPerIteration = 50000;
    withRegistry<BenchDevice, BenchDevice>(state, [&](Senders& senders, device::DeviceCollection&) {
        std::uint64_t lost = 0;
        std::uint64_t absorbed = 0;
        std::uint64_t sent = parsedPackets.load();
        int next = 0;
        for (auto _ : state) {
            const std::uint64_t target = sent + kPacketsPerIteration;
            while (sent < target) {
                // Keep only `window` datagrams on their way, so the socket buffer never overflows.
                while (sent - parsedPackets.load(std::memory_order_relaxed) - lost >= window)
                    std::this_thread::yield();
                senders.send(next);
                next = (next + 1) % senders.count();
                ++sent;
            }
            const std::uint64_t missing = waitForParsed(target - lost);
            lost += missing;
            absorbed += kPacketsPerIteration - missing;
        }
        state.SetItemsProcessed(static_cast<std::int64_t>(absorbed));
        state.counters["lost"] = static_cast<double>(lost);
    });
}
BENCHMARK(BM_PacketsAbsorbedEndToEnd)->Arg(64)->Arg(256)->UseRealTime()->Unit(benchmark::kMillisecond);

// The floor: packets a second that one plain socket and thread take in rounds of one packet from
// every sender, each round taken once all of its packets came.
double plainRoundsPerSecond(Senders& senders, int rounds) {
    const int fd = test::plainLoopbackSocket();
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    const net::IpAndPort target("127.0.0.1", ntohs(local.sin_port));
    std::atomic<std::uint64_t> received{0};
    std::atomic<bool> ending{false};
    std::thread receiver([&] {
        char packet[2048];
        while (!ending.load()) {
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 50) > 0 && ::recv(fd, packet, sizeof packet, 0) > 0) received.fetch_add(1);
        }
    });
    std::uint64_t taken = 0;
    const auto start = Clock::now();
    for (int round = 0; round < rounds; ++round) {
        const std::uint64_t before = received.load();
        for (int n = 0; n < senders.count(); ++n) senders.send(n, target);
        const auto deadline = Clock::now() + std::chrono::milliseconds(500);
        while (received.load() < before + senders.count() && Clock::now() < deadline)
            std::this_thread::yield();
        taken += received.load() - before;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ending.store(true);
    receiver.join();
    ::close(fd);
    return taken / seconds;
}

// The whole site with its own device classes: rounds of one packet from every device, each
// round taken once every device has stamped a packet later than the round's start.
void BM_SiteAbsorbedEndToEnd(benchmark::State& state) {
    constexpr int kRoundsPerIteration = 100;
    withRegistry<device::VokarInfo, device::TribelInfo>(
        state, [&](Senders& senders, device::DeviceCollection& registry) {
            const std::vector<std::shared_ptr<device::DeviceBase>> devices = registry.getDevices();
            const double floorRate = plainRoundsPerSecond(senders, kRoundsPerIteration);
            std::uint64_t absorbed = 0;
            std::uint64_t lostRounds = 0;
            const auto start = Clock::now();
            for (auto _ : state) {
                for (int round = 0; round < kRoundsPerIteration; ++round) {
                    const std::int64_t start = device::DeviceBase::now();
                    for (int n = 0; n < senders.count(); ++n) senders.send(n);
                    const auto deadline = Clock::now() + std::chrono::milliseconds(500);
                    bool all = false;
                    while (!all && Clock::now() < deadline) {
                        all = true;
                        for (const auto& device : devices)
                            all = all && device->lastPacketTime.load() >= start;
                        if (!all) std::this_thread::yield();
                    }
                    if (all) {
                        absorbed += static_cast<std::uint64_t>(senders.count());
                    } else {
                        ++lostRounds;
                    }
                }
            }
            const double rate = absorbed / std::chrono::duration<double>(Clock::now() - start).count();
            state.SetItemsProcessed(static_cast<std::int64_t>(absorbed));
            state.counters["lostRounds"] = static_cast<double>(lostRounds);
            // The aim: 100 times the rate of a real site.
            state.counters["siteRates"] = rate / kSitePacketRate;
            state.counters["floor_site_rates"] = floorRate / kSitePacketRate;
            state.counters["ratio"] = floorRate / rate;
        });
}
BENCHMARK(BM_SiteAbsorbedEndToEnd)->UseRealTime()->Unit(benchmark::kMillisecond);

// Arg 0: a loudspeaker's packet, 1: a console's.
void BM_RecogniseStatePacket(benchmark::State& state) {
    const std::string packet = statePacket(state.range(0) == 0 ? 7 : kLoudspeakers + 7);
    net::HardwareAddress address;
    // The floor: one pass over the packet's bytes.
    const double floor = bench::nanosecondsEach(
        [&] { benchmark::DoNotOptimize(std::count(packet.begin(), packet.end(), ' ')); }, 1000000);
    const auto start = Clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(device::isStatePacket(packet, address));
    bench::setFloorRatio(state, start, floor);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecogniseStatePacket)->Arg(0)->Arg(1);

// Recognition and handling by the device's own class of one packet that repeats the device's
// last one, as most do. Arg 0: a loudspeaker, 1: a console.
void BM_RecogniseAndHandleUnchangedPacket(benchmark::State& state) {
    base::ThreadDispatcher::create();
    {
        const std::uint16_t port = test::freeUdpPort();
        auto transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        device::DeviceCollection registry(transport, port);
        setFactories<device::VokarInfo, device::TribelInfo>(registry);
        for (int i = 0; i < kSenders; ++i) {
            registry.addDevice(static_cast<std::uint32_t>(i + 1), i >= kLoudspeakers ? "Tribel-T" : "Vokar-B",
                               net::HardwareAddress(hardwareText(i)), net::Ip4Address(ipOf(i)), L"");
        }
        const int sender = state.range(0) == 0 ? 7 : kLoudspeakers + 7;
        const std::string packet = statePacket(sender);
        const net::IpAndPort from(ipOf(sender), port);
        // The floor: comparing the packet with a copy of the last one.
        const std::string last = packet;
        const double floor =
            bench::nanosecondsEach([&] { benchmark::DoNotOptimize(packet == last); }, 1000000);
        const auto start = Clock::now();
        for (auto _ : state) {
            net::HardwareAddress address;
            if (device::isStatePacket(packet, address))
                registry.handleAllStatesCallback(packet, from, address);
        }
        bench::setFloorRatio(state, start, floor);
        state.SetItemsProcessed(state.iterations());
        registry.stop();
        transport->stop();
    }
    base::ThreadDispatcher::destroy();
}
BENCHMARK(BM_RecogniseAndHandleUnchangedPacket)->Arg(0)->Arg(1);

}  // namespace
