#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "devices/VokarInfo.h"
#include "devices/VokarState.h"
#include "devices/VokarStatePacket.h"
#include "support/ManualClock.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;
using Status = test::LoudspeakerEmulator::Status;
using State = VokarInfo::State;

constexpr const char* laterFirmware = "Vokar-B 1.03.110";  // generation 16

class VokarStateTest : public test::VokarFixture {
protected:
    // A loudspeaker that has taken one packet of `version` with `status`.
    std::shared_ptr<VokarInfo> deviceAfter(const Status& status, const std::string& version = laterFirmware,
                                           DeviceType type = types::vokarB) {
        auto device = makeDevice(type);
        EXPECT_TRUE(device->parseState(packet(status, version), address()));
        return device;
    }
    bool parse(VokarInfo& device, const Status& status, const std::string& version = laterFirmware) {
        return device.parseState(packet(status, version), address());
    }
    std::size_t lines(const std::wstring& text, const std::wstring& level = L"") {
        return capture_.find(text, level).size();
    }
    std::size_t notifications() { return queued(L"notify about the state"); }
};

TEST_F(VokarStateTest, FieldsAreBoundedAndShortPacketsRefused) {
    auto device = makeDevice();
    Status status;
    // Exactly the address and five numbers: the rest keep their defaults.
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware, 5), address()));
    const State s = device->getState();
    EXPECT_EQ(
        (std::vector<std::uint32_t>{s.batteryLevel, s.caseState, s.ain, s.eth, s.zone, s.amplifierOutput,
                                    s.ledPanel, s.audioMemoryState, s.channel, s.apiCompatibility}),
        (std::vector<std::uint32_t>{100, 0, 12, 2, 3, 1, 1, 1, 0, 0}));

    const auto deviceLines = [&] {
        std::size_t count = 0;
        for (const auto& line : capture_.lines()) count += line.place == L"VokarInfo";
        return count;
    };
    const std::size_t before = deviceLines();
    const std::vector<std::string> refused = {
        packet(status, laterFirmware, 4),
        // 18 characters or more in the address field would overrun the address buffer.
        "02:7E:41:00:00:01X,100,1,1,1,0,Vokar-B 1.03.110",
        std::string("02:") + std::string(200, '7') + ",100,1,1,1,0,Vokar-B 1.03.110",
        "02:7E:41:00:00:01,100,1,1,1,x0,Vokar-B 1.03.110",
        "02:7E:41:00:00:01,100,1,1,12abc,0,Vokar-B 1.03.110",
        ",100,1,1,1,0,Vokar-B 1.03.110",
        "",
    };
    for (const std::string& text : refused) EXPECT_FALSE(device->parseState(text, address())) << text;
    EXPECT_EQ(deviceLines(), before);
}

TEST_F(VokarStateTest, ArbitraryDatagramsNeverEscapeTheParser) {
    expectNoDatagramEscapes(*makeDevice(), 20240605, "0123456789ABCDEFabcdefx:,;AC- \r\n");
}

