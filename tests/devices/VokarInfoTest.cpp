#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "devices/PlaybackType.h"
#include "devices/VokarInfo.h"
#include "devices/VokarVersion.h"
#include "foundation/Exceptions.h"
#include "foundation/TextConversion.h"
#include "support/FakeGuiThread.h"
#include "support/ManualClock.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;
using test::LoudspeakerEmulator;

VokarVersion generationOf(const std::string& versionText) {
    Version version;
    EXPECT_TRUE(parseVersion(versionText, &version)) << versionText;
    return toVokarVersion(version);
}

TEST(VokarVersionTest, GenerationsOutsideTheTableStopTheLookUp) {
    EXPECT_EQ(get(vokarV3_Higher), "V3_Higher");
    EXPECT_THROW(get(static_cast<VokarVersion>(24)), exception::ServerError);
    EXPECT_THROW(get(static_cast<VokarVersion>(-1), generationNumber), exception::ServerError);
}

TEST(VokarVersionTest, GenerationAtTheVersionBoundaries) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"Vokar-A 1.01.0", 1},        {"Vokar-A 1.01.69", 1},       {"Vokar-A 1.01.70", 2},
        {"Vokar-A 1.01.71", 3},       {"Vokar-A 1.01.71.1", 3},     {"Vokar-A 1.01.71.2", 4},
        {"Vokar-A 1.01.71.3", 3},     {"Vokar-A 1.01.72", 5},       {"Vokar-A 1.09.900", 5},
        {"Vokar-A 2.00.71.17104", 6}, {"Vokar-A 2.00.71.17105", 7}, {"Vokar-A 2.01.72", 8},
        {"Vokar-A 3.00.01", 8},       {"Vokar-B 1.00.0", 9},        {"Vokar-B 1.00.55", 9},
        {"Vokar-B 1.00.56", 10},      {"Vokar-B 1.00.58", 10},      {"Vokar-B 1.00.59", 11},
        {"Vokar-B 1.01.62", 11},      {"Vokar-B 1.01.63", 12},      {"Vokar-B 1.01.68", 12},
        {"Vokar-B 1.01.69", 13},      {"Vokar-B 1.01.72", 13},      {"Vokar-B 1.02.73", 14},
        {"Vokar-B 1.02.79", 14},      {"Vokar-B 1.01.80", 15},      {"Vokar-B 1.01.109", 15},
        {"Vokar-B 1.03.110", 16},     {"Vokar-B 1.03.111", 17},     {"Vokar-B 1.03.112", 17},
        {"Vokar-B 1.03.113", 18},     {"Vokar-B 1.03.120", 18},     {"Vokar-B 1.03.121", 19},
        {"Vokar-B 1.03.124", 19},     {"Vokar-B 1.03.125", 20},     {"Vokar-B 1.03.127", 20},
        {"Vokar-B 1.03.128", 21},     {"Vokar-B 1.03.130", 21},     {"Vokar-B 1.03.131", 22},
        {"Vokar-B 1.03.132", 23},     {"Vokar-N 1.03.65534", 23},   {"Vokar-S 2.0.56", 10},
        {"Vokar 1.0.0", 23},          {"Tribel-T 1.0.0", 0},        {"Something 1.2.3", 0},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(generationOf(text), expected) << text;
}

TEST(VokarVersionTest, FeatureFlagsByModelAndGeneration) {
    struct Case {
        DeviceType type;
        VokarVersion version;
        std::set<std::size_t> flags;
    };
    const std::vector<Case> cases = {
        {types::vokarALaterGeneration, vokarA_2_01_72, {2, 3, 4, 5, 7, 9, 11}},
        {types::vokarB, vokarB_1_00_56, {2, 3, 4, 6, 7, 11, 12}},
        {types::vokarB, vokarV3_A128, {1, 2, 3, 4, 6, 7, 9, 11, 12, 13, 14, 17, 19, 20, 24, 25}},
        {types::vokarB1, vokarV3_A110, {1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18, 19, 21}},
        {types::vokarS, vokarV3_A113, {1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 13, 15, 17, 18, 19, 20, 21}},
        {types::vokarM, vokarB_1_00_59, {1, 2, 3, 4, 6, 7, 11, 12}},
        {types::vokarN, vokarV3_A128, {18, 19, 21, 24, 25}},
        {types::vokarPoE, vokarV3_A125, {1, 18, 19, 20, 21}},
        {types::vokarFamily, vokarV3_Higher, {}},
    };
    for (const Case& c : cases) {
        const FeatureFlags flags = vokarFeatures(c.type, c.version);
        std::set<std::size_t> set;
        for (std::size_t n = 1; n <= flags.size(); ++n) {
            if (hasFeature(flags, n)) set.insert(n);
        }
        EXPECT_EQ(set, c.flags) << toText(c.type) << " generation " << c.version;
    }
}

