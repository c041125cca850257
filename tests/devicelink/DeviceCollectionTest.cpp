#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TestDevice.h"

namespace {

using namespace std::chrono_literals;
using device::DeviceBase;
using device::types::console;
using device::types::loudspeaker;
using test::TestDevice;

constexpr const char* kFirst = "02:7E:41:00:00:01";
constexpr const char* kSecond = "02:7E:41:00:00:02";

std::string statePacket(const std::string& address, int sequence,
                        const std::string& version = "Vokar-B 2.01.03") {
    return address + ",1,2,3,4,5,s" + std::to_string(sequence) + "," + version;
}

std::shared_ptr<TestDevice> asTest(const std::shared_ptr<DeviceBase>& device) {
    return std::dynamic_pointer_cast<TestDevice>(device);
}

template <class Device>
std::vector<std::uint32_t> idsOf(const std::vector<std::shared_ptr<Device>>& devices) {
    std::vector<std::uint32_t> ids;
    for (const auto& device : devices) ids.push_back(device->getId());
    return ids;
}

class DeviceCollectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        base::ThreadDispatcher::create();
        transport_ = std::make_shared<device::TransferProtocol>(port_, "127.0.0.1");
        registry_ = std::make_shared<device::DeviceCollection>(transport_, port_);
        const auto factory = std::make_shared<device::DeviceFactoryOf<TestDevice>>();
        registry_->setFactory(loudspeaker, factory);
        registry_->setFactory(console, factory);
        transport_->run();
    }
    void TearDown() override {
        if (registry_) registry_->stop();
        transport_->stop();
        registry_.reset();
        base::ThreadDispatcher::destroy();
    }

    // Counts the new devices the way the main window does.
    void countNewDevices() {
        registry_->setNewDeviceHandler([this](const std::string& typeText,
                                              const net::HardwareAddress& address,
                                              const std::wstring& title) {
            std::lock_guard<std::mutex> guard(lock_);
            asked_.push_back(typeText + " " + address.toCharArray() + " " + base::narrow(title));
            return ++lastId_;
        });
    }
    std::vector<std::string> asked() {
        std::lock_guard<std::mutex> guard(lock_);
        return asked_;
    }
    net::IpAndPort transportAddress() const { return net::IpAndPort("127.0.0.1", port_); }
    std::shared_ptr<TestDevice> add(std::uint32_t id, const std::string& type, const std::string& address) {
        return asTest(registry_->addDevice(id, type, net::HardwareAddress(address),
                                           net::Ip4Address("127.0.0.9"), L"Device " + std::to_wstring(id)));
    }
    std::shared_ptr<TestDevice> waitForDevice(const std::string& address) {
        std::shared_ptr<TestDevice> found;
        test::waitFor([&] {
            found = asTest(registry_->searchForFamily(net::HardwareAddress(address), loudspeaker));
            return found != nullptr;
        });
        return found;
    }
    bool waitForLog(const std::wstring& text, const std::wstring& level, std::size_t count = 1) {
        return test::waitFor([&] { return capture_.find(text, level).size() >= count; });
    }

    test::LogCapture capture_{base::Log::TRACE};
    const std::uint16_t port_ = test::freeUdpPort();
    std::shared_ptr<device::TransferProtocol> transport_;
    std::shared_ptr<device::DeviceCollection> registry_;
    std::mutex lock_;
    std::vector<std::string> asked_;
    std::uint32_t lastId_ = 0;
};

TEST_F(DeviceCollectionTest, FirstStatusPacketCreatesTheDeviceAndTheSecondIsParsed) {
    countNewDevices();
    test::EmulatedDevice sender("127.0.0.2", port_);
    sender.send(statePacket(kFirst, 1), transportAddress());
    const auto device = waitForDevice(kFirst);
    ASSERT_TRUE(device);
    EXPECT_EQ(asked(), std::vector<std::string>{"Vokar-B1 02:7E:41:00:00:01 " +
                                                base::narrow(L"Устройство 02:7E:41:00:00:01")});
    EXPECT_EQ(device->getId(), 1u);
    EXPECT_FALSE(device->getAddress().isValid());
    EXPECT_TRUE(device->packets().empty());

    sender.send(statePacket(kFirst, 2), transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return device->packets().size() == 1; }));
    EXPECT_EQ(device->packets()[0], statePacket(kFirst, 2));
    // The packet reaches the device with its sender.
    EXPECT_EQ(device->getAddress().getText(), "127.0.0.2");
    EXPECT_EQ(asked().size(), 1u);
    EXPECT_EQ(registry_->getDevices().size(), 1u);
}

