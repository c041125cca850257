// The registry's zone bindings against emulated consoles and loudspeakers: binding both sides,
// reusing and choosing virtual zones, taking back a binding that failed, unbinding, the search
// for broken bindings and their repair, and lookups that run while the registry changes.

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/IAudioControl.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "support/AudioFlash.h"
#include "support/ConsoleEmulator.h"
#include "support/LineControllerEmulator.h"
#include "support/LoudspeakerEmulator.h"
#include "support/ManualClock.h"
#include "tests/devices/DeviceFixture.h"

namespace {

using namespace device;
using test::ConsoleEmulator;
using test::LoudspeakerEmulator;
using Fault = test::EmulatedDevice::Fault;
using Numbers = std::set<std::uint32_t>;

std::string hardwareText(std::uint32_t number) {
    return net::HardwareAddress(net::HardwareAddress::vendorPrefix, number).toCharArray();
}

class ZoneBindingsTest : public test::DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        registry_ = std::make_shared<DeviceCollection>(transport_, port_);
        registry_->setFactory(types::loudspeaker, std::make_shared<DeviceFactoryOf<VokarInfo>>());
        registry_->setFactory(types::console, std::make_shared<DeviceFactoryOf<TribelInfo>>());
        // The watch sends nothing while the tests run.
        registry_->setWatchTiming({std::chrono::hours(1), std::chrono::hours(1)});
        // Devices stay online between their exchanges: the device clock stands still.
        clock_.setSystemMicros(DeviceBase::now());
    }
    void TearDown() override {
        registry_->stop();
        transport_->stop();
        registry_.reset();
        DeviceFixture::TearDown();
    }

    struct Loudspeaker {
        std::unique_ptr<LoudspeakerEmulator> emulated;
        std::unique_ptr<test::AudioFlash> flash;
        std::shared_ptr<VokarInfo> device;
    };
    struct Console {
        std::unique_ptr<ConsoleEmulator> emulated;
        std::shared_ptr<TribelInfo> device;
    };

    // Loudspeaker `number` at 127.0.0.(10 + number), registered and online. Its line-control module
    // answers the version request of its first settings read, which a write of its memory makes.
    Loudspeaker& addLoudspeaker(std::uint32_t number, VokarVersion generation = vokarV3_A121) {
        Loudspeaker loudspeaker;
        loudspeaker.emulated = std::make_unique<LoudspeakerEmulator>("127.0.0." + std::to_string(10 + number),
                                                                     port_, hardwareText(number), generation);
        test::LineControllerEmulator module(*loudspeaker.emulated);
        loudspeaker.flash = std::make_unique<test::AudioFlash>(*loudspeaker.emulated, 8192);
        loudspeaker.device = std::dynamic_pointer_cast<VokarInfo>(
            join(number, "Vokar-B", *loudspeaker.emulated, loudspeaker.emulated->statusPacket()));
        loudspeakers_.push_back(std::move(loudspeaker));
        return loudspeakers_.back();
    }
    // Console `number` at 127.0.0.(host), a fire console, registered and online.
    Console& addConsole(std::uint32_t number, int host) {
        Console console;
        console.emulated =
            std::make_unique<ConsoleEmulator>("127.0.0." + std::to_string(host), port_, hardwareText(number));
        console.device = std::dynamic_pointer_cast<TribelInfo>(
            join(number, "Tribel-T", *console.emulated, console.emulated->statusPacket()));
        consoles_.push_back(std::move(console));
        return consoles_.back();
    }
    std::shared_ptr<DeviceBase> join(std::uint32_t number, const std::string& type,
                                     test::EmulatedDevice& emulated, const std::string& packet) {
        const auto device = registry_->addDevice(number, type, net::HardwareAddress(hardwareText(number)),
                                                 net::Ip4Address(emulated.ip()), L"");
        EXPECT_TRUE(device->parseState(packet, emulated.address()));
        EXPECT_TRUE(checkAnswers(*device, [&] { return device->isOnlineAndResponding(); }));
        EXPECT_TRUE(test::waitForDispatcher());
        return device;
    }
    DeviceCollection::Loudspeakers set(std::initializer_list<std::size_t> indexes) {
        DeviceCollection::Loudspeakers chosen;
        for (const std::size_t index : indexes) chosen.insert(loudspeakers_.at(index).device);
        return chosen;
    }
    // Two scenarios (play numbers 1 and 2) in the loudspeaker's audio memory.
    static void recordScenarios(Loudspeaker& loudspeaker) {
        const auto memory = loudspeaker.device->getAudioMemory(false, true);
        const std::int16_t gong = memory->addFragment(std::string(100, 'g'), L"Гонг");
        const std::int16_t message = memory->addFragment(std::string(100, 'm'), L"Сообщение");
        memory->addScenario(gong, message, 0, L"Первый");
        memory->addScenario(gong, message, 0, L"Второй");
        memory->writeChanges(nullptr);
        ASSERT_TRUE(test::waitFor([&] { return memory->getWriteProgress() == 100; }));
    }
    // "announce zones / zone addresses" of a loudspeaker as its emulator keeps them.
    std::string lists(std::size_t index) const {
        std::string text;
        for (const int zone : loudspeakers_.at(index).emulated->announceZones())
            text += std::to_string(zone) + ",";
        text += "/";
        for (const std::uint32_t address : loudspeakers_.at(index).emulated->zoneAddresses())
            text += std::to_string(address) + ",";
        return text;
    }
    // The console stops answering and counts as offline, also after a late answer to a check.
    static void takeOffline(Console& console) {
        console.emulated->setSilent(true);
        ASSERT_TRUE(test::waitForDispatcher());
        console.device->lastStateTime = 0;
    }
    static std::wstring refusal(const std::function<void()>& action) {
        return test::thrown<exception::UserResponse>(action, &exception::Base::message);
    }

    test::ManualClock clock_;
    std::shared_ptr<DeviceCollection> registry_;
    std::deque<Loudspeaker> loudspeakers_;
    std::deque<Console> consoles_;
};

