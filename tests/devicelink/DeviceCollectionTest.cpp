#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
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

std::vector<std::uint32_t> idsOf(const std::vector<std::shared_ptr<TestDevice>>& devices) {
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
    EXPECT_EQ(device->getDisplayName(), L"Устройство 02:7E:41:00:00:01");
    EXPECT_TRUE(device->isType(device::types::vokarB1));
    EXPECT_FALSE(device->getAddress().isValid());
    EXPECT_EQ(device->getAddress().getPort(), port_);
    EXPECT_TRUE(device->packets().empty());

    sender.send(statePacket(kFirst, 2), transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return device->packets().size() == 1; }));
    EXPECT_EQ(device->packets()[0], statePacket(kFirst, 2));
    EXPECT_EQ(device->getAddress().getText(), "127.0.0.2");
    EXPECT_EQ(device->getAddress().getPort(), port_);
    EXPECT_TRUE(device->isOnline());
    EXPECT_EQ(asked().size(), 1u);
    EXPECT_EQ(registry_->getDevices().size(), 1u);
}

TEST_F(DeviceCollectionTest, WithoutNewDeviceHandlerUnknownSendersAreDropped) {
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
}

TEST_F(DeviceCollectionTest, PacketsThatNameNoUsableType) {
    countNewDevices();
    registry_->setFactory(console, nullptr);
    test::EmulatedDevice sender("127.0.0.2", port_);
    sender.send(statePacket(kFirst, 1, "Foo 1.2.3"), transportAddress());
    EXPECT_TRUE(waitForLog(L"Получен неизвестный тип устройства: 'Foo 1.2.3'", L"EXTERN"));

    // A console while no console factory is registered: asked for an id, then refused.
    const std::string consolePacket = statePacket(kSecond, 1, "Tribel-T 1.0.7");
    sender.send(consolePacket, transportAddress());
    EXPECT_TRUE(waitForLog(L"Устройство не было добавлено: " + base::widen(consolePacket), L"ERROR"));
    EXPECT_TRUE(
        capture_.contains(L"Ошибка добавления нового устройства. [id=1, type=Tribel-T, hw=02:7E:41:00:00:02, "
                          L"lastIp=0.0.0.0, title=Устройство 02:7E:41:00:00:02]",
                          L"ERROR"));
    EXPECT_EQ(asked().size(), 1u);
    EXPECT_TRUE(registry_->getDevices().empty());

    // What recognition lets through never reaches these, but the handler stands on its own.
    registry_->handleAllStatesCallback("no version", transportAddress(), net::HardwareAddress(kFirst));
    EXPECT_TRUE(capture_.contains(L"Получен некорректный формат статусного пакета", L"EXTERN"));
    registry_->handleAllStatesCallback(statePacket(kFirst, 1), transportAddress(), net::HardwareAddress());
    EXPECT_TRUE(capture_.contains(L"Аппаратный адрес некорректен", L"ERROR"));

    // A device that refuses its packet.
    const auto refusing = add(7, "Vokar-B", kFirst);
    refusing->acceptPackets = false;
    registry_->handleAllStatesCallback(statePacket(kFirst, 2), transportAddress(),
                                       net::HardwareAddress(kFirst));
    EXPECT_TRUE(
        capture_.contains(L"Статусный пакет не обработан устройством ('Vokar-B1', 'Vokar-B1').", L"ERROR"));
}

TEST_F(DeviceCollectionTest, AddDeviceKeepsTheFirstDevice) {
    const auto first = add(7, "Vokar-B", kFirst);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getAddress().getText(), "127.0.0.9");
    EXPECT_EQ(first->getAddress().getPort(), port_);
    EXPECT_TRUE(
        capture_.contains(L"device added successfully: id=7, hardware address '02:7E:41:00:00:01', type "
                          L"'Vokar-B' title 'Device 7'",
                          L"DEBUG"));

    const auto again = registry_->addDevice(8, "Tribel-T", net::HardwareAddress("2:7e:41:0:0:1"),
                                            net::Ip4Address("127.0.0.6"), L"Other");
    EXPECT_EQ(again, first);
    EXPECT_EQ(first->getId(), 7u);
    EXPECT_EQ(first->getDisplayName(), L"Device 7");
    EXPECT_TRUE(first->isType(device::types::vokarB));
    EXPECT_EQ(first->getAddress().getText(), "127.0.0.9");
    EXPECT_TRUE(capture_.contains(
        L"Повторная попытка добавления существующего устройства. [id=8, title='Other', hw='2:7e:41:0:0:1']",
        L"WARN"));

    EXPECT_FALSE(registry_->addDevice(9, "Vokar-B", net::HardwareAddress(), net::Ip4Address(), L""));
    EXPECT_FALSE(add(0xFFFFFFFF, "Vokar-B", kSecond));
    EXPECT_EQ(
        capture_.find(L"Попытка добавить устройство с неправильным адресом или идентификатором", L"WARN")
            .size(),
        2u);
    EXPECT_FALSE(add(10, "Nothing known", kSecond));
    EXPECT_TRUE(capture_.contains(L"Ошибка добавления нового устройства. [id=10, type=Unknown", L"ERROR"));
    EXPECT_EQ(registry_->getDevices().size(), 1u);
}

