// How many status packets the device registry absorbs end to end (datagrams over loopback from
// 500 emulated devices, through the transport's threads and the dispatcher, to the device's
// packet parser), and what recognising and handling one unchanged packet costs.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSenders = 500;

std::atomic<std::uint64_t> parsedPackets{0};

// Takes a packet the way the device classes do at the least: version, sender, time stamps.
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
        device::Version version;
        if (!parseStateVersion(packet, &version)) return false;
        if (version.text != getVersion().text) setVersion(version);
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
    void handleVolume(const std::string&) override {}
};

std::string hardwareText(int number) {
    return net::HardwareAddress(net::HardwareAddress::vendorPrefix, static_cast<std::uint32_t>(number))
        .toCharArray();
}

std::string statePacket(int number) {
    return hardwareText(number) + ",1,0,100,3,0,Hall " + std::to_string(number) +
           ",Vokar-B 2.01.03 [2023-04-05 10:11:12]";
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
    void send(int n) { devices_[n]->send(packets_[n], target_); }
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

void BM_PacketsAbsorbedEndToEnd(benchmark::State& state) {
    const auto window = static_cast<std::uint64_t>(state.range(0));
    constexpr std::uint64_t kPacketsPerIteration = 50000;
    base::ThreadDispatcher::create();
    {
        const std::uint16_t port = test::freeUdpPort();
        auto transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        auto registry = std::make_shared<device::DeviceCollection>(transport, port);
        registry->setFactory(device::types::loudspeaker,
                             std::make_shared<device::DeviceFactoryOf<BenchDevice>>());
        std::uint32_t lastId = 0;
        registry->setNewDeviceHandler(
            [&](const std::string&, const net::HardwareAddress&, const std::wstring&) { return ++lastId; });
        transport->run();
        Senders senders(kSenders, port);

        // Every sender's first packet only registers it; a first packet lost in a full socket
        // buffer is sent again.
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
                registered[n] = registry->searchForFamily(net::HardwareAddress(hardwareText(n)),
                                                          device::types::loudspeaker) != nullptr;
                known += registered[n] ? 1 : 0;
            }
        }
        if (registry->getDevices().size() < static_cast<std::size_t>(senders.count())) {
            state.SkipWithError("not every sender was registered");
        }

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
        registry->stop();
        transport->stop();
    }
    base::ThreadDispatcher::destroy();
}
BENCHMARK(BM_PacketsAbsorbedEndToEnd)->Arg(64)->Arg(256)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RecogniseStatePacket(benchmark::State& state) {
    const std::string packet = statePacket(7);
    net::HardwareAddress address;
    for (auto _ : state) benchmark::DoNotOptimize(device::isStatePacket(packet, address));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecogniseStatePacket);

// Recognition and handling of one packet that repeats the device's last one, as most do.
void BM_RecogniseAndHandleUnchangedPacket(benchmark::State& state) {
    const std::uint16_t port = test::freeUdpPort();
    auto transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
    device::DeviceCollection registry(transport, port);
    registry.setFactory(device::types::loudspeaker, std::make_shared<device::DeviceFactoryOf<BenchDevice>>());
    for (int i = 0; i < kSenders; ++i) {
        registry.addDevice(static_cast<std::uint32_t>(i + 1), "Vokar-B",
                           net::HardwareAddress(hardwareText(i)), net::Ip4Address(ipOf(0)), L"");
    }
    const std::string packet = statePacket(7);
    const net::IpAndPort from(ipOf(7), port);
    for (auto _ : state) {
        net::HardwareAddress address;
        if (device::isStatePacket(packet, address)) registry.handleAllStatesCallback(packet, from, address);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecogniseAndHandleUnchangedPacket);

}  // namespace