TEST_F(VokarStateTest, OutOfRangeFieldsAreReplaced) {
    struct Case {
        std::function<void(Status&)> set;
        std::uint32_t State::*field;
        std::uint32_t expected;
        std::wstring message;  // after "State packet has "
    };
    using S = State;
    const std::vector<Case> cases = {
        {[](auto& s) { s.batteryLevel = 150; }, &S::batteryLevel, 100, L"unknown battery level '150'"},
        {[](auto& s) { s.batteryState = 9; }, &S::batteryState, 6, L"unknown battery state '9'"},
        {[](auto& s) { s.line1 = 7; }, &S::line1State, 5, L"unknown line1 state '7'"},
        {[](auto& s) { s.line2 = 6; }, &S::line2State, 5, L"unknown line2 state '6'"},
        {[](auto& s) { s.caseState = 4; }, &S::caseState, 3, L"unknown case state '4'"},
        {[](auto& s) { s.playbackState = 14; }, &S::playbackState, 13, L"unknown playback state '14'"},
        {[](auto& s) { s.acPowerSupply = 3; }, &S::acPowerSupply, 2, L"unknown acPowerSupply '3'"},
        {[](auto& s) { s.nerida = 16; }, &S::nerida, 16, L"unknown nerida state '16'"},
        {[](auto& s) { s.ain = 99; }, &S::ain, 16, L"unknown ain state '99'"},
        {[](auto& s) { s.eth = 8; }, &S::eth, 8, L"unknown eth state '8'"},
        {[](auto& s) { s.zone = 9; }, &S::zone, 8, L"unknown zone state '9'"},
        {[](auto& s) { s.activeZoneAddress = 0xFFFFFF; }, &S::activeZoneAddress, 0xFFFFFF,
         L"an unknown address of the active zone '16777215'"},
        {[](auto& s) { s.activeZoneAddress = 0x1000000; }, &S::activeZoneAddress, 0xFFFFFF,
         L"an unknown address of the active zone '16777216'"},
        {[](auto& s) { s.activeAlarmOrder = 70000; }, &S::activeAlarmOrder, 0,
         L"an unknown active alarm order '70000'"},
        {[](auto& s) { s.playbackSource = 14; }, &S::playbackSource, 13,
         L"unknown playback source state '14'"},
        {[](auto& s) { s.preferenceCrc = 0x10000; }, &S::preferenceCrc, 0,
         L"incorrect preference CRC '65536'"},
        {[](auto& s) { s.channel = 21; }, &S::channel, 22, L"incorrect channel '21'"},
        {[](auto& s) { s.amplifierOutput = 14; }, &S::amplifierOutput, 13,
         L"incorrect amplifier output state '14'"},
        {[](auto& s) { s.ledPanel = 3; }, &S::ledPanel, 2, L"incorrect led panel '3'"},
        {[](auto& s) { s.feedback = 3; }, &S::feedback, 2, L"incorrect feedback '3'"},
        {[](auto& s) { s.inputStreams = 0x200001; }, &S::inputStreams, 0x200000,
         L"incorrect input streams '0x200001'"},
        {[](auto& s) { s.selfTest = 3; }, &S::selfTest, 2, L"incorrect device test '3'"},
        {[](auto& s) { s.audioMemoryState = -1; }, &S::audioMemoryState, 2,
         L"incorrect audio memory state '-1'"},
        {[](auto& s) { s.scenarioCount = 64; }, &S::scenarioCount, 64, L"incorrect scenario count '64'"},
        {[](auto& s) { s.apiLevel = 3; }, &S::apiLevel, 2, L"unsupported API level '3'"},
        {[](auto& s) { s.apiCompatibility = -5; }, &S::apiCompatibility, 2,
         L"unsupported compatible API level '-5'"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        Status status;
        c.set(status);
        // Generation 9 still reports line states rather than end-device masks. Each packet comes
        // from a sender of its own, whose lines are not held back by those before.
        auto device = makeDevice();
        EXPECT_TRUE(
            device->parseState(packet(status, "Vokar-B 1.00.01"), address(100 + static_cast<int>(i))));
        EXPECT_EQ(device->getState().*c.field, c.expected) << c.message;
        EXPECT_EQ(lines(L"State packet has " + c.message, L"EXTERN"), 1u) << c.message;
    }

    // 22 (no channel) is accepted as it is.
    Status status;
    status.channel = 22;
    auto device = deviceAfter(status);
    EXPECT_EQ(device->getState().channel, 22u);
    EXPECT_EQ(lines(L"incorrect channel '22'"), 0u);
    EXPECT_EQ(device->getKnownChannel(), VokarInfo::noChannel);
}

TEST_F(VokarStateTest, OutOfRangeLinesOfOneSenderAreThrottled) {
    test::ManualClock clock;
    clock.holdSteady();
    Status status;
    status.batteryLevel = 150;
    status.ledPanel = 3;
    auto device = makeDevice();
    const net::IpAndPort flooding = address(60);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(device->parseState(packet(status, laterFirmware), flooding));
    // Another sender has lines of its own.
    EXPECT_TRUE(device->parseState(packet(status, laterFirmware), address(61)));
    EXPECT_EQ(lines(L"unknown battery level '150'", L"EXTERN"), 2u);
    EXPECT_EQ(lines(L"incorrect led panel '3'", L"EXTERN"), 2u);
    EXPECT_EQ(device->getState().batteryLevel, 100u);

    clock.advance(std::chrono::milliseconds(1100));
    EXPECT_TRUE(device->parseState(packet(status, laterFirmware), flooding));
    EXPECT_EQ(
        lines(L"State packets with fields out of range from " + flooding.getWideText() + L": 4 more left out",
              L"EXTERN"),
        1u);
    EXPECT_EQ(lines(L"unknown battery level '150'", L"EXTERN"), 3u);
}

TEST_F(VokarStateTest, FirstGenerationWithoutBatteryShowsNoLevel) {
    Status status;
    status.batteryState = 4;
    status.batteryLevel = 50;
    EXPECT_EQ(deviceAfter(status, "Vokar-A 2.01.72")->getState().batteryLevel, 0u);
    EXPECT_EQ(lines(L"fix battery level to 0", L"MARK"), 1u);
    EXPECT_EQ(deviceAfter(status, "Vokar-B 1.00.01")->getState().batteryLevel, 50u);
    EXPECT_EQ(lines(L"fix battery level to 0", L"MARK"), 1u);
}

TEST_F(VokarStateTest, InputsReportedOffFromTheFirstPacketShowAsOff) {
    Status status;
    status.ain = 12;
    const auto state = deviceAfter(status)->getState();
    EXPECT_EQ(state.ain1State, static_cast<std::uint32_t>(device::AnalogInputState::off));
    EXPECT_EQ(state.ain2State, static_cast<std::uint32_t>(device::AnalogInputState::off));
}

TEST_F(VokarStateTest, SmallBatteryStepsAreLoggedQuietly) {
    Status status;
    status.batteryLevel = 50;
    auto device = deviceAfter(status);
    const std::size_t notified = notifications();
    status.batteryLevel = 51;
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(lines(L"Device 02:7E:41:00:00:01 state: Battery level = 51", L"TRACE2"), 1u);
    EXPECT_EQ(lines(L"Battery level = 51", L"MARK"), 0u);
    EXPECT_EQ(notifications(), notified);

    status.batteryLevel = 52;
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(lines(L"Device 02:7E:41:00:00:01 state: Battery level = 52", L"MARK"), 1u);
    EXPECT_EQ(notifications(), notified + 1);
}

// Shown offline after one exchange it left unanswered, a loudspeaker is shown again at its next
// status packet, unchanged as it is, and in service once it answers the check that packet sets off;
// the packets after it tell the window nothing.
TEST_F(VokarStateTest, AnUnchangedPacketShowsALoudspeakerHeardAgain) {
    auto [emulated, device] = connected(vokarV3_A110);
    const std::size_t notified = notifications();
    emulated->setSilent(true);
    EXPECT_THROW(device->transfer("get vol"), exception::Offline);
    EXPECT_EQ(device->shownState(), DeviceBase::ShownState::offline);
    EXPECT_EQ(notifications(), notified + 1);

    emulated->setSilent(false);
    ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_EQ(notifications(), notified + 2);
    ASSERT_TRUE(test::waitFor([&] { return device->isOnlineAndResponding(); }));
    ASSERT_TRUE(test::waitFor([&] { return notifications() == notified + 3; }));
    for (int packet = 0; packet < 3; ++packet)
        ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(notifications(), notified + 3);
}

// A loudspeaker heard again that answers another request before the check its packet set off is
// due is not asked that check: the answer said enough.
TEST_F(VokarStateTest, AnAnswerBeforeTheCheckOfALoudspeakerHeardAgainDropsIt) {
    auto [emulated, device] = connected(vokarV3_A110);
    emulated->setSilent(true);
    EXPECT_THROW(device->transfer("get vol"), exception::Offline);
    emulated->setSilent(false);
    // The unanswered request is over once a request queued after it ends (its caller may have given
    // up first): time may stand still from then on without holding up the requests that follow.
    std::atomic<bool> over{false};
    transport_->async(
        emulated->address(), "get state", [&over](const std::string&, bool) { over = true; }, 2, 1000);
    ASSERT_TRUE(test::waitFor([&] { return over.load(); }));
    test::ManualClock clock;
    clock.holdSteady();
    ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    emulated->clearReceived();
    EXPECT_NO_THROW(device->transfer("get state"));
    EXPECT_TRUE(device->isOnlineAndResponding());
    clock.advance(std::chrono::seconds(1));
    ASSERT_TRUE(test::DispatcherMark().wait());
    // A check sent by then is answered before this request.
    EXPECT_NO_THROW(device->transfer("get state"));
    EXPECT_EQ(sent(*emulated), "get state; get state");
}

TEST_F(VokarStateTest, EveryChangeIsLoggedOnce) {
    struct Case {
        std::function<void(Status&)> set;
        std::wstring line;
        std::wstring level;
        bool notifies;
    };
    const std::vector<Case> cases = {
        {[](auto& s) { s.batteryState = 3; }, L"Battery = discharge", L"MARK", true},
        {[](auto& s) { s.caseState = 1; }, L"Case = open", L"MARK", true},
        {[](auto& s) { s.soundPressure = 4; }, L"Sound pressure = play", L"MARK", true},
        {[](auto& s) { s.acPowerSupply = 0; }, L"AC power supply = off", L"MARK", true},
        {[](auto& s) { s.nerida = 5; }, L"NERIDA = 5", L"MARK", true},
        {[](auto& s) { s.ain = 0xD; }, L"AIN = 0x0D (AIN1=on, AIN2=off, armed2=0)", L"MARK", true},
        {[](auto& s) { s.ain = 0xA; }, L"AIN = 0x0A (AIN1=off, AIN2=on, armed2=1)", L"MARK", true},
        {[](auto& s) { s.eth = 7; }, L"Eth = 0x07 (mode=switch, connected1=1, connected2=1)", L"MARK", true},
        {[](auto& s) { s.zone = 5; }, L"Zone = 0x05 (fire=1, notice=0, announce=1)", L"MARK", true},
        {[](auto& s) { s.activeZoneAddress = 0xABCD; }, L"Zone active address = 0x00ABCD", L"MARK", true},
        {[](auto& s) { s.activeAlarmOrder = 7; }, L"Active alarm order = 7", L"MARK", true},
        // The settings checksum and the feedback request are stored without telling anyone.
        {[](auto& s) { s.preferenceCrc = 0x12AB; }, L"Preference CRC (half) = 0x12AB", L"MARK", false},
        {[](auto& s) { s.channel = 5; }, L"Current channel = 5", L"MARK", true},
        {[](auto& s) { s.amplifierOutput = 3; }, L"Amplifier = noU170", L"MARK", true},
        {[](auto& s) { s.ledPanel = 0; }, L"LED panel = detached", L"MARK", true},
        {[](auto& s) { s.feedback = 1; }, L"Feedback = required", L"DEBUG", false},
        {[](auto& s) { s.inputStreams = 0x10; }, L"Input streams = 0x000010", L"MARK", true},
        {[](auto& s) { s.selfTest = 1; }, L"Device self test = started", L"MARK", true},
        {[](auto& s) { s.audioMemoryState = 0; }, L"Device audio memory state = incorrect", L"MARK", true},
        {[](auto& s) { s.scenarioCount = 5; }, L"Device scenario count = 5", L"MARK", true},
        {[](auto& s) { s.apiLevel = 0; }, L"Device API level = notSpecified", L"MARK", true},
        {[](auto& s) { s.apiCompatibility = 2; }, L"Device API compatibility = unsupported", L"MARK", true},
    };
    // One loudspeaker that answers takes every case, so no exchange waits for a silent one.
    auto [emulated, device] = connected(vokarV3_A110);
    const std::wstring prefix = L"Device 02:7E:41:00:00:01 state: ";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(lines(c.line), 0u);
        const std::size_t notified = notifications() + (c.notifies ? 1 : 0);
        Status status;
        c.set(status);
        ASSERT_TRUE(parse(*device, status));
        EXPECT_EQ(lines(prefix + c.line, c.level), 1u);
        EXPECT_EQ(notifications(), notified);
        // The same packet again changes nothing.
        ASSERT_TRUE(parse(*device, status));
        ASSERT_TRUE(test::waitForDispatcher());
        EXPECT_EQ(lines(prefix + c.line, c.level), 1u);
        EXPECT_EQ(notifications(), notified);
        ASSERT_TRUE(parse(*device, Status()));
        ASSERT_TRUE(test::waitForDispatcher());
    }
}