TEST(PlaybackTypeTest, UnknownValuesAreNamedAsTheLastRow) {
    EXPECT_EQ(playback::nameOf(playback::make(0x09000001, 0)), L"meta_gochs");
    EXPECT_EQ(playback::nameOf(playback::make(0x12345678, 0x9)), L"meta_over");
    EXPECT_EQ(playback::nameOf(playback::alarm | playback::alarmMessage), L"meta_over");
}

class VokarInfoTest : public test::VokarFixture {
protected:
    // Makes the device count as online and answering without an exchange.
    static void bringOnline(VokarInfo& device) {
        device.lastStateTime = DeviceBase::now();
        device.responding = true;
    }
    // A device whose firmware was read from a packet.
    std::shared_ptr<VokarInfo> deviceWithFirmware(const std::string& version,
                                                  const LoudspeakerEmulator::Status& status = {}) {
        auto device = makeDevice(types::vokarFamily);
        EXPECT_TRUE(device->parseState(packet(status, version), address()));
        return device;
    }
};

TEST_F(VokarInfoTest, CreationSetsTheProvisionalGeneration) {
    struct Case {
        DeviceType type;
        VokarVersion version;
        DeviceType storedType;
        bool loggedAsDefault;
    };
    const std::vector<Case> cases = {
        {types::vokarAFirstGeneration, vokarA_2_01_72, types::vokarALaterGeneration, false},
        {types::vokarB, vokarV3_Higher, types::vokarB, false},
        {types::tribelT, vokarA_3_00_01, types::tribelT, true},
        {types::unknown, vokarA_3_00_01, types::unknown, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toText(c.type));
        const std::size_t before = capture_.find(L"Loaded default device type=", L"IMPOR").size();
        auto device = makeDevice(c.type);
        EXPECT_EQ(device->getVersionId(), c.version);
        EXPECT_EQ(device->getVersion().type, c.storedType);
        EXPECT_EQ(device->getThisBasePtr(), device);
        EXPECT_EQ(capture_.find(L"Loaded default device type=", L"IMPOR").size(),
                  before + (c.loggedAsDefault ? 1 : 0));
    }
    EXPECT_TRUE(capture_.contains(L"Loaded default device type='Unknown'", L"IMPOR"));
}

TEST_F(VokarInfoTest, ReadOnlyQueriesAreAnsweredFromTheCache) {
    auto emulated = makeEmulator(vokarV3_A110);
    emulated->answer("get ver", "OK[get ver]: Vokar-B 1.03.110");
    emulated->answer("get ch", "OK[get ch]: 3");
    auto device = makeDevice();
    bringOnline(*device);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(device->transfer("get ver"), "Vokar-B 1.03.110");
        EXPECT_EQ(device->transfer("get ch"), "3");
    }
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"get ver", "get ch", "get ch"}));

    device->resetCache();
    EXPECT_EQ(device->transfer("get ver"), "Vokar-B 1.03.110");
    EXPECT_EQ(emulated->receivedCount(), 4u);
}

TEST_F(VokarInfoTest, GuardedPlaybackTypeKeepsInternalAndHigherPlayback) {
    using namespace playback;
    struct Case {
        PlaybackType current;
        PlaybackType requested;
        PlaybackType expected;
    };
    const std::vector<Case> cases = {
        {sine, none, sine},
        {metaMemory, none, metaMemory},
        {voiceLowPriority, none, none},
        {microphone, voiceLowPriority, microphone},
        {externalMedia, voiceLowPriority, externalMedia},
        {radio, voiceLowPriority, voiceLowPriority},
        {playback::alarm, voiceHighPriority, playback::alarm},
        {playback::alarm | alarmMessage, voiceHighPriority, voiceHighPriority},
        {none, fragment, fragment},
    };
    auto device = makeDevice();
    bringOnline(*device);
    for (const Case& c : cases) {
        device->setPlaybackTypeForce(c.current);
        device->setPlaybackType(c.requested);
        EXPECT_EQ(device->getPlaybackType(), c.expected)
            << nameOf(c.current) << " asked " << nameOf(c.requested);
        EXPECT_EQ(device->getTypeText(), nameOf(c.expected));
    }

    device->setPlaybackTypeForce(sine);
    device->setPlaybackType(sine);
    EXPECT_TRUE(capture_.contains(L"The playback has the same type 'sine' (id=7)", L"DEBUG"));
    device->setPlaybackTypeForce(none);
    EXPECT_EQ(device->getPlaybackType(), none);
    EXPECT_TRUE(
        capture_.contains(L"changed playback type of device id=7, sine -> none, title=Hall", L"INFO"));

    device->setPlaybackTypeForce(sine);
    device->responding = false;
    device->setPlaybackType(voiceLowPriority);
    EXPECT_EQ(device->getPlaybackType(), none);
    EXPECT_TRUE(
        capture_.contains(L"Устройство 'Hall' не в сети. Тип воспроизведения не установлен. (id=7, "
                          L"old type=sine)",
                          L"NOTICE"));
}

