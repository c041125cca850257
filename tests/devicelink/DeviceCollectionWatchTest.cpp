#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/Exceptions.h"
#include "foundation/Ping.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/PrivateNetwork.h"
#include "support/TestDevice.h"

namespace {

using namespace std::chrono_literals;
using device::DeviceBase;
using device::DeviceCollection;

// Every test has a network namespace of its own, so the system's default ports are free.
constexpr std::uint16_t kPort = 11990;
constexpr std::uint16_t kDiscoveryPort = 11991;
constexpr const char* kInterfaceIp = "127.0.0.5";
constexpr const char* kGateway = "127.0.0.2";
// Stand-ins for the factory address and the limited broadcast, which a test must never reach.
constexpr const char* kFactoryAddress = "127.0.0.8";
constexpr const char* kLimitedBroadcast = "127.0.0.254";
// The directed broadcast address of 127.0.0.5/24.
constexpr const char* kDirectedBroadcast = "127.0.0.255";

constexpr const wchar_t* kGatewayAnswered = L"Удалённый узел ответил (сеть доступна)";
constexpr const wchar_t* kNoSuchInterface = L"Сетевой интерфейс с запрошенным IP адресом не существует";
constexpr const wchar_t* kDeviceLost = L"Устройство отключено: ";

std::wstring noConnection(const std::string& ip) {
    return L"The Melvox has no connection to the network with ip '" + base::widen(ip) + L"'.";
}

std::wstring lookedFor(std::uint32_t id) {
    return L"find lost device with id=" + std::to_wstring(id);
}

std::string hardwareText(std::uint32_t number) {
    char text[32];
    std::snprintf(text, sizeof text, "02:7E:41:00:00:%02X", number);
    return text;
}

// A test device that counts the control thread's online checks and can be told to make them fail.
class WatchedDevice : public test::TestDevice {
public:
    using TestDevice::TestDevice;

    static std::shared_ptr<WatchedDevice> create(std::uint32_t id, device::DeviceType type,
                                                 const net::HardwareAddress& hardwareAddress,
                                                 const net::IpAndPort& address, const std::wstring& title,
                                                 const std::shared_ptr<device::TransferProtocol>& protocol,
                                                 const device::StateHandler& stateHandler) {
        return TestDevice::create<WatchedDevice>(id, type, hardwareAddress, address, title, protocol,
                                                 stateHandler);
    }

    void checkOnline(bool requireState) override {
        ++checks;
        std::function<void()> failure;
        {
            std::lock_guard<std::mutex> guard(failureLock_);
            if (failuresLeft_ > 0) {
                --failuresLeft_;
                failure = failure_;
            }
        }
        if (failure) failure();
        TestDevice::checkOnline(requireState);
    }

    // The next `count` online checks run `failure` (which throws) instead.
    void failNext(int count, std::function<void()> failure) {
        std::lock_guard<std::mutex> guard(failureLock_);
        failuresLeft_ = count;
        failure_ = std::move(failure);
    }

    // Last heard `micros` ago, as a status packet leaves it.
    void heardAgo(std::int64_t micros) {
        stateReceived = true;
        lastStateTime = now() - micros;
    }
    // Stays online for the whole test: a time in the future counts as online.
    void onlineForAnHour() { lastStateTime = now() + 3600LL * 1000000; }

    std::atomic<int> checks{0};

private:
    std::mutex failureLock_;
    int failuresLeft_ = 0;
    std::function<void()> failure_;
};

std::shared_ptr<WatchedDevice> asWatched(const std::shared_ptr<DeviceBase>& device) {
    return std::dynamic_pointer_cast<WatchedDevice>(device);
}

// A transport and a registry on one port, as the main window builds them.
struct Registry {
    Registry(std::uint16_t port, const device::StateHandler& stateHandler) {
        transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        registry = std::make_shared<DeviceCollection>(transport, port);
        registry->setFactory(device::types::loudspeaker,
                             std::make_shared<device::DeviceFactoryOf<WatchedDevice>>());
        os::DiscoveryTargets targets;
        targets.factoryAddress = kFactoryAddress;
        targets.limitedBroadcast = kLimitedBroadcast;
        registry->setDiscoveryTargets(targets);
        registry->setStateHandler(stateHandler);
        transport->run();
    }
    ~Registry() {
        if (registry) registry->stop();
        transport->stop();
    }
    std::shared_ptr<WatchedDevice> add(std::uint32_t id, const std::string& ip) {
        return asWatched(registry->addDevice(id, "Vokar-B", net::HardwareAddress(hardwareText(id)),
                                             net::Ip4Address(ip), L"Device " + std::to_wstring(id)));
    }

