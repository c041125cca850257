#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "devices/ScenarioCatalog.h"
#include "devices/VokarConfig.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "support/DispatcherWait.h"
#include "support/LineControllerEmulator.h"
#include "support/ManualClock.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;
using test::LoudspeakerEmulator;
using Commands = std::vector<std::string>;
using Config = VokarInfo::Config;

// Every field, one a line, so that a difference shows by name.
std::string describe(const Config& c) {
    std::ostringstream out;
    test::describeCommon(out, c);
    out << "\nmicPort=" << c.micPort << "\naudioSrvIp=" << c.audioSrvIp
        << "\ncurrentAudioSrvIp=" << c.currentAudioSrvIp << "\nlineDoubleOff=" << c.lineDoubleOff
        << "\nlineTest=" << c.lineTest << "\nstateText=" << c.stateText << "\nratio=" << c.ratioFirst << "/"
        << c.ratioSecond << "\nstateMode=" << c.stateMode << "\nmulticastListen=" << c.multicastListen
        << "\nmulticastAin0=" << c.multicastAin0 << "\nmulticastAin1=" << c.multicastAin1
        << "\npriVoiceAlert=" << c.priVoiceAlert << "\npriAin0=" << c.priAin0 << "\npriAin1=" << c.priAin1
        << "\npriStreamMCast=" << c.priStreamMCast << "\npriZoneInput=" << c.priZoneInput
        << "\npriStream=" << c.priStream << "\nain0Scenario=" << c.ain0ScenarioOrder << "/"
        << c.ain0ScenarioId << "\nain1Scenario=" << c.ain1ScenarioOrder << "/" << c.ain1ScenarioId
        << "\nain0Arm=" << c.ain0Arm << "\nain1Arm=" << c.ain1Arm << "\n";
    return out.str();
}

// What the emulated loudspeakers keep: every value apart from the padding the readers add.
LoudspeakerEmulator::Settings deviceSettings() {
    LoudspeakerEmulator::Settings s;
    s.currentIp = "10.20.0.22";
    s.currentMask = "255.255.255.0";
    s.currentGateway = "10.20.0.2";
    s.audioServerIp = "10.20.0.6";
    s.neridaReserve = true;
    s.scenarioOrder = {2, 5};
    s.switchMode = false;
    s.ain2Arm = true;
    return s;
}

// The network and Nerida settings of deviceSettings() as every layout shows them.
Config networkConfig() {
    Config c;
    c.ip = "10.20.0.21";
    c.mask = "255.255.0.0";
    c.gateway = "10.20.0.1";
    c.currentIp = "10.20.0.22";
    c.currentMask = "255.255.255.0";
    c.currentGateway = "10.20.0.2";
    c.multicastIp = "239.10.0.1";
    c.serverIp = c.currentServerIp = "10.20.0.5";
    c.serverPort = 5000;
    c.discoveryPort = 5001;
    c.micPort = 5002;
    c.generationCode = 22;
    c.neridaAddress = 12;
    c.neridaRelay = true;
    c.neridaTest = true;
    c.lineTest = true;
    return c;
}

// The record read from deviceSettings() on the newest layout.
Config laterConfig() {
    Config c = networkConfig();
    c.number = 17;
    c.stateText = "ready";
    c.ratioFirst = 3;
    c.ratioSecond = 4;
    c.stateMode = 2;
    c.audioSrvIp = c.currentAudioSrvIp = c.serverIp;
    c.multicastAin1 = true;
    c.priAin0 = 3;
    c.priAin1 = 4;
    c.priVoiceAlert = 1;
    c.priStreamMCast = 5;
    c.priZoneInput = 2;
    c.priStream = 6;
    c.neridaReserve = true;
    c.ain0ScenarioOrder = c.ain0ScenarioId = 2;
    c.ain1ScenarioOrder = c.ain1ScenarioId = 5;
    c.switchMode = false;
    c.ain1Arm = true;
    c.igmpReport = 125;
    c.token33Value = 7;
    c.lineDoubleOff = true;
    return c;
}

class VokarConfigTest : public test::VokarFixture {
protected:
    // Time moves only when a test moves it: however slowly a loaded machine runs a test, its
    // loudspeakers stay online and their settings fresh, and their delayed work (the versions
    // request after the first read) waits instead of joining the exchanges the test watches.
    void SetUp() override {
        clock_.emplace();
        clock_->holdSteady();
        clock_->setSystemMicros(base::clock::systemMicros());
        VokarFixture::SetUp();
    }
    void TearDown() override {
        VokarFixture::TearDown();
        clock_.reset();
    }

    // A connected loudspeaker that keeps deviceSettings() and restarts at once. Its line-control
    // module answers the version request that its first settings read queues; its audio memory
    // holds six scenarios, so that the inputs' orders name the scenarios of the same ids.
    Loudspeaker configured(VokarVersion generation, const std::string& model = "", int host = 2) {
        Loudspeaker loudspeaker{makeEmulator(generation, model, host), nullptr};
        test::LineControllerEmulator module(*loudspeaker.emulated);
        loudspeaker.emulated->setSettings(deviceSettings());
        loudspeaker.emulated->setRebootPause(std::chrono::milliseconds(0));
        loudspeaker.device = connect(*loudspeaker.emulated, typeOf(model));
        writeScenarios(loudspeaker.device, 6);
        loudspeaker.emulated->clearReceived();
        return loudspeaker;
    }
    static DeviceType typeOf(const std::string& model) {
        if (model == "Vokar-S") return types::vokarS;
        if (model == "Vokar-N") return types::vokarN;
        if (model == "Vokar-B1") return types::vokarB1;
        return types::vokarB;
    }
    std::optional<test::ManualClock> clock_;
};