TEST_F(VokarStateTest, SilentlyStoredFieldsReachTheRecord) {
    Status status;
    auto device = deviceAfter(status);
    status.preferenceCrc = 0xBEEF;
    status.feedback = 1;
    status.acPowerSupply = 0;
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(device->getState().preferenceCrc, 0xBEEFu);
    EXPECT_EQ(device->getState().feedback, 1u);

    // Without mains the amplifier's state is kept, but nobody is told.
    status.amplifierOutput = 2;
    const std::size_t notified = notifications();
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(device->getState().amplifierOutput, 2u);
    EXPECT_FALSE(device->getState().health.amplifierGood);
    EXPECT_EQ(notifications(), notified);
}

TEST_F(VokarStateTest, FeedbackRequestIsAnsweredOnce) {
    auto [emulated, device] = connected(vokarV3_A110);
    Status status;
    for (const std::uint32_t feedback : {1, 1, 0, 1}) {
        status.feedback = feedback;
        ASSERT_TRUE(parse(*device, status));
    }
    EXPECT_EQ(queued(L"give feedback"), 2u);
    ASSERT_TRUE(emulated->waitForReceived(2));
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"get vol", "get vol"}));
}

TEST_F(VokarStateTest, UnsupportedApiIsAnnouncedOnce) {
    Status status;
    auto device = deviceAfter(status);
    EXPECT_TRUE(device->compatible.load());
    status.apiCompatibility = 2;
    for (int n = 0; n < 3; ++n) ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(
        lines(L"Устройство 'Hall' (02:7E:41:00:00:01) не поддерживается данной версией мелвокса.", L"NOTICE"),
        1u);
    EXPECT_FALSE(device->compatible.load());
    EXPECT_FALSE(device->getState().health.apiCompatible);
}