TEST_F(DeviceCollectionTest, PacketsThatCannotMakeADeviceAreDropped) {
    test::EmulatedDevice sender("127.0.0.2", port_);
    sender.send(statePacket(kFirst, 1), transportAddress());
    sender.send(statePacket(kFirst, 2), transportAddress());
    EXPECT_TRUE(waitForLog(L"Нет был установлен обработчик для новых устройств", L"WARN", 2));
    EXPECT_TRUE(registry_->getDevices().empty());
    // A registered device is still served.
    const auto known = add(5, "Vokar-B", kSecond);
    ASSERT_TRUE(known);
    sender.send(statePacket(kSecond, 3), transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return known->packets().size() == 1; }));
    EXPECT_EQ(capture_.find(L"Нет был установлен обработчик для новых устройств", L"WARN").size(), 2u);
    registry_->remove(known->getHardwareAddress());

    countNewDevices();
    registry_->setFactory(console, nullptr);
    sender.send(statePacket(kFirst, 4, "Foo 1.2.3"), transportAddress());
    EXPECT_TRUE(waitForLog(L"Получен неизвестный тип устройства: 'Foo 1.2.3'", L"EXTERN"));
    // A console while no console factory is registered: asked for an id, then refused.
    const std::string consolePacket = statePacket(kFirst, 5, "Tribel-T 1.0.7");
    sender.send(consolePacket, transportAddress());
    EXPECT_TRUE(waitForLog(L"Устройство не было добавлено: " + base::widen(consolePacket), L"ERROR"));
    EXPECT_EQ(asked().size(), 1u);
    EXPECT_TRUE(registry_->getDevices().empty());
}

TEST_F(DeviceCollectionTest, AddKeepsTheFirstDeviceRemoveOnlyKnownOnes) {
    const auto first = add(7, "Vokar-B", kFirst);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getAddress().getText(), "127.0.0.9");
    EXPECT_EQ(first->getAddress().getPort(), port_);

    // The same hardware address, written another way.
    const auto again = registry_->addDevice(8, "Tribel-T", net::HardwareAddress("2:7e:41:0:0:1"),
                                            net::Ip4Address("127.0.0.6"), L"Other");
    EXPECT_EQ(again, first);
    EXPECT_EQ(first->getId(), 7u);
    EXPECT_TRUE(first->isType(device::types::vokarB));
    EXPECT_EQ(first->getAddress().getText(), "127.0.0.9");
    EXPECT_TRUE(capture_.contains(
        L"Повторная попытка добавления существующего устройства. [id=8, title='Other', hw='2:7e:41:0:0:1']",
        L"WARN"));

    EXPECT_FALSE(registry_->addDevice(9, "Vokar-B", net::HardwareAddress(), net::Ip4Address(), L""));
    EXPECT_FALSE(add(0xFFFFFFFF, "Vokar-B", kSecond));
    EXPECT_FALSE(add(10, "Nothing known", kSecond));
    EXPECT_EQ(registry_->getDevices().size(), 1u);

    registry_->remove(net::HardwareAddress(kSecond));
    EXPECT_TRUE(capture_.contains(L"Внутренняя ошибка. Устройство не было удалено. [hw=02:7E:41:00:00:02]",
                                  L"EXTERN"));
    ASSERT_TRUE(add(11, "Vokar-B", kSecond));
    registry_->remove(net::HardwareAddress(kFirst));
    EXPECT_EQ(idsOf(registry_->getDevices()), std::vector<std::uint32_t>{11});
}