TEST_F(DeviceCollectionTest, OrderListsAndLookups) {
    const std::pair<const char*, const char*> devices[] = {
        {"03:00:00:00:00:01", "Vokar-N"},
        {kSecond, "Tribel-T"},
        {kFirst, "Vokar-B"},
        {"02:7E:41:10:00:00", "Vokar-S"},
        {"01:FF:FF:FF:FF:FF", "Vokar-M"},
    };
    std::uint32_t id = 0;
    for (const auto& [address, type] : devices) ASSERT_TRUE(add(++id, type, address));

    std::vector<std::uint32_t> order;
    for (const auto& device : registry_->getDevices()) order.push_back(device->getId());
    EXPECT_EQ(order, (std::vector<std::uint32_t>{5, 3, 2, 4, 1}));
    EXPECT_EQ(capture_.find(L"Connected device is no the KORVA manufacturing", L"DEBUG").size(), 2u);

    EXPECT_EQ(idsOf(registry_->getVokars<TestDevice>(false)), (std::vector<std::uint32_t>{5, 3, 4, 1}));
    EXPECT_EQ(idsOf(registry_->getTribels<TestDevice>(false)), std::vector<std::uint32_t>{2});

    const auto online = registry_->searchFor<TestDevice>(net::HardwareAddress(kFirst));
    ASSERT_TRUE(online);
    online->lastStateTime = DeviceBase::now();
    online->responding = true;
    // Online but not answering, and answering but not online: neither is listed.
    const auto silent = registry_->searchFor<TestDevice>(net::HardwareAddress("01:FF:FF:FF:FF:FF"));
    silent->lastStateTime = DeviceBase::now();
    const auto stale = registry_->searchFor<TestDevice>(net::HardwareAddress("03:00:00:00:00:01"));
    stale->responding = true;
    const auto tribel = asTest(registry_->searchForFamily(net::HardwareAddress(kSecond), console));
    tribel->lastStateTime = DeviceBase::now();
    tribel->responding = true;
    EXPECT_EQ(idsOf(registry_->getVokars<TestDevice>(true)), std::vector<std::uint32_t>{3});
    EXPECT_EQ(idsOf(registry_->getTribels<TestDevice>(true)), std::vector<std::uint32_t>{2});

    // The key's text takes no part; a console is no loudspeaker.
    EXPECT_EQ(registry_->searchFor<TestDevice>(net::HardwareAddress("2:7e:41:0:0:1")), online);
    EXPECT_FALSE(registry_->searchFor<TestDevice>(net::HardwareAddress(kSecond)));
    EXPECT_TRUE(capture_.contains(L"hardware address of device is not found: '02:7E:41:00:00:02'", L"TRACE"));
    EXPECT_FALSE(registry_->searchFor<TestDevice>(net::HardwareAddress("02:7E:41:00:00:99")));
    EXPECT_FALSE(registry_->searchFor<TestDevice>(net::HardwareAddress()));
    EXPECT_TRUE(capture_.contains(L"hardware address of device for search isn't correct", L"DEBUG"));
}

TEST_F(DeviceCollectionTest, Remove) {
    registry_->remove(net::HardwareAddress(kFirst));
    EXPECT_TRUE(capture_.contains(L"Внутренняя ошибка. Устройство не было удалено. [hw=02:7E:41:00:00:01]",
                                  L"EXTERN"));

    const auto device = add(7, "Vokar-B", kFirst);
    ASSERT_TRUE(add(8, "Vokar-B", kSecond));
    registry_->remove(net::HardwareAddress(kFirst));
    EXPECT_TRUE(capture_.contains(L"device removed: id=7, hw=02:7E:41:00:00:01", L"DEBUG"));
    ASSERT_EQ(registry_->getDevices().size(), 1u);
    EXPECT_EQ(registry_->getDevices()[0]->getId(), 8u);
    EXPECT_EQ(device->getId(), 7u);
}

TEST_F(DeviceCollectionTest, SenderThatMovedIsFollowed) {
    countNewDevices();
    test::EmulatedDevice before("127.0.0.2", port_);
    test::EmulatedDevice after("127.0.0.3", port_);
    before.send(statePacket(kFirst, 1), transportAddress());
    const auto device = waitForDevice(kFirst);
    ASSERT_TRUE(device);
    before.send(statePacket(kFirst, 2), transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return device->packets().size() == 1; }));
    EXPECT_EQ(device->getAddress().getText(), "127.0.0.2");

    after.send(statePacket(kFirst, 3), transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return device->packets().size() == 2; }));
    EXPECT_EQ(device->getAddress().getText(), "127.0.0.3");
    EXPECT_EQ(registry_->getDevices().size(), 1u);
    EXPECT_EQ(asked().size(), 1u);
}

