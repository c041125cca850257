#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "devices/TribelConfig.h"
#include "devices/TribelInfo.h"
#include "foundation/Exceptions.h"
#include "tests/devices/TribelFixture.h"

namespace {

using namespace device;
using test::ConsoleEmulator;
using Config = TribelInfo::Config;

// Every field, one a line, so that a difference shows by name.
std::string describe(const Config& c) {
    std::ostringstream out;
    test::describeCommon(out, c);
    out << "\ntoken0Value=" << c.token0Value << "\ngong=" << c.gong << "\ngongOrder=" << c.gongOrder
        << "\ngongId=" << c.gongId << "\nbeeper=" << c.beeper << "\nfaultAlarm=" << c.faultAlarm
        << "\nledScBlink=" << c.ledScBlink << "\npasskey=" << c.passkey << "\nsinglePower=" << c.singlePower
        << "\ngochsArm=" << c.gochsArm << "\npriority=" << c.priority << "\nfireConsole=" << c.fireConsole
        << "\npriorityLevel=" << c.priorityLevel << "\npriorityGOChS=" << c.priorityGOChS
        << "\npowerIn=" << c.powerIn1 << "/" << c.powerIn2 << "\nholdBroadcast=" << c.holdBroadcast << "\n";
    return out.str();
}

// The record read from the emulator's settings by the newest firmware.
Config defaultConfig() {
    Config c;
    c.token0Value = 1;
    c.ip = "10.20.0.31";
    c.mask = "255.255.0.0";
    c.gateway = "10.20.0.1";
    c.currentIp = "10.20.0.32";
    c.currentMask = "255.255.255.0";
    c.currentGateway = "10.20.0.2";
    c.multicastIp = "239.10.0.1";
    c.serverIp = c.currentServerIp = "10.20.0.5";
    c.serverPort = 5000;
    c.discoveryPort = 5001;
    c.generationCode = 2;
    c.gong = true;
    c.gongOrder = 2;
    c.beeper = true;
    c.faultAlarm = true;
    c.neridaAddress = 14;
    c.neridaTest = true;
    c.priority = 178;
    c.fireConsole = true;
    c.priorityLevel = 50;
    c.powerIn1 = 1;
    c.powerIn2 = 4;
    c.igmpReport = 125;
    c.token33Value = 9;
    return c;
}

using TribelConfigTest = test::TribelFixture;

TEST_F(TribelConfigTest, ReadsTheSettingsOfEachLayout) {
    struct Case {
        std::string version;
        std::function<void(Config&)> expect;  // from defaultConfig()
    };
    const std::vector<Case> cases = {
        // The first layout ends before its last two tokens, the next before its last one.
        {"1.00.12", [](Config& c) { c.token33Value = 0; }},
        {"1.00.13", [](Config&) {}},
        {"1.00.15", [](Config&) {}},
        {"2.00.20", [](Config&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        auto [emulated, console] = connected(c.version);
        Config expected = defaultConfig();
        c.expect(expected);
        EXPECT_EQ(describe(console->getConfig(true)), describe(expected));
        EXPECT_EQ(console->getCommonConfig(false).serverIp, expected.serverIp);
        EXPECT_EQ(sent(*emulated), "get state");
    }
    EXPECT_TRUE(capture_.contains(L"get config from device ip 127.0.0.2", L"TRACE"));

    // A layout too short for the firmware's generation.
    auto [emulated, console] = connected("1.00.15");
    std::vector<std::string> lines = emulated->settingsLines();
    lines.resize(29);
    emulated->answer("get state", test::successReply(test::joinLines(lines)));
    EXPECT_EQ(refusedReply(*console), test::joinLines(lines));
    EXPECT_FALSE(capture_.contains(L"Неверный формат настроек микрофонной консоли"));
}

TEST_F(TribelConfigTest, MalformedRepliesAreRefusedAndTheCacheKept) {
    auto [emulated, console] = connected();
    const Config good = console->getConfig(true);
    const std::vector<std::pair<std::size_t, std::string>> cases = {
        {0, "Number: 12abc"},       {0, "Number: 4294967296"},  {2, "IP address: 10.20.0.300"},
        {9, "Server IP: 10.20.0"},  {10, "Server port: 65534"}, {10, "Server port: x"},
        {11, "Gong: maybe"},        {12, "Gong order: 32768"},  {19, "NERIDA address: 128"},
        {24, "Priority: 256"},      {24, "Priority: -1"},       {26, "Power input 1: 5"},
        {28, "IGMP report: 65536"}, {29, "Token 29: -1"},       {30, "Hold broadcast: 1"},
    };
    for (const auto& [line, text] : cases) {
        SCOPED_TRACE(text);
        const std::string reply = spoiled(*emulated, line, text);
        emulated->answer("get state", test::successReply(reply));
        EXPECT_EQ(refusedReply(*console), reply);
    }
    EXPECT_EQ(capture_
                  .find(L"Неверный формат настроек микрофонной консоли. (hw=02:7E:41:00:00:01, state=Number:",
                        L"ERROR")
                  .size(),
              cases.size());

    emulated->clearReceived();
    EXPECT_EQ(describe(console->getConfig(false)), describe(good));
    EXPECT_TRUE(emulated->received().empty());
    console->responding = false;
    EXPECT_THROW(console->getConfig(false), exception::Offline);
}

TEST_F(TribelConfigTest, RecordsBeyondTheirBoundariesAreRefusedBeforeAnythingIsSent) {
    struct Case {
        std::function<void(Config&)> change;
        const wchar_t* refusal;  // a stage's title or a refusal's code; null: accepted
    };
    const wchar_t* network = L"Проверка сетевых настроек";
    const wchar_t* nerida = L"Проверка настроек подсистемы НЕРИДА";
    const wchar_t* priority = L"Проверка приоритета и гонга";
    const auto notFire = [](Config& c) { c.fireConsole = false; };
    const std::vector<Case> cases = {
        {[](Config&) {}, nullptr},
        {[](Config& c) { c.serverPort = 1023; }, network},
        {[](Config& c) { c.serverPort = 1024; }, nullptr},
        {[](Config& c) { c.serverPort = 65533; }, nullptr},
        {[](Config& c) { c.serverPort = 65534; }, network},
        {[](Config& c) { c.ip = "0.0.0.0"; }, network},
        {[](Config& c) { c.ip = "10.20.0.31:80"; }, network},
        {[](Config& c) { c.mask = "0.0.0.0"; }, network},
        {[](Config& c) { c.gateway = "0.0.0.0"; }, nullptr},
        {[](Config& c) { c.serverIp = "10.20.0"; }, network},
        {[](Config& c) { c.multicastIp = "10.0.0.1"; }, network},
        {[](Config& c) { c.neridaAddress = 128; }, nerida},
        {[](Config& c) { c.neridaReserve = true, c.neridaTest = false; }, nerida},
        {[](Config& c) { c.priorityLevel = 0; }, priority},
        {[](Config& c) { c.priorityLevel = 101; }, priority},
        {[](Config& c) { c.priorityLevel = 100; }, nullptr},
        {[](Config& c) { c.gongId = 0x7FFE; }, priority},
        {[](Config& c) { c.gongId = 0x7FFD; }, nullptr},
        {[](Config& c) { c.powerIn1 = 2, c.powerIn2 = 3; }, L"disallowedPowerIn"},
        {[](Config& c) { c.powerIn1 = 3, c.powerIn2 = 2; }, L"disallowedPowerIn"},
        {[](Config& c) { c.powerIn2 = 1; }, L"disallowedPowerIn"},
        {[&](Config& c) { notFire(c), c.singlePower = true, c.powerIn1 = 2, c.powerIn2 = 3; }, nullptr},
        {[](Config& c) { c.faultAlarm = false; }, L"disallowedFaultAlarm"},
        {[](Config& c) { c.singlePower = true; }, L"disallowedSinglePowerSupply"},
        {[&](Config& c) { notFire(c), c.gochsArm = true; }, L"disallowedAin"},
    };
    auto [emulated, console] = connected();
    const Config good = console->getConfig(false);
    emulated->clearReceived();
    for (std::size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(n);
        Config config = good;
        cases[n].change(config);
        const auto check = [&config] {
            checkConsoleConfig(config);
            consolePriorityToSend(config);
        };
        if (cases[n].refusal == nullptr) {
            EXPECT_NO_THROW(check());
            continue;
        }
        const bool formatRefusal = std::wstring(cases[n].refusal).find(L' ') != std::wstring::npos;
        const auto write = [&config, device = console] { device->setConfig(config); };
        if (formatRefusal) {
            EXPECT_EQ(test::thrown<exception::IncorrectFormat>(check, &exception::Base::description),
                      cases[n].refusal);
            EXPECT_EQ(test::thrown<exception::IncorrectFormat>(write, &exception::Base::description),
                      cases[n].refusal);
            EXPECT_EQ(sent(*emulated), "");
        } else {
            EXPECT_EQ(test::thrown<exception::UserResponse>(check, &exception::Base::message),
                      cases[n].refusal);
            EXPECT_EQ(test::thrown<exception::UserResponse>(write, &exception::Base::message),
                      cases[n].refusal);
            // A console that stops being a fire console is first asked for its zones.
            EXPECT_EQ(sent(*emulated), config.fireConsole ? "get state" : "get state; zoneList all");
        }
        emulated->clearReceived();
    }

    // A gong fragment that the audio memory does not have.
    Config config = good;
    config.gongId = 5;
    EXPECT_EQ(
        test::thrown<exception::UserResponse>([&] { console->setConfig(config); }, &exception::Base::message),
        L"brokenGong");
    EXPECT_TRUE(capture_.contains(L"don't found gong index=5", L"WARN"));

    ASSERT_TRUE(takeStatus(*emulated, *console, [](auto& s) { s.playbackState = 0x02; }));
    EXPECT_EQ(
        test::thrown<exception::UserResponse>([&] { console->setConfig(good); }, &exception::Base::message),
        L"internalPlaying");
    console->responding = false;
    EXPECT_THROW(console->setConfig(good), exception::Offline);
    EXPECT_EQ(sent(*emulated), "get state");
}

TEST_F(TribelConfigTest, AWriteSendsOnlyTheChangedKeys) {
    using Settings = ConsoleEmulator::Settings;
    struct Case {
        std::string name;
        std::function<void(Config&)> change;
        std::string expected;  // after the read of "get state", before the "reboot" of a restart
        bool restarts;
        std::string version = "1.00.16";
        std::function<void(Settings&)> prepare = [](Settings&) {};
        std::vector<std::string> passkeys = {};
    };
    const std::vector<Case> cases = {
        {"only the beeper", [](Config& c) { c.beeper = false; }, "set beeper off", false},
        {"every key that restarts",
         [](Config& c) {
             c.ip = "10.20.0.99", c.mask = "255.255.255.0", c.gateway = "10.20.0.9", c.dhcp = true;
             c.multicastIp = "239.10.0.2", c.serverPort = 6000, c.serverIp = "10.20.0.6",
             c.switchMode = false;
         },
         "set ip 10.20.0.99; set mask 255.255.255.0; set gw 10.20.0.9; set dhcp on; set multicastIp "
         "239.10.0.2; "
         "set srvPort 6000; set srvAllowedIP 10.20.0.6; set switchMode off",
         true},
        {"the multicast address alone", [](Config& c) { c.multicastIp = "239.10.0.2"; },
         "set multicastIp 239.10.0.2", true},
        {"the address under DHCP", [](Config& c) { c.ip = "10.20.0.99"; }, "set ip 10.20.0.99", false,
         "1.00.16", [](Settings& s) { s.dhcp = true; }},
        {"every key that does not restart, as a plain console",
         [](Config& c) {
             c.gong = false, c.beeper = false, c.faultAlarm = false, c.ledScBlink = true, c.passkey = true;
             c.singlePower = true, c.neridaAddress = 20, c.neridaTest = false, c.fireConsole = false;
             c.priorityLevel = 60, c.priorityGOChS = true, c.powerIn1 = 2, c.powerIn2 = 3, c.igmpReport = 200;
             c.holdBroadcast = true;
         },
         "passkeyList; zoneList all; set gong off; set beeper off; set faultAlarm off; set ledScBlink on; "
         "set passkey on; set singlePower on; "
         "set neridaAddr 20; set neridaTest off; set priority 60; set priorityGOChS on; set powerIn1 2; "
         "set powerIn2 3; set igmpReport 200; set holdBroadcast on",
         false,
         "1.00.16",
         [](Settings&) {},
         {"A1"}},
        {"a fire console's arm and priority",
         [](Config& c) { c.neridaReserve = true, c.gochsArm = true, c.priorityLevel = 70; },
         "set neridaReserve on; set gochsArm on; set priority 198", false},
        {"the hold switch on a firmware without it",
         [](Config& c) { c.holdBroadcast = true, c.beeper = false; }, "set beeper off", false, "1.00.13"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [emulated, console] = connected(c.version);
        Settings settings = emulated->settings();
        c.prepare(settings);
        emulated->setSettings(settings);
        emulated->setPasskeys(c.passkeys);
        Config config = console->getConfig(true);
        c.change(config);
        emulated->clearReceived();

        EXPECT_EQ(console->setConfig(config), c.restarts);
        EXPECT_EQ(sent(*emulated), "get state; " + c.expected + (c.restarts ? "; reboot" : ""));
        EXPECT_EQ(emulated->rebootCount(), c.restarts ? 1 : 0);
        if (!c.restarts) {
            // The cache shows what the console now has.
            const Config cached = console->getConfig(false);
            EXPECT_EQ(describe(cached), describe(console->getConfig(true)));
        }
    }
    EXPECT_TRUE(capture_.contains(L"set config for device ip 127.0.0.2", L"TRACE"));
    EXPECT_TRUE(capture_.contains(L"Настройка 'priority' установлена в значение '198' для устройства id=5",
                                  L"IMPOR"));

    // The common part goes the same way.
    auto [emulated, console] = connected();
    CommonConfig common = console->getCommonConfig(false);
    common.neridaAddress = 30;
    emulated->clearReceived();
    EXPECT_FALSE(console->setCommonConfig(common));
    EXPECT_EQ(sent(*emulated), "get state; set neridaAddr 30");
    EXPECT_EQ(emulated->settings().neridaAddress, 30u);
}

TEST_F(TribelConfigTest, AnUnansweredRestartIsReportedAndNothingStaleStays) {
    auto [emulated, console] = connected();
    Config config = console->getConfig(false);
    config.ip = "10.20.0.99";
    emulated->on("reboot", [](const std::string&) { return std::optional<std::string>(); });
    EXPECT_THROW(console->setConfig(config), exception::DeviceReason);
    EXPECT_TRUE(capture_.contains(L"Устройство 'Desk' не перезагрузилось после записи настроек", L"WARN"));
    EXPECT_EQ(emulated->settings().ip, "10.20.0.99");

    console->touchLastState();
    console->responding = true;
    emulated->clearReceived();
    EXPECT_EQ(console->getConfig(false).ip, "10.20.0.99");
    EXPECT_EQ(sent(*emulated), "get state");
}

TEST_F(TribelConfigTest, AFailedKeyEndsTheWriteAndNothingStaleStays) {
    auto [emulated, console] = connected();
    Config config = console->getConfig(false);
    config.neridaAddress = 20;
    config.igmpReport = 200;
    emulated->answer("set igmpReport", "ERR: locked");
    EXPECT_THROW(console->setConfig(config), exception::UnexpectedResponseOfDevice);
    EXPECT_EQ(emulated->rebootCount(), 0);
    const Config now = console->getConfig(false);
    EXPECT_EQ(now.neridaAddress, 20);
    EXPECT_EQ(now.igmpReport, 125u);
}

}  // namespace