// A full registry gives a new sender the place of the device silent longest among those nothing
// needs: offline, not named by the operator and held by nothing outside the registry; it does so
// for a few senders a second.
TEST_F(DeviceCollectionTest, AFullRegistryGivesTheLongestSilentUnneededDeviceAway) {
    registry_->setWatchTiming({std::chrono::hours(1), std::chrono::hours(1)});
    test::ManualClock clock;
    clock.holdSteady();
    countNewDevices();
    const auto addressOf = [](std::uint32_t n) { return net::HardwareAddress(0x027E41, n); };
    std::vector<std::weak_ptr<DeviceBase>> devices;
    for (std::uint32_t n = 0; n < device::DeviceCollection::kMostDevices; ++n) {
        devices.push_back(
            registry_->addDevice(n + 1, "Vokar-B", addressOf(n), net::Ip4Address("127.0.0.9"), L""));
        clock.advance(1ms);
    }
    const auto known = [&](std::uint32_t n) {
        return registry_->searchForFamily(addressOf(n), loudspeaker) != nullptr;
    };
    const auto hearFrom = [&](std::uint32_t n) {
        registry_->handleAllStatesCallback(statePacket(addressOf(n).toCharArray(), 1), transportAddress(),
                                           addressOf(n));
    };
    // The four that were silent longest; all but the last are still wanted.
    const std::shared_ptr<DeviceBase> held = devices[0].lock();
    const struct {
        const char* name;
        std::function<void(DeviceBase&)> keep;
    } wanted[] = {
        {"held elsewhere", [](DeviceBase&) {}},
        {"online", [](DeviceBase& device) { device.lastStateTime = DeviceBase::now(); }},
        {"named", [](DeviceBase& device) { device.setTitle(L"Зал 2"); }},
    };
    for (std::size_t n = 0; n < std::size(wanted); ++n) wanted[n].keep(*devices[n].lock());
    // Heard again, but offline once more: no longer among the longest silent.
    hearFrom(3);
    if (const std::shared_ptr<DeviceBase> heardAgain = devices[3].lock()) {
        heardAgain->lastStateTime = 0;
    } else {
        FAIL() << "the device heard again was given away";
    }

    // The state handler hears once more of the device that gave its place away, as the main
    // window's list needs to drop its row.
    // Shared: the handler may still run for later places after the checks below.
    const auto letGo = std::make_shared<std::vector<std::uint32_t>>();
    registry_->setStateHandler([this, letGo](const std::shared_ptr<DeviceBase>& device) {
        if (registry_->searchForFamily(device->getHardwareAddress(), loudspeaker) == device) return;
        std::lock_guard<std::mutex> guard(lock_);
        letGo->push_back(device->getId());
    });
    const std::uint32_t newcomer = 0x100000;
    hearFrom(newcomer);
    EXPECT_TRUE(known(newcomer));
    for (std::size_t n = 0; n < std::size(wanted); ++n) EXPECT_TRUE(known(n)) << wanted[n].name;
    EXPECT_TRUE(known(3));
    EXPECT_FALSE(known(4));
    ASSERT_TRUE(test::waitFor([&] {
        std::lock_guard<std::mutex> guard(lock_);
        return !letGo->empty();
    }));
    {
        std::lock_guard<std::mutex> guard(lock_);
        EXPECT_EQ(*letGo, std::vector<std::uint32_t>{5});
    }
    EXPECT_TRUE(test::waitFor([&] { return devices[4].expired(); }));
    EXPECT_EQ(registry_->getDevices().size(), device::DeviceCollection::kMostDevices);

    // The places of one second run out; the next second has new ones.
    for (int i = 1; i < device::DeviceCollection::kReplacementsPerSecond; ++i) hearFrom(newcomer + i);
    const std::uint32_t late = newcomer + device::DeviceCollection::kReplacementsPerSecond;
    hearFrom(late);
    EXPECT_FALSE(known(late));
    EXPECT_TRUE(known(late - 1));
    clock.advance(1s);
    hearFrom(late);
    EXPECT_TRUE(known(late));
    EXPECT_EQ(registry_->getDevices().size(), device::DeviceCollection::kMostDevices);
    EXPECT_EQ(capture_.find(L"the most it takes", L"WARN").size(), 1u);
}