TEST_F(ZoneBindingsTest, BindingsReachBothSidesAndShareTheirVirtualZone) {
    addLoudspeaker(1);
    addLoudspeaker(2);
    // 165 lies in the block that starts after 20 x 12.
    Console& first = addConsole(165, 21);
    Console& second = addConsole(166, 22);

    registry_->bindDevices(first.device, 3, -1, set({0, 1}));
    EXPECT_EQ(lists(0), "243,/165,");
    EXPECT_EQ(lists(1), "243,/165,");
    EXPECT_EQ(first.emulated->zones().at(3).virtualZone, 243);
    EXPECT_EQ(first.emulated->zones().at(3).addresses, (Numbers{1, 2}));
    EXPECT_EQ(refusal([&] { registry_->bindDevices(first.device, 3, -1, set({0})); }), L"zoneBusy");

    // The same loudspeakers elsewhere listen on the same virtual zone; others get their own.
    registry_->bindDevices(second.device, 1, -1, set({0, 1}));
    registry_->bindDevices(second.device, 2, -1, set({1}));
    EXPECT_EQ(second.emulated->zones().at(1).virtualZone, 243);
    EXPECT_EQ(second.emulated->zones().at(2).virtualZone, 262);
    EXPECT_EQ(lists(1), "243,262,/165,166,");
    EXPECT_TRUE(registry_->searchForDevicesWithBrokenTranslationZones().empty());

    // Unbinding keeps a virtual zone that another console uses, but not the console's address.
    registry_->unbindDevices(first.device, 3);
    EXPECT_EQ(lists(0), "243,/166,");
    EXPECT_EQ(refusal([&] { registry_->unbindDevices(first.device, 3); }), L"unknownZone");
    registry_->rebindDevices(second.device, 1, -1, set({0}));
    EXPECT_EQ(lists(0), "261,/166,");
    EXPECT_EQ(lists(1), "262,/166,");
    EXPECT_TRUE(registry_->searchForDevicesWithBrokenTranslationZones().empty());
}

TEST_F(ZoneBindingsTest, BindingsAreCheckedBeforeAnythingIsWritten) {
    addLoudspeaker(1);
    addLoudspeaker(2);
    addLoudspeaker(3);
    for (std::size_t n = 0; n < 3; ++n) recordScenarios(loudspeakers_[n]);
    Console& console = addConsole(165, 21);
    console.emulated->setZones({{5, {30, 1, {1, 2}}}});
    const auto check = [&](int zone, int scenario, const DeviceCollection::Loudspeakers& chosen) {
        return refusal(
            [&] { DeviceCollection::checkPossibilityOfBinding(console.device, zone, scenario, chosen); });
    };
    EXPECT_EQ(check(0, -1, set({0})), L"incorrectZone");
    EXPECT_EQ(check(21, -1, set({0})), L"incorrectZone");
    EXPECT_EQ(check(1, 3, set({0})), L"noScenario");
    // Beside a message zone over 1 and 2 with message 1.
    EXPECT_EQ(check(1, 1, set({0, 1, 2})), L"partialIntersection");
    EXPECT_EQ(check(1, 2, set({1, 2})), L"partialIntersection");
    EXPECT_NO_THROW(DeviceCollection::checkPossibilityOfBinding(console.device, 1, 2, set({0, 1, 2})));
    EXPECT_NO_THROW(DeviceCollection::checkPossibilityOfBinding(console.device, 5, 1, set({1, 2})));

    auto settings = console.emulated->settings();
    settings.priority = 50;
    console.emulated->setSettings(settings);
    console.device->getConfig(true);
    EXPECT_EQ(check(1, 2, set({0})), L"noFireType");

    auto old = addLoudspeaker(4, vokarBx_1_01_80).device;
    EXPECT_THROW(DeviceCollection::checkPossibilityOfBinding(console.device, 1, -1, {old}),
                 exception::UnsupportedByDevice);
    ASSERT_TRUE(takeStatus(*console.emulated, *console.device, [](auto& s) { s.playbackState = 0x02; }));
    EXPECT_EQ(check(0, -1, set({0})), L"internalPlaying");
    console.device->lastStateTime = 0;
    EXPECT_THROW(DeviceCollection::checkPossibilityOfBinding(console.device, 1, -1, set({0})),
                 exception::Offline);
}

