#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/IAudioControl.h"
#include "devices/LineControl.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "support/AudioFlash.h"
#include "support/LineControllerEmulator.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;
using tip_device::LineControl;
using tip_device::TipDevice;

// A module that answers from a table and keeps what it was asked.
class ScriptedModule {
public:
    LineControl::Request request() {
        return [this](const std::string& command, std::string& reply) {
            asked.push_back(command);
            const auto found = replies.find(command);
            reply = found == replies.end() ? std::string() : found->second;
        };
    }
    std::map<std::string, std::string> replies;
    std::vector<std::string> asked;
};

// "number:added/online/active:first:tag" of every device.
std::string describe(const std::vector<TipDevice>& devices) {
    std::string text;
    for (const TipDevice& d : devices) {
        text += (text.empty() ? "" : " ") + std::to_string(d.number) + ":" + std::to_string(d.added) +
                std::to_string(d.online) + std::to_string(d.active) + ":" + std::to_string(d.firstValue) +
                ":" + d.tag;
    }
    return text;
}

class LineControlTest : public ::testing::Test {
protected:
    test::LogCapture capture_;
    ScriptedModule module_;
    LineControl control_{module_.request()};
};

TEST_F(LineControlTest, TheModulesStateAndEndDevices) {
    module_.replies["lsensor"] = "Active,0,40: 1:3:1F:0:abc;2:1:0:0:x";
    const std::vector<TipDevice> devices = control_.getLineState();
    EXPECT_EQ(describe(devices), "12:111:31:abc 13:100:0:x");
    EXPECT_EQ(devices[0].name, L"Оконечное устройство 12");
    EXPECT_EQ(control_.getTipDeviceName(13), L"Оконечное устройство 13");
    EXPECT_EQ(control_.getTipDevice(14).number, 0);
    EXPECT_EQ(control_.getPowerSaveMode(), LineControl::off);
    EXPECT_EQ(control_.getInitializationProgress(), 40u);
    EXPECT_FALSE(control_.isPowerSaveMode());
    // Known while active: asked once.
    control_.getLineState();
    EXPECT_EQ(module_.asked, std::vector<std::string>{"lsensor"});

    struct Case {
        const char* reply;
        LineControl::State state;
        std::uint32_t powerSave;
        std::uint32_t progress;  // without asking the module
        const char* devices;
    };
    const std::vector<Case> cases = {
        {"Pause", LineControl::pause, LineControl::notReported, 100, ""},
        {"Active,1,100: 5:2:0:0:z", LineControl::active, LineControl::on, 100, "16:010:0:z"},
        {"Active,7,100", LineControl::active, LineControl::unknown, 100, ""},
        {"Not Ready,0,30", LineControl::notReady, LineControl::off, 30, ""},
    };
    for (const Case& c : cases) {
        module_.replies["lsensor"] = c.reply;
        control_.requestTipDevices();
        EXPECT_EQ(control_.getState(), c.state) << c.reply;
        EXPECT_EQ(control_.getPowerSaveMode(), c.powerSave) << c.reply;
        EXPECT_EQ(control_.getInitializationProgress(), c.progress) << c.reply;
        EXPECT_EQ(describe(control_.getLineState()), c.devices) << c.reply;
    }
    EXPECT_TRUE(capture_.contains(L"Skip parsing states of line control. (Pause)", L"DEBUG"));

    // While it initialises the module tells its progress on request.
    module_.replies["lsensor"] = "Not Ready";
    module_.replies["lsensor dbg"] = "Init mode: 55";
    control_.requestTipDevices();
    EXPECT_EQ(control_.getInitializationProgress(), 55u);
    module_.replies["lsensor dbg"] = "Init mode: soon";
    EXPECT_EQ(control_.getInitializationProgress(), 0u);
}