TEST_F(DeviceCollectionTest, ListsInAddressOrderAndLookupsWithinTheFamily) {
    struct Row {
        const char* address;
        const char* type;
        bool online, responding;
    };
    const Row rows[] = {
        {"03:00:00:00:00:01", "Vokar-N", false, true},
        {kSecond, "Tribel-T", true, true},
        {kFirst, "Vokar-B", true, true},
        {"02:7E:41:10:00:00", "Vokar-S", false, false},
        {"01:FF:FF:FF:FF:FF", "Vokar-M", true, false},
    };
    std::uint32_t id = 0;
    for (const Row& row : rows) {
        const auto device = add(++id, row.type, row.address);
        ASSERT_TRUE(device);
        if (row.online) device->lastStateTime = DeviceBase::now();
        device->responding = row.responding;
    }
    EXPECT_EQ(idsOf(registry_->getDevices()), (std::vector<std::uint32_t>{5, 3, 2, 4, 1}));
    EXPECT_EQ(idsOf(registry_->getVokars<TestDevice>(false)), (std::vector<std::uint32_t>{5, 3, 4, 1}));
    EXPECT_EQ(idsOf(registry_->getTribels<TestDevice>(false)), std::vector<std::uint32_t>{2});
    // Online lists hold only devices both online and answering.
    EXPECT_EQ(idsOf(registry_->getVokars<TestDevice>(true)), std::vector<std::uint32_t>{3});
    EXPECT_EQ(idsOf(registry_->getTribels<TestDevice>(true)), std::vector<std::uint32_t>{2});

    // The key's text takes no part; a console is no loudspeaker.
    const auto found = registry_->searchFor<TestDevice>(net::HardwareAddress("2:7e:41:0:0:1"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->getId(), 3u);
    EXPECT_FALSE(registry_->searchFor<TestDevice>(net::HardwareAddress(kSecond)));
    EXPECT_TRUE(registry_->searchForFamily(net::HardwareAddress(kSecond), console));
}

TEST_F(DeviceCollectionTest, StateHandlerReachesEveryDeviceAlsoThoseAddedLater) {
    const auto first = add(1, "Vokar-B", kFirst);
    std::vector<std::uint32_t> notified;
    registry_->setStateHandler([&](const std::shared_ptr<DeviceBase>& device) {
        std::lock_guard<std::mutex> guard(lock_);
        notified.push_back(device->getId());
    });
    first->notifyWithState();
    add(2, "Tribel-T", kSecond)->notifyWithState();
    ASSERT_TRUE(test::waitFor([&] {
        std::lock_guard<std::mutex> guard(lock_);
        return notified.size() == 2;
    }));
    std::lock_guard<std::mutex> guard(lock_);
    std::sort(notified.begin(), notified.end());
    EXPECT_EQ(notified, (std::vector<std::uint32_t>{1, 2}));
}

// Packets are handled one at a time and in order, also while the handling of one packet holds
// the dispatcher's executor so long that the dispatcher's engine runs further items beside it.
TEST_F(DeviceCollectionTest, PacketsAreNeverHandledTogetherOrOutOfOrder) {
    constexpr int kPackets = 30;
    std::atomic<int> active{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> holding{false};
    std::atomic<bool> released{false};
    const auto hook = [&](const std::string& packet) {
        if (++active > 1) overlapped = true;
        if (packet == statePacket(kFirst, 0)) {
            holding = true;
            while (!released) std::this_thread::sleep_for(1ms);
        } else {
            std::this_thread::sleep_for(2ms);
        }
        --active;
    };
    const std::shared_ptr<TestDevice> devices[] = {add(1, "Vokar-B", kFirst), add(2, "Vokar-B", kSecond)};
    for (const auto& device : devices) device->setPacketHook(hook);
    std::vector<std::string> expected[2];
    for (int sequence = 0; sequence < kPackets; ++sequence) {
        expected[0].push_back(statePacket(kFirst, sequence));
        expected[1].push_back(statePacket(kSecond, sequence));
    }

    test::EmulatedDevice first("127.0.0.2", port_);
    test::EmulatedDevice second("127.0.0.3", port_);
    first.send(expected[0][0], transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return holding.load(); }));
    for (int sequence = 0; sequence < kPackets; ++sequence) {
        if (sequence > 0) first.send(expected[0][sequence], transportAddress());
        second.send(expected[1][sequence], transportAddress());
        if (sequence % 5 == 4) std::this_thread::sleep_for(20ms);
    }
    // The engine runs other work while the first packet holds the executor, which it holds until
    // then.
    const bool marked = test::waitForDispatcher();
    released = true;
    ASSERT_TRUE(marked);
    EXPECT_TRUE(capture_.contains(L"dispatcher: handle the queue by engine thread.", L"DEBUG"));
    ASSERT_TRUE(test::waitFor(
        [&] { return devices[0]->packets().size() == kPackets && devices[1]->packets().size() == kPackets; },
        std::chrono::seconds(30)));
    EXPECT_EQ(devices[0]->packets(), expected[0]);
    EXPECT_EQ(devices[1]->packets(), expected[1]);
    EXPECT_FALSE(overlapped.load());
}

