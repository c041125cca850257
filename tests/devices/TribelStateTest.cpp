#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "devices/TribelInfo.h"
#include "devices/TribelState.h"
#include "foundation/Exceptions.h"
#include "support/ManualClock.h"
#include "tests/devices/TribelFixture.h"

namespace {

using namespace device;
using Status = test::ConsoleEmulator::Status;
using State = TribelInfo::State;

class TribelStateTest : public test::TribelFixture {
protected:
    // A console that has taken one packet with `status`.
    std::shared_ptr<TribelInfo> consoleAfter(const Status& status,
                                             const std::string& version = "Tribel-T 1.00.16") {
        auto console = makeConsole();
        EXPECT_TRUE(console->parseState(packet(status, version), address()));
        return console;
    }
    std::size_t notifications() { return queued(L"notify about the state"); }
};

TEST_F(TribelStateTest, TheFirstPacketConnectsTheConsole) {
    Status status;
    status.priority = 130;
    status.playbackState = 0x08;
    status.boundZones = 0x000101;
    auto console = consoleAfter(status);
    const State s = console->getState();
    EXPECT_EQ(
        (std::vector<std::uint32_t>{s.priority, s.power1Level, s.power1State, s.ethernet1State, s.microphone,
                                    s.playbackState, s.playback, s.caseState, s.boundZones, s.ain}),
        (std::vector<std::uint32_t>{130, 100, 5, 1, 1, 8, 3, 1, 0x101, 3}));
    EXPECT_TRUE(s.derived);
    EXPECT_TRUE(s.highPriority);
    EXPECT_EQ(console->getTypeText(), L"scenario");
    EXPECT_TRUE(console->isOnline());
    EXPECT_EQ(console->getVersionId(), 3u);
    EXPECT_EQ(console->getVersion().text, "Tribel-T 1.00.16");
    EXPECT_TRUE(console->hasFeature(1) && console->hasFeature(23) && !console->hasFeature(3) &&
                !console->hasFeature(24));
    // Playback alone does not count while the console has not been heard answering.
    EXPECT_FALSE(console->hasInternalPlaying());
    EXPECT_TRUE(capture_.contains(L"Устройство подключено: 'Desk' (id=5, hw=02:7E:41:00:00:01, ip=127.0.0.2:",
                                  L"INFO"));
    EXPECT_TRUE(capture_.contains(L"Device 02:7E:41:00:00:01 state: Version = Tribel-T 1.00.16", L"MARK"));
    EXPECT_TRUE(capture_.contains(L"Device 02:7E:41:00:00:01 state: Bound zones = 0x000101", L"MARK"));
    EXPECT_EQ(queued(L"check responding"), 1u);
    EXPECT_EQ(notifications(), 1u);

    // The same packet again changes nothing and tells nobody.
    EXPECT_TRUE(console->parseState(packet(status), address()));
    EXPECT_EQ(notifications(), 1u);
    EXPECT_EQ(queued(L"check responding"), 1u);
}

TEST_F(TribelStateTest, OutOfRangeFieldsAreReplaced) {
    struct Case {
        std::function<void(Status&)> set;
        std::uint32_t State::*field;
        std::uint32_t expected;
        std::wstring message;  // after "State packet has unknown "
    };
    using S = State;
    const std::vector<Case> cases = {
        {[](auto& s) { s.priority = 256; }, &S::priority, 255, L"priority '256'"},
        {[](auto& s) { s.power1Level = 101; }, &S::power1Level, 100, L"power 1 level '101'"},
        {[](auto& s) { s.power1State = 20; }, &S::power1State, 16, L"power 1 state '20'"},
        {[](auto& s) { s.power2Level = 1000; }, &S::power2Level, 100, L"power 2 level '1000'"},
        {[](auto& s) { s.power2State = 16; }, &S::power2State, 16, L"power 2 state '16'"},
        {[](auto& s) { s.ethernet1 = 32; }, &S::ethernet1State, 32, L"ethernet 1 state '32'"},
        {[](auto& s) { s.ethernet2 = 99; }, &S::ethernet2State, 32, L"ethernet 2 state '99'"},
        {[](auto& s) { s.microphone = 4; }, &S::microphone, 3, L"microphone state '4'"},
        {[](auto& s) { s.playbackState = 40; }, &S::playbackState, 32, L"playback state '40'"},
        {[](auto& s) { s.access = 7; }, &S::access, 3, L"access state '7'"},
        {[](auto& s) { s.caseState = 3; }, &S::caseState, 2, L"case state '3'"},
        {[](auto& s) { s.boundZones = 4194303; }, &S::boundZones, 2097151, L"bound zones '4194303'"},
        {[](auto& s) { s.connectedZones = 0x200001; }, &S::connectedZones, 1, L"connected zones '2097153'"},
        {[](auto& s) { s.activatedZones = 0x400000; }, &S::activatedZones, 0, L"activated zones '4194304'"},
        {[](auto& s) { s.neridaLines = 17; }, &S::neridaLines, 16, L"nerida state '17'"},
        {[](auto& s) { s.ain = 6; }, &S::ain, 5, L"AIN state '6'"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        Status status;
        c.set(status);
        // Each packet from a sender of its own, whose lines are not held back by those before.
        auto console = makeConsole();
        EXPECT_TRUE(
            console->parseState(packet(status, "Tribel-T 1.00.16"), address(100 + static_cast<int>(i))));
        EXPECT_EQ(console->getState().*c.field, c.expected) << c.message;
        EXPECT_EQ(capture_.find(L"State packet has unknown " + c.message, L"EXTERN").size(), 1u) << c.message;
    }
    // The replacements have texts of their own.
    Status status;
    status.power1State = 20;
    status.ethernet1 = 40;
    status.playbackState = 64;
    const State s = consoleAfter(status)->getState();
    EXPECT_EQ(toText(TribelPowerStatus{s.power1Status}).text, std::wstring(L"over"));
    EXPECT_EQ(toText(TribelEthernetStatus{s.ethernet1Status}).text, std::wstring(L"over"));
    EXPECT_EQ(toText(TribelPlayback{s.playback}).text, std::wstring(L"over"));
    EXPECT_THROW(toText(TribelCase{3}), exception::ServerError);
}

TEST_F(TribelStateTest, PacketsThatCannotBeTakenAreRefusedOrZeroed) {
    Status status;
    status.priority = 7;
    status.microphone = 2;
    auto console = consoleAfter(status);
    const std::size_t linesBefore = capture_.lines().size();
    const std::string address17 = hardwareAddress;
    const std::vector<std::string> refused = {
        // A loudspeaker's version, another console, no version, no address, an address too long.
        packet(status, "Vokar-B 1.03.110"),
        test::ConsoleEmulator::makeStatusPacket("02:7E:41:00:00:09", status, "Tribel-T 1.00.16"),
        address17 + ",1,2,3",
        ",7,100,5,0,0,1,1,2,0,0,1,0,0,0,0,3,Tribel-T 1.00.16",
        address17 + "0,7,100,5,0,0,1,1,2,0,0,1,0,0,0,0,3,Tribel-T 1.00.16",
        std::string(300, 'A') + ",Tribel-T 1.00.16",
    };
    for (const std::string& text : refused) EXPECT_FALSE(console->parseState(text, address())) << text;
    EXPECT_EQ(console->getState().microphone, 2u);
    EXPECT_GT(capture_.lines().size(), linesBefore);
    EXPECT_TRUE(capture_.contains(L"Ошибка подключения устройства с адресом 127.0.0.2:", L"ERROR"));
    EXPECT_TRUE(capture_.contains(
        L"The state packet is not suite the device id=5, '02:7E:41:00:00:01' != '02:7E:41:00:00:09'",
        L"ERROR"));
    EXPECT_TRUE(capture_.contains(L"Failure to extract tribel version: 02:7E:41:00:00:01,1,2,3", L"WARN"));
    EXPECT_EQ(capture_.find(L"State packet has unknown hardware address", L"EXTERN").size(), 3u);

    // Fewer than all sixteen numbers count as zeros; so does a malformed one.
    for (const std::string& text :
         {address17 + ",Tribel-T 1.00.16", address17 + ",7,100,5,0,0,1,1,2,Tribel-T 1.00.16",
          address17 + ",7,100,5,0,0,1,1,2x,0,0,1,0,0,0,0,3,Tribel-T 1.00.16"}) {
        auto fresh = makeConsole();
        ASSERT_TRUE(fresh->parseState(text, address())) << text;
        const State s = fresh->getState();
        EXPECT_EQ(s.priority + s.power1Level + s.power1State + s.microphone + s.caseState + s.ain, 0u)
            << text;
    }

    // For a second after a reboot command the console still tells its old state.
    {
        test::ManualClock clock;
        clock.setSystemMicros(1000000000);
        console->rebootTime = TribelInfo::now();
        clock.advance(std::chrono::milliseconds(999));
        status.microphone = 0;
        EXPECT_TRUE(console->parseState(packet(status), address()));
        EXPECT_EQ(console->getState().microphone, 2u);
        clock.advance(std::chrono::milliseconds(1));
        EXPECT_TRUE(console->parseState(packet(status), address()));
        EXPECT_EQ(console->getState().microphone, 0u);
    }
}

TEST_F(TribelStateTest, ArbitraryDatagramsNeverEscapeTheParser) {
    expectNoDatagramEscapes(*makeConsole(), 20240611, "0123456789ABCDEFabcdefx:,;T- .\r\n",
                            ",Tribel-T 1.00.16");
}

TEST_F(TribelStateTest, ChangesAreLoggedAndOnlyThoseTheWindowShowsNotify) {
    auto [emulated, console] = connected();
    console->getConfig(false);
    const std::size_t before = notifications();

    // The priority and the power levels are logged only; the derived fields stay.
    Status status = emulated->status();
    status.priority = 200;
    status.power1Level = 50;
    status.power2Level = 40;
    ASSERT_TRUE(console->parseState(packet(status), emulated->address()));
    EXPECT_EQ(notifications(), before);
    EXPECT_EQ(console->getState().priority, 200u);
    EXPECT_FALSE(console->getState().highPriority);
    for (const wchar_t* line : {L"Priority = 200", L"Power U1 level = 50", L"Power U2 level = 40"})
        EXPECT_TRUE(capture_.contains(std::wstring(L"Device 02:7E:41:00:00:01 state: ") + line, L"MARK"))
            << line;

    struct Case {
        std::function<void(Status&)> set;
        std::wstring line;  // after "Device 02:7E:41:00:00:01 state: "
    };
    const std::vector<Case> cases = {
        {[](auto& s) { s.power1State = 0x0D; }, L"Power U1 = 0x0D"},
        {[](auto& s) { s.power2State = 0x04; }, L"Power U2 = 0x04"},
        {[](auto& s) { s.ethernet1 = 0x16; }, L"Ethernet 1 = 0x16"},
        {[](auto& s) { s.ethernet2 = 0x00; }, L"Ethernet 2 = 0x00"},
        {[](auto& s) { s.microphone = 2; }, L"Microphone = shortCircuit"},
        {[](auto& s) { s.playbackState = 0x05; }, L"Playback = 5"},
        {[](auto& s) { s.access = 2; }, L"Access = allowed"},
        {[](auto& s) { s.caseState = 0; }, L"Case = open"},
        {[](auto& s) { s.boundZones = 0x1F; }, L"Bound zones = 0x00001F"},
        {[](auto& s) { s.connectedZones = 0x0F; }, L"Connected zones = 0x00000F"},
        {[](auto& s) { s.activatedZones = 0x03; }, L"Activated zones = 0x000003"},
        {[](auto& s) { s.neridaLines = 0x0B; }, L"Nerida lines = 0x0000B"},
        {[](auto& s) { s.ain = 1; }, L"AIN line = shortCircuit"},
    };
    for (const Case& c : cases) {
        c.set(status);
        const std::size_t notified = notifications();
        ASSERT_TRUE(console->parseState(packet(status), emulated->address()));
        EXPECT_EQ(notifications(), notified + 1) << c.line;
        EXPECT_TRUE(capture_.contains(L"Device 02:7E:41:00:00:01 state: " + c.line, L"MARK")) << c.line;
    }
    const State s = console->getState();
    EXPECT_TRUE(s.highPriority);
    EXPECT_EQ(s.power1Status, static_cast<std::uint32_t>(TribelPowerStatus::outside));
    EXPECT_FALSE(s.zonesMatch);
    // Playback state 0x05: an alarm, with the gong on.
    EXPECT_EQ(s.playback, static_cast<std::uint32_t>(TribelPlayback::alarm));
    EXPECT_EQ(console->getTypeText(), L"alarm");
    EXPECT_TRUE(console->hasInternalPlaying());
    emulated->clearReceived();
    EXPECT_TRUE(console->getConfig(false).gong);
    EXPECT_TRUE(emulated->received().empty());

    // A new sender address and a new version count as changes too.
    const std::size_t notified = notifications();
    ASSERT_TRUE(console->parseState(packet(status, "Tribel-T 1.00.13"), address(3)));
    EXPECT_EQ(notifications(), notified + 1);
    EXPECT_EQ(console->getAddress().getText(), "127.0.0.3");
    EXPECT_EQ(console->getVersionId(), 1u);
    EXPECT_TRUE(
        capture_.contains(L"Device 02:7E:41:00:00:01 state: Device IP Address = 127.0.0.3:", L"MARK"));
}

TEST_F(TribelStateTest, VersionIdFollowsTheFirmware) {
    const std::vector<std::pair<std::string, std::uint32_t>> cases = {
        {"Tribel-T 1.00.12", 0}, {"Tribel-T 1.00.13", 1}, {"Tribel-T 1.00.14", 1}, {"Tribel-T 1.00.15", 2},
        {"Tribel-T 1.00.16", 3}, {"Tribel-T 2.00.1", 0},  {"Tribel-T 2.01.40", 3},
    };
    auto console = makeConsole(types::tribelTV2);
    for (const auto& [version, id] : cases) {
        ASSERT_TRUE(console->parseState(packet(Status{}, version), address())) << version;
        EXPECT_EQ(console->getVersionId(), id) << version;
    }
    EXPECT_EQ(console->getVersion().type, types::tribelTV2);
}

TEST(TribelDerivedStateTest, StatusesFollowTheBitsOfTheirFields) {
    struct Case {
        std::function<void(State&)> set;
        std::function<bool(const State&)> expect;
        const char* name;
    };
    using P = TribelPowerStatus;
    using E = TribelEthernetStatus;
    const auto status = [](auto value) { return static_cast<std::uint32_t>(value); };
    // Present power 1 that is on, one linked ethernet port, a closed case, a good microphone and AIN.
    const auto healthy = [](State& s) {
        s.power1State = 0x05;
        s.ethernet1State = 0x01;
        s.ethernet2State = 0x01;
        s.caseState = 1;
        s.microphone = 1;
        s.ain = 3;
    };
    const std::vector<Case> cases = {
        {healthy, [](const State& s) { return s.allInOrder && s.inputsPresent == 1 && s.singleInput; },
         "healthy"},
        {[](State& s) { s.power1State = 0x09; },
         [&](const State& s) { return s.power1Status == status(P::outside); }, "power outside"},
        {[](State& s) { s.power1State = 0x10; },
         [&](const State& s) { return s.power1Status == status(P::over); }, "power over"},
        {[](State& s) { s.power1State = 0x04; },
         [&](const State& s) { return s.power1Status == status(P::missing) && !s.power1On; },
         "power missing"},
        {[](State& s) { s.power1State = 0x00; },
         [&](const State& s) { return s.power1Status == status(P::notUsed); }, "power not used"},
        {[](State& s) { s.power1State = 0x0A; }, [](const State& s) { return s.power1On; },
         "power on by bit 1"},
        {[](State& s) { s.ethernet1State = 0x03; },
         [&](const State& s) { return s.ethernet1Status == status(E::connectedPoe); }, "PoE"},
        {[](State& s) { s.ethernet1State = 0x05; },
         [&](const State& s) { return s.ethernet1Status == status(E::connectedNoPoe) && !s.ethernet1Link; },
         "present without power"},
        {[](State& s) { s.ethernet1State = 0x15; },
         [&](const State& s) { return s.ethernet1Link && s.inputsPresent == 2 && s.inputsInOrder; },
         "present and powered"},
        {[](State& s) { s.ethernet2State = 0x02; },
         [&](const State& s) { return s.ethernet2Status == status(E::onlyPoe) && !s.allInOrder; },
         "only PoE"},
        {[](State& s) { s.ethernet2State = 0x20; },
         [&](const State& s) { return s.ethernet2Status == status(E::over); }, "ethernet over"},
        {[](State& s) { s.ethernet2State = 0x00; },
         [&](const State& s) { return s.ethernet2Status == status(E::lineBreak); }, "ethernet break"},
        {[](State& s) { s.power2State = 0x04; }, [](const State& s) { return !s.inputsInOrder; },
         "input down"},
        {[](State& s) { s.neridaLines = 0x03; }, [](const State& s) { return !s.neridaLine1InOrder; },
         "Nerida line 1 broken"},
        {[](State& s) { s.neridaLines = 0x07; },
         [](const State& s) { return s.neridaLine1InOrder && !s.neridaLine2InOrder; },
         "Nerida line 2 broken"},
        {[](State& s) { s.neridaLines = 0x05; },
         [](const State& s) { return s.neridaLine1InOrder && s.neridaLine2InOrder; }, "Nerida in order"},
        {[](State& s) { s.neridaLines = 0x01; }, [](const State& s) { return !s.neridaLine2InOrder; },
         "Nerida silent"},
        {[](State& s) { s.boundZones = 1; }, [](const State& s) { return !s.zonesMatch && !s.allInOrder; },
         "zones"},
        {[](State& s) { s.ain = 1; }, [](const State& s) { return !s.ainInOrder; }, "AIN"},
        {[](State& s) { s.caseState = 0; }, [](const State& s) { return !s.allInOrder; }, "case open"},
        {[](State& s) { s.priority = 128; }, [](const State& s) { return s.highPriority; }, "fire priority"},
    };
    for (const Case& c : cases) {
        State state;
        healthy(state);
        c.set(state);
        deriveTribelState(state);
        EXPECT_TRUE(state.derived);
        EXPECT_TRUE(c.expect(state)) << c.name;
    }
    EXPECT_EQ(playbackOf(0x01), TribelPlayback::none);
    EXPECT_EQ(playbackOf(0x03), TribelPlayback::gong);
    EXPECT_EQ(playbackOf(0x30), TribelPlayback::analogInput1);
}

}  // namespace