TEST_F(VokarInfoTest, MinimumVersionNamesTheRequiredFirmware) {
    struct Case {
        std::string firmware;
        VokarVersion required;
        const wchar_t* detail;  // nullptr: nothing is thrown
        bool warned;
    };
    const std::vector<Case> cases = {
        {"Vokar-B 1.03.110", vokarV3_A110, nullptr, false},
        {"Vokar-B 1.03.110", vokarV3_A125, L"V3_A125", false},
        {"Vokar-B 1.01.63", vokarA_3_00_01, nullptr, false},
        {"Vokar-A 1.01.70", vokarA_3_00_01, L"VKA_3.00.01", false},
        {"Tribel-T 1.0.0", vokarA_1_01_70, L"VKA_1.01.70", true},
    };
    const std::wstring unknownVersion = L"Неизвестная версия вокара. (";
    for (const Case& c : cases) {
        auto device = deviceWithFirmware(c.firmware);
        const std::size_t warnings = capture_.find(unknownVersion, L"WARN").size();
        if (c.detail) {
            EXPECT_EQ(test::thrown<exception::UnsupportedByDevice>(
                          [&] { device->requireMinimumVersion(c.required); }, &exception::Base::description),
                      c.detail)
                << c.firmware;
        } else {
            EXPECT_NO_THROW(device->requireMinimumVersion(c.required)) << c.firmware;
        }
        EXPECT_EQ(capture_.find(unknownVersion, L"WARN").size(), warnings + (c.warned ? 1 : 0)) << c.firmware;
    }
    EXPECT_TRUE(capture_.contains(L"Неизвестная версия вокара. (Tribel-T 1.0.0)", L"WARN"));
}

TEST_F(VokarInfoTest, FirmwareImagesOfOtherModelsFitByFamilyAndPower) {
    LoudspeakerEmulator::Status powered;  // mains on, battery charged
    LoudspeakerEmulator::Status unpowered;
    unpowered.acPowerSupply = 0;
    struct Case {
        std::string version;
        bool power;
        DeviceType image;
        bool fits;
    };
    const std::vector<Case> cases = {
        {"Vokar-B 1.03.110", false, types::vokarBLC, true},
        {"Vokar-B 2.03.110", true, types::vokarBLC, false},
        {"Vokar-B 1.03.110", true, types::vokarBPSS, true},
        {"Vokar-B 2.03.110", true, types::vokarBPSS, true},
        {"Vokar-B 3.03.110", true, types::vokarBPSS, false},
        {"Vokar-B 3.03.110", true, types::vokarB2PSS, true},
        {"Vokar-B 1.03.110", true, types::vokarB2PSS, false},
        {"Vokar-N 1.03.110", true, types::vokarS, false},
    };
    for (const Case& c : cases) {
        auto device = deviceWithFirmware(c.version, c.power ? powered : unpowered);
        EXPECT_EQ(device->acceptsFirmwareFor(c.image), c.fits) << c.version << " image " << toText(c.image);
    }
    // Writing a power supply's firmware cuts the mains for a while.
    for (const DeviceType image : {types::vokarBPSS, types::vokarB2PSS}) {
        auto device = deviceWithFirmware("Vokar-B 1.03.110", unpowered);
        const auto refusal = [&](std::wstring exception::Base::*field) {
            return test::thrown<exception::UserResponse>([&] { device->acceptsFirmwareFor(image); }, field);
        };
        EXPECT_EQ(refusal(&exception::Base::message), L"wrongPower");
        EXPECT_EQ(refusal(&exception::Base::description), L"Check 220V and batteries!");
    }
}