TEST_F(VokarConfigTest, ReadsTheSettingsOfEveryGeneration) {
    struct Case {
        VokarVersion generation;
        std::string model;
        std::string commands;
        std::function<void(Config&)> expect;  // from laterConfig()
    };
    // The first generations keep the audio server apart and answer "config" and "ifconfig".
    const auto firstLayout = [](Config& c) {
        c = networkConfig();
        c.audioSrvIp = c.currentAudioSrvIp = "10.20.0.6";
    };
    const auto neridaTestOff = [firstLayout](Config& c) { firstLayout(c), c.neridaTest = false; };
    const std::string asksLine = "config; ifconfig; get linedouble; get linetest";
    // What the layouts up to generation 15 lack and their padding supplies.
    const auto paddedLayout = [](Config& c) {
        c.priZoneInput = 0;
        c.neridaReserve = false;
        c.switchMode = true;
        c.ain1Arm = false;
        c.igmpReport = c.token33Value = 60;
    };
    const std::vector<Case> cases = {
        {vokarA_1_01_69, "", "config; ifconfig",
         [firstLayout](Config& c) { firstLayout(c), c.generationCode = 3; }},
        {vokarA_1_01_71, "", asksLine, neridaTestOff},
        {vokarA_2_00_71, "", asksLine, neridaTestOff},
        {vokarA_1_01_72, "", asksLine + "; get neridatest", firstLayout},
        {vokarB_1_00_56, "", "get state",
         [paddedLayout](Config& c) {
             paddedLayout(c);
             c.ain0ScenarioOrder = c.ain1ScenarioOrder = c.ain0ScenarioId = c.ain1ScenarioId = -1;
         }},
        {vokarB_1_01_69, "", "get state", paddedLayout},
        {vokarV3_A110, "", "get state", [](Config& c) { c.igmpReport = 60, c.token33Value = 0; }},
        {vokarV3_A111, "", "get state; get igmpReport", [](Config& c) { c.token33Value = 0; }},
        {vokarV3_A121, "", "get state", [](Config&) {}},
        // The loudspeaker's second input is its only one, shown as the first.
        {vokarV3_A121, "Vokar-S", "get state",
         [](Config& c) {
             c.multicastAin0 = c.ain0Arm = true;
             c.multicastAin1 = c.ain1Arm = false;
             c.ain0ScenarioOrder = c.ain0ScenarioId = 5;
             c.ain1ScenarioOrder = c.ain1ScenarioId = -1;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.generation) + " " + c.model);
        auto [emulated, device] = configured(c.generation, c.model);
        Config expected = laterConfig();
        c.expect(expected);
        EXPECT_EQ(describe(device->getConfig(false)), describe(expected));
        const CommonConfig common = device->getCommonConfig(false);
        EXPECT_EQ(common.serverIp, expected.serverIp);
        EXPECT_EQ(common.generationCode, expected.generationCode);
        // The common part comes from the cache.
        EXPECT_EQ(sentBesidesMemory(*emulated), c.commands);
    }
    EXPECT_TRUE(capture_.contains(L"get config from device ip 127.0.0.2", L"TRACE"));
    // Only the two builds that cannot tell their Nerida test are told to update.
    EXPECT_EQ(capture_.find(L"Need update Vokar with name 'Hall'", L"EXTERN").size(), 2u);
    EXPECT_TRUE(capture_.contains(L"Current version is Vokar-A 1.01.71", L"EXTERN"));
    EXPECT_TRUE(capture_.contains(L"Current version is Vokar-A 2.00.71", L"EXTERN"));
}

TEST_F(VokarConfigTest, StateRepliesTooShortForTheirLayoutAreRefused) {
    // Generation 13 without its scenario orders passes the count, but an "on" lands where an
    // order belongs.
    std::vector<std::string> tokens = {
        "17",       "ready",    "3/4",       "2",        "static",    "10.0.0.2", "255.0.0.0",
        "10.0.0.1", "10.0.0.2", "255.0.0.0", "10.0.0.1", "239.1.1.1", "10.0.0.5", "5000",
        "off",      "off",      "on",        "3",        "4",         "1",        "5",
        "6",        "12",       "on",        "on",       "2"};
    ASSERT_TRUE(padStateTokens(tokens, vokarB_1_01_69, ""));
    EXPECT_EQ(tokens[28], "on");
    Config config;
    EXPECT_EQ(readStateTokens(tokens, config), ConfigReplyFault::field);

    for (const auto& [generation, count] : std::vector<std::pair<VokarVersion, std::size_t>>{
             {vokarB_1_01_69, 25}, {vokarB_1_00_56, 23}, {vokarV3_A121, 33}, {vokarV3_A110, 31}}) {
        tokens.assign(count, "x");
        EXPECT_FALSE(padStateTokens(tokens, generation, "")) << generation << " with " << count;
    }
}

