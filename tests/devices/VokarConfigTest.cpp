#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "devices/ScenarioCatalog.h"
#include "devices/VokarConfig.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
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
    out << "number=" << c.number << "\nip=" << c.ip << "\nmask=" << c.mask << "\ngateway=" << c.gateway
        << "\ndhcp=" << c.dhcp << "\ncurrentIp=" << c.currentIp << "\ncurrentMask=" << c.currentMask
        << "\ncurrentGateway=" << c.currentGateway << "\nmulticastIp=" << c.multicastIp
        << "\ndiscoveryPort=" << c.discoveryPort << "\nserverPort=" << c.serverPort
        << "\ngenerationCode=" << c.generationCode << "\ncurrentServerIp=" << c.currentServerIp
        << "\nserverIp=" << c.serverIp << "\nswitchMode=" << c.switchMode << "\nigmpReport=" << c.igmpReport
        << "\nneridaAddress=" << int{c.neridaAddress} << "\nneridaRelay=" << c.neridaRelay
        << "\nneridaTest=" << c.neridaTest << "\nneridaReserve=" << c.neridaReserve
        << "\ntoken33Value=" << c.token33Value << "\nmicPort=" << c.micPort << "\naudioSrvIp=" << c.audioSrvIp
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
    c.ain0ScenarioOrder = 2;
    c.ain1ScenarioOrder = 5;
    c.switchMode = false;
    c.ain1Arm = true;
    c.igmpReport = 125;
    c.token33Value = 7;
    c.lineDoubleOff = true;
    return c;
}

class VokarConfigTest : public test::VokarFixture {
protected:
    std::unique_ptr<LoudspeakerEmulator> emulatorWith(VokarVersion generation, const std::string& model = "",
                                                      int host = 2) {
        auto emulated = makeEmulator(generation, model, host);
        emulated->setSettings(deviceSettings());
        emulated->setRebootPause(std::chrono::milliseconds(0));
        return emulated;
    }
    static DeviceType typeOf(const std::string& model) {
        if (model == "Vokar-S") return types::vokarS;
        if (model == "Vokar-N") return types::vokarN;
        if (model == "Vokar-B1") return types::vokarB1;
        return types::vokarB;
    }
    static std::string spoiled(const LoudspeakerEmulator& emulated, std::size_t line,
                               const std::string& text) {
        std::vector<std::string> lines = emulated.settingsLines();
        lines[line] = text;
        return LoudspeakerEmulator::joinLines(lines);
    }
};

TEST_F(VokarConfigTest, ReadsTheSettingsOfEveryGeneration) {
    struct Case {
        VokarVersion generation;
        std::string model;
        Commands commands;
        std::function<void(Config&)> expect;
    };
    // What the layouts up to generation 15 lack and their padding supplies.
    const auto paddedLayout = [](Config& c) {
        c.priZoneInput = 0;
        c.neridaReserve = false;
        c.switchMode = true;
        c.ain1Arm = false;
        c.igmpReport = c.token33Value = 60;
    };
    const std::vector<Case> cases = {
        {vokarA_1_01_72,
         "",
         {"config", "ifconfig", "get linedouble", "get linetest", "get neridatest"},
         [](Config& c) {
             c = networkConfig();
             c.audioSrvIp = c.currentAudioSrvIp = "10.20.0.6";
         }},
        {vokarB_1_00_56,
         "",
         {"get state"},
         [paddedLayout](Config& c) {
             paddedLayout(c);
             c.ain0ScenarioOrder = c.ain1ScenarioOrder = -1;
         }},
        {vokarB_1_01_69, "", {"get state"}, paddedLayout},
        {vokarV3_A110,
         "",
         {"get state"},
         [](Config& c) {
             c.igmpReport = 60;
             c.token33Value = 0;
         }},
        {vokarV3_A111, "", {"get state", "get igmpReport"}, [](Config& c) { c.token33Value = 0; }},
        {vokarV3_A121, "", {"get state"}, [](Config&) {}},
        {vokarV3_A121,
         "Vokar-S",
         {"get state"},
         [](Config& c) {
             // The loudspeaker's second input is its only one.
             c.multicastAin0 = true;
             c.multicastAin1 = false;
             c.ain0Arm = true;
             c.ain1Arm = false;
             c.ain0ScenarioOrder = 5;
             c.ain1ScenarioOrder = -1;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.generation) + " " + c.model);
        auto emulated = emulatorWith(c.generation, c.model);
        auto device = connect(*emulated, typeOf(c.model));
        ASSERT_EQ(device->getVersionId(), c.generation);
        Config expected = laterConfig();
        c.expect(expected);
        EXPECT_EQ(describe(device->getConfig(false)), describe(expected));
        EXPECT_EQ(emulated->received(), c.commands);
        const CommonConfig common = device->getCommonConfig(false);
        EXPECT_EQ(common.serverIp, expected.serverIp);
        EXPECT_EQ(common.generationCode, expected.generationCode);
        EXPECT_EQ(emulated->received(), c.commands) << "the common part comes from the cache";
    }
    EXPECT_TRUE(capture_.contains(L"get config from device ip 127.0.0.2", L"TRACE"));
}