TEST_F(LineControlTest, ListsThatDoNotReadLeaveTheListBefore) {
    module_.replies["lsensor"] = "Active,0,100: 1:3:1F:0:abc;2:1:0:0:x";
    control_.requestTipDevices();
    ASSERT_EQ(describe(control_.getLineState()), "12:111:31:abc 13:100:0:x");
    struct Case {
        const char* reply;
        const wchar_t* warning;
    };
    const wchar_t* count = L"Неверное количество частей в состоянии оконечных устройств.";
    const wchar_t* values = L"Неверные значения частей в состоянии оконечных устройств.";
    const std::vector<Case> cases = {
        {"Active,0,100: 1:3:1F:0:abc;200:1:0:0:x", values},
        {"Active,0,100: 1:8:1F:0:abc", values},
        {"Active,0,100: 1:3:1F:0", count},
        {"Active,0,100: 1:3:1F:0:abcde", count},
        {"Active,0,100: 1:3:1F:0:abc junk", count},
        {"Active,0,100: x:3:1F:0:abc", count},
        {"Active,0,100: 1;3:1F:0:abc", count},
        {"Sleeping,0,100", L"Неизвестное состояние модуля контроля линии. (Sleeping,0,100)"},
        {";1:3:1F:0:abc", L"Получен неверный формат состояния модуля контроля линии."},
    };
    for (const Case& c : cases) {
        module_.replies["lsensor"] = c.reply;
        control_.requestTipDevices();
        EXPECT_EQ(control_.getTipDevice(13).tag, "x") << c.reply;
        EXPECT_TRUE(capture_.contains(c.warning, L"WARN")) << c.reply;
    }
    module_.replies["lsensor"] = "Active,0,100: 1:3:1F:0:abc;2:1:0:0:y";
    control_.requestTipDevices();
    module_.replies.erase("lsensor");
    control_.requestTipDevices();
    EXPECT_EQ(control_.getTipDevice(13).tag, "y");
    EXPECT_TRUE(capture_.contains(L"A device isn't responded", L"DEBUG"));
}

TEST_F(LineControlTest, MasksFromTheLoudspeakerNameTheEndDevices) {
    control_.setTipDeviceMasks(0x3, 0x1);
    EXPECT_EQ(control_.getState(), LineControl::notRead);
    // Not active: the next query asks the module, which does not answer here.
    EXPECT_EQ(describe(control_.getLineState()), "");
    EXPECT_EQ(control_.getTipDevice(11).active, 1);
    EXPECT_EQ(control_.getTipDevice(12).added, 1);
    EXPECT_EQ(control_.getTipDevice(12).online, 0);
    EXPECT_EQ(control_.getTipDeviceName(12), L"Оконечное устройство 12");
    module_.asked.clear();
    control_.setTipDeviceMasks(0x3, 0x1);
    control_.setTipDeviceMasks(0x100000, 0);
    EXPECT_EQ(control_.getTipDevice(11).number, 0);
    EXPECT_TRUE(module_.asked.empty());
}

TEST_F(LineControlTest, PowerSaveAddingAndRemoving) {
    module_.replies["lsensor"] = "Pause";
    EXPECT_FALSE(control_.setPowerSaveMode(1));
    EXPECT_TRUE(capture_.contains(L"The power save mode is unknown or unsupported", L"ERROR"));

    module_.replies["lsensor"] = "Active,0,100: 1:3:1F:0:abc;2:2:0:0:x";
    control_.requestTipDevices();
    EXPECT_TRUE(control_.setPowerSaveMode(0));
    EXPECT_FALSE(control_.setPowerSaveMode(1));
    EXPECT_TRUE(capture_.contains(L"Не удалось установить режим энергосбережения!", L"ERROR"));
    // Another query's late answer confirms no mode.
    for (const char* late :
         {"Active,0,100: 1:3:1F:0:abc", "1.02.3,hwaddr 02:7E:41:00:10:01", "Init mode: 5"}) {
        module_.replies["lsensor power 1"] = late;
        EXPECT_FALSE(control_.setPowerSaveMode(1)) << late;
    }
    module_.replies["lsensor power 1"] = "ok";
    EXPECT_TRUE(control_.setPowerSaveMode(1));
    EXPECT_TRUE(control_.isPowerSaveMode());

    module_.replies["lsensor add 2"] = "ok";
    module_.replies["lsensor del 1"] = "ok";
    module_.asked.clear();
    EXPECT_TRUE(control_.add(13));
    EXPECT_FALSE(control_.add(12));  // added already
    EXPECT_FALSE(control_.add(20));
    EXPECT_FALSE(control_.remove(20));
    EXPECT_TRUE(control_.remove(12));
    EXPECT_FALSE(control_.remove(13));  // the module does not answer
    EXPECT_EQ(module_.asked,
              (std::vector<std::string>{"lsensor", "lsensor add 2", "lsensor", "lsensor", "lsensor",
                                        "lsensor", "lsensor del 1", "lsensor", "lsensor del 2"}));
    EXPECT_TRUE(capture_.contains(L"Оконечное устройство 12 невозможно добавить", L"EXTERN"));
    EXPECT_TRUE(capture_.contains(L"Оконечное устройство 20 не найдено в добавленных", L"EXTERN"));

    module_.replies["lsensor"] = "Active,1,100: 1:3:1F:0:abc;2:2:0:0:x";
    EXPECT_FALSE(control_.add(13));
    EXPECT_FALSE(control_.remove(12));
    EXPECT_TRUE(capture_.contains(
        L"Не удалось добавить оконечное устройство из-за включенного режима энергосбережения", L"WARN"));
    EXPECT_TRUE(capture_.contains(
        L"Не удалось удалить оконечное устройство из-за включенного режима энергосбережения", L"WARN"));
}