TEST_F(VokarInfoTest, FirstPacketChecksThatTheLoudspeakerAnswers) {
    // The check gives the loudspeaker a fraction of a second; with time held, the answer of a loaded
    // machine still comes within it.
    test::ManualClock clock;
    clock.holdSteady();
    clock.setSystemMicros(base::clock::systemMicros());
    auto emulated = makeEmulator(vokarV3_A110);
    emulated->setDecibels(-18);
    auto device = makeDevice();
    ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_TRUE(capture_.contains(L"Устройство подключено: 'Hall' (id=7, hw=02:7E:41:00:00:01, ip=127.0.0.2:",
                                  L"INFO"));
    EXPECT_EQ(queued(L"check responding"), 1u);
    clock.advance(std::chrono::milliseconds(200));
    ASSERT_TRUE(test::waitFor([&] { return device->responding.load() && device->volume.load() == 49; }));
    EXPECT_EQ(emulated->received(), std::vector<std::string>{"get vol"});
    EXPECT_NE(device->getLastVolumeReplyTime(), 0);

    // Later packets keep the device online without another check.
    ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_EQ(queued(L"check responding"), 1u);
    EXPECT_TRUE(device->isOnlineAndResponding());
}

TEST_F(VokarInfoTest, VolumeRepliesInBothScales) {
    struct Case {
        std::string version;
        std::string reply;
        std::int32_t percent;  // 33, the volume before, where the reply does not read
    };
    const std::string g16 = "Vokar-B 1.03.110", g9 = "Vokar-B 1.00.01", g8 = "Vokar-A 2.01.72",
                      g1 = "Vokar-A 1.01.69";
    const std::vector<Case> cases = {
        {g16, "0", 100},    {g16, "-18", 49},   {g16, "-35", 1},    {g16, "-50", 1},
        {g16, "-96", 0},    {g16, "5", 100},    {g9, "-1", 98},     {g8, "1E:3C", 50},
        {g8, "FE:FE", 0},   {g8, "FF:FF", 1},   {g8, "00:3C", 100}, {g8, "3C:3C", 1},
        {g1, "06:3C", 90},  {g16, "12abc", 33}, {g16, "", 33},      {g16, "99999999999", 33},
        {g16, "1E:1E", 33}, {g8, "1E", 33},     {g8, "1E:", 33},    {g8, "123:1E", 33},
        {g8, "G0:00", 33},  {g8, "-18", 33},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version + " '" + c.reply + "'");
        auto device = deviceWithFirmware(c.version);
        device->volume = 33;
        EXPECT_NO_THROW(device->handleVolume(c.reply));
        EXPECT_EQ(device->volume.load(), c.percent);
        if (c.percent != 33) continue;
        const std::wstring warning = c.version == g8 ? L"Ошибка в формате громкости прибора Вокар-A. (hw="
                                                     : L"Ошибка в формате громкости (hw=";
        EXPECT_TRUE(capture_.contains(
            warning + L"'02:7E:41:00:00:01', response='" + base::widen(c.reply) + L"')", L"WARN"));
    }
    EXPECT_TRUE(capture_.contains(L"Значение громкости вне диапазона. (5)", L"NOTICE"));
}

TEST_F(VokarInfoTest, RebootIsRefusedWhileTheLoudspeakerPlaysItsOwnMemory) {
    test::ManualClock clock;
    auto emulated = makeEmulator(vokarV3_A110);
    emulated->setRebootPause(std::chrono::milliseconds(0));
    LoudspeakerEmulator::Status status = emulated->status();
    status.playbackState = 12;  // the sine test tone of its own generator
    emulated->setStatus(status);
    auto device = connect(*emulated);
    EXPECT_EQ(device->getPlaybackType(), playback::sine);
    EXPECT_TRUE(device->hasInternalPlaying());
    EXPECT_EQ(test::thrown<exception::UserResponse>([&] { device->reboot(); }, &exception::Base::message),
              L"internalPlaying");
    EXPECT_EQ(emulated->rebootCount(), 0);

    status.playbackState = 0;
    emulated->setStatus(status);
    ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_FALSE(device->hasInternalPlaying());
    EXPECT_TRUE(device->reboot());
    EXPECT_EQ(emulated->rebootCount(), 1);
    EXPECT_FALSE(device->isOnline());
    EXPECT_EQ(device->getPlaybackType(), playback::none);

    // Packets sent in the restart's first two seconds are not taken, and the device stays offline.
    status.batteryLevel = 50;
    emulated->setStatus(status);
    clock.advance(std::chrono::milliseconds(1500));
    EXPECT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_TRUE(capture_.contains(L"Skip state packet after rebooting during one second", L"DEBUG"));
    EXPECT_EQ(device->getState().batteryLevel, 0u);
    EXPECT_FALSE(device->isOnline());

    clock.advance(std::chrono::milliseconds(1000));
    EXPECT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_EQ(device->getState().batteryLevel, 50u);
    EXPECT_TRUE(device->isOnline());
    EXPECT_NO_THROW(device->transfer("get vol"));
    EXPECT_EQ(device->getVersionId(), vokarV3_A110);
}

}  // namespace