    std::shared_ptr<device::TransferProtocol> transport;
    std::shared_ptr<DeviceCollection> registry;
};

class RegistryWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        MELVOX_REQUIRE_PRIVATE_NETWORK();
        network_ = std::make_unique<test::PrivateNetwork>();
        ASSERT_TRUE(network_->ip(std::string("addr add ") + kInterfaceIp + "/24 dev lo"));
        ASSERT_TRUE(network_->ip(std::string("route add default via ") + kGateway + " dev lo"));
        base::ThreadDispatcher::create();
        dispatcher_ = true;
        registry_ = std::make_unique<Registry>(kPort, [this](const std::shared_ptr<DeviceBase>& device) {
            std::lock_guard<std::mutex> guard(lock_);
            ++notifications_[device->getId()];
        });
    }
    void TearDown() override {
        registry_.reset();
        if (dispatcher_) base::ThreadDispatcher::destroy();
        network_.reset();
    }

    DeviceCollection& registry() { return *registry_->registry; }
    std::shared_ptr<WatchedDevice> add(std::uint32_t id, const std::string& ip) {
        return registry_->add(id, ip);
    }
    // Cycles every 10 ms from now on.
    void startWatch() { registry().setWatchTiming({0ms, 10ms}); }
    void startWatch(const std::string& interfaceIp) {
        registry().setInterfaceIp(interfaceIp);
        startWatch();
    }
    int notifications(std::uint32_t id) {
        std::lock_guard<std::mutex> guard(lock_);
        return notifications_[id];
    }
    // Some more cycles have run (counted on a device that the online check visits).
    bool waitForCycles(const WatchedDevice& device, int cycles) {
        const int target = device.checks.load() + cycles;
        return test::waitFor([&] { return device.checks.load() >= target; });
    }
    bool waitForLog(const std::wstring& text, const std::wstring& level, std::size_t count = 1) {
        return test::waitFor([&] { return capture_.find(text, level).size() >= count; });
    }
    std::size_t logged(const std::wstring& text, const std::wstring& level = L"") {
        return capture_.find(text, level).size();
    }

    test::LogCapture capture_{base::Log::TRACE};
    std::unique_ptr<test::PrivateNetwork> network_;
    bool dispatcher_ = false;
    std::unique_ptr<Registry> registry_;
    std::mutex lock_;
    std::map<std::uint32_t, int> notifications_;
};

// The receivers of the search's datagrams that must stay quiet unless the full search runs.
struct DiscoveryReceivers {
    test::EmulatedDevice factory{kFactoryAddress, os::kFactoryPort};
    test::EmulatedDevice directed{kDirectedBroadcast, kDiscoveryPort};
    test::EmulatedDevice limited{kLimitedBroadcast, kDiscoveryPort};

    std::size_t total() const {
        return factory.receivedCount() + directed.receivedCount() + limited.receivedCount();
    }
};

TEST_F(RegistryWatchTest, QuietDeviceIsMarkedOfflineOnceAndLookedForAtItsLastAddress) {
    test::EmulatedDevice lastAddress("127.0.0.2", kDiscoveryPort);
    const DiscoveryReceivers others;
    const auto device = add(1, "127.0.0.2");
    device->heardAgo(0);

    // Online through the first cycle: the thread starts no search.
    startWatch(kInterfaceIp);
    ASSERT_TRUE(waitForCycles(*device, 3));
    ASSERT_TRUE(device->isOnline());

    // The device says nothing more; its last sign of life falls out of the online window.
    device->heardAgo(device::kOnlineWindowUs + 1000000);
    ASSERT_TRUE(
        waitForLog(kDeviceLost + std::wstring(L"'Device 1' (hw=02:7E:41:00:00:01, ip=127.0.0.2)"), L"INFO"));
    ASSERT_TRUE(waitForCycles(*device, 3));
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(notifications(device->getId()), 1);
    EXPECT_EQ(logged(kDeviceLost), 1u);

    // The operator's search reaches it at its last address, on the port after the command port.
    EXPECT_TRUE(registry().findLostDevices(false));
    ASSERT_TRUE(lastAddress.waitForReceived(1));
    EXPECT_EQ(lastAddress.received()[0], "discovery");
    ASSERT_TRUE(waitForCycles(*device, 3));
    EXPECT_EQ(lastAddress.receivedCount(), 1u);
    EXPECT_EQ(others.total(), 0u);
    EXPECT_EQ(logged(kGatewayAnswered), 0u);
}

