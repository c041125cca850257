// The receive path under a flood, as a hostile or broken network would send it: status packets
// from made-up hardware addresses, and garbage from a known device's own address and port; and a
// genuine device switched on once such a flood has filled the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/TestDevice.h"

namespace {

using namespace std::chrono_literals;

// The resident memory of this process, in MB.
double residentMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

std::uintmax_t logBytes(const test::LogCapture& capture) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(capture.folder().path()))
        bytes += entry.file_size();
    return bytes;
}

class FloodTest : public ::testing::Test {
protected:
    void SetUp() override {
        base::ThreadDispatcher::create();
        transport_ = std::make_shared<device::TransferProtocol>(port_, "127.0.0.1");
        registry_ = std::make_shared<device::DeviceCollection>(transport_, port_);
        registry_->setFactory(device::types::loudspeaker,
                              std::make_shared<device::DeviceFactoryOf<test::TestDevice>>());
        registry_->setNewDeviceHandler([this](const std::string&, const net::HardwareAddress&,
                                              const std::wstring&) { return ++lastId_; });
        transport_->run();
    }
    void TearDown() override {
        registry_->stop();
        transport_->stop();
        registry_.reset();
        transport_.reset();
        base::ThreadDispatcher::destroy();
    }

    // Status packets from made-up hardware addresses, each from its own, as fast as `stranger`
    // sends them, until `flooding` ends.
    std::thread flood(test::EmulatedDevice& stranger, std::atomic<bool>& flooding) const {
        return std::thread([this, &stranger, &flooding] {
            for (std::uint32_t n = 0; flooding; ++n) {
                const std::string address = net::HardwareAddress(0, n & 0xFFFFFF).toCharArray();
                stranger.send(address + ",1,2,3,4,5,flood,Vokar-B 2.01.03", target_);
            }
        });
    }

    test::LogCapture capture_{base::Log::INFO};
    const std::uint16_t port_ = test::freeUdpPort();
    const net::IpAndPort target_{"127.0.0.1", port_};
    std::shared_ptr<device::TransferProtocol> transport_;
    std::shared_ptr<device::DeviceCollection> registry_;
    std::atomic<std::uint32_t> lastId_{0};
};

TEST_F(FloodTest, MemoryAndLogStayBoundedAndGenuineDevicesAreServed) {
    test::EmulatedDevice genuine("127.0.0.2", port_);
    genuine.answer("get vol", "OK[get vol]: 40");
    test::EmulatedDevice stranger("127.0.0.3", port_);
    std::string reply;
    ASSERT_TRUE(transport_->sync(genuine.address(), "get vol", reply, 2, 200));
    const std::uintmax_t logBefore = logBytes(capture_);
    const double memoryBefore = residentMegabytes();

    std::atomic<bool> flooding{true};
    std::thread absurd = flood(stranger, flooding);
    std::thread garbage([&] {
        const std::string junk(1400, '\x7f');
        while (flooding) genuine.send(junk, target_);
    });

    // The questions are asked once the flood has filled the registry, however long a loaded
    // machine takes to get it going. Each is answered at its first send: a reply that the flood
    // crowded out, or held back beyond the question's interval, shows as a second send.
    double peak = memoryBefore;
    const bool full = test::waitFor([&] {
        peak = std::max(peak, residentMegabytes());
        return capture_.contains(L"the most it takes", L"WARN");
    });
    genuine.clearReceived();
    int answered = 0;
    constexpr int kAsked = 100;
    for (int asked = 0; full && asked < kAsked; ++asked) {
        answered += transport_->sync(genuine.address(), "get vol", reply, 2, 1000) ? 1 : 0;
        peak = std::max(peak, residentMegabytes());
        std::this_thread::sleep_for(20ms);
    }
    flooding = false;
    absurd.join();
    garbage.join();
    std::printf("flood: resident memory %.1f MB before, %.1f MB at the peak; log grew by %ju bytes\n",
                memoryBefore, peak, logBytes(capture_) - logBefore);

    ASSERT_TRUE(full);
    EXPECT_EQ(answered, kAsked);
    EXPECT_EQ(genuine.received(), std::vector<std::string>(kAsked, "get vol"));
    EXPECT_LE(registry_->getDevices().size(), device::DeviceCollection::kMostDevices);
    EXPECT_EQ(capture_.find(L"the most it takes", L"WARN").size(), 1u);
    // An unbounded queue grows by gigabytes here. A sanitizer build keeps up to 256 MB of freed
    // memory in quarantine and shadows the rest.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    EXPECT_LT(peak - memoryBefore, 768.0);
#else
    EXPECT_LT(peak - memoryBefore, 160.0);
#endif
    EXPECT_LT(logBytes(capture_) - logBefore, std::uintmax_t{1} << 20);
}

// Made-up devices fill the registry; a genuine loudspeaker switched on after the flood still gets
// in, within seconds, in the place of one of them.
TEST_F(FloodTest, AGenuineDeviceSwitchedOnAfterAFloodIsRegistered) {
    test::EmulatedDevice stranger("127.0.0.3", port_);
    std::atomic<bool> flooding{true};
    std::thread absurd = flood(stranger, flooding);
    const bool full = test::waitFor(
        [&] { return registry_->getDevices().size() == device::DeviceCollection::kMostDevices; }, 60s);
    // A while beyond the cap: the made-up devices keep taking each other's places.
    std::this_thread::sleep_for(2s);
    flooding = false;
    absurd.join();
    ASSERT_TRUE(full);

    // Switched on: a status packet every 200 ms.
    test::EmulatedDevice genuine("127.0.0.2", port_);
    const net::HardwareAddress address("02:7E:41:00:12:34");
    std::atomic<bool> switchedOn{true};
    std::thread packets([&] {
        for (int sequence = 0; switchedOn; ++sequence) {
            genuine.send(std::string(address.toCharArray()) + ",1,2,3,4,5,s" + std::to_string(sequence) +
                             ",Vokar-B 2.01.03",
                         target_);
            std::this_thread::sleep_for(200ms);
        }
    });
    const bool registered = test::waitFor(
        [&] { return registry_->searchForFamily(address, device::types::loudspeaker) != nullptr; }, 60s);
    switchedOn = false;
    packets.join();
    EXPECT_TRUE(registered);
    // A packet still queued may be taking a place just given up: the registry fills it again.
    EXPECT_TRUE(test::waitFor([&] {
        return registry_->getDevices().size() == device::DeviceCollection::kMostDevices;
    })) << registry_->getDevices().size();
}

}  // namespace