TEST_F(LineControlTest, VersionAndAddressOfTheModule) {
    EXPECT_EQ(control_.getMasterFirmwareVersion().text, "");
    EXPECT_TRUE(capture_.contains(L"Произошел сбой в модуле контроля линии", L"EXTERN"));
    module_.replies["lsensor ver"] = "1.02.3";
    control_.initVersionAndAddress();
    module_.replies["lsensor ver"] = "1.02.3,hwaddr a,b";
    control_.initVersionAndAddress();
    EXPECT_EQ(capture_.find(L"Получен неверный формат версии модуля контроля линии.", L"WARN").size(), 2u);

    module_.replies["lsensor ver"] = "1.02.3,hwaddr 02:7E:41:00:10:01";
    const Version version = control_.getMasterFirmwareVersion();
    EXPECT_EQ(version.type, types::vokarBLC);
    EXPECT_EQ(version.text, "Vokar-B-LC 1.02.3");
    EXPECT_EQ(control_.getAddress(), "02:7E:41:00:10:01");
    module_.asked.clear();
    control_.getMasterFirmwareVersion();
    EXPECT_TRUE(module_.asked.empty());

    module_.replies["lsensor ver"] = "one.two,hwaddr 02:7E:41:00:10:01";
    EXPECT_THROW(control_.initVersionAndAddress(), exception::UnexpectedResponseOfDevice);
    EXPECT_TRUE(capture_.contains(
        L"Обнаружена ошибка формата в версии модуля контроля линии 'Vokar-B-LC one.two'", L"WARN"));

    control_.resetCache();
    EXPECT_EQ(control_.getAddress(), "");
    EXPECT_EQ(control_.getPowerSaveMode(), LineControl::unknown);
}

class VokarLineControlTest : public test::VokarFixture {};

TEST_F(VokarLineControlTest, TheLoudspeakersModuleThroughItsExchange) {
    auto [emulated, device] = connected(vokarV3_A121);
    test::LineControllerEmulator module(*emulated);
    module.setEndDevice(1, {0x3, 0x1F, 0, "abc"});
    module.setEndDevice(2, {0x1, 0, 0, "x"});
    module.setEndDevice(4, {0x2, 7, 1, "y"});

    const auto control = device->getLineControl();
    EXPECT_EQ(device->getLineControl(), control);
    EXPECT_EQ(describe(control->getLineState()), "12:111:31:abc 13:100:0:x 15:010:7:y");
    EXPECT_TRUE(control->add(15));
    EXPECT_EQ(module.endDevices()[4].flags, 0x3u);
    EXPECT_TRUE(control->remove(12));
    EXPECT_EQ(module.endDevices()[1].flags, 0x2u);
    EXPECT_TRUE(control->setPowerSaveMode(1));
    EXPECT_EQ(module.powerSave(), 1u);
    EXPECT_EQ(control->getMasterFirmwareVersion().text, "Vokar-B-LC 1.02.3");

    // The module's error reaches the caller; silence is an empty reply.
    emulated->answer("lsensor", "ERR[lsensor]: module fault");
    EXPECT_THROW(control->requestTipDevices(), exception::UserResponse);
    emulated->setSilent(true);
    EXPECT_NO_THROW(control->requestTipDevices());
    device->responding = false;
    EXPECT_NO_THROW(control->requestTipDevices());
    emulated->clearReceived();
    control->requestTipDevices();
    EXPECT_EQ(emulated->receivedCount(), 0u);

    // A reset of the loudspeaker resets its line control, which stays.
    device->resetCache();
    EXPECT_EQ(device->getLineControl(), control);
    EXPECT_EQ(control->getState(), tip_device::LineControl::notRead);
    EXPECT_EQ(control->getAddress(), "");

    // A removed loudspeaker leaves its line control without an exchange.
    const std::weak_ptr<VokarInfo> gone = device;
    device.reset();
    EXPECT_TRUE(gone.expired());
    EXPECT_NO_THROW(control->requestTipDevices());
    EXPECT_TRUE(capture_.contains(L"The device is no longer available. The request isn't handled. (lsensor)",
                                  L"ERROR"));

    auto first = makeDevice(types::vokarALaterGeneration, 3);
    EXPECT_THROW(first->getLineControl(), exception::UnsupportedByDevice);
}