TEST_F(VokarStateTest, EndDeviceMasksDecideTheLineStates) {
    struct Case {
        std::uint32_t added, active, lineState;
    };
    for (const Case& c : {Case{0x3, 0x1, 2}, Case{0x3, 0x3, 1}, Case{0x3, 0x7, 1}, Case{0, 0, 1}}) {
        Status status;
        status.line1 = c.added;
        status.line2 = c.active;
        const State state = deviceAfter(status, "Vokar-B 1.00.56")->getState();
        EXPECT_EQ((std::vector<std::uint32_t>{state.line1State, state.line2State, state.tipsAdded,
                                              state.tipsActive}),
                  (std::vector<std::uint32_t>{c.lineState, c.lineState, c.added, c.active}))
            << c.added << " " << c.active;
    }
    EXPECT_EQ(lines(L"Tips: Added = 0x00003, Active = 0x00001", L"MARK"), 1u);
    EXPECT_EQ(lines(L"Line1 = break", L"MARK"), 1u);
}

TEST_F(VokarStateTest, PlaybackIsDeducedByGeneration) {
    struct Case {
        std::string version;
        DeviceType type;
        std::uint32_t state, source, channel, activeZone;
        std::uint32_t status;
        PlaybackType playbackType;
        std::uint32_t knownChannel;
    };
    using namespace playback;
    const std::string g5 = "Vokar-A 1.01.72", g12 = "Vokar-B 1.01.63", g15 = "Vokar-B 1.01.80",
                      g17 = "Vokar-B 1.03.111", g18 = "Vokar-B 1.03.113", g20 = "Vokar-B 1.03.125";
    const DeviceType b = types::vokarB;
    const std::vector<Case> cases = {
        {g5, b, 1, 0, 0, 0, 10, analogInput1, 22},
        {g5, b, 2, 0, 0, 0, 9, scenarioServer, 22},
        {g5, b, 3, 0, 0, 0, 3, fragment, 22},
        {g12, b, 1, 0, 0, 0, 1, voiceLowPriority, 6},
        {g12, b, 2, 0, 0, 0, 4, voiceHighPriority, 1},
        {g12, b, 5, 0, 0, 0, 9, scenarioServer, 22},
        {g12, b, 5, 0, 0, 0x10, 9, scenarioTribel, 22},
        {g12, b, 4, 0, 0, 0, 8, scenarioNerida, 22},
        {g15, b, 3, 0, 0, 0, 4, voiceHighPriority, 1},
        {g15, b, 7, 0, 0, 0, 3, fragment, 22},
        {g17, b, 9, 10, 0, 0, 9, scenarioAin1, 22},
        {g17, b, 9, 7, 0, 0, 9, scenarioTribel, 22},
        {g17, b, 8, 0, 0, 0, 8, scenarioTest, 22},
        {g17, b, 9, 2, 0, 0, 9, scenario, 22},
        // An alert with a console's zone address is that console's scenario.
        {g17, b, 9, 4, 0, 0x20, 9, scenarioTribel, 22},
        {g17, types::vokarS, 11, 0, 0, 0, 10, analogInput1, 22},
        {g17, b, 11, 0, 0, 0, 11, analogInput2, 22},
        {g18, b, 0, 0, 3, 0, 0, metaError, 3},
        {g18, b, 0, 0, 5, 0, 0, voiceLowPriority, 5},
        {g18, b, 0, 0, 2, 0, 0, voiceHighPriority, 2},
        {g18, b, 0, 0, 10, 0, 0, metaExternal, 10},
        // Nothing differs from a new record: nothing is deduced.
        {g18, b, 0, 0, 0, 0, 0, none, 22},
        {g20, b, 12, 0, 0, 0, 12, sine, 22},
        {g20, b, 6, 0, 0, 0, 6, voiceZoneAin, 19},
        {g20, b, 7, 0, 0, 0, 7, voiceZoneFire, 20},
        {g20, b, 2, 0, 0, 0, 2, voiceZoneNote, 20},
        {g20, b, 5, 0, 0, 0, 5, voiceHighRepeating, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version + " state " + std::to_string(c.state) + " source " + std::to_string(c.source) +
                     " channel " + std::to_string(c.channel));
        Status status;
        status.playbackState = c.state;
        status.playbackSource = c.source;
        status.channel = c.channel;
        status.activeZoneAddress = c.activeZone;
        const std::string model = c.type == types::vokarS ? "Vokar-S" + c.version.substr(7) : c.version;
        auto device = deviceAfter(status, model, c.type);
        const VokarInfo::State state = device->getState();
        EXPECT_EQ(state.playbackStatus, c.status);
        EXPECT_EQ(playback::nameOf(device->getPlaybackType()), playback::nameOf(c.playbackType));
        EXPECT_EQ(device->getKnownChannel(), c.knownChannel);
    }
    EXPECT_EQ(lines(L"set playback error", L"MARK"), 1u);
    EXPECT_TRUE(
        capture_.contains(L"Device 02:7E:41:00:00:01 state: Playback source = voice_stream_high_priority "
                          L"[type=voice_high_priority]",
                          L"MARK"));
}