TEST_F(VokarConfigTest, ShortOrMalformedRepliesAreRefusedAndTheCacheKept) {
    auto [emulated, device] = configured(vokarV3_A121);
    const Config good = device->getConfig(true);

    const std::vector<std::pair<std::size_t, std::string>> cases = {
        {0, "Number: 12abc"},
        {0, "Number: 4294967296"},
        {2, "Ratio: 3/x"},
        {3, "Mode: 7"},
        {12, "Server IP: 10.20.0.300"},
        {13, "Server port: 65534"},
        {13, "Server port: 70000"},
        {14, "Multicast listen: maybe"},
        {17, "Priority AIN1: 65536"},
        {23, "NERIDA address: 128"},
        {27, "Scenario AIN1: 65"},
        {27, "Scenario AIN1: -2"},
        {32, "IGMP report: 65536"},
        {33, "Token 33: -1"},
    };
    for (const auto& [line, text] : cases) {
        SCOPED_TRACE(text);
        const std::string reply = spoiled(*emulated, line, text);
        emulated->answer("get state", test::okReply("get state", reply));
        EXPECT_EQ(refusedReply(*device), reply);
    }
    // The addresses of the first lines were checked on their way in.
    emulated->answer("get state", test::okReply("get state", spoiled(*emulated, 5, "IP address: 10.20.0")));
    EXPECT_THROW(device->getConfig(true), exception::ServerError);
    EXPECT_TRUE(capture_.contains(L"Неверный формат настроек (hw=02:7E:41:00:00:01, response=", L"ERROR"));
    EXPECT_TRUE(capture_.contains(L"Detected an error in device response!", L"ERROR"));

    // A reply too short for its layout.
    std::vector<std::string> lines = emulated->settingsLines();
    lines.pop_back();
    const std::string shorter = test::joinLines(lines);
    emulated->answer("get state", test::okReply("get state", shorter));
    EXPECT_EQ(refusedReply(*device), shorter);

    emulated->clearReceived();
    EXPECT_EQ(describe(device->getConfig(false)), describe(good));
    EXPECT_TRUE(emulated->received().empty());
}

TEST_F(VokarConfigTest, FirstGenerationRepliesThatDoNotRead) {
    auto [emulated, device] = configured(vokarA_1_01_72);
    std::vector<std::string> lines = emulated->settingsLines();
    ASSERT_EQ(lines.size(), 13u);

    lines.pop_back();
    emulated->answer("config", test::okReply("config", test::joinLines(lines)));
    EXPECT_EQ(refusedReply(*device), "");

    device->clearCache();
    emulated->answer("config",
                     test::okReply("config", spoiled(*emulated, 8, "Command server: 10.20.0:5000")));
    EXPECT_THROW(device->getConfig(true), exception::ServerError);

    // A Nerida field that does not read leaves its default; the rest is read.
    device->clearCache();
    emulated->answer("config", test::okReply("config", spoiled(*emulated, 9, "NERIDA address: 12abc")));
    const Config config = device->getConfig(true);
    EXPECT_EQ(config.neridaAddress, 0);
    EXPECT_EQ(config.serverPort, 5000);
    EXPECT_TRUE(config.neridaRelay);
    EXPECT_TRUE(capture_.contains(
        L"Неверный формат настроек прибора Вокар-A. (hw=02:7E:41:00:00:01, response=IP address: 10.20.0.22",
        L"ERROR"));
}

TEST_F(VokarConfigTest, SettingsAreCachedUntilRefreshedExpiredOrChangedOnTheDevice) {
    auto [newest, later] = configured(vokarV3_A121, "", 2);
    auto [earlierEmulated, earlier] = configured(vokarV3_A110, "", 3);

    for (VokarInfo* device : {later.get(), earlier.get()}) {
        device->getConfig(false);
        device->getConfig(false);
        device->getCommonConfig(false);
    }
    EXPECT_EQ(receivedBesidesMemory(*newest).size(), 1u);
    EXPECT_EQ(receivedBesidesMemory(*earlierEmulated).size(), 1u);
    later->getConfig(true);
    EXPECT_EQ(receivedBesidesMemory(*newest).size(), 2u);

    // The earlier generations read again five seconds later.
    clock_->setSystemMicros(base::clock::systemMicros() + 6000000);
    later->touchLastState();
    earlier->touchLastState();
    later->getConfig(false);
    earlier->getConfig(false);
    EXPECT_EQ(receivedBesidesMemory(*newest).size(), 2u);
    EXPECT_EQ(receivedBesidesMemory(*earlierEmulated).size(), 2u);

    // A changed settings checksum in a status packet means the settings changed.
    ASSERT_TRUE(takeStatus(*newest, *later, [](auto& s) { s.preferenceCrc = 0x1234; }));
    later->getConfig(false);
    EXPECT_EQ(receivedBesidesMemory(*newest).size(), 3u);

    later->responding = false;
    EXPECT_THROW(later->getConfig(false), exception::Offline);
}