TEST_F(VokarLineControlTest, TheStatusPacketsMasksReachTheLineControl) {
    auto [emulated, device] = connected(vokarV3_A121);
    const auto control = device->getLineControl();
    // Added and active masks.
    ASSERT_TRUE(takeStatus(*emulated, *device, [](auto& s) { s.line1 = 0x3, s.line2 = 0x1; }));
    EXPECT_EQ(control->getTipDevice(11).active, 1);
    EXPECT_EQ(control->getTipDevice(12).added, 1);
    EXPECT_EQ(control->getTipDevice(12).online, 0);
}

TEST_F(VokarLineControlTest, AVokarBReportsItsLineControlAndPowerSupplyFirmware) {
    auto emulated = makeEmulator(vokarV3_A121);
    test::LineControllerEmulator module(*emulated);
    auto device = connect(*emulated, types::vokarB);
    emulated->setPowerSupplyVersion("2.01.9");
    device->getConfig(true);
    ASSERT_TRUE(test::waitFor([&] {
        return capture_.contains(
            L"На устройстве 'Hall' прошивка контроля линии V1.2.3 и блока питания V2.1.9 "
            L"(hw=02:7E:41:00:00:01)",
            L"INFO");
    }));
    EXPECT_EQ(sent(*emulated), "get state; lsensor ver; get pssVer");
}

// Two loudspeakers whose modules never answer: their version requests, which once held both of
// the dispatcher's threads until the modules' time-outs, leave it free, and report once they end.
TEST_F(VokarLineControlTest, SilentModulesHoldUpNoOtherWorkOfTheDispatcher) {
    test::ManualClock clock;
    clock.holdSteady();
    std::vector<Loudspeaker> silent;
    for (const int host : {2, 3}) {
        silent.push_back(connected(vokarV3_A121, host));
        silent.back().device->getConfig(true);
    }
    // The requests fall due; the time-out of the modules waits until the clock moves again.
    clock.advance(std::chrono::seconds(1));
    for (const Loudspeaker& loudspeaker : silent) {
        ASSERT_TRUE(test::waitFor(
            [&] { return sent(*loudspeaker.emulated).find("lsensor ver") != std::string::npos; }));
    }
    ASSERT_TRUE(test::waitForDispatcher());
    for (const Loudspeaker& loudspeaker : silent)
        EXPECT_EQ(sent(*loudspeaker.emulated).find("get pssVer"), std::string::npos);

    ASSERT_TRUE(test::waitFor([&] {
        clock.advance(std::chrono::milliseconds(200));
        return capture_.find(L"прошивка контроля линии V0.0.0", L"INFO").size() == 2;
    }));
}

// A module's reply that names no command, coming while its loudspeaker's level read is in flight
// beside the module's request, is the module's answer: each request takes its own.
TEST_F(VokarLineControlTest, AReplyNamingNoCommandBesideALevelReadIsTheModules) {
    test::ManualClock clock;
    clock.holdSteady();
    auto [emulated, device] = connected(vokarV3_A121);
    emulated->answer("lsensor", "Active,0,40: 1:3:1F:0:abc");
    emulated->setDecibels(-35);
    emulated->holdReplies();
    const auto line = device->getLineControl();
    std::atomic<bool> pageAnswered{false};
    std::thread page([&] {
        line->requestTipDevices();
        pageAnswered = true;
    });
    EXPECT_TRUE(emulated->waitForHeld(1));
    std::optional<VokarInfo::Level> level;
    std::thread read([&] { level = device->readLevel(); });
    EXPECT_TRUE(emulated->waitForHeld(2));
    emulated->releaseReplies();
    read.join();
    // Unanswered, the module's request would fail once the clock moves.
    EXPECT_TRUE(test::waitFor([&] {
        clock.advance(std::chrono::milliseconds(200));
        return pageAnswered.load();
    }));
    page.join();
    EXPECT_EQ(describe(line->getLineState()), "12:111:31:abc");
    EXPECT_TRUE(level && level->decibels == -35);
}