// A packet sent before a switch and read after it shows the loudspeaker as it was: passed over for
// a moment, it does not make a loudspeaker that an alarm has just given back look as if it still
// played the alarm; later, a packet that tells the same is taken.
TEST_F(VokarStateTest, APacketSentBeforeASwitchDoesNotUndoIt) {
    using namespace std::chrono_literals;
    test::ManualClock clock;
    clock.holdSteady();
    auto [emulated, device] = connected(vokarV3_A113);
    Status status = emulated->status();
    status.channel = 1;
    emulated->setStatus(status);
    const std::string before = emulated->statusPacket();
    ASSERT_TRUE(device->parseState(before, emulated->address()));
    ASSERT_EQ(device->getPlaybackType(), playback::voiceHighPriority);
    ASSERT_TRUE(device->switchChannel(CHANNEL_DISCOVERY));
    struct Row {
        std::chrono::milliseconds afterTheSwitch;
        bool passedOver;
    };
    std::chrono::milliseconds elapsed{0};
    for (const Row& row : {Row{0ms, true}, Row{1000ms, true}, Row{2000ms, false}}) {
        SCOPED_TRACE(row.afterTheSwitch.count());
        clock.advance(row.afterTheSwitch - elapsed);
        elapsed = row.afterTheSwitch;
        ASSERT_TRUE(device->parseState(before, emulated->address()));
        EXPECT_EQ(device->getKnownChannel(), row.passedOver ? CHANNEL_DISCOVERY : 1u);
        EXPECT_EQ(playback::nameOf(device->getPlaybackType()),
                  playback::nameOf(row.passedOver ? playback::none : playback::voiceHighPriority));
    }
}