TEST_F(ZoneBindingsTest, AFailedBindingTakesBackOnlyWhatItAdded) {
    addLoudspeaker(1);
    addLoudspeaker(2);
    Console& console = addConsole(165, 21);
    // Room for three loudspeakers, one of them taken by a zone elsewhere.
    console.emulated->setZones({{7, {900, -1, {0x50}}}});
    console.emulated->setZoneMemorySize(3);
    registry_->bindDevices(console.device, 1, -1, set({0}));
    ASSERT_EQ(lists(0), "241,/165,");

    // The console has no room for two more loudspeakers: the loudspeakers keep only what they had.
    EXPECT_EQ(test::thrown<exception::ExternalError>(
                  [&] {
                      registry_->bindDevices(console.device, 2, -1, set({0, 1}));
                  },
                  &exception::Base::message),
              L"Не удалось настроить микрофонную консоль");
    EXPECT_EQ(lists(0), "241,/165,");
    EXPECT_EQ(lists(1), "/");

    // A loudspeaker that refuses halfway: the one before it gets its lists back.
    loudspeakers_[1].emulated->faultOn("zoneAddrAdd", 0, Fault::error);
    EXPECT_THROW(registry_->bindDevices(console.device, 2, -1, set({0, 1})),
                 exception::UnexpectedResponseOfDevice);
    EXPECT_EQ(lists(0), "241,/165,");
    EXPECT_EQ(lists(1), "/");
    EXPECT_EQ(console.emulated->zones().size(), 2u);
    registry_->bindDevices(console.device, 2, -1, set({1}));
    EXPECT_EQ(lists(1), "242,/165,");
}

TEST_F(ZoneBindingsTest, ConsolesThatAreOnlyOfflineKeepTheirZones) {
    addLoudspeaker(1);
    addLoudspeaker(2);
    Console& online = addConsole(165, 21);
    // 216 prefers the same block as 165.
    Console& offline = addConsole(216, 22);
    registry_->bindDevices(offline.device, 3, -1, set({0}));
    ASSERT_EQ(lists(0), "243,/216,");
    takeOffline(offline);

    // Its virtual zone is not given to another zone, and its loudspeaker is not broken.
    registry_->bindDevices(online.device, 3, -1, set({1}));
    EXPECT_EQ(lists(1), "1,/165,");
    EXPECT_TRUE(registry_->searchForDevicesWithBrokenTranslationZones().empty());
    EXPECT_EQ(refusal([&] { registry_->fixIntegrity(loudspeakers_[0].device); }), L"none");
    registry_->unbindDevices(online.device, 3);
    EXPECT_EQ(lists(0), "243,/216,");

    // Whose zones were never read may own any virtual zone of its loudspeakers.
    offline.device->resetCache();
    loudspeakers_[0].emulated->setAnnounceZones({243, 500});
    loudspeakers_[0].device->resetCache();
    EXPECT_TRUE(registry_->searchForDevicesWithBrokenTranslationZones().empty());
}

