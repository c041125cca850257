#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "devices/VokarInfo.h"
#include "devices/VokarState.h"
#include "devices/VokarStatePacket.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;
using Status = test::LoudspeakerEmulator::Status;

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
    std::size_t lines(const std::wstring& text, const std::wstring& level = L"") {
        return capture_.find(text, level).size();
    }
    // Lines written by the loudspeaker class itself.
    std::size_t deviceLines() {
        std::size_t count = 0;
        for (const auto& line : capture_.lines()) count += line.place == L"VokarInfo";
        return count;
    }
};

TEST_F(VokarStateTest, FieldsAreBoundedAndShortPacketsRefused) {
    auto device = makeDevice();
    Status status;
    // Exactly the address and five numbers: the rest keep their defaults.
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware, 5), address()));
    const VokarInfo::State state = device->getState();
    EXPECT_EQ(state.batteryLevel, 100u);
    EXPECT_EQ(state.caseState, 0u);
    EXPECT_EQ(state.ain, 12u);
    EXPECT_EQ(state.eth, 2u);
    EXPECT_EQ(state.zone, 3u);
    EXPECT_EQ(state.amplifierOutput, 1u);
    EXPECT_EQ(state.ledPanel, 1u);
    EXPECT_EQ(state.audioMemoryState, 1u);
    EXPECT_EQ(state.channel, 0u);
    EXPECT_EQ(state.apiCompatibility, 0u);

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
    auto device = makeDevice();
    std::mt19937 random(20240605);
    std::string alphabet = "0123456789ABCDEFabcdefx:,;AC- \r\n";
    alphabet.push_back('\0');
    for (int round = 0; round < 3000; ++round) {
        std::string datagram(26 + random() % 231, ' ');
        for (char& c : datagram) c = alphabet[random() % alphabet.size()];
        datagram[2] = ':';
        if (round % 3 == 0) datagram.replace(0, 17, hardwareAddress);
        EXPECT_NO_THROW(device->parseState(datagram, address()));
    }
}