// A loudspeaker that leaves the alarm channel by itself soon after its switch, while the packets
// that tell the channel it left are still passed over, is shown where it went, channel and playback,
// a packet or two after the pass-over ends; until it leaves, the switch holds.
TEST_F(VokarStateTest, ALoudspeakerThatLeavesTheAlarmChannelSoonAfterItsSwitchIsShownSo) {
    using namespace std::chrono_literals;
    constexpr auto betweenPackets = 250ms;
    for (const std::chrono::milliseconds leave : {100ms, 800ms, 1500ms}) {
        SCOPED_TRACE(leave.count());
        test::ManualClock clock;
        clock.holdSteady();
        auto [emulated, device] = connected(vokarV3_A113);
        ASSERT_EQ(device->getChannel(), CHANNEL_DISCOVERY);
        ASSERT_TRUE(device->switchChannel(1, true));
        ASSERT_EQ(emulated->status().channel, 1u);
        for (auto since = betweenPackets; since <= leave + 3s; since += betweenPackets) {
            clock.advance(betweenPackets);
            if (since >= leave) {
                Status status = emulated->status();
                status.channel = CHANNEL_DISCOVERY;
                emulated->setStatus(status);
            }
            ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
            if (since < leave) {
                EXPECT_EQ(device->getKnownChannel(), 1u) << since.count();
                EXPECT_EQ(playback::nameOf(device->getPlaybackType()),
                          playback::nameOf(playback::voiceHighPriority))
                    << since.count();
            }
        }
        EXPECT_EQ(device->getKnownChannel(), CHANNEL_DISCOVERY);
        EXPECT_EQ(device->getState().channel, CHANNEL_DISCOVERY);
        EXPECT_EQ(playback::nameOf(device->getPlaybackType()), playback::nameOf(playback::none));
    }
}

TEST_F(VokarStateTest, FullVolumeIsReadAgainWhenThePlaybackChanges) {
    auto [emulated, device] = connected(vokarV3_A110);
    device->volume = 100;
    Status status;
    status.playbackState = 3;
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(device->getVolume(), 49);
    EXPECT_EQ(emulated->received(), std::vector<std::string>{"get vol"});
    device->volume = 40;
    status.playbackState = 0;
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(device->volume.load(), 40);
}

