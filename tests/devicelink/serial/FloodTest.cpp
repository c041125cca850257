// The receive path under a flood, as a hostile or broken network would send it: status packets
// from made-up hardware addresses, and garbage from a known device's own address and port.
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

#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
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

TEST(FloodTest, MemoryAndLogStayBoundedAndGenuineDevicesAreServed) {
    test::LogCapture capture(base::Log::INFO);
    base::ThreadDispatcher::create();
    const std::uint16_t port = test::freeUdpPort();
    auto transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
    auto registry = std::make_shared<device::DeviceCollection>(transport, port);
    registry->setFactory(device::types::loudspeaker,
                         std::make_shared<device::DeviceFactoryOf<test::TestDevice>>());
    std::atomic<std::uint32_t> lastId{0};
    registry->setNewDeviceHandler(
        [&](const std::string&, const net::HardwareAddress&, const std::wstring&) { return ++lastId; });
    transport->run();

    test::EmulatedDevice genuine("127.0.0.2", port);
    genuine.answer("get vol", "OK[get vol]: 40");
    test::EmulatedDevice stranger("127.0.0.3", port);
    const net::IpAndPort target("127.0.0.1", port);
    std::string reply;
    ASSERT_TRUE(transport->sync(genuine.address(), "get vol", reply, 2, 200));
    const std::uintmax_t logBefore = logBytes(capture);
    const double memoryBefore = residentMegabytes();

    std::atomic<bool> flooding{true};
    std::thread absurd([&] {
        for (std::uint32_t n = 0; flooding; ++n) {
            const std::string address = net::HardwareAddress(0, n & 0xFFFFFF).toCharArray();
            stranger.send(address + ",1,2,3,4,5,flood,Vokar-B 2.01.03", target);
        }
    });
    std::thread garbage([&] {
        const std::string junk(1400, '\x7f');
        while (flooding) genuine.send(junk, target);
    });

    double peak = memoryBefore;
    int answered = 0;
    int asked = 0;
    const auto end = std::chrono::steady_clock::now() + 4s;
    while (std::chrono::steady_clock::now() < end) {
        ++asked;
        answered += transport->sync(genuine.address(), "get vol", reply, 2, 200) ? 1 : 0;
        peak = std::max(peak, residentMegabytes());
        std::this_thread::sleep_for(20ms);
    }
    flooding = false;
    absurd.join();
    garbage.join();
    std::printf("flood: resident memory %.1f MB before, %.1f MB at the peak; log grew by %ju bytes\n",
                memoryBefore, peak, logBytes(capture) - logBefore);

    EXPECT_EQ(answered, asked);
    EXPECT_LE(registry->getDevices().size(), device::DeviceCollection::kMostDevices);
    EXPECT_EQ(capture.find(L"new devices are refused", L"WARN").size(), 1u);
    // An unbounded queue grows by gigabytes here. A sanitizer build keeps up to 256 MB of freed
    // memory in quarantine and shadows the rest.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    EXPECT_LT(peak - memoryBefore, 768.0);
#else
    EXPECT_LT(peak - memoryBefore, 160.0);
#endif
    EXPECT_LT(logBytes(capture) - logBefore, std::uintmax_t{1} << 20);

    registry->stop();
    transport->stop();
    registry.reset();
    transport.reset();
    base::ThreadDispatcher::destroy();
}

}  // namespace