TEST_F(VokarStateTest, OutOfRangeFieldsAreReplaced) {
    struct Case {
        std::function<void(Status&)> set;
        std::uint32_t VokarInfo::State::*field;
        std::uint32_t expected;
        std::wstring message;
    };
    using S = VokarInfo::State;
    const std::vector<Case> cases = {
        {[](Status& s) { s.batteryLevel = 150; }, &S::batteryLevel, 100,
         L"State packet has unknown battery level '150'"},
        {[](Status& s) { s.batteryState = 9; }, &S::batteryState, 6,
         L"State packet has unknown battery state '9'"},
        {[](Status& s) { s.line1 = 7; }, &S::line1State, 5, L"State packet has unknown line1 state '7'"},
        {[](Status& s) { s.line2 = 6; }, &S::line2State, 5, L"State packet has unknown line2 state '6'"},
        {[](Status& s) { s.caseState = 4; }, &S::caseState, 3, L"State packet has unknown case state '4'"},
        {[](Status& s) { s.playbackState = 14; }, &S::playbackState, 13,
         L"State packet has unknown playback state '14'"},
        {[](Status& s) { s.acPowerSupply = 3; }, &S::acPowerSupply, 2,
         L"State packet has unknown acPowerSupply '3'"},
        {[](Status& s) { s.nerida = 16; }, &S::nerida, 16, L"State packet has unknown nerida state '16'"},
        {[](Status& s) { s.ain = 99; }, &S::ain, 16, L"State packet has unknown ain state '99'"},
        {[](Status& s) { s.eth = 8; }, &S::eth, 8, L"State packet has unknown eth state '8'"},
        {[](Status& s) { s.zone = 9; }, &S::zone, 8, L"State packet has unknown zone state '9'"},
        {[](Status& s) { s.activeZoneAddress = 0xFFFFFF; }, &S::activeZoneAddress, 0xFFFFFF,
         L"State packet has an unknown address of the active zone '16777215'"},
        {[](Status& s) { s.activeZoneAddress = 0x1000000; }, &S::activeZoneAddress, 0xFFFFFF,
         L"State packet has an unknown address of the active zone '16777216'"},
        {[](Status& s) { s.activeAlarmOrder = 70000; }, &S::activeAlarmOrder, 0,
         L"State packet has an unknown active alarm order '70000'"},
        {[](Status& s) { s.playbackSource = 14; }, &S::playbackSource, 13,
         L"State packet has unknown playback source state '14'"},
        {[](Status& s) { s.preferenceCrc = 0x10000; }, &S::preferenceCrc, 0,
         L"State packet has incorrect preference CRC '65536'"},
        {[](Status& s) { s.channel = 21; }, &S::channel, 22, L"State packet has incorrect channel '21'"},
        {[](Status& s) { s.amplifierOutput = 14; }, &S::amplifierOutput, 13,
         L"State packet has incorrect amplifier output state '14'"},
        {[](Status& s) { s.ledPanel = 3; }, &S::ledPanel, 2, L"State packet has incorrect led panel '3'"},
        {[](Status& s) { s.feedback = 3; }, &S::feedback, 2, L"State packet has incorrect feedback '3'"},
        {[](Status& s) { s.inputStreams = 0x200001; }, &S::inputStreams, 0x200000,
         L"State packet has incorrect input streams '0x200001'"},
        {[](Status& s) { s.selfTest = 3; }, &S::selfTest, 2, L"State packet has incorrect device test '3'"},
        {[](Status& s) { s.audioMemoryState = -1; }, &S::audioMemoryState, 2,
         L"State packet has incorrect audio memory state '-1'"},
        {[](Status& s) { s.scenarioCount = 64; }, &S::scenarioCount, 64,
         L"State packet has incorrect scenario count '64'"},
        {[](Status& s) { s.apiLevel = 3; }, &S::apiLevel, 2, L"State packet has unsupported API level '3'"},
        {[](Status& s) { s.apiCompatibility = -5; }, &S::apiCompatibility, 2,
         L"State packet has unsupported compatible API level '-5'"},
    };
    for (const Case& c : cases) {
        Status status;
        c.set(status);
        // Generation 9 still reports line states rather than end-device masks.
        auto device = deviceAfter(status, "Vokar-B 1.00.01");
        EXPECT_EQ(device->getState().*c.field, c.expected) << c.message;
        EXPECT_EQ(lines(c.message, L"EXTERN"), 1u) << c.message;
    }

    // 22 (no channel) is accepted as it is.
    Status status;
    status.channel = 22;
    auto device = deviceAfter(status);
    EXPECT_EQ(device->getState().channel, 22u);
    EXPECT_EQ(lines(L"incorrect channel '22'"), 0u);
    EXPECT_EQ(device->getKnownChannel(), VokarInfo::noChannel);
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

TEST_F(VokarStateTest, SmallBatteryStepsAreLoggedQuietly) {
    Status status;
    status.batteryLevel = 50;
    auto device = deviceAfter(status);
    const std::size_t notified = queued(L"notify about the state");
    status.batteryLevel = 51;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(lines(L"Device 02:7E:41:00:00:01 state: Battery level = 51", L"TRACE2"), 1u);
    EXPECT_EQ(lines(L"Battery level = 51", L"MARK"), 0u);
    EXPECT_EQ(queued(L"notify about the state"), notified);

    status.batteryLevel = 52;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(lines(L"Device 02:7E:41:00:00:01 state: Battery level = 52", L"MARK"), 1u);
    EXPECT_EQ(queued(L"notify about the state"), notified + 1);
}

TEST_F(VokarStateTest, EveryChangeIsLoggedOnce) {
    struct Case {
        std::function<void(Status&)> set;
        std::wstring line;
        std::wstring level;
        bool notifies;
    };
    const std::vector<Case> cases = {
        {[](Status& s) { s.batteryState = 3; }, L"Battery = discharge", L"MARK", true},
        {[](Status& s) { s.caseState = 1; }, L"Case = open", L"MARK", true},
        {[](Status& s) { s.soundPressure = 4; }, L"Sound pressure = play", L"MARK", true},
        {[](Status& s) { s.acPowerSupply = 0; }, L"AC power supply = off", L"MARK", true},
        {[](Status& s) { s.nerida = 5; }, L"NERIDA = 5", L"MARK", true},
        {[](Status& s) { s.ain = 0xD; }, L"AIN = 0x0D (AIN1=on, AIN2=off, armed2=0)", L"MARK", true},
        {[](Status& s) { s.ain = 0xA; }, L"AIN = 0x0A (AIN1=off, AIN2=on, armed2=1)", L"MARK", true},
        {[](Status& s) { s.eth = 7; }, L"Eth = 0x07 (mode=switch, connected1=1, connected2=1)", L"MARK",
         true},
        {[](Status& s) { s.zone = 5; }, L"Zone = 0x05 (fire=1, notice=0, announce=1)", L"MARK", true},
        {[](Status& s) { s.activeZoneAddress = 0xABCD; }, L"Zone active address = 0x00ABCD", L"MARK", true},
        {[](Status& s) { s.activeAlarmOrder = 7; }, L"Active alarm order = 7", L"MARK", true},
        {[](Status& s) { s.preferenceCrc = 0x12AB; }, L"Preference CRC (half) = 0x12AB", L"MARK", false},
        {[](Status& s) { s.channel = 5; }, L"Current channel = 5", L"MARK", true},
        {[](Status& s) { s.amplifierOutput = 3; }, L"Amplifier = noU170", L"MARK", true},
        {[](Status& s) { s.ledPanel = 0; }, L"LED panel = detached", L"MARK", true},
        {[](Status& s) { s.feedback = 1; }, L"Feedback = required", L"DEBUG", false},
        {[](Status& s) { s.inputStreams = 0x10; }, L"Input streams = 0x000010", L"MARK", true},
        {[](Status& s) { s.selfTest = 1; }, L"Device self test = started", L"MARK", true},
        {[](Status& s) { s.audioMemoryState = 0; }, L"Device audio memory state = incorrect", L"MARK", true},
        {[](Status& s) { s.scenarioCount = 5; }, L"Device scenario count = 5", L"MARK", true},
        {[](Status& s) { s.apiLevel = 0; }, L"Device API level = notSpecified", L"MARK", true},
        {[](Status& s) { s.apiCompatibility = 2; }, L"Device API compatibility = unsupported", L"MARK", true},
    };
    const std::wstring prefix = L"Device 02:7E:41:00:00:01 state: ";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Status status;
        auto device = deviceAfter(status);
        EXPECT_EQ(lines(c.line), 0u);
        const std::size_t notified = queued(L"notify about the state");
        c.set(status);
        ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
        EXPECT_EQ(lines(prefix + c.line, c.level), 1u);
        // Only the amplifier without mains is stored without telling anyone.
        EXPECT_EQ(queued(L"notify about the state"), notified + (c.notifies ? 1 : 0));
        // The same packet again changes nothing.
        ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
        EXPECT_EQ(lines(prefix + c.line, c.level), 1u);
        EXPECT_EQ(queued(L"notify about the state"), notified + (c.notifies ? 1 : 0));
    }
}