TEST_F(RegistryWatchTest, FirstCycleLooksOnlyForAddressedOfflineDevices) {
    // Loaded from the device list: never heard, one without an address at all.
    const auto unaddressed = add(1, "0.0.0.0");
    const auto lost = add(2, "127.0.0.3");
    ASSERT_TRUE(unaddressed && lost);
    test::EmulatedDevice lostAddress("127.0.0.3", kDiscoveryPort);
    const DiscoveryReceivers others;

    startWatch(kInterfaceIp);
    ASSERT_TRUE(lostAddress.waitForReceived(1));
    EXPECT_EQ(lostAddress.received()[0], "discovery");
    ASSERT_TRUE(waitForCycles(*lost, 3));

    EXPECT_EQ(unaddressed->checks.load(), 0);
    EXPECT_EQ(unaddressed->getAddress().getText(), "0.0.0.0");
    // The device without an address comes first in the search and is passed over.
    EXPECT_EQ(logged(lookedFor(1)), 0u);
    EXPECT_EQ(logged(lookedFor(2), L"TRACE"), 1u);
    EXPECT_EQ(lostAddress.receivedCount(), 1u);
    // No broadcast, no factory address, no link check.
    EXPECT_EQ(others.total(), 0u);
    EXPECT_EQ(logged(kGatewayAnswered), 0u);
    EXPECT_EQ(logged(L"no gateway ip for ping"), 0u);
}

TEST_F(RegistryWatchTest, DuplicateAddressesAreReportedAndStaleOnesDropped) {
    struct Case {
        std::uint32_t id;
        const char* ip;
        bool online;
        bool reported;  // an ERROR line in every address check
        bool keepsAddress;
    };
    const Case cases[] = {
        {1, "127.0.0.20", true, false, true},  {2, "127.0.0.20", true, true, true},
        {3, "127.0.0.20", true, true, true},   {4, "127.0.0.20", false, false, false},
        {5, "127.0.0.21", false, false, true}, {6, "127.0.0.21", false, false, false},
        {7, "127.0.0.22", true, false, true},  {8, "127.0.0.22", false, false, false},
        {9, "127.0.0.23", false, false, true},
    };
    std::map<std::uint32_t, std::shared_ptr<WatchedDevice>> devices;
    for (const Case& c : cases) {
        const auto device = add(c.id, c.ip);
        ASSERT_TRUE(device);
        if (c.online) device->onlineForAnHour();
        devices[c.id] = device;
    }
    // The same IP on another port is another address.
    const auto otherPort = add(10, "127.0.0.20");
    otherPort->setAddress(net::IpAndPort("127.0.0.20", kPort + 5));
    otherPort->onlineForAnHour();

    startWatch();
    // Cycles 0 and 60 both check.
    ASSERT_TRUE(waitForLog(L"совпадает с другим устройством", L"ERROR", 4));
    for (const Case& c : cases) {
        const std::wstring line = L"Сетевой адрес '" + base::widen(c.ip) + L":" + std::to_wstring(kPort) +
                                  L"' устройства 'Device " + std::to_wstring(c.id) +
                                  L"' совпадает с другим устройством";
        EXPECT_EQ(logged(line, L"ERROR") >= 2, c.reported) << c.id;
        const net::IpAndPort kept = c.keepsAddress ? net::IpAndPort(c.ip, kPort) : net::IpAndPort();
        EXPECT_EQ(devices[c.id]->getAddress().getWideText(), kept.getWideText()) << c.id;
    }
    EXPECT_EQ(logged(L"устройства 'Device 10'"), 0u);
    EXPECT_EQ(otherPort->getAddress().getPort(), kPort + 5);
}

TEST_F(RegistryWatchTest, EmptyRegistryRunsTheFullSearchOnce) {
    const DiscoveryReceivers receivers;
    startWatch(kInterfaceIp);
    for (const test::EmulatedDevice* receiver :
         {&receivers.factory, &receivers.directed, &receivers.limited}) {
        ASSERT_TRUE(receiver->waitForReceived(1)) << receiver->ip();
        EXPECT_EQ(receiver->received()[0], "discovery") << receiver->ip();
    }
    ASSERT_TRUE(waitForLog(kGatewayAnswered, L"INFO"));

    // Later cycles, with the registry still empty, search no more. The watch reads the clock
    // three times a cycle (more only when woken early): dozens of cycles pass here.
    const test::ManualClock clock;
    ASSERT_TRUE(test::waitFor([&] { return clock.steadyReadsOn("device watch") >= 3 * 30; }));
    EXPECT_EQ(receivers.total(), 3u);
    EXPECT_EQ(logged(kGatewayAnswered), 1u);
}