// A module that never answers holds up none of its loudspeaker's own requests: while the module's
// request is still unanswered (the clock stands still, so it never fails), an alarm takes the
// loudspeaker as it does (its level read, then the switch) and a write of its memory ends at 100,
// and the loudspeaker stays online and responding. The module is asked as the line page asks it,
// or by the version query that a settings read queues.
TEST_F(VokarLineControlTest, ASilentModuleHoldsUpNoneOfItsLoudspeakersRequests) {
    enum class Asker { page, versionQuery };
    enum class Work { alarm, memoryWrite };
    const struct {
        const char* name;
        Asker asker;
        Work work;
    } cases[] = {
        {"an alarm while the page asks", Asker::page, Work::alarm},
        {"an alarm while the version query waits", Asker::versionQuery, Work::alarm},
        {"a memory write while the page asks", Asker::page, Work::memoryWrite},
        {"a memory write while the version query waits", Asker::versionQuery, Work::memoryWrite},
    };
    test::ManualClock clock;
    clock.holdSteady();
    int host = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loudspeaker loudspeaker = connected(vokarV3_A121, host++);
        const std::shared_ptr<VokarInfo>& device = loudspeaker.device;
        test::AudioFlash flash(*loudspeaker.emulated, 4096);
        std::shared_ptr<memory::IAudioControl> memory;
        if (c.work == Work::memoryWrite) {
            memory = device->getAudioMemory(true, true);
            memory->addFragment(std::string(2000, 'g'), L"Гонг");
        }
        const std::size_t reports = capture_.find(L"прошивка контроля линии", L"INFO").size();
        std::atomic<bool> pageAnswered{false};
        std::thread page;
        if (c.asker == Asker::page) {
            page = std::thread([&pageAnswered, line = device->getLineControl()] {
                line->requestTipDevices();
                pageAnswered = true;
            });
        } else if (!memory) {
            device->getConfig(true);
        }
        // The version query is queued once the settings' reply is handled, maybe after a first step
        // of the clock: the clock moves on in steps until the query falls due, a second in all, as
        // little as keeps the loudspeaker heard.
        int steps = c.asker == Asker::versionQuery ? 5 : 0;
        ASSERT_TRUE(test::waitFor([&] {
            if (steps > 0 && steps-- > 0) clock.advance(std::chrono::milliseconds(200));
            return sent(*loudspeaker.emulated).find("lsensor") != std::string::npos;
        }));

        std::atomic<int> outcome{0};
        std::thread work([&] {
            try {
                if (c.work == Work::alarm) {
                    outcome = device->readLevel() && device->switchChannel(1, true) ? 100 : -1;
                } else {
                    memory->writeChanges([&outcome](int percent) {
                        if (percent == 100 || percent < 0) outcome = percent;
                    });
                }
            } catch (const std::exception&) {
                outcome = -1;
            }
        });
        EXPECT_TRUE(test::waitFor([&] { return outcome.load() != 0; }));
        EXPECT_EQ(outcome.load(), 100);
        EXPECT_TRUE(device->isOnlineAndResponding());
        EXPECT_FALSE(pageAnswered.load());
        EXPECT_EQ(capture_.find(L"прошивка контроля линии", L"INFO").size(), reports);

        // The module's requests fail once the clock moves: the page's, and the version query that
        // a settings read queued.
        const bool versionQuery = c.asker == Asker::versionQuery || memory;
        ASSERT_TRUE(test::waitFor([&] {
            clock.advance(std::chrono::milliseconds(200));
            return (c.asker != Asker::page || pageAnswered.load()) &&
                   (!versionQuery || capture_.find(L"прошивка контроля линии", L"INFO").size() > reports);
        }));
        work.join();
        if (page.joinable()) page.join();
    }
}

}  // namespace