TEST_F(VokarStateTest, SilentlyStoredFieldsReachTheRecord) {
    Status status;
    auto device = deviceAfter(status);
    status.preferenceCrc = 0xBEEF;
    status.feedback = 1;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->getState().preferenceCrc, 0xBEEFu);
    EXPECT_EQ(device->getState().feedback, 1u);

    status.acPowerSupply = 0;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    status.amplifierOutput = 2;
    const std::size_t notified = queued(L"notify about the state");
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->getState().amplifierOutput, 2u);
    EXPECT_FALSE(device->getState().health.amplifierGood);
    EXPECT_EQ(queued(L"notify about the state"), notified);
}

TEST_F(VokarStateTest, FeedbackRequestIsAnsweredOnce) {
    auto emulated = makeEmulator(vokarV3_A110);
    Status status;
    auto device = deviceAfter(status);
    // The responding check of the first packet asks for the volume once.
    ASSERT_TRUE(emulated->waitForReceived(1));
    status.feedback = 1;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(queued(L"give feedback"), 1u);
    status.feedback = 0;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    status.feedback = 1;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(queued(L"give feedback"), 2u);
    ASSERT_TRUE(emulated->waitForReceived(3));
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"get vol", "get vol", "get vol"}));
}

TEST_F(VokarStateTest, UnsupportedApiIsAnnouncedOnce) {
    Status status;
    auto device = deviceAfter(status);
    EXPECT_TRUE(device->compatible.load());
    status.apiCompatibility = 2;
    for (int n = 0; n < 3; ++n) ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
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
        auto device = deviceAfter(status, "Vokar-B 1.00.56");
        const VokarInfo::State state = device->getState();
        EXPECT_EQ(state.line1State, c.lineState) << c.added << " " << c.active;
        EXPECT_EQ(state.line2State, c.lineState);
        EXPECT_EQ(state.tipsAdded, c.added);
        EXPECT_EQ(state.tipsActive, c.active);
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

TEST_F(VokarStateTest, ZoneAddressTurnsAnAlertIntoAConsoleScenario) {
    Status status;
    status.playbackState = 9;
    status.playbackSource = 4;
    auto device = deviceAfter(status, "Vokar-B 1.03.111");
    EXPECT_EQ(device->getPlaybackType(), playback::scenarioServer);
    status.activeZoneAddress = 0x20;
    ASSERT_TRUE(device->parseState(packet(status, "Vokar-B 1.03.111"), address()));
    EXPECT_EQ(device->getPlaybackType(), playback::scenarioTribel);
}

TEST_F(VokarStateTest, FullVolumeIsReadAgainWhenThePlaybackChanges) {
    Status status;
    auto device = deviceAfter(status);
    device->volume = 100;
    status.playbackState = 1;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->volume.load(), kUnknownVolume);
    device->volume = 40;
    status.playbackState = 0;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->volume.load(), 40);
}