TEST_F(VokarConfigTest, AWriteSendsOnlyTheChangedKeysUnderTheNamesOfTheGeneration) {
    using Settings = LoudspeakerEmulator::Settings;
    struct Case {
        std::string name;
        VokarVersion generation;
        std::string model;
        std::function<void(Config&)> change;
        std::string expected;  // before the "reboot" of a restart
        bool restarts;
        // Every change reached the loudspeaker, so the record reads back as written.
        bool allTaken = true;
        std::function<void(Settings&)> prepare = [](Settings&) {};
    };
    const auto neridaOff = [](Config& c) { c.neridaRelay = c.neridaReserve = c.neridaTest = false; };
    const auto addressAndReport = [](Config& c) { c.neridaAddress = 20, c.igmpReport = 200; };
    const auto newAddress = [](Config& c) { c.ip = "10.20.0.99"; };
    // The first generations are set up with one server for commands and audio.
    const auto oneServer = [](Settings& s) { s.audioServerIp = s.serverIp; };
    const VokarVersion g15 = vokarBx_1_01_80, g19 = vokarV3_A121;
    const std::vector<Case> cases = {
        {"a priority", g19, "", [](Config& c) { c.priAin0 = 7; }, "set priAIN1 7", false},
        {"Nerida address and IGMP report", g19, "", addressAndReport, "set neridaAddr 20; set igmpReport 200",
         false},
        {"both input priorities under both names", g15, "", [](Config& c) { c.priAin0 = 7, c.priAin1 = 8; },
         "set priAIN0 7; set priAIN1 8; set priAIN1 7; set priAIN2 8", false},
        {"multicast of the first input under both names", g15, "", [](Config& c) { c.multicastAin0 = true; },
         "set multicastAIN0 on; set multicastAIN1 on", false},
        {"multicast before the newer names", vokarB_1_01_69, "", [](Config& c) { c.multicastAin1 = false; },
         "set multicastAIN1 off", false},
        {"Nerida relay and test, restarting", vokarV3_A110, "Vokar-S", neridaOff,
         "set neridaRelay off; set neridatest off; set neridaReserve off", true},
        {"Nerida relay and test, newer names", vokarV3_A111, "Vokar-S", neridaOff,
         "set neridaRelay off; set neridaTest off; set neridaReserve off", false},
        {"a key the model does not have", g19, "Vokar-N", addressAndReport, "set igmpReport 200", false,
         false},
        {"a key of the first generations", g19, "", [](Config& c) { c.lineTest = false; }, "", false, false},
        {"the address, restarting", g19, "", newAddress, "set ip 10.20.0.99", true},
        {"the address under DHCP", g19, "", newAddress, "set ip 10.20.0.99", false, true,
         [](Settings& s) { s.dhcp = true; }},
        {"the single input of a Vokar-S", g19, "Vokar-S",
         [](Config& c) { c.ain0Arm = c.multicastAin0 = false; }, "set multicastAIN2 off; set ain2Arm off",
         false},
        {"server port of the first generations", vokarA_1_01_72, "",
         [](Config& c) { c.serverPort = 6000, c.neridaAddress = 20; },
         "set cmdPort 6000; set AddrNerida 20; set ch0Port 6001; set ch1Port 6002; set audioSrvIP 10.20.0.5",
         true},
        {"server address of the first generations", vokarA_2_01_72, "",
         [](Config& c) { c.serverIp = "10.20.0.9"; }, "set cmdSrvIP 10.20.0.9; set audioSrvIP 10.20.0.9",
         true, true, oneServer},
        {"line of the first generations", vokarA_2_01_72, "", [](Config& c) { c.lineDoubleOff = true; },
         "set linedouble off", false, true, oneServer},
    };
    // Each case has an address of its own, and its loudspeaker stays: the version request that a
    // case's read queues comes later and must neither hold up the next case's requests nor
    // find its loudspeaker gone.
    std::vector<Loudspeaker> kept;
    int host = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kept.push_back(configured(c.generation, c.model, host++));
        auto& [emulated, device] = kept.back();
        Settings settings = emulated->settings();
        c.prepare(settings);
        emulated->setSettings(settings);
        Config config = device->getConfig(false);
        // The read queues a look-up of the inputs' scenarios, which reads the settings again if
        // they are not kept by then: it runs before the write, not among what the write sends.
        ASSERT_TRUE(test::waitForDispatcher());
        c.change(config);
        emulated->clearReceived();

        EXPECT_EQ(device->setConfig(config), c.restarts);
        EXPECT_EQ(sentBesidesMemory(*emulated), c.restarts ? c.expected + "; reboot" : c.expected);
        EXPECT_EQ(emulated->rebootCount(), c.restarts ? 1 : 0);
        // What was written reads back.
        if (!c.restarts && c.allTaken) {
            EXPECT_EQ(describe(device->getConfig(false)), describe(config));
        }
    }
    EXPECT_TRUE(capture_.contains(
        L"Skip a param 'neridaAddr'. Vokar 'Hall' (02:7E:41:00:00:01) isn't support the param", L"DEBUG"));
    EXPECT_TRUE(capture_.contains(L"Skip a param 'linetest'. Vokar 'Hall'", L"DEBUG"));
    EXPECT_TRUE(
        capture_.contains(L"Настройка 'priAIN1' установлена в значение '7' для устройства id=7", L"IMPOR"));
    EXPECT_TRUE(capture_.contains(L"It is new discovery and mic ports 6001/6002 for device id=7", L"IMPOR"));
    EXPECT_TRUE(capture_.contains(L"It is new allowed multicast ip 10.20.0.9 for device id=7", L"IMPOR"));
}