TEST_F(RegistryWatchTest, InterfaceThatGoesAwayIsNoLinkAndTheWatchGoesOn) {
    ASSERT_TRUE(network_->addSilentLink("mvxwatch0"));
    ASSERT_TRUE(network_->ip("addr add 127.0.1.5/24 dev mvxwatch0"));
    ASSERT_TRUE(network_->ip("link set mvxwatch0 up"));
    // The link's own address stands in for its gateway: it answers without a packet leaving the
    // namespace, where another address of the link's subnet could not be reached at all.
    ASSERT_TRUE(network_->ip("route add default via 127.0.1.5 dev mvxwatch0 metric 10"));
    registry().setInterfaceIp("127.0.1.5");
    DeviceCollection::checkLink("127.0.1.5");
    ASSERT_TRUE(waitForLog(kGatewayAnswered, L"INFO"));

    // Gone while the registry runs, before its first cycle asks for it.
    ASSERT_TRUE(network_->ip("link del mvxwatch0"));
    startWatch();
    ASSERT_TRUE(waitForLog(noConnection("127.0.1.5"), L"DEBUG"));
    EXPECT_TRUE(waitForLog(kNoSuchInterface, L"WARN"));

    const auto quiet = add(1, "127.0.0.3");
    quiet->heardAgo(device::kOnlineWindowUs + 1000000);
    EXPECT_TRUE(waitForLog(kDeviceLost, L"INFO"));
    EXPECT_TRUE(waitForCycles(*quiet, 3));
    EXPECT_EQ(logged(L"", L"FATAL"), 0u);
    EXPECT_EQ(logged(kGatewayAnswered), 1u);
}

TEST_F(RegistryWatchTest, SearchNeedsAnInterfaceAndAPortAfterTheCommandPort) {
    const auto lost = add(1, "127.0.0.3");
    test::EmulatedDevice lostAddress("127.0.0.3", kDiscoveryPort);
    const DiscoveryReceivers others;

    EXPECT_FALSE(registry().findLostDevices(false));
    EXPECT_FALSE(registry().findLostDevices(true));

    registry().setInterfaceIp(kInterfaceIp);
    EXPECT_TRUE(registry().findLostDevices(false));
    ASSERT_TRUE(lostAddress.waitForReceived(1));
    // Every search has let go of its copy of the device: the refused calls started none.
    ASSERT_TRUE(test::waitFor([&] { return lost.use_count() == 2; }));
    EXPECT_EQ(lostAddress.receivedCount(), 1u);
    EXPECT_EQ(others.total(), 0u);
    EXPECT_EQ(logged(kGatewayAnswered), 0u);
    EXPECT_EQ(logged(noConnection(kInterfaceIp)), 0u);

    // The port after 65535 would be 0, which is never sent to.
    Registry lastPort(65535, nullptr);
    lastPort.registry->setInterfaceIp(kInterfaceIp);
    const auto unreachable = lastPort.add(21, "127.0.0.3");
    EXPECT_TRUE(lastPort.registry->findLostDevices(false));
    ASSERT_TRUE(test::waitFor([&] { return unreachable.use_count() == 2; }));
    EXPECT_EQ(logged(lookedFor(21)), 0u);
    EXPECT_EQ(logged(L"failure send to static address"), 0u);
}

TEST_F(RegistryWatchTest, SearchOutlivesTheRegistry) {
    constexpr std::uint32_t kDevices = 20;
    std::vector<std::weak_ptr<WatchedDevice>> devices;
    for (std::uint32_t id = 1; id <= kDevices; ++id) devices.push_back(add(id, "127.0.0.3"));
    test::EmulatedDevice lostAddress("127.0.0.3", kDiscoveryPort);
    registry().setInterfaceIp(kInterfaceIp);

    EXPECT_TRUE(registry().findLostDevices(false));
    registry_->registry.reset();
    ASSERT_TRUE(lostAddress.waitForReceived(kDevices));
    for (const std::string& payload : lostAddress.received()) EXPECT_EQ(payload, "discovery");
    // The search held the last references; the devices go with it.
    EXPECT_TRUE(test::waitFor([&] {
        for (const auto& device : devices)
            if (!device.expired()) return false;
        return true;
    }));
}

TEST_F(RegistryWatchTest, StopEndsTheThreadBeforeItsFirstCycle) {
    const auto device = add(1, "127.0.0.3");
    registry().stop();
    EXPECT_TRUE(capture_.contains(L"start thread controlTimeoutThread()", L"TRACE"));
    EXPECT_TRUE(capture_.contains(L"end thread controlTimeoutThread()", L"TRACE"));
    EXPECT_EQ(device->checks.load(), 0);
    EXPECT_EQ(device->releaseAudioMemoryCalls.load(), 1);
    registry().stop();
    EXPECT_EQ(device->releaseAudioMemoryCalls.load(), 2);
}