TEST_F(VokarStateTest, MismatchedMemoryPlaybackIsMarkedUntilTheNextPacket) {
    Status status;
    auto device = deviceAfter(status);
    device->setPlaybackTypeForce(playback::metaMemory);
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->getPlaybackType(), playback::scenarioMisstate);
    EXPECT_TRUE(capture_.contains(
        L"Mismatch playback statuses: device id=7, device status=stream, deduced status=meta_memory",
        L"EXTERN"));
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->getPlaybackType(), playback::none);
}

TEST_F(VokarStateTest, AnalogInputOnWhileStreamingMarksItsScenarioBroken) {
    Status status;
    auto device = deviceAfter(status);
    status.ain = 0xD;  // input 1 on
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->getPlaybackType(), playback::ainScenarioBroken);
    EXPECT_EQ(lines(L"The scenario of AIN is broken", L"MARK"), 1u);
    status.ain = 0xC;
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->getPlaybackType(), playback::none);
}

TEST_F(VokarStateTest, PacketsAreTakenOnlyFromTheirOwnDevice) {
    auto device = makeDevice();
    Status status;
    EXPECT_FALSE(device->parseState(
        test::LoudspeakerEmulator::makeStatusPacket("ZZ:7E:41:00:00:01", status, 26, laterFirmware),
        address()));
    EXPECT_TRUE(
        capture_.contains(L"State packet has unknown hardware address 'ZZ:7E:41:00:00:01'", L"EXTERN"));
    EXPECT_FALSE(device->parseState(
        test::LoudspeakerEmulator::makeStatusPacket("02:7E:41:00:00:02", status, 26, laterFirmware),
        address()));
    EXPECT_TRUE(capture_.contains(
        L"The state packet is not suite the device id=7, '02:7E:41:00:00:01' != '02:7E:41:00:00:02'",
        L"ERROR"));
    EXPECT_FALSE(device->stateReceived.load());

    // A version text that does not parse refuses the packet after its line.
    EXPECT_FALSE(device->parseState(packet(status, "Vokar-B"), address()));
    EXPECT_TRUE(capture_.contains(L"Device 02:7E:41:00:00:01 state: Version = Vokar-B", L"MARK"));
    EXPECT_FALSE(device->stateReceived.load());
    EXPECT_EQ(device->getVersionId(), vokarV3_Higher);
}