TEST_F(VokarConfigTest, TheRecordJustReadSendsNothingButIsReadAgain) {
    auto [emulated, device] = configured(vokarV3_A121);
    const Config config = device->getConfig(false);
    emulated->clearReceived();
    EXPECT_FALSE(device->setConfig(config));
    EXPECT_TRUE(emulated->received().empty());
    device->getConfig(false);
    EXPECT_EQ(emulated->received(), Commands{"get state"});

    // The common part goes the same way.
    CommonConfig common = device->getCommonConfig(false);
    common.neridaAddress = 30;
    emulated->clearReceived();
    EXPECT_FALSE(device->setCommonConfig(common));
    EXPECT_EQ(emulated->received(), Commands{"set neridaAddr 30"});
    EXPECT_EQ(emulated->settings().neridaAddress, 30u);
}

TEST_F(VokarConfigTest, RecordsBeyondTheirBoundariesAreRefusedBeforeAnythingIsSent) {
    struct Case {
        VokarVersion generation;
        std::function<void(Config&)> change;
        const wchar_t* step;  // null: accepted
    };
    const wchar_t* network = L"Проверка сетевых настроек";
    const wchar_t* nerida = L"Проверка настроек подсистемы НЕРИДА";
    const wchar_t* source = L"Проверка настроек источника воспроизведения (мультикаст)";
    const wchar_t* priorities = L"Проверка приоритетов";
    const VokarVersion v = vokarV3_A121;
    const std::vector<Case> cases = {
        {v, [](Config&) {}, nullptr},
        {v, [](Config& c) { c.serverPort = 1023; }, network},
        {v, [](Config& c) { c.serverPort = 1024; }, nullptr},
        {v, [](Config& c) { c.serverPort = 65514; }, nullptr},
        {v, [](Config& c) { c.serverPort = 65515; }, network},
        {v, [](Config& c) { c.ip = "10.20.0.21:80"; }, network},
        {v, [](Config& c) { c.ip = "0.0.0.0"; }, network},
        {v, [](Config& c) { c.mask = "0.0.0.0"; }, network},
        {v, [](Config& c) { c.gateway = "0.0.0.0"; }, nullptr},
        {v, [](Config& c) { c.serverIp = "0.0.0.0"; }, nullptr},
        {v, [](Config& c) { c.ip = "10.20.0.256"; }, network},
        {v, [](Config& c) { c.mask = "255.255.0.0x"; }, network},
        {v, [](Config& c) { c.gateway = "10.20.0"; }, network},
        {v, [](Config& c) { c.multicastIp = "10.20.0.1"; }, network},
        {v, [](Config& c) { c.neridaAddress = 127; }, nullptr},
        {v, [](Config& c) { c.neridaAddress = 128; }, nerida},
        {v, [](Config& c) { c.neridaTest = false; }, nerida},
        {v, [](Config& c) { c.multicastListen = true; }, source},
        {v, [](Config& c) { c.multicastListen = true, c.multicastAin1 = false; }, nullptr},
        {v, [](Config& c) { c.ain0ScenarioId = 32766; }, nullptr},
        {v, [](Config& c) { c.ain1ScenarioId = 32767; }, source},
        {v, [](Config& c) { c.ain1ScenarioId = ain::unknownOrder; }, source},
        {vokarB_1_00_59, [](Config& c) { c.ain1ScenarioId = ain::unknownOrder; }, nullptr},
        {v, [](Config& c) { c.priZoneInput = c.priVoiceAlert; }, priorities},
        {vokarA_2_01_72, [](Config& c) { c.priZoneInput = c.priVoiceAlert; }, nullptr},
    };
    auto [emulated, device] = configured(v);
    const Config good = device->getConfig(false);
    ASSERT_EQ(describe(good), describe(laterConfig()));
    emulated->clearReceived();
    for (std::size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(n);
        Config config = good;
        cases[n].change(config);
        if (cases[n].step == nullptr) {
            EXPECT_NO_THROW(checkConfig(config, cases[n].generation));
            continue;
        }
        const auto refusal = [](auto&& write) {
            return test::thrown<exception::IncorrectFormat>(write, &exception::Base::description);
        };
        EXPECT_EQ(refusal([&] { checkConfig(config, cases[n].generation); }), cases[n].step);
        if (cases[n].generation == v) {
            EXPECT_EQ(refusal([&config, device = device] { device->setConfig(config); }), cases[n].step);
        }
    }

    // A scenario for an input must be one the audio memory holds, and written to the device.
    Config config = good;
    config.ain1ScenarioId = 9;
    const auto userRefusal = [device = device](const Config& written) {
        return test::thrown<exception::UserResponse>([&] { device->setConfig(written); },
                                                     &exception::Base::message);
    };
    EXPECT_EQ(userRefusal(config), L"unknownAinScenarioNumber");
    config.ain1ScenarioId = 4;
    const auto memory = device->getAudioMemory(false, true);
    memory->addFragment("unsaved", L"Правка");
    EXPECT_EQ(userRefusal(config), L"changes");
    device->setPlaybackTypeForce(playback::sine);
    EXPECT_EQ(userRefusal(good), L"internalPlaying");
    device->setPlaybackTypeForce(playback::none);
    device->responding = false;
    EXPECT_THROW(device->setConfig(good), exception::Offline);
    EXPECT_TRUE(receivedBesidesMemory(*emulated).empty());
}