TEST_F(VokarConfigTest, OlderStateLayoutsArePaddedToTheNewest) {
    std::vector<std::string> tokens;
    for (int n = 0; n < 27; ++n) tokens.push_back("t" + std::to_string(n));
    ASSERT_TRUE(padStateTokens(tokens, vokarB_1_01_69, ""));
    const std::vector<std::string> expected = {
        "t0",  "t1",  "t2",  "t3",  "t4",  "t5",  "t6",  "t7",  "t8",  "t9", "t10", "t11",
        "t12", "t13", "t14", "t15", "t16", "t17", "t18", "t19", "t20", "0",  "t21", "t22",
        "t23", "t24", "off", "t25", "t26", "on",  "off", "off", "60",  "60", "0",
    };
    EXPECT_EQ(tokens, expected);

    tokens.assign(25, "x");
    ASSERT_TRUE(padStateTokens(tokens, vokarB_1_00_56, ""));
    EXPECT_EQ(tokens.size(), 35u);
    EXPECT_EQ(tokens[27], "-1");
    EXPECT_EQ(tokens[28], "-1");

    tokens.assign(32, "x");
    ASSERT_TRUE(padStateTokens(tokens, vokarV3_A113, "310"));
    EXPECT_EQ(tokens[32], "310");
    EXPECT_EQ(tokens[33], "0");

    // Generation 13 without its scenario orders passes the count, but an "on" lands where an
    // order belongs.
    tokens = {"17",       "ready",    "3/4",       "2",        "static",    "10.0.0.2", "255.0.0.0",
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
    auto emulated = emulatorWith(vokarV3_A121);
    auto device = connect(*emulated);
    const Config good = device->getConfig(true);

    struct Case {
        std::size_t line;
        std::string text;
        bool internalCheck;  // an address of the first tokens
    };
    const std::vector<Case> cases = {
        {0, "Number: 12abc", false},
        {0, "Number: 4294967296", false},
        {2, "Ratio: 3/x", false},
        {3, "Mode: 7", false},
        {5, "IP address: 10.20.0", true},
        {11, "Multicast IP: 239.10.0.1.5", true},
        {12, "Server IP: 10.20.0.300", false},
        {13, "Server port: abc", false},
        {13, "Server port: 65534", false},
        {13, "Server port: 70000", false},
        {14, "Multicast listen: maybe", false},
        {17, "Priority AIN1: 65536", false},
        {23, "NERIDA address: 128", false},
        {27, "Scenario AIN1: 65", false},
        {27, "Scenario AIN1: -2", false},
        {32, "IGMP report: 65536", false},
        {33, "Token 33: -1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string reply = spoiled(*emulated, c.line, c.text);
        emulated->answer("get state", test::okReply("get state", reply));
        if (c.internalCheck) {
            EXPECT_THROW(device->getConfig(true), exception::ServerError);
            continue;
        }
        try {
            device->getConfig(true);
            FAIL() << "read a bad reply";
        } catch (const exception::UnexpectedResponseOfDevice& error) {
            EXPECT_EQ(error.response, reply);
        }
    }
    EXPECT_TRUE(capture_.contains(L"Неверный формат настроек (hw=02:7E:41:00:00:01, response=", L"ERROR"));
    EXPECT_TRUE(capture_.contains(L"Detected an error in device response!", L"ERROR"));

    // A reply too short for its layout.
    std::vector<std::string> lines = emulated->settingsLines();
    lines.pop_back();
    const std::string shorter = LoudspeakerEmulator::joinLines(lines);
    emulated->answer("get state", test::okReply("get state", shorter));
    try {
        device->getConfig(true);
        FAIL() << "read a short reply";
    } catch (const exception::UnexpectedResponseOfDevice& error) {
        EXPECT_EQ(error.response, shorter);
    }

    emulated->clearReceived();
    EXPECT_EQ(describe(device->getConfig(false)), describe(good));
    EXPECT_TRUE(emulated->received().empty());
}

TEST_F(VokarConfigTest, FirstGenerationRepliesThatDoNotRead) {
    auto emulated = emulatorWith(vokarA_1_01_72);
    auto device = connect(*emulated);
    std::vector<std::string> lines = emulated->settingsLines();
    ASSERT_EQ(lines.size(), 13u);

    lines.pop_back();
    emulated->answer("config", test::okReply("config", LoudspeakerEmulator::joinLines(lines)));
    try {
        device->getConfig(true);
        FAIL() << "read 12 lines";
    } catch (const exception::UnexpectedResponseOfDevice& error) {
        EXPECT_EQ(error.response, "");
    }

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

TEST_F(VokarConfigTest, OldestFirmwareAsksOnlyWhatItKnows) {
    struct Case {
        VokarVersion generation;
        Commands commands;
        bool neridaTest;
        bool needsUpdate;
    };
    const std::vector<Case> cases = {
        {vokarA_1_01_69, {"config", "ifconfig"}, true, false},
        {vokarA_1_01_71, {"config", "ifconfig", "get linedouble", "get linetest"}, false, true},
        {vokarA_2_00_71, {"config", "ifconfig", "get linedouble", "get linetest"}, false, true},
        {vokarA_2_01_72,
         {"config", "ifconfig", "get linedouble", "get linetest", "get neridatest"},
         true,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.generation);
        auto emulated = emulatorWith(c.generation);
        auto device = connect(*emulated);
        const std::size_t updates = capture_.find(L"Need update Vokar with name 'Hall'", L"EXTERN").size();
        const Config config = device->getConfig(true);
        EXPECT_EQ(emulated->received(), c.commands);
        EXPECT_EQ(config.neridaTest, c.neridaTest);
        EXPECT_TRUE(config.lineTest);
        EXPECT_EQ(config.lineDoubleOff, false);
        EXPECT_EQ(config.generationCode, c.generation == vokarA_1_01_69 ? 3 : 22);
        EXPECT_EQ(capture_.find(L"Need update Vokar with name 'Hall'", L"EXTERN").size(),
                  updates + (c.needsUpdate ? 1 : 0));
    }
}

TEST_F(VokarConfigTest, SettingsAreCachedUntilRefreshedExpiredOrChangedOnTheDevice) {
    auto newest = emulatorWith(vokarV3_A121, "", 2);
    auto later = connect(*newest);
    auto earlierEmulated = emulatorWith(vokarV3_A110, "", 3);
    auto earlier = connect(*earlierEmulated);

    for (VokarInfo* device : {later.get(), earlier.get()}) {
        device->getConfig(false);
        device->getConfig(false);
        device->getCommonConfig(false);
    }
    EXPECT_EQ(newest->receivedCount(), 1u);
    EXPECT_EQ(earlierEmulated->receivedCount(), 1u);
    later->getConfig(true);
    EXPECT_EQ(newest->receivedCount(), 2u);

    // The earlier generations read again five seconds later.
    {
        test::ManualClock clock;
        clock.advance(std::chrono::seconds(6));
        later->touchLastState();
        earlier->touchLastState();
        later->getConfig(false);
        earlier->getConfig(false);
    }
    EXPECT_EQ(newest->receivedCount(), 2u);
    EXPECT_EQ(earlierEmulated->receivedCount(), 2u);

    // A changed settings checksum in a status packet means the settings changed.
    auto status = newest->status();
    status.preferenceCrc = 0x1234;
    newest->setStatus(status);
    ASSERT_TRUE(later->parseState(newest->statusPacket(), newest->address()));
    later->getConfig(false);
    EXPECT_EQ(newest->receivedCount(), 3u);

    later->responding = false;
    EXPECT_THROW(later->getConfig(false), exception::Offline);
}

TEST_F(VokarConfigTest, AWriteSendsOnlyTheChangedKeysUnderTheNamesOfTheGeneration) {
    struct Case {
        std::string name;
        VokarVersion generation;
        std::string model;
        std::function<void(LoudspeakerEmulator::Settings&)> prepare;
        std::function<void(Config&)> change;
        Commands expected;
        bool restarts;
        // Every change reached the loudspeaker, so the record reads back as written.
        bool allTaken = true;
    };
    const auto nothing = [](LoudspeakerEmulator::Settings&) {};
    const auto neridaOff = [](Config& c) {
        c.neridaRelay = false;
        c.neridaReserve = false;
        c.neridaTest = false;
    };
    const auto addressAndReport = [](Config& c) {
        c.neridaAddress = 20;
        c.igmpReport = 200;
    };
    const std::vector<Case> cases = {
        {"a priority", vokarV3_A121, "", nothing, [](Config& c) { c.priAin0 = 7; }, {"set priAIN1 7"}, false},
        {"Nerida address and IGMP report",
         vokarV3_A121,
         "",
         nothing,
         addressAndReport,
         {"set neridaAddr 20", "set igmpReport 200"},
         false},
        {"both input priorities under both names",
         vokarBx_1_01_80,
         "",
         nothing,
         [](Config& c) {
             c.priAin0 = 7;
             c.priAin1 = 8;
         },
         {"set priAIN0 7", "set priAIN1 8", "set priAIN1 7", "set priAIN2 8"},
         false},
        {"multicast of the first input under both names",
         vokarBx_1_01_80,
         "",
         nothing,
         [](Config& c) { c.multicastAin0 = true; },
         {"set multicastAIN0 on", "set multicastAIN1 on"},
         false},
        {"multicast before the newer names",
         vokarB_1_01_69,
         "",
         nothing,
         [](Config& c) { c.multicastAin1 = false; },
         {"set multicastAIN1 off"},
         false},
        {"Nerida relay and test, restarting",
         vokarV3_A110,
         "Vokar-S",
         nothing,
         neridaOff,
         {"set neridaRelay off", "set neridatest off", "set neridaReserve off"},
         true},
        {"Nerida relay and test, newer names",
         vokarV3_A111,
         "Vokar-S",
         nothing,
         neridaOff,
         {"set neridaRelay off", "set neridaTest off", "set neridaReserve off"},
         false},
        {"a key the model does not have",
         vokarV3_A121,
         "Vokar-N",
         nothing,
         addressAndReport,
         {"set igmpReport 200"},
         false,
         false},
        {"a key of the first generations",
         vokarV3_A121,
         "",
         nothing,
         [](Config& c) { c.lineTest = false; },
         {},
         false,
         false},
        {"the address, restarting",
         vokarV3_A121,
         "",
         nothing,
         [](Config& c) { c.ip = "10.20.0.99"; },
         {"set ip 10.20.0.99"},
         true},
        {"the address under DHCP",
         vokarV3_A121,
         "",
         [](LoudspeakerEmulator::Settings& s) { s.dhcp = true; },
         [](Config& c) { c.ip = "10.20.0.99"; },
         {"set ip 10.20.0.99"},
         false},
        {"the single input of a Vokar-S",
         vokarV3_A121,
         "Vokar-S",
         nothing,
         [](Config& c) {
             c.ain0Arm = false;
             c.multicastAin0 = false;
         },
         {"set multicastAIN2 off", "set ain2Arm off"},
         false},
        {"server port of the first generations",
         vokarA_1_01_72,
         "",
         nothing,
         [](Config& c) {
             c.serverPort = 6000;
             c.neridaAddress = 20;
         },
         {"set cmdPort 6000", "set AddrNerida 20", "set ch0Port 6001", "set ch1Port 6002",
          "set audioSrvIP 10.20.0.5"},
         true},
        {"server address of the first generations",
         vokarA_2_01_72,
         "",
         [](LoudspeakerEmulator::Settings& s) { s.audioServerIp = s.serverIp; },
         [](Config& c) { c.serverIp = "10.20.0.9"; },
         {"set cmdSrvIP 10.20.0.9", "set audioSrvIP 10.20.0.9"},
         true},
        {"line of the first generations",
         vokarA_2_01_72,
         "",
         [](LoudspeakerEmulator::Settings& s) { s.audioServerIp = s.serverIp; },
         [](Config& c) { c.lineDoubleOff = true; },
         {"set linedouble off"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto emulated = emulatorWith(c.generation, c.model);
        LoudspeakerEmulator::Settings settings = emulated->settings();
        c.prepare(settings);
        emulated->setSettings(settings);
        auto device = connect(*emulated, typeOf(c.model));
        Config config = device->getConfig(false);
        c.change(config);
        emulated->clearReceived();

        EXPECT_EQ(device->setConfig(config), c.restarts);
        Commands sent = emulated->received();
        if (c.restarts) {
            ASSERT_FALSE(sent.empty());
            EXPECT_EQ(sent.back(), "reboot");
            sent.pop_back();
        }
        EXPECT_EQ(sent, c.expected);
        EXPECT_EQ(emulated->rebootCount(), c.restarts ? 1 : 0);
        if (c.restarts || !c.allTaken) continue;
        // What was written reads back.
        EXPECT_EQ(describe(device->getConfig(false)), describe(config));
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
    auto emulated = emulatorWith(vokarV3_A121);
    auto device = connect(*emulated);
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

TEST_F(VokarConfigTest, RefusedRecordsSendNothing) {
    auto emulated = emulatorWith(vokarV3_A121);
    auto device = connect(*emulated);
    const Config good = device->getConfig(false);
    emulated->clearReceived();

    struct Case {
        std::function<void(Config&)> spoil;
        std::wstring step;
    };
    const std::vector<Case> cases = {
        {[](Config& c) { c.ip = "10.20.0.21:80"; }, L"Проверка сетевых настроек"},
        {[](Config& c) { c.serverPort = 65515; }, L"Проверка сетевых настроек"},
        {[](Config& c) { c.neridaAddress = 128; }, L"Проверка настроек подсистемы НЕРИДА"},
        {[](Config& c) { c.ain0ScenarioId = ain::unknownOrder; },
         L"Проверка настроек источника воспроизведения (мультикаст)"},
        {[](Config& c) { c.priStream = c.priAin0; }, L"Проверка приоритетов"},
    };
    for (const Case& c : cases) {
        Config config = good;
        c.spoil(config);
        try {
            device->setConfig(config);
            FAIL() << "written";
        } catch (const exception::IncorrectFormat& refusal) {
            EXPECT_EQ(refusal.description, c.step);
        }
    }

    // A scenario for an input needs the audio memory that knows it.
    Config config = good;
    config.ain1ScenarioId = 4;
    try {
        device->setConfig(config);
        FAIL() << "a scenario nobody knows";
    } catch (const exception::UserResponse& refusal) {
        EXPECT_EQ(refusal.message, L"unknownAinScenarioNumber");
    }

    device->setPlaybackTypeForce(playback::sine);
    try {
        device->setConfig(good);
        FAIL() << "written while playing";
    } catch (const exception::UserResponse& refusal) {
        EXPECT_EQ(refusal.message, L"internalPlaying");
    }
    device->setPlaybackTypeForce(playback::none);
    device->responding = false;
    EXPECT_THROW(device->setConfig(good), exception::Offline);
    EXPECT_TRUE(emulated->received().empty());
}

TEST_F(VokarConfigTest, RecordChecksAtTheirBoundaries) {
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
        {v,
         [](Config& c) {
             c.multicastListen = true;
             c.multicastAin1 = false;
         },
         nullptr},
        {v, [](Config& c) { c.ain0ScenarioId = 32766; }, nullptr},
        {v, [](Config& c) { c.ain1ScenarioId = 32767; }, source},
        {v, [](Config& c) { c.ain1ScenarioId = ain::unknownOrder; }, source},
        {vokarB_1_00_59, [](Config& c) { c.ain1ScenarioId = ain::unknownOrder; }, nullptr},
        {v, [](Config& c) { c.priZoneInput = c.priVoiceAlert; }, priorities},
        {vokarA_2_01_72, [](Config& c) { c.priZoneInput = c.priVoiceAlert; }, nullptr},
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(n);
        Config config = laterConfig();
        cases[n].change(config);
        if (cases[n].step == nullptr) {
            EXPECT_NO_THROW(checkConfig(config, cases[n].generation));
            continue;
        }
        try {
            checkConfig(config, cases[n].generation);
            FAIL() << "accepted";
        } catch (const exception::IncorrectFormat& refusal) {
            EXPECT_EQ(refusal.description, cases[n].step);
        }
    }
}

TEST_F(VokarConfigTest, AnUnansweredRestartIsReportedAndNothingStaleStays) {
    auto emulated = emulatorWith(vokarV3_A121);
    auto device = connect(*emulated);
    Config config = device->getConfig(false);
    config.ip = "10.20.0.99";
    emulated->on("reboot", [](const std::string&) { return std::optional<std::string>(); });
    EXPECT_THROW(device->setConfig(config), exception::DeviceReason);
    EXPECT_EQ(emulated->settings().ip, "10.20.0.99");

    device->touchLastState();
    device->responding = true;
    emulated->clearReceived();
    EXPECT_EQ(device->getConfig(false).ip, "10.20.0.99");
    EXPECT_EQ(emulated->received(), Commands{"get state"});
}

TEST_F(VokarConfigTest, AFailedKeyEndsTheWriteAndNothingStaleStays) {
    auto emulated = emulatorWith(vokarV3_A121);
    auto device = connect(*emulated);
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
    auto emulated = emulatorWith(vokarV3_A121, "Vokar-B1");
    emulated->setPowerSupplyVersion("2.01.9");
    auto device = connect(*emulated, types::vokarB1);
    device->getConfig(true);
    ASSERT_TRUE(test::waitFor([&] {
        return capture_.contains(L"На устройстве 'Hall' прошивка блока питания V2.1.9 (hw=02:7E:41:00:00:01)",
                                 L"INFO");
    }));
    device->getConfig(true);
    EXPECT_EQ(queued(L"request versions"), 1u);
    EXPECT_EQ(emulated->received(), (Commands{"get state", "get pssVer", "get state"}));

    // A reset asks once more.
    device->resetCache();
    device->getConfig(true);
    EXPECT_EQ(queued(L"request versions"), 2u);
    ASSERT_TRUE(
        test::waitFor([&] { return capture_.find(L"прошивка блока питания V2.1.9", L"INFO").size() == 2; }));
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
        Config config;
        config.ain0ScenarioOrder = c.order0;
        config.ain1ScenarioOrder = c.order1;
        AinScenarioIds kept = c.kept;
        EXPECT_EQ(resolveAinScenarioIds(config, kept, c.withMemory ? &catalog : nullptr), c.warned);
        EXPECT_EQ(config.ain0ScenarioId, c.id0);
        EXPECT_EQ(config.ain1ScenarioId, c.id1);
        EXPECT_EQ(kept.first, c.keptAfter.first);
        EXPECT_EQ(kept.second, c.keptAfter.second);
    }
}

TEST(VokarAinScenarioTest, TheSingleInputOfAVokarSGoesBackWhereItCameFrom) {
    Config device;
    device.ain1Arm = true;
    device.multicastAin1 = true;
    device.ain1ScenarioOrder = 5;
    device.ain1ScenarioId = 11;
    Config shown = device;
    showSingleInputFirst(shown);
    EXPECT_TRUE(shown.ain0Arm);
    EXPECT_TRUE(shown.multicastAin0);
    EXPECT_EQ(shown.ain0ScenarioOrder, 5);
    EXPECT_EQ(shown.ain0ScenarioId, 11);
    EXPECT_FALSE(shown.ain1Arm);
    EXPECT_FALSE(shown.multicastAin1);
    EXPECT_EQ(shown.ain1ScenarioOrder, -1);
    EXPECT_EQ(shown.ain1ScenarioId, -1);
    keepSingleInputSecond(shown);
    EXPECT_EQ(describe(shown), describe(device));
}

}  // namespace