TEST_F(VokarStateTest, MismatchedMemoryPlaybackIsMarkedUntilTheNextPacket) {
    Status status;
    auto device = deviceAfter(status);
    device->setPlaybackTypeForce(playback::metaMemory);
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(device->getPlaybackType(), playback::scenarioMisstate);
    EXPECT_TRUE(capture_.contains(
        L"Mismatch playback statuses: device id=7, device status=stream, deduced status=meta_memory",
        L"EXTERN"));
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(device->getPlaybackType(), playback::none);
}

TEST_F(VokarStateTest, AnalogInputOnWhileStreamingMarksItsScenarioBroken) {
    Status status;
    auto device = deviceAfter(status);
    status.ain = 0xD;  // input 1 on
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(device->getPlaybackType(), playback::ainScenarioBroken);
    EXPECT_EQ(lines(L"The scenario of AIN is broken", L"MARK"), 1u);
    status.ain = 0xC;
    ASSERT_TRUE(parse(*device, status));
    EXPECT_EQ(device->getPlaybackType(), playback::none);
}

TEST_F(VokarStateTest, PacketsAreTakenOnlyFromTheirOwnDevice) {
    auto device = makeDevice();
    Status status;
    for (const char* other : {"ZZ:7E:41:00:00:01", "02:7E:41:00:00:02"}) {
        EXPECT_FALSE(device->parseState(
            test::LoudspeakerEmulator::makeStatusPacket(other, status, 26, laterFirmware), address()));
    }
    EXPECT_TRUE(
        capture_.contains(L"State packet has unknown hardware address 'ZZ:7E:41:00:00:01'", L"EXTERN"));
    EXPECT_TRUE(capture_.contains(
        L"The state packet is not suite the device id=7, '02:7E:41:00:00:01' != '02:7E:41:00:00:02'",
        L"ERROR"));

    // A version text that does not parse refuses the packet after its line.
    EXPECT_FALSE(parse(*device, status, "Vokar-B"));
    EXPECT_TRUE(capture_.contains(L"Device 02:7E:41:00:00:01 state: Version = Vokar-B", L"MARK"));
    EXPECT_FALSE(device->stateReceived.load());
    EXPECT_EQ(device->getVersionId(), vokarV3_Higher);
}

TEST_F(VokarStateTest, LaterPacketsRederiveTheGenerationAndFollowTheSender) {
    Status status;
    auto device = deviceAfter(status, "Vokar-B 1.00.56");
    EXPECT_EQ(device->getVersionId(), vokarB_1_00_56);
    EXPECT_FALSE(device->hasFeature(audioMemoryPresent));
    EXPECT_TRUE(device->hasFeature(12));
    EXPECT_EQ(lines(L"Device IP Address", L"MARK"), 0u);
    ASSERT_TRUE(device->parseState(packet(status, "Vokar-B 1.03.128"), address(9)));
    EXPECT_EQ(device->getVersionId(), vokarV3_A128);
    EXPECT_TRUE(device->hasFeature(audioMemoryPresent));
    EXPECT_EQ(device->getVersion().type, types::vokarB);
    EXPECT_EQ(lines(L"Device 02:7E:41:00:00:01 state: Version = Vokar-B 1.03.128", L"MARK"), 1u);
    EXPECT_EQ(device->getAddress().getText(), "127.0.0.9");
    EXPECT_EQ(lines(L"Device 02:7E:41:00:00:01 state: Device IP Address = 127.0.0.9:", L"MARK"), 1u);
}