TEST_F(VokarConfigTest, AnUnansweredRestartIsReportedAndNothingStaleStays) {
    // The unanswered restart needs the transport's time-out.
    clock_.reset();
    auto [emulated, device] = configured(vokarV3_A121);
    Config config = device->getConfig(false);
    // The read queues a look-up of the inputs' scenarios, which reads the settings again if they
    // are not kept by then: it runs before the write, and cannot fill the record again after it.
    ASSERT_TRUE(test::waitForDispatcher());
    config.ip = "10.20.0.99";
    emulated->on("reboot", [](const std::string&) { return std::optional<std::string>(); });
    EXPECT_THROW(device->setConfig(config), exception::DeviceReason);
    EXPECT_EQ(emulated->settings().ip, "10.20.0.99");
    // The versions request of the first read is over before the exchanges are watched.
    ASSERT_TRUE(test::waitFor([&] { return capture_.contains(L"На устройстве 'Hall' прошивка", L"INFO"); }));

    device->touchLastState();
    device->responding = true;
    emulated->clearReceived();
    EXPECT_EQ(device->getConfig(false).ip, "10.20.0.99");
    // Read anew; the delayed request of the module versions that this read queues may follow.
    const Commands received = emulated->received();
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.front(), "get state");
}

TEST_F(VokarConfigTest, AFailedKeyEndsTheWriteAndNothingStaleStays) {
    auto [emulated, device] = configured(vokarV3_A121);
    Config config = device->getConfig(false);
    config.neridaAddress = 20;
    config.igmpReport = 200;
    emulated->answer("set igmpReport", "ERR[set igmpReport]: locked");
    EXPECT_THROW(device->setConfig(config), exception::UnexpectedResponseOfDevice);
    EXPECT_EQ(emulated->rebootCount(), 0);
    const Config now = device->getConfig(false);
    EXPECT_EQ(now.neridaAddress, 20);
    EXPECT_EQ(now.igmpReport, 125u);
}

TEST_F(VokarConfigTest, TheFirstReadReportsThePowerSupplyFirmwareOnce) {
    auto [emulated, device] = configured(vokarV3_A121, "Vokar-B1");
    emulated->setPowerSupplyVersion("2.01.9");
    device->getConfig(true);
    clock_->advance(std::chrono::seconds(1));
    ASSERT_TRUE(test::waitFor([&] {
        return capture_.contains(L"На устройстве 'Hall' прошивка блока питания V2.1.9 (hw=02:7E:41:00:00:01)",
                                 L"INFO");
    }));
    device->getConfig(true);
    EXPECT_EQ(queued(L"request versions"), 1u);
    EXPECT_EQ(receivedBesidesMemory(*emulated), (Commands{"get state", "get pssVer", "get state"}));

    // A reset asks once more.
    device->resetCache();
    device->getConfig(true);
    EXPECT_EQ(queued(L"request versions"), 2u);
    clock_->advance(std::chrono::seconds(1));
    ASSERT_TRUE(
        test::waitFor([&] { return capture_.find(L"прошивка блока питания V2.1.9", L"INFO").size() == 2; }));
}

// The inputs' scenarios as ids against an audio memory whose ids differ from the orders.
class VokarInputScenarioTest : public VokarConfigTest {
protected:
    using Fault = test::EmulatedDevice::Fault;

    static std::pair<std::int16_t, std::int16_t> ids(const Config& config) {
        return {config.ain0ScenarioId, config.ain1ScenarioId};
    }
    // The loudspeaker restarted to take its settings and answers again.
    static void restarted(VokarInfo& device) {
        device.touchLastState();
        device.responding = true;
    }
};

TEST_F(VokarInputScenarioTest, AScenarioReachesTheLoudspeakerAsItsOrderAndReadsBackAsItsId) {
    struct Case {
        VokarVersion generation;
        std::string model;
        std::pair<std::int16_t, std::int16_t> read;  // of the orders 2 and 5
        std::string expected;                        // before the reboot
        std::array<std::int32_t, 2> orders;          // the loudspeaker's afterwards
    };
    // Without its first scenario the memory gives each scenario the id of its order plus one: the
    // orders 2 and 5 are the scenarios 3 and 6, and scenario 5 goes out as order 4.
    const std::vector<Case> cases = {
        {vokarB_1_01_69, "", {3, 6}, "set scAIN0 4; set scAIN1 -1", {4, -1}},
        {vokarBx_1_01_80, "", {3, 6}, "set scAIN0 4; set scAIN1 -1; set scAIN1 4; set scAIN2 -1", {4, -1}},
        {vokarV3_A121, "", {3, 6}, "set scAIN1 4; set scAIN2 -1", {4, -1}},
        // The single input of a Vokar-S is its second one.
        {vokarV3_A121, "Vokar-S", {6, -1}, "set scAIN2 4", {2, 4}},
    };
    int host = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.generation) + " " + c.model);
        auto [emulated, device] = configured(c.generation, c.model, host++);
        writeScenarios(device, 7, true);
        Config config = device->getConfig(false);
        EXPECT_EQ(ids(config), c.read);
        // The memory this read loaded queued its own settings read, which finds them read now and
        // sends nothing; run after the write's reboot emptied the cache, it would ask again.
        ASSERT_TRUE(test::waitForDispatcher());

        config.ain0ScenarioId = 5;
        config.ain1ScenarioId = -1;
        emulated->clearReceived();
        EXPECT_TRUE(device->setConfig(config));
        EXPECT_EQ(sentBesidesMemory(*emulated), c.expected + "; reboot");
        EXPECT_EQ(emulated->settings().scenarioOrder, c.orders);

        // The restart dropped what the loudspeaker knew: the ids come from the memory again.
        restarted(*device);
        EXPECT_EQ(ids(device->getConfig(false)), std::make_pair(std::int16_t{5}, std::int16_t{-1}));
    }
}