TEST_F(RegistryWatchTest, FailedCycleIsLoggedAndTheNextOneRuns) {
    struct Case {
        const char* name;
        std::function<void()> failure;
        std::wstring line;
        std::wstring level;
    };
    const Case cases[] = {
        {"device", [] { throw exception::ExternalError(L"нет ответа", L"тест"); },
         L"Неподходящее состояние в потоке управления [нет ответа / тест]", L"WARN"},
        {"system", [] { throw std::runtime_error("no buffer space"); },
         L"Поймано исключение в потоке управления [no buffer space]", L"ERROR"},
    };
    std::uint32_t id = 0;
    for (const Case& c : cases) {
        const auto device = add(++id, "127.0.0.3");
        device->onlineForAnHour();
        device->failNext(2, c.failure);
        startWatch();
        ASSERT_TRUE(waitForLog(c.line, c.level, 2)) << c.name;
        EXPECT_TRUE(waitForCycles(*device, 3)) << c.name;
        registry().remove(device->getHardwareAddress());
    }
    EXPECT_EQ(logged(L"", L"FATAL"), 0u);
}

using RegistryWatchDeathTest = RegistryWatchTest;

TEST_F(RegistryWatchDeathTest, BrokenInvariantInACycleEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* name;
        std::function<void()> failure;
    };
    const Case cases[] = {
        {"internal error", [] { throw exception::InternalError(L"сломано"); }},
        {"logic error", [] { throw std::logic_error("broken"); }},
    };
    for (const Case& c : cases) {
        EXPECT_EXIT(
            {
                // The child ends without its destructors: its log folder goes now, the open log
                // file with it, and the log's alarm callback shows on stderr what the parent checks.
                std::filesystem::remove_all(capture_.folder().path());
                {
                    base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
                    log->setLogCallback([](const boost::posix_time::ptime&, const std::wstring& level,
                                           const std::wstring& message) {
                        std::fprintf(stderr, "%s %s\n", base::toUtf8(level).c_str(),
                                     base::toUtf8(message).c_str());
                    });
                }
                const auto device = add(1, "127.0.0.3");
                device->failNext(1, c.failure);
                startWatch();
                test::waitFor([] { return false; }, 60s);
                std::filesystem::remove_all(capture_.folder().path());
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(1), "FATAL Поймано исключение в потоке управления")
            << c.name;
    }
}

// The link check in namespaces of its own, one per case.
TEST(CheckLink, TellsWhetherTheGatewayAnswers) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    struct Case {
        const char* name;
        std::string interfaceIp;
        bool hasInterface, hasGateway, ignoreEcho;
        bool reachable;     // the INFO line
        bool noConnection;  // the DEBUG line
    };
    const Case cases[] = {
        {"gateway answers", "127.0.0.5", true, true, false, true, false},
        {"gateway silent", "127.0.0.6", true, true, true, false, true},
        {"no gateway", "127.0.0.7", true, false, false, false, false},
        {"no such interface", "127.0.0.77", false, false, false, false, true},
    };
    for (const Case& c : cases) {
        test::LogCapture log(base::Log::TRACE);
        test::PrivateNetwork network;
        ASSERT_TRUE(!c.hasInterface || network.ip("addr add " + c.interfaceIp + "/24 dev lo")) << c.name;
        ASSERT_TRUE(!c.hasGateway || network.ip("route add default via 127.0.0.2 dev lo")) << c.name;
        ASSERT_TRUE(!c.ignoreEcho || network.setSysctl("ipv4/icmp_echo_ignore_all", "1")) << c.name;

        DeviceCollection::checkLink(c.interfaceIp);
        EXPECT_EQ(log.contains(kGatewayAnswered, L"INFO"), c.reachable) << c.name;
        EXPECT_EQ(log.contains(noConnection(c.interfaceIp), L"DEBUG"), c.noConnection) << c.name;
        EXPECT_EQ(log.contains(L"ping: Request timed out"), c.ignoreEcho) << c.name;
        EXPECT_FALSE(log.contains(L"no gateway ip for ping")) << c.name;
        EXPECT_EQ(log.contains(kNoSuchInterface, L"WARN"), !c.hasInterface) << c.name;

        if (!c.ignoreEcho) {
            EXPECT_EQ(os::pingGateway(c.interfaceIp), c.reachable) << c.name;
            EXPECT_EQ(log.contains(L"no gateway ip for ping", L"DEBUG"), !c.hasGateway) << c.name;
        }
    }
}

}  // namespace