TEST(VokarHealthTest, JudgementsFollowTheMonitoredParts) {
    using Change = std::function<void(VokarState&, HealthContext&)>;
    struct Case {
        const char* name;
        Change change;
        bool VokarHealth::*flag;
        bool expected;
    };
    using H = VokarHealth;
    const auto discharging = [](std::uint32_t level) -> Change {
        return [level](VokarState& s, HealthContext&) { s.batteryState = 3, s.batteryLevel = level; };
    };
    // Powered over its network ports, with no battery.
    const auto poe = [](std::function<void(VokarState&)> change) -> Change {
        return [change](VokarState& s, HealthContext& c) {
            s.batteryState = 4;
            c.type = types::vokarPoE;
            c.features = vokarFeatures(types::vokarPoE, vokarV3_A128);
            change(s);
        };
    };
    const auto onVersion = [](VokarVersion version, std::function<void(VokarState&)> change) -> Change {
        return [version, change](VokarState& s, HealthContext& c) { c.version = version, change(s); };
    };
    const std::vector<Case> cases = {
        {"baseline", [](auto&, auto&) {}, &H::allGood, true},
        {"discharging at 40", discharging(40), &H::batteryGood, true},
        {"discharging at 39", discharging(39), &H::batteryGood, false},
        {"mains from the supply field", [](auto& s, auto&) { s.acPowerSupply = 0; }, &H::mainsGood, false},
        {"mains from the battery before 15", onVersion(vokarB_1_02_79, [](auto& s) { s.acPowerSupply = 0; }),
         &H::mainsGood, true},
        {"monitored line 1", [](auto& s, auto&) { s.line1State = 2; }, &H::line1Good, false},
        {"unmonitored line 2", [](auto& s, auto&) { s.line2State = 2; }, &H::line2Good, true},
        {"nerida lines together", [](auto& s, auto&) { s.nerida = 0b1001; }, &H::neridaLine1Good, true},
        {"nerida lines apart", [](auto& s, auto&) { s.nerida = 0b1011; }, &H::neridaLine1Good, false},
        {"nerida line 2 apart", [](auto& s, auto&) { s.nerida = 0b1011; }, &H::neridaLine2Good, true},
        {"armed input 2 broken", [](auto& s, auto&) { s.ain = 0b0010; }, &H::ain2Good, false},
        {"armed input 2 off", [](auto& s, auto&) { s.ain = 0b1110; }, &H::ain2Good, true},
        {"single input of a Vokar-S", [](auto& s, auto& c) { s.ain = 0b0010, c.type = types::vokarS; },
         &H::ain1Good, false},
        {"eth port 2 down", [](auto& s, auto&) { s.eth = 0b010; }, &H::ethPort2Good, false},
        {"eth switch mode", [](auto& s, auto&) { s.eth = 0b001; }, &H::ethPort2Good, true},
        {"eth ports before 15", onVersion(vokarB_1_02_79, [](auto& s) { s.eth = 0; }), &H::ethPort1Good,
         true},
        {"sounding amplifier fails",
         [](auto& s, auto& c) { s.amplifierOutput = 3, c.previousSoundActive = true; }, &H::amplifierUsable,
         false},
        {"silent amplifier failing", [](auto& s, auto&) { s.amplifierOutput = 3; }, &H::amplifierUsable,
         true},
        {"error playback", [](auto&, auto& c) { c.playbackType = playback::metaError; }, &H::amplifierUsable,
         false},
        {"fire zone unbound", [](auto& s, auto&) { s.zone = 2; }, &H::fireZoneBound, false},
        {"led panel detached", [](auto& s, auto&) { s.ledPanel = 0; }, &H::ledPanelGood, false},
        {"no scenarios", [](auto& s, auto&) { s.scenarioCount = 0; }, &H::audioMemoryGood, false},
        {"muted", [](auto& s, auto&) { s.soundPressure = 3; }, &H::soundActive, false},
        {"open case", [](auto& s, auto&) { s.caseState = 1; }, &H::allGood, false},
        {"api unsupported keeps all good", [](auto& s, auto&) { s.apiCompatibility = 2; }, &H::allGood, true},
        {"PoE without battery", poe([](auto& s) { s.line1State = 0; }), &H::allGood, true},
        {"PoE power follows its ports", poe([](auto& s) { s.eth = 0; }), &H::powerGood, false},
    };
    for (const Case& c : cases) {
        VokarState state;
        state.batteryState = 1;
        state.batteryLevel = 100;
        state.acPowerSupply = 1;
        state.line1State = state.line2State = 1;
        state.caseState = 0;
        state.zone = 1;
        state.eth = 0b110;
        state.soundPressure = 4;
        state.scenarioCount = 3;
        HealthContext context;
        context.version = vokarV3_A128;
        context.type = types::vokarB1;
        context.features = vokarFeatures(types::vokarB1, vokarV3_A128);
        c.change(state, context);
        EXPECT_EQ(evaluateHealth(state, context).*c.flag, c.expected) << c.name;
    }
}

TEST(VokarStateTextTest, ValuesBeyondTheTablesShowTheirLastEntry) {
    EXPECT_EQ(std::wstring(toText(BatteryState{9}).text), L"over");
    EXPECT_EQ(toText(BatteryState{9}).length, 4u);
    EXPECT_EQ(std::wstring(toText(AnalogInputState{4}).text), L"over");
    EXPECT_EQ(std::wstring(toText(AmplifierOutput{6}).text), L"drvOverCurrent");
    EXPECT_EQ(std::wstring(toText(AmplifierOutput{7}).text), L"over");
    EXPECT_EQ(std::wstring(toText(ApiLevel{1}).text), L"1");
    EXPECT_EQ(std::wstring(toText(ApiLevel{0xFFFFFFFF}).text), L"unsupported");
    EXPECT_EQ(std::wstring(toText(PlaybackStatus{13}).text), L"over");
}

}  // namespace