TEST_F(VokarInputScenarioTest, AWriteOfTheAudioMemoryKeepsTheInputsOnTheirScenarios) {
    struct Case {
        std::string name;
        std::int16_t removed;  // the scenario removed before the write
        bool writeFails;
        std::string expected;  // sent for the inputs
        std::array<std::int32_t, 2> orders;
        bool reset;
        std::pair<std::int16_t, std::int16_t> idsAfter;
    };
    // The loudspeaker starts the scenarios 2 and 5 at their orders 2 and 5.
    const std::vector<Case> cases = {
        {"a scenario before both goes",
         1,
         false,
         "set scAIN1 1; set scAIN2 4; reboot",
         {1, 4},
         false,
         {2, 5}},
        {"the second input's scenario goes", 5, false, "set scAIN2 -1; reboot", {2, -1}, true, {2, -1}},
        {"a scenario after both goes", 6, false, "", {2, 5}, false, {2, 5}},
        // The memory was not written as edited: the loudspeaker keeps what it had.
        {"the write fails", 5, true, "", {2, 5}, true, {2, 5}},
    };
    int host = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [emulated, device] = configured(vokarV3_A121, "", host++);
        ASSERT_EQ(ids(device->getConfig(false)), std::make_pair(std::int16_t{2}, std::int16_t{5}));
        const auto memory = device->getAudioMemory(false, true);
        memory->removeScenario(c.removed);
        if (c.writeFails) emulated->faultOn("voiceMemProgram", 0, Fault::error, 1000);
        const std::size_t handled = capture_.find(L"Set deferred settings", L"TRACE").size();
        emulated->clearReceived();
        memory->writeChanges(nullptr);
        ASSERT_TRUE(test::waitFor(
            [&] { return capture_.find(L"Set deferred settings", L"TRACE").size() == handled + 1; }));
        ASSERT_TRUE(test::waitForDispatcher());
        if (!c.expected.empty()) {
            ASSERT_TRUE(test::waitFor(
                [&c, &emulated = *emulated] { return emulated.settings().scenarioOrder == c.orders; }));
        }
        EXPECT_EQ(sentBesidesMemory(*emulated), c.expected);
        EXPECT_EQ(emulated->settings().scenarioOrder, c.orders);
        EXPECT_EQ(memory->hasChanges(), c.writeFails);
        restarted(*device);
        EXPECT_EQ(ids(device->getConfig(false)), c.idsAfter);
    }
    // Each write ended in the handler, queued on the dispatcher.
    EXPECT_EQ(queued(L"Set deferred settings"), cases.size());
    EXPECT_EQ(capture_
                  .find(L"Настройки для аналоговых входов сброшены. Проверьте аудио память и запускаемые "
                        L"сообщения для входов.",
                        L"WARN")
                  .size(),
              2u);
    EXPECT_EQ(capture_.find(L"The settings of the analog inputs were not set: changes", L"WARN").size(), 1u);
}

TEST_F(VokarInputScenarioTest, OrdersTheMemoryCannotNameAreShownAsSuch) {
    // A memory that does not answer needs the transport's time-out.
    clock_.reset();
    struct Case {
        std::string name;
        std::array<std::int32_t, 2> orders;
        std::function<void(test::LoudspeakerEmulator&)> spoil;
        std::pair<std::int16_t, std::int16_t> read;
    };
    const auto keep = [](test::LoudspeakerEmulator&) {};
    const std::vector<Case> cases = {
        {"an order past the memory's", {2, 9}, keep, {2, ain::unknownOrder}},
        {"no scenario for the first input", {-1, 5}, keep, {-1, 5}},
        {"a memory size that is no number",
         {2, 5},
         [](test::LoudspeakerEmulator& e) { e.audioFlash().setReportedSize("many"); },
         {-1, -1}},
        {"reads that fail",
         {2, 5},
         [](test::LoudspeakerEmulator& e) { e.faultOn("voiceMemRead", 0, Fault::error, 1000); },
         {-1, -1}},
        {"a memory that does not answer",
         {2, 5},
         [](test::LoudspeakerEmulator& e) { e.faultOn("voiceMemSize", 0, Fault::silence, 1000); },
         {-1, -1}},
    };
    int host = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [emulated, device] = configured(vokarV3_A121, "", host++);
        auto settings = emulated->settings();
        settings.scenarioOrder = c.orders;
        emulated->setSettings(settings);
        c.spoil(*emulated);
        Config expected = laterConfig();
        expected.ain0ScenarioOrder = static_cast<std::int16_t>(c.orders[0]);
        expected.ain1ScenarioOrder = static_cast<std::int16_t>(c.orders[1]);
        expected.ain0ScenarioId = c.read.first;
        expected.ain1ScenarioId = c.read.second;
        // The rest of the settings reads as ever.
        EXPECT_EQ(describe(device->getConfig(false)), describe(expected));
    }
    EXPECT_EQ(capture_.find(L"Проверьте аудио память и запускаемые сообщения для аналоговых входов", L"WARN")
                  .size(),
              1u);
}