TEST_F(VokarStateTest, VersionChangesRederiveTheGenerationAndFlags) {
    Status status;
    auto device = deviceAfter(status, "Vokar-B 1.00.56");
    EXPECT_EQ(device->getVersionId(), vokarB_1_00_56);
    EXPECT_FALSE(device->hasFeature(audioMemoryPresent));
    EXPECT_TRUE(device->hasFeature(12));
    ASSERT_TRUE(device->parseState(packet(status, "Vokar-B 1.03.128"), address()));
    EXPECT_EQ(device->getVersionId(), vokarV3_A128);
    EXPECT_TRUE(device->hasFeature(audioMemoryPresent));
    EXPECT_EQ(device->getVersion().type, types::vokarB);
    EXPECT_EQ(lines(L"Device 02:7E:41:00:00:01 state: Version = Vokar-B 1.03.128", L"MARK"), 1u);
}

TEST_F(VokarStateTest, SenderAddressIsFollowed) {
    Status status;
    auto device = deviceAfter(status);
    EXPECT_EQ(lines(L"Device IP Address", L"MARK"), 0u);
    ASSERT_TRUE(device->parseState(packet(status, laterFirmware), address(9)));
    EXPECT_EQ(device->getAddress().getText(), "127.0.0.9");
    EXPECT_EQ(lines(L"Device 02:7E:41:00:00:01 state: Device IP Address = 127.0.0.9:", L"MARK"), 1u);
}

TEST_F(VokarStateTest, PacketsRightAfterARebootAreSkipped) {
    Status status;
    auto device = deviceAfter(status);
    const std::int64_t lastState = device->lastStateTime.load();
    status.batteryLevel = 40;
    for (const std::int64_t ago : {0, 500000, 1000000, 1500000}) {
        device->rebootTime = DeviceBase::now() - ago;
        EXPECT_TRUE(device->parseState(packet(status, laterFirmware), address())) << ago;
        EXPECT_EQ(device->getState().batteryLevel, 100u);
        EXPECT_EQ(device->lastStateTime.load(), lastState);
    }
    EXPECT_EQ(lines(L"Skip state packet after rebooting during one second", L"DEBUG"), 4u);
    device->rebootTime = DeviceBase::now() - 2500000;
    EXPECT_TRUE(device->parseState(packet(status, laterFirmware), address()));
    EXPECT_EQ(device->getState().batteryLevel, 40u);
}