TEST_F(ZoneBindingsTest, BrokenBindingsAreFoundAndRepairedOrRestored) {
    addLoudspeaker(1);
    addLoudspeaker(2);
    Console& console = addConsole(165, 21);
    registry_->bindDevices(console.device, 1, -1, set({0, 1}));
    registry_->bindDevices(console.device, 2, -1, set({1}));
    // The second loudspeaker forgot the first zone's virtual zone and knows one of nobody's.
    loudspeakers_[1].emulated->setAnnounceZones({242, 700});
    loudspeakers_[1].device->resetCache();
    loudspeakers_[1].device->touchLastState();

    DeviceCollection::BrokenZones broken = registry_->searchForDevicesWithBrokenTranslationZones();
    ASSERT_EQ(broken.size(), 2u);
    EXPECT_EQ(broken[console.device].size(), 1u);
    EXPECT_EQ(broken[console.device][1].size(), 1u);
    EXPECT_EQ(broken[console.device][1].begin()->getLow(), 2u);
    EXPECT_EQ(broken[loudspeakers_[1].device].count(700), 1u);
    EXPECT_EQ(refusal([&] { registry_->fixIntegrity(loudspeakers_[0].device); }), L"none");

    // A repair that the console refuses halfway is undone.
    const auto zonesBefore = console.emulated->zones();
    console.emulated->setZones({{1, {241, 1, {1, 2}}}, {2, {242, -1, {2}}}});
    console.device->resetCache();
    console.device->touchLastState();
    console.emulated->faultOn("zoneScBind", 0, Fault::error);
    EXPECT_EQ(test::thrown<exception::ExternalError>([&] { registry_->fixIntegrity(console.device); },
                                                     &exception::Base::message),
              L"Не удалось настроить микрофонную консоль");
    EXPECT_EQ(console.emulated->zones().at(1).addresses, (Numbers{1, 2}));
    EXPECT_EQ(console.emulated->zones().at(1).scenario, 1);

    // One that succeeds drops the broken loudspeaker from the zone.
    console.emulated->setZones(zonesBefore);
    console.device->resetCache();
    console.device->touchLastState();
    registry_->fixIntegrity(console.device);
    EXPECT_EQ(console.emulated->zones().at(1).addresses, Numbers{1});
    registry_->fixIntegrity(loudspeakers_[1].device);
    EXPECT_EQ(lists(1), "242,/165,");
    EXPECT_TRUE(registry_->searchForDevicesWithBrokenTranslationZones().empty());

    // A loudspeaker whose repair fails halfway gets back what it lost.
    loudspeakers_[1].emulated->setAnnounceZones({242, 700, 701});
    loudspeakers_[1].device->resetCache();
    loudspeakers_[1].device->touchLastState();
    loudspeakers_[1].emulated->faultOn("zoneAnnDel", 1, Fault::error);
    EXPECT_THROW(registry_->fixIntegrity(loudspeakers_[1].device), exception::UnexpectedResponseOfDevice);
    EXPECT_EQ(lists(1), "242,700,701,/165,");
}

TEST_F(ZoneBindingsTest, AConsoleKeepsItsMessagesUnlessForcedToStopBeingAFireConsole) {
    addLoudspeaker(1);
    recordScenarios(loudspeakers_[0]);
    Console& console = addConsole(165, 21);
    registry_->bindDevices(console.device, 1, 1, set({0}));
    TribelInfo::Config config = console.device->getConfig(false);
    config.fireConsole = false;
    console.emulated->clearReceived();
    EXPECT_FALSE(registry_->setTribelConfig(console.device, config, false));
    EXPECT_EQ(sent(*console.emulated), "");
    EXPECT_TRUE(registry_->setTribelConfig(console.device, config, true));
    EXPECT_TRUE(console.emulated->zones().empty());
    EXPECT_EQ(console.emulated->settings().priority, 50u);
    EXPECT_EQ(lists(0), "/");
}

TEST_F(ZoneBindingsTest, LookupsRunWhileTheRegistryAndTheListsChange) {
    addLoudspeaker(1);
    addLoudspeaker(2);
    Console& console = addConsole(165, 21);
    registry_->bindDevices(console.device, 1, -1, set({0, 1}));
    const auto loudspeaker = loudspeakers_[0].device;

    std::atomic<bool> failed{false};
    const auto guarded = [&failed](const std::function<void()>& work) {
        return [&failed, work] {
            try {
                for (int round = 0; round < 15; ++round) work();
            } catch (const std::exception& error) {
                ADD_FAILURE() << error.what();
                failed = true;
            }
        };
    };
    std::vector<std::thread> threads;
    threads.emplace_back(guarded([&] { registry_->searchForDevicesWithBrokenTranslationZones(); }));
    threads.emplace_back(guarded([&] {
        loudspeaker->addAnnounceZone(900);
        loudspeaker->removeAnnounceZone(900);
    }));
    threads.emplace_back(guarded([&] {
        loudspeaker->readAnnounceZones();
        loudspeaker->readZoneAddresses();
    }));
    threads.emplace_back(guarded([&] {
        // Devices that come and go while the search looks devices up by number.
        const net::HardwareAddress passing(hardwareText(0x300));
        registry_->addDevice(0x300, "Vokar-B", passing, net::Ip4Address("127.0.0.99"), L"");
        registry_->remove(passing);
    }));
    for (std::thread& thread : threads) thread.join();
    EXPECT_FALSE(failed.load());
    EXPECT_EQ(loudspeaker->readAnnounceZones(), loudspeakers_[0].emulated->announceZones());
    EXPECT_EQ(lists(0), "241,/165,");
}

}  // namespace