// One sender fills no more than its share of the packet queue; the others still get in.
TEST_F(DeviceCollectionTest, ASendersShareOfTheQueueIsBoundedAndTheDropSaidOnce) {
    const auto device = add(1, "Vokar-B", kFirst);
    const auto other = add(2, "Vokar-B", kSecond);
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    device->setPacketHook([&](const std::string&) {
        if (!entered.exchange(true)) {
            while (!release.load()) std::this_thread::sleep_for(1ms);
        }
    });
    const net::IpAndPort from("127.0.0.2", port_);
    ASSERT_TRUE(registry_->handlerForAllResponsesCallback(statePacket(kFirst, 0), from));
    ASSERT_TRUE(test::waitFor([&] { return entered.load(); }));

    const int waiting = static_cast<int>(device::DeviceCollection::kWaitingPerSender);
    bool allTaken = true;
    for (int sequence = 1; sequence <= waiting + 2; ++sequence) {
        allTaken = registry_->handlerForAllResponsesCallback(statePacket(kFirst, sequence), from) && allTaken;
    }
    EXPECT_TRUE(allTaken);
    ASSERT_TRUE(registry_->handlerForAllResponsesCallback(statePacket(kSecond, 1),
                                                          net::IpAndPort("127.0.0.3", port_)));
    release = true;
    ASSERT_TRUE(test::waitFor([&] { return other->packets().size() == 1; }));
    ASSERT_TRUE(
        test::waitFor([&] { return device->packets().size() == static_cast<std::size_t>(waiting + 1); },
                      std::chrono::seconds(120)));
    EXPECT_EQ(device->packets().back(), statePacket(kFirst, waiting));
    EXPECT_EQ(capture_.find(L"further ones are dropped", L"WARN").size(), 1u);
}

TEST_F(DeviceCollectionTest, DatagramsThatAreNoStatusPacketGoOn) {
    EXPECT_FALSE(registry_->handlerForAllResponsesCallback("OK[get vol]: 40", transportAddress()));
    test::EmulatedDevice emulated("127.0.0.2", port_);
    emulated.answer("get vol", "OK[get vol]: 40");
    std::string reply;
    ASSERT_TRUE(transport_->sync(emulated.address(), "get vol", reply, 2, 1000));
    EXPECT_EQ(reply, "OK[get vol]: 40");
    emulated.send("late news", transportAddress());
    EXPECT_TRUE(waitForLog(L"handle unknown response for ip: 127.0.0.2 with response: late news", L"DEBUG"));
}

TEST_F(DeviceCollectionTest, RegistryThatIsGoneTakesNoMorePackets) {
    countNewDevices();
    test::EmulatedDevice sender("127.0.0.2", port_);
    sender.send(statePacket(kFirst, 1), transportAddress());
    const auto device = waitForDevice(kFirst);
    ASSERT_TRUE(device);
    std::atomic<bool> entered{false};
    std::promise<void> release;
    device->setPacketHook([&, released = release.get_future().share()](const std::string&) {
        entered = true;
        released.wait();
    });
    sender.send(statePacket(kFirst, 2), transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return entered.load(); }));

    // Going away waits for the packet in hand: it is held until the reset has returned, or for a
    // second while the reset waits for it as it should.
    std::atomic<bool> gone{false};
    std::thread goingAway([&] {
        registry_.reset();
        gone = true;
    });
    const bool goneWhileHeld = test::waitFor([&] { return gone.load(); }, 1s);
    release.set_value();
    goingAway.join();
    EXPECT_FALSE(goneWhileHeld);
    EXPECT_EQ(device->packets().size(), 1u);
    // The witness's reply is read after the packet sent before its request.
    test::EmulatedDevice witness("127.0.0.3", port_);
    witness.answer("ping", "OK pong");
    sender.send(statePacket(kFirst, 3), transportAddress());
    std::string reply;
    ASSERT_TRUE(transport_->sync(witness.address(), "ping", reply, 2, 1000));
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(device->packets().size(), 1u);
}

}  // namespace