TEST_F(DeviceCollectionTest, StateHandlerReachesEveryDevice) {
    const auto first = add(1, "Vokar-B", kFirst);
    const auto second = add(2, "Tribel-T", kSecond);
    std::mutex lock;
    std::vector<std::uint32_t> notified;
    registry_->setStateHandler([&](const std::shared_ptr<DeviceBase>& device) {
        std::lock_guard<std::mutex> guard(lock);
        notified.push_back(device->getId());
    });
    const auto count = [&] {
        std::lock_guard<std::mutex> guard(lock);
        return notified.size();
    };
    first->notifyWithState();
    ASSERT_TRUE(test::waitFor([&] { return count() == 1; }));
    second->notifyWithState();
    ASSERT_TRUE(test::waitFor([&] { return count() == 2; }));
    // A device added later gets the handler from the registry.
    add(3, "Vokar-B", "02:7E:41:00:00:03")->notifyWithState();
    ASSERT_TRUE(test::waitFor([&] { return count() == 3; }));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(notified, (std::vector<std::uint32_t>{1, 2, 3}));
}

TEST_F(DeviceCollectionTest, StopReleasesAudioMemoryAndCanBeRepeated) {
    const auto first = add(1, "Vokar-B", kFirst);
    const auto second = add(2, "Tribel-T", kSecond);
    registry_->stop();
    EXPECT_EQ(first->releaseAudioMemoryCalls.load(), 1);
    EXPECT_EQ(second->releaseAudioMemoryCalls.load(), 1);
    registry_->stop();
    EXPECT_EQ(first->releaseAudioMemoryCalls.load(), 2);
    EXPECT_EQ(registry_->getDevices().size(), 2u);
}

// Packets are handled one at a time and in order, also while the handling of one packet holds
// the dispatcher's executor so long that the dispatcher's engine runs further items beside it.
TEST_F(DeviceCollectionTest, PacketsAreNeverHandledTogetherOrOutOfOrder) {
    constexpr int kPackets = 30;
    const char* addresses[] = {kFirst, kSecond};
    std::atomic<int> active{0};
    std::atomic<int> mostActive{0};
    std::atomic<bool> holding{false};
    std::mutex lock;
    std::map<std::string, std::vector<int>> sequences;
    std::vector<std::shared_ptr<TestDevice>> devices;
    for (const char* address : addresses) {
        auto device = add(static_cast<std::uint32_t>(devices.size() + 1), "Vokar-B", address);
        device->setPacketHook([&, address = std::string(address)](const std::string& packet) {
            const int now = ++active;
            int seen = mostActive.load();
            while (now > seen && !mostActive.compare_exchange_weak(seen, now)) {
            }
            const std::size_t start = packet.find(",s") + 2;
            const int sequence = std::stoi(packet.substr(start, packet.find(',', start) - start));
            if (address == kFirst && sequence == 0) {
                holding = true;
                std::this_thread::sleep_for(1200ms);
            } else {
                std::this_thread::sleep_for(2ms);
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                sequences[address].push_back(sequence);
            }
            --active;
        });
        devices.push_back(device);
    }

    test::EmulatedDevice first("127.0.0.2", port_);
    test::EmulatedDevice second("127.0.0.3", port_);
    first.send(statePacket(kFirst, 0), transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return holding.load(); }));
    for (int sequence = 0; sequence < kPackets; ++sequence) {
        if (sequence > 0) first.send(statePacket(kFirst, sequence), transportAddress());
        second.send(statePacket(kSecond, sequence), transportAddress());
        if (sequence % 5 == 4) std::this_thread::sleep_for(20ms);
    }
    // The engine runs other work while the first packet holds the executor.
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_TRUE(capture_.contains(L"dispatcher: handle the queue by engine thread.", L"DEBUG"));
    ASSERT_TRUE(test::waitFor(
        [&] { return devices[0]->packets().size() == kPackets && devices[1]->packets().size() == kPackets; },
        std::chrono::seconds(30)));

    std::vector<int> expected(kPackets);
    for (int i = 0; i < kPackets; ++i) expected[i] = i;
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(sequences[kFirst], expected);
    EXPECT_EQ(sequences[kSecond], expected);
    EXPECT_EQ(mostActive.load(), 1);
}

TEST_F(DeviceCollectionTest, FullQueueDropsPacketsAndSaysSoOnce) {
    const auto device = add(1, "Vokar-B", kFirst);
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

    const int waiting = static_cast<int>(device::DeviceCollection::kWaitingPackets);
    bool allTaken = true;
    for (int sequence = 1; sequence <= waiting + 2; ++sequence) {
        allTaken = registry_->handlerForAllResponsesCallback(statePacket(kFirst, sequence), from) && allTaken;
    }
    EXPECT_TRUE(allTaken);
    release = true;
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
    device->setPacketHook([&](const std::string&) {
        entered = true;
        std::this_thread::sleep_for(300ms);
    });
    sender.send(statePacket(kFirst, 2), transportAddress());
    ASSERT_TRUE(test::waitFor([&] { return entered.load(); }));

    // Going away waits for the packet in hand.
    registry_.reset();
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