TEST(VokarHealthTest, JudgementsFollowTheMonitoredParts) {
    struct Case {
        const char* name;
        std::function<void(VokarState&, HealthContext&)> set;
        bool VokarHealth::*flag;
        bool expected;
    };
    using H = VokarHealth;
    const std::vector<Case> cases = {
        {"baseline", [](VokarState&, HealthContext&) {}, &H::allGood, true},
        {"discharging at 40",
         [](VokarState& s, HealthContext&) {
             s.batteryState = 3;
             s.batteryLevel = 40;
         },
         &H::batteryGood, true},
        {"discharging at 39",
         [](VokarState& s, HealthContext&) {
             s.batteryState = 3;
             s.batteryLevel = 39;
         },
         &H::batteryGood, false},
        {"mains from the supply field", [](VokarState& s, HealthContext&) { s.acPowerSupply = 0; },
         &H::mainsGood, false},
        {"mains from the battery before 15",
         [](VokarState& s, HealthContext& c) {
             s.acPowerSupply = 0;
             c.version = vokarB_1_02_79;
         },
         &H::mainsGood, true},
        {"power needs both", [](VokarState& s, HealthContext&) { s.acPowerSupply = 0; }, &H::powerGood,
         false},
        {"monitored line 1", [](VokarState& s, HealthContext&) { s.line1State = 2; }, &H::line1Good, false},
        {"unmonitored line 2", [](VokarState& s, HealthContext&) { s.line2State = 2; }, &H::line2Good, true},
        {"nerida lines together", [](VokarState& s, HealthContext&) { s.nerida = 0b1001; },
         &H::neridaLine1Good, true},
        {"nerida lines apart", [](VokarState& s, HealthContext&) { s.nerida = 0b1011; }, &H::neridaLine1Good,
         false},
        {"nerida line 2 apart", [](VokarState& s, HealthContext&) { s.nerida = 0b1011; }, &H::neridaLine2Good,
         true},
        {"armed input 2 broken", [](VokarState& s, HealthContext&) { s.ain = 0b0010; }, &H::ain2Good, false},
        {"armed input 2 off", [](VokarState& s, HealthContext&) { s.ain = 0b1110; }, &H::ain2Good, true},
        {"single input of a Vokar-S",
         [](VokarState& s, HealthContext& c) {
             s.ain = 0b0010;
             c.type = types::vokarS;
         },
         &H::ain1Good, false},
        {"eth port 2 down", [](VokarState& s, HealthContext&) { s.eth = 0b010; }, &H::ethPort2Good, false},
        {"eth switch mode", [](VokarState& s, HealthContext&) { s.eth = 0b001; }, &H::ethPort2Good, true},
        {"fire zone unbound", [](VokarState& s, HealthContext&) { s.zone = 2; }, &H::fireZoneBound, false},
        {"led panel detached", [](VokarState& s, HealthContext&) { s.ledPanel = 0; }, &H::ledPanelGood,
         false},
        {"no scenarios", [](VokarState& s, HealthContext&) { s.scenarioCount = 0; }, &H::audioMemoryGood,
         false},
        {"error playback", [](VokarState&, HealthContext& c) { c.playbackType = playback::metaError; },
         &H::amplifierUsable, false},
        {"sounding amplifier fails",
         [](VokarState& s, HealthContext& c) {
             s.amplifierOutput = 3;
             c.previousSoundActive = true;
         },
         &H::amplifierUsable, false},
        {"muted", [](VokarState& s, HealthContext&) { s.soundPressure = 3; }, &H::soundActive, false},
        {"alarm content", [](VokarState& s, HealthContext&) { s.playbackStatus = 9; },
         &H::alarmContentPlaying, true},
        {"open case", [](VokarState& s, HealthContext&) { s.caseState = 1; }, &H::allGood, false},
        {"api unsupported keeps all good", [](VokarState& s, HealthContext&) { s.apiCompatibility = 2; },
         &H::allGood, true},
        {"PoE without battery",
         [](VokarState& s, HealthContext& c) {
             s.batteryState = 4;
             s.line1State = 0;
             c.type = types::vokarPoE;
             c.features = vokarFeatures(types::vokarPoE, vokarV3_A128);
         },
         &H::allGood, true},
        {"PoE power follows its ports",
         [](VokarState& s, HealthContext& c) {
             s.batteryState = 4;
             s.eth = 0;
             c.type = types::vokarPoE;
             c.features = vokarFeatures(types::vokarPoE, vokarV3_A128);
         },
         &H::powerGood, false},
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
        c.set(state, context);
        EXPECT_EQ(evaluateHealth(state, context).*c.flag, c.expected) << c.name;
    }
}

TEST(VokarStateTextTest, ValuesBeyondTheTablesShowTheirLastEntry) {
    EXPECT_EQ(std::wstring(toText(BatteryState{9}).text), L"over");
    EXPECT_EQ(toText(BatteryState{9}).length, 4u);
    EXPECT_EQ(std::wstring(toText(BatteryState::discharge).text), L"discharge");
    EXPECT_EQ(std::wstring(toText(LineState{2}).text), L"break");
    EXPECT_EQ(std::wstring(toText(CaseState{0}).text), L"close");
    EXPECT_EQ(std::wstring(toText(AnalogInputState{4}).text), L"over");
    EXPECT_EQ(std::wstring(toText(AmplifierOutput{6}).text), L"drvOverCurrent");
    EXPECT_EQ(std::wstring(toText(AmplifierOutput{7}).text), L"over");
    EXPECT_EQ(std::wstring(toText(ApiLevel{1}).text), L"1");
    EXPECT_EQ(std::wstring(toText(ApiLevel{0xFFFFFFFF}).text), L"unsupported");
    EXPECT_EQ(std::wstring(toText(PlaybackStatus{13}).text), L"over");
}

}  // namespace