TEST_F(VokarInputScenarioTest, TheInputsScenarioNumbersStartAtTheBaseTheLoudspeakerReports) {
    auto [emulated, device] = configured(vokarV3_A121);
    struct Case {
        std::uint32_t base;
        std::uint16_t input;
        std::uint16_t number;
    };
    const std::vector<Case> cases = {
        {7, 0, 7}, {7, 2, 9}, {65535, 1, 0}, {0x12345, 2, 0x2347}, {0, 65535, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.base) + " + " + std::to_string(c.input));
        auto settings = emulated->settings();
        settings.token33 = c.base;
        emulated->setSettings(settings);
        device->getConfig(true);
        emulated->clearReceived();
        EXPECT_EQ(device->getAinScenarioBase(c.input), c.number);
        // From the settings already read.
        EXPECT_TRUE(emulated->received().empty());
    }
    device->responding = false;
    EXPECT_THROW(device->getAinScenarioBase(0), exception::Offline);
}

class FakeCatalog : public ScenarioCatalog {
public:
    explicit FakeCatalog(std::map<std::int32_t, std::int32_t> orderById) : orderById_(std::move(orderById)) {}
    bool hasChanges() override { return false; }
    bool hasScenario(std::int32_t id) override { return orderById_.count(id) != 0; }
    std::int32_t getScenarioOrder(std::int32_t id) override {
        const auto found = orderById_.find(id);
        return found == orderById_.end() ? -1 : found->second;
    }
    std::int32_t getScenarioId(std::int32_t order) override {
        for (const auto& [id, scenarioOrder] : orderById_) {
            if (scenarioOrder == order) return id;
        }
        return -1;
    }

private:
    std::map<std::int32_t, std::int32_t> orderById_;
};

// A record whose inputs start the scenarios of these orders.
Config startingOrders(std::int16_t first, std::int16_t second) {
    Config config;
    config.ain0ScenarioOrder = first;
    config.ain1ScenarioOrder = second;
    return config;
}

TEST(VokarAinScenarioTest, IdsFollowTheAudioMemoryAndAreKept) {
    FakeCatalog catalog({{10, 2}, {11, 5}});
    struct Case {
        AinScenarioIds kept;
        std::int16_t order0, order1;
        bool withMemory;
        std::int16_t id0, id1;
        AinScenarioIds keptAfter;
        bool warned;
    };
    const AinScenarioIds notRead;
    const std::vector<Case> cases = {
        {notRead, 2, 5, true, 10, 11, {10, 11}, false},
        {notRead, 2, 9, true, 10, ain::unknownOrder, {10, 0xFFFD}, true},
        {notRead, -1, 5, true, -1, 11, {0xFFFF, 11}, false},
        {notRead, -1, -1, true, -1, -1, notRead, false},
        {notRead, 2, 5, false, -1, -1, notRead, false},
        {{10, 0xFFFF}, 2, 7, true, 10, ain::unknownOrder, {10, 0xFFFD}, true},
        {{20, 21}, 2, 5, true, 20, 21, {20, 21}, false},
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(n);
        const Case& c = cases[n];
        Config config = startingOrders(c.order0, c.order1);
        AinScenarioIds kept = c.kept;
        EXPECT_EQ(resolveAinScenarioIds(config, kept, c.withMemory ? &catalog : nullptr), c.warned);
        EXPECT_EQ(config.ain0ScenarioId, c.id0);
        EXPECT_EQ(config.ain1ScenarioId, c.id1);
        EXPECT_EQ(kept.first, c.keptAfter.first);
        EXPECT_EQ(kept.second, c.keptAfter.second);
    }
}

TEST(VokarAinScenarioTest, AWrittenMemoryDecidesWhatTheInputsStart) {
    FakeCatalog catalog({{10, 2}, {11, 5}});
    struct Case {
        AinScenarioIds kept;
        std::int16_t order0, order1;  // what the loudspeaker starts
        std::int16_t id0, id1;        // afterwards; 77 is untouched
        bool changed, reset;
    };
    const AinScenarioIds notRead;
    constexpr std::uint16_t none = 0xFFFF;
    constexpr std::uint16_t unknown = 0xFFFD;
    const std::vector<Case> cases = {
        {{10, 11}, 2, 5, 10, 11, false, false},
        // The scenario moved: the loudspeaker must be told its new order.
        {{10, 11}, 3, 5, 10, 11, true, false},
        {{12, 11}, 4, 5, -1, 11, true, true},
        {{12, none}, -1, -1, -1, 77, false, false},
        {{none, 11}, -1, 5, 77, 11, false, false},
        {{unknown, 11}, 9, 5, -1, 11, true, true},
        {notRead, 2, 5, 77, 77, false, false},
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(n);
        const Case& c = cases[n];
        Config config = startingOrders(c.order0, c.order1);
        config.ain0ScenarioId = config.ain1ScenarioId = 77;
        const AinScenarioFollowUp followUp = followWrittenScenarios(config, c.kept, catalog);
        EXPECT_EQ(followUp.changed, c.changed);
        EXPECT_EQ(followUp.reset, c.reset);
        EXPECT_EQ(config.ain0ScenarioId, c.id0);
        EXPECT_EQ(config.ain1ScenarioId, c.id1);
        // The orders are the write's business.
        EXPECT_EQ(config.ain0ScenarioOrder, c.order0);
    }
}

}  // namespace
