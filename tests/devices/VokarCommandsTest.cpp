#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devices/PlaybackType.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "support/ManualClock.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;
using test::LoudspeakerEmulator;

class VokarCommandsTest : public test::VokarFixture {
protected:
    // A connected loudspeaker of `generation` at `level`: in dB, for the first generations the
    // byte of both amplifier channels.
    Loudspeaker atLevel(VokarVersion generation, std::int32_t level, int host = 2) {
        Loudspeaker loudspeaker{makeEmulator(generation, "", host), nullptr};
        if (generation < vokarA_3_00_01) {
            loudspeaker.emulated->setChannelBytes(level, level);
        } else {
            loudspeaker.emulated->setDecibels(level);
        }
        loudspeaker.device = connect(*loudspeaker.emulated);
        return loudspeaker;
    }
    // A connected loudspeaker of `generation` at 40 %.
    Loudspeaker atFortyPercent(VokarVersion generation, int host = 2) {
        Loudspeaker loudspeaker = atLevel(generation, generation < vokarA_3_00_01 ? 0x24 : -21, host);
        EXPECT_EQ(loudspeaker.device->volume.load(), 40);
        return loudspeaker;
    }
};

TEST_F(VokarCommandsTest, VolumeIsSentAndReadBackInTheScaleOfTheGeneration) {
    struct Case {
        VokarVersion generation;
        std::int32_t percent;
        std::string command;
        std::int32_t readBack;
    };
    const std::vector<Case> cases = {
        {vokarV3_A110, 100, "set vol 0", 100},       {vokarV3_A110, 50, "set vol -18", 49},
        {vokarV3_A110, 1, "set vol -35", 1},         {vokarV3_A110, 2, "set vol -35", 1},
        {vokarV3_A110, 0, "set vol -96", 0},         {vokarA_3_00_01, 40, "set vol -21", 40},
        {vokarV3_A110, 46, "set vol -19", 46},       {vokarV3_A110, 89, "set vol -4", 89},
        {vokarA_2_01_72, 100, "set vol 00:00", 100}, {vokarA_2_01_72, 50, "set vol 1E:1E", 50},
        {vokarA_2_01_72, 1, "set vol 3C:3C", 1},     {vokarA_2_01_72, 0, "set vol FE:FE", 0},
        {vokarA_1_01_69, 60, "set vol 18:18", 60},
    };
    std::map<VokarVersion, Loudspeaker> loudspeakers;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.generation) + " at " + std::to_string(c.percent) + " %");
        Loudspeaker& loudspeaker = loudspeakers[c.generation];
        if (!loudspeaker.emulated)
            loudspeaker = connected(c.generation, 2 + static_cast<int>(loudspeakers.size()));
        loudspeaker.emulated->clearReceived();
        ASSERT_TRUE(loudspeaker.device->setVolume(c.percent));
        EXPECT_EQ(sentBesidesMemory(*loudspeaker.emulated), c.command);
        EXPECT_EQ(loudspeaker.device->volume.load(), c.percent);
        loudspeaker.device->volume = kUnknownVolume;
        EXPECT_EQ(loudspeaker.device->getVolume(), c.readBack);
    }
}

// Every level that a percentage sets, read as a percentage and set back, is the level it was: a
// saved volume comes back exactly, and a volume shown and set back unchanged stays where it was.
TEST_F(VokarCommandsTest, EveryLevelOfBothScalesIsSetAgainByThePercentageItReadsAs) {
    struct Scale {
        VokarVersion generation;
        std::vector<int> levels;
    };
    Scale decibels{vokarV3_A110, {-96}};
    for (int level = -35; level <= 0; ++level) decibels.levels.push_back(level);
    Scale bytes{vokarA_2_01_72, {0xFE}};
    for (int level = 0; level <= 60; ++level) bytes.levels.push_back(level);
    int host = 2;
    for (const Scale& scale : {decibels, bytes}) {
        auto [emulated, device] = connected(scale.generation, host++);
        for (int level : scale.levels) {
            std::string text = std::to_string(level);
            if (scale.generation == vokarA_2_01_72) {
                emulated->setChannelBytes(level, level);
                char bytePair[8];
                std::snprintf(bytePair, sizeof bytePair, "%02X:%02X", level, level);
                text = bytePair;
            } else {
                emulated->setDecibels(level);
            }
            SCOPED_TRACE(text);
            emulated->clearReceived();
            device->volume = kUnknownVolume;
            const std::int32_t percent = device->getVolume();
            device->volume = kUnknownVolume;
            ASSERT_TRUE(device->setVolume(percent));
            EXPECT_EQ(sentBesidesMemory(*emulated), "get vol; set vol " + text);
        }
    }
}

TEST_F(VokarCommandsTest, VolumeOutOfRangeUnchangedOrNotTakenKeepsTheStoredOne) {
    auto [emulated, device] = connected(vokarV3_A110);
    ASSERT_EQ(device->volume.load(), 49);
    EXPECT_FALSE(device->setVolume(101));
    EXPECT_FALSE(device->setVolume(-1));
    EXPECT_TRUE(device->setVolume(49));
    EXPECT_EQ(sent(*emulated), "");
    EXPECT_TRUE(capture_.contains(L"Некорректная громкость '101'", L"WARN"));
    EXPECT_TRUE(capture_.contains(L"Skip changing volume to 49 (there are no differences)", L"DEBUG"));

    emulated->answerErrorNext(1);
    EXPECT_FALSE(device->setVolume(30));
    EXPECT_EQ(device->volume.load(), 49);
    EXPECT_EQ(emulated->decibels(), -18);
    EXPECT_TRUE(capture_.contains(
        L"Не удалось назначить уровень громкости '30' устройству '02:7E:41:00:00:01'", L"WARN"));

    EXPECT_TRUE(device->setVolume(30));
    EXPECT_EQ(emulated->decibels(), -25);
    EXPECT_TRUE(capture_.contains(L"Назначен уровень громкости 30% устройству '02:7E:41:00:00:01'", L"INFO"));

    // A level read is named in the loudspeaker's unit; a caller that tells the refusal itself
    // has it logged only. One below silent reads as silent, the nearest it takes back.
    VokarInfo::Level quiet;
    quiet.decibels = -44;
    quiet.percent = 1;
    emulated->answerErrorNext(2);
    EXPECT_FALSE(device->setLevel(quiet));
    EXPECT_FALSE(device->setLevel(quiet, VokarInfo::Report::logOnly));
    const std::wstring refused =
        L"Не удалось назначить уровень громкости '-44 дБ' устройству '02:7E:41:00:00:01'";
    EXPECT_EQ(capture_.find(refused, L"WARN").size(), 1u);
    EXPECT_EQ(capture_.find(refused, L"INFO").size(), 1u);
    emulated->setDecibels(-97);
    const std::optional<VokarInfo::Level> silent = device->readLevel();
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->decibels, -96);
    EXPECT_EQ(silent->percent, 0);

    device->lastStateTime = 0;
    EXPECT_THROW(device->setVolume(60), exception::Offline);
}

// The loudspeaker takes the volume but both its replies are lost: the cached volume must not
// make the way back look done.
TEST_F(VokarCommandsTest, LostRepliesLeaveNoStaleValueBehind) {
    auto [emulated, device] = connected(vokarV3_A110);
    ASSERT_TRUE(device->setVolume(30));
    const int asked = emulated->decibels();
    emulated->loseRepliesNext(2);
    EXPECT_FALSE(device->setVolume(10));
    EXPECT_NE(emulated->decibels(), asked);
    EXPECT_EQ(device->getKnownChannel(), VokarInfo::noChannel);
    ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_TRUE(device->setVolume(30));
    EXPECT_EQ(emulated->decibels(), asked);

    // A level given back is sent whatever the cache shows: a late reply of an earlier check can
    // show the level the loudspeaker had before an alarm raised it.
    const std::optional<VokarInfo::Level> kept = device->readLevel();
    ASSERT_TRUE(kept);
    emulated->setDecibels(-3);
    EXPECT_TRUE(device->setLevel(*kept));
    EXPECT_EQ(emulated->decibels(), asked);
    // Also when its status packets were missed meanwhile, as long as it answers.
    emulated->setDecibels(-3);
    device->lastStateTime = 0;
    EXPECT_TRUE(device->setLevel(*kept));
    EXPECT_EQ(emulated->decibels(), asked);
}

TEST_F(VokarCommandsTest, FirstGenerationKeepsTheVolumeWhileItPlaysItsOwnMemory) {
    auto [first, old] = connected(vokarA_2_01_72, 2);
    auto [later, current] = connected(vokarV3_A110, 3);
    old->setPlaybackTypeForce(playback::metaMemory);
    EXPECT_FALSE(old->setVolume(60));
    EXPECT_TRUE(
        capture_.contains(L"Вокар занят внутренним воспроизведением или сигналом ГОиЧС. Изменение уровня "
                          L"громкости не произошло",
                          L"NOTICE"));
    EXPECT_EQ(sent(*first), "");
    // Its own test tone is played at the volume the test chooses.
    old->setPlaybackTypeForce(playback::sine);
    EXPECT_TRUE(old->setVolume(60));
    EXPECT_EQ(sent(*first), "set vol 18:18");

    current->setPlaybackTypeForce(playback::metaMemory);
    EXPECT_TRUE(current->setVolume(60));
    EXPECT_EQ(sent(*later), "set vol -14");
}

TEST_F(VokarCommandsTest, ChannelSwitchesSetWhatTheLoudspeakerPlays) {
    auto [emulated, device] = connected(vokarV3_A121);
    using namespace playback;
    const std::vector<std::pair<AudioChannel, PlaybackType>> steps = {
        {1, voiceHighPriority},
        {4, voiceLowPriority},
        {0, none},
        {3, voiceHighRepeating},
        {7, voiceHighRepeating},
        {2, voiceHighPriority},
        {6, voiceLowPriority},
        {0, none},
    };
    std::string expected;
    for (const auto& [channel, type] : steps) {
        SCOPED_TRACE(channel);
        ASSERT_TRUE(device->switchChannel(channel));
        EXPECT_EQ(device->getKnownChannel(), channel);
        EXPECT_EQ(emulated->status().channel, channel);
        EXPECT_EQ(nameOf(device->getPlaybackType()), nameOf(type));
        expected += (expected.empty() ? "set ch " : "; set ch ") + std::to_string(channel);
    }
    EXPECT_EQ(sent(*emulated), expected);
    EXPECT_TRUE(capture_.contains(L"Switch channel to 6 for device 02:7E:41:00:00:01", L"TRACE"));
}

TEST_F(VokarCommandsTest, TheCurrentChannelIsNotAskedForAndNoChannelIsRefused) {
    auto [emulated, device] = connected(vokarV3_A110);
    ASSERT_EQ(device->getKnownChannel(), VokarInfo::noChannel);
    EXPECT_TRUE(device->switchChannel(VokarInfo::noChannel));
    ASSERT_TRUE(device->switchChannel(5));
    EXPECT_TRUE(device->switchChannel(5));
    // Refused before anything is sent, also the way round of this generation.
    EXPECT_FALSE(device->switchChannel(VokarInfo::noChannel));
    EXPECT_EQ(device->getKnownChannel(), 5u);
    EXPECT_EQ(sent(*emulated), "set ch 5");
    EXPECT_TRUE(capture_.contains(L"Skip changing channel. Already done. (channel=22)", L"DEBUG"));
    EXPECT_TRUE(capture_.contains(L"Skip changing channel. Already done. (channel=5)", L"DEBUG"));
    EXPECT_TRUE(capture_.contains(L"Внутренняя ошибка. Попытка переключить на неизвестный канал!", L"WARN"));

    auto [oldest, old] = connected(vokarA_1_01_69, 3);
    EXPECT_EQ(test::thrown<exception::UnsupportedByDevice>([old = old] { old->switchChannel(2); },
                                                           &exception::Base::description),
              L"VKA_1.01.70");
    EXPECT_TRUE(old->switchChannel(1));
    EXPECT_EQ(sentBesidesMemory(*oldest), "set ch 1");
}

TEST_F(VokarCommandsTest, SomeGenerationsTakeTheLongWayOrKeepTheRepeaterChannel) {
    struct Case {
        VokarVersion generation;
        AudioChannel from, to;
        std::string expected;  // none: refused, the channel stays
    };
    const std::vector<Case> cases = {
        // Generation 16 leaves channels 4 and 5 through 2 and 0.
        {vokarV3_A110, 4, 1, "set ch 2; set ch 0; set ch 1"},
        {vokarV3_A110, 5, 6, "set ch 2; set ch 0; set ch 6"},
        {vokarV3_A110, 6, 1, "set ch 1"},
        {vokarV3_A111, 4, 1, "set ch 1"},
        {vokarBx_1_01_80, 5, 1, "set ch 1"},
        // Generations 10 to 14 do not leave the repeater channel for discovery.
        {vokarB_1_00_56, 3, CHANNEL_DISCOVERY, ""},
        {vokarB_1_02_79, 3, CHANNEL_DISCOVERY, ""},
        {vokarB_1_00_56, 3, 1, "set ch 1"},
        {vokarA_3_00_01, 3, CHANNEL_DISCOVERY, "set ch 0"},
        {vokarBx_1_01_80, 3, CHANNEL_DISCOVERY, "set ch 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.generation) + ": " + std::to_string(c.from) + " -> " +
                     std::to_string(c.to));
        auto [emulated, device] = connected(c.generation);
        ASSERT_TRUE(device->switchChannel(c.from));
        emulated->clearReceived();
        EXPECT_EQ(device->switchChannel(c.to), !c.expected.empty());
        EXPECT_EQ(sent(*emulated), c.expected);
        const AudioChannel now = c.expected.empty() ? c.from : c.to;
        EXPECT_EQ(emulated->status().channel, now);
        EXPECT_EQ(device->getKnownChannel(), now);
    }
    EXPECT_EQ(capture_.find(L"Forbid to reset the repeater channel = 3", L"DEBUG").size(), 2u);

    // The repeating voice holds the loudspeaker on any channel.
    auto [emulated, device] = connected(vokarB_1_01_69);
    ASSERT_TRUE(device->switchChannel(5));
    device->setPlaybackTypeForce(playback::voiceHighRepeating);
    EXPECT_FALSE(device->switchChannel(CHANNEL_DISCOVERY));
    EXPECT_EQ(emulated->status().channel, 5u);
}

TEST_F(VokarCommandsTest, ADeferredOrFailedSwitchLeavesTheChannelUnknown) {
    auto [emulated, device] = connected(vokarV3_A121);
    emulated->setChannelDeferred(true);
    EXPECT_FALSE(device->switchChannel(4));
    EXPECT_EQ(device->getKnownChannel(), VokarInfo::noChannel);
    EXPECT_EQ(device->getPlaybackType(), playback::none);
    EXPECT_TRUE(capture_.contains(
        L"Changing of channel is deferred for device=7, message is 'change of channel is deferred'",
        L"DEBUG"));

    emulated->setChannelDeferred(false);
    ASSERT_TRUE(device->switchChannel(1));
    emulated->answerErrorNext(1);
    EXPECT_FALSE(device->switchChannel(4));
    EXPECT_EQ(device->getKnownChannel(), 1u);
    EXPECT_EQ(device->getPlaybackType(), playback::voiceHighPriority);
    EXPECT_TRUE(capture_.contains(L"Failure to switch channel to 4 for device 02:7E:41:00:00:01", L"TRACE"));
}

// A switch that fails with the unanswered request before it never went out: the channel stays known.
TEST_F(VokarCommandsTest, ASwitchFailedBeforeItWentOutKeepsTheChannel) {
    auto [emulated, device] = connected(vokarV3_A121);
    ASSERT_TRUE(device->switchChannel(1));
    emulated->on("get vol", [](const std::string&) { return std::optional<std::string>(); });
    device->checkResponding(true);
    EXPECT_FALSE(device->switchChannel(4));
    EXPECT_EQ(device->getKnownChannel(), 1u);
    EXPECT_EQ(sent(*emulated), "set ch 1; get vol; get vol");
}

TEST_F(VokarCommandsTest, TheChannelIsAskedOnlyWhenNotKnown) {
    auto [emulated, device] = connected(vokarV3_A110);
    emulated->answer("get ch", test::okReply("get ch", "7"));
    ASSERT_EQ(device->getKnownChannel(), VokarInfo::noChannel);
    EXPECT_EQ(device->getChannel(), 7u);
    EXPECT_EQ(device->getChannel(), 7u);
    EXPECT_EQ(sent(*emulated), "get ch");
    EXPECT_EQ(device->getKnownChannel(), 7u);

    struct Case {
        std::string reply;
        std::wstring line;
        std::wstring level;
    };
    const std::vector<Case> cases = {
        {"21", L"Получен неизвестный канал воспроизведения. (ch='21', response='21')", L"ERROR"},
        {"12abc", L"Значение канала некорректно.", L"WARN"},
        {"-1", L"Значение канала некорректно.", L"WARN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        emulated->answer("get ch", test::okReply("get ch", c.reply));
        auto fresh = connect(*emulated);
        const std::size_t lines = capture_.find(c.line, c.level).size();
        EXPECT_EQ(fresh->getChannel(), VokarInfo::noChannel);
        EXPECT_EQ(fresh->getKnownChannel(), VokarInfo::noChannel);
        EXPECT_EQ(capture_.find(c.line, c.level).size(), lines + 1);
    }

    // Playing an analog input the loudspeaker is on no channel of the head-end.
    ASSERT_TRUE(takeStatus(*emulated, *device, [](auto& s) { s.playbackState = 10; }));
    emulated->clearReceived();
    EXPECT_EQ(device->getChannel(), CHANNEL_DISCOVERY);
    EXPECT_EQ(device->getKnownChannel(), VokarInfo::noChannel);
    EXPECT_EQ(sent(*emulated), "");
}

TEST_F(VokarCommandsTest, AVoiceStreamFoundAtStartIsSentBackToDiscoveryOnce) {
    auto emulated = makeEmulator(vokarV3_A110);
    auto device = makeDevice();
    ASSERT_TRUE(takeStatus(*emulated, *device, [](auto& s) { s.playbackState = 1; }));
    EXPECT_TRUE(capture_.contains(L"Revert a channel to CHANNEL_DISCOVERY.", L"MARK"));
    ASSERT_TRUE(test::waitFor([&] { return device->getKnownChannel() == CHANNEL_DISCOVERY; }));
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(device->getPlaybackType(), playback::none);
    EXPECT_EQ(emulated->received().front(), "set ch 0");

    ASSERT_TRUE(takeStatus(*emulated, *device, [](auto& s) { s.playbackState = 4; }));
    EXPECT_EQ(queued(L"Switch channel to CHANNEL_DISCOVERY."), 1u);
}

TEST_F(VokarCommandsTest, PowerSupplyVersion) {
    auto [emulated, device] = connected(vokarV3_A110);
    emulated->setPowerSupplyVersion("1.02.7");
    for (int round = 0; round < 2; ++round) {
        const Version version = device->getPSSVersion();
        EXPECT_EQ(version.type, types::vokarBPSS);
        EXPECT_EQ((std::vector<int>{version.major, version.minor, static_cast<int>(version.revision)}),
                  (std::vector<int>{1, 2, 7}));
    }
    EXPECT_EQ(sent(*emulated), "get pssVer");

    emulated->setPowerSupplyVersion("1.x");
    device->clearCache();
    EXPECT_EQ(
        test::thrown<exception::UnexpectedResponseOfDevice>([device = device] { device->getPSSVersion(); },
                                                            &exception::UnexpectedResponseOfDevice::response),
        "1.x");
    EXPECT_TRUE(
        capture_.contains(L"Получен неправильный формат версии блока питания: 'Vokar-B-PSS 1.x'", L"WARN"));

    device->responding = false;
    EXPECT_EQ(device->getPSSVersion().text, "");
    EXPECT_EQ(emulated->receivedCount(), 2u);

    auto [first, old] = connected(vokarA_2_01_72, 3);
    EXPECT_THROW(old->getPSSVersion(), exception::UnsupportedByDevice);
    EXPECT_EQ(sent(*first), "");
}

TEST_F(VokarCommandsTest, SoundPressureTestPlaysAtFullVolumeAndRestoresIt) {
    struct Case {
        VokarVersion generation;
        // In dB; for the first generations the byte of both amplifier channels.
        std::int32_t level;
        std::int32_t percent;
        std::string commands;
    };
    const std::vector<Case> cases = {
        {vokarV3_A110, -21, 40, "get vol; startSine 1000; set vol 0; stopSine; set vol -21"},
        {vokarA_2_01_72, 0x24, 40, "get vol; sinus 1000; set vol 00:00; sinus off; set vol 24:24"},
        {vokarV3_A110, -45, 1, "get vol; startSine 1000; set vol 0; stopSine; set vol -45"},
        {vokarA_2_01_72, 0x50, 1, "get vol; sinus 1000; set vol 00:00; sinus off; set vol 50:50"},
    };
    test::ManualClock clock;
    std::vector<Loudspeaker> loudspeakers;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commands);
        loudspeakers.push_back(atLevel(c.generation, c.level, 2 + static_cast<int>(loudspeakers.size())));
        const auto& [emulated, device] = loudspeakers.back();
        ASSERT_TRUE(device->testSoundPressure(1));
        EXPECT_TRUE(emulated->tonePlaying());
        EXPECT_EQ(device->volume.load(), 100);
        EXPECT_EQ(device->getPlaybackType(), playback::sine);
    }
    EXPECT_TRUE(capture_.contains(L"Тест звукового давления, продолжительность = 1 секунд", L"INFO"));
    EXPECT_EQ(capture_.find(L"description 'Start sound pressure test', delay=1000").size(), cases.size());

    // The stop jobs fall due, and run once the dispatcher looks at the clock again.
    clock.advance(std::chrono::seconds(1));
    ASSERT_TRUE(test::waitForDispatcher());
    for (std::size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(cases[n].commands);
        const auto& [emulated, device] = loudspeakers[n];
        // Full during the test, the volume shows again once the level was given back.
        ASSERT_TRUE(test::waitFor(
            [&device = device, percent = cases[n].percent] { return device->volume.load() == percent; }));
        EXPECT_EQ(sentBesidesMemory(*emulated), cases[n].commands);
        EXPECT_FALSE(emulated->tonePlaying());
        EXPECT_EQ(device->getPlaybackType(), playback::none);
    }

    // A test started over a running one, stopped early, returns to the volume from before both.
    auto [emulated, device] = atFortyPercent(vokarV3_A110, 2 + static_cast<int>(cases.size()));
    ASSERT_TRUE(device->testSoundPressure(30));
    EXPECT_TRUE(capture_.contains(L"description 'Start sound pressure test', delay=30000"));
    ASSERT_TRUE(device->testSoundPressure(30));
    EXPECT_EQ(emulated->decibels(), 0);
    ASSERT_TRUE(device->testSoundPressure(0));
    EXPECT_FALSE(emulated->tonePlaying());
    EXPECT_EQ(emulated->decibels(), -21);
    EXPECT_EQ(sent(*emulated), "get vol; startSine 1000; set vol 0; startSine 1000; stopSine; set vol -21");

    // Nothing runs any more: a stop now only stops the tone.
    emulated->clearReceived();
    ASSERT_TRUE(device->testSoundPressure(0));
    EXPECT_EQ(sent(*emulated), "stopSine");

    // Releasing the audio memory ends a running test at once.
    ASSERT_TRUE(device->testSoundPressure(30));
    emulated->clearReceived();
    device->releaseAudioMemory();
    EXPECT_EQ(sent(*emulated), "stopSine; set vol -21");
    EXPECT_EQ(device->getPlaybackType(), playback::none);
}

TEST_F(VokarCommandsTest, EveryFailedSoundPressureTestEndsSilentAtTheOldVolume) {
    struct Case {
        std::string name;
        std::string spoiled;                // the command that goes wrong
        std::optional<std::string> answer;  // none: never answered
        std::string expected;               // what the loudspeaker receives, when it is certain
    };
    const std::vector<Case> cases = {
        {"volume not known", "get vol", "ERR[get vol]: busy", "get vol"},
        {"start refused", "startSine", "ERR[startSine]: amplifier fault", "get vol; startSine 1000"},
        {"full volume refused", "set vol 0", "ERR[set vol]: amplifier fault",
         "get vol; startSine 1000; set vol 0; stopSine; set vol -21"},
        {"full volume not answered", "set vol 0", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [emulated, device] = atFortyPercent(vokarV3_A110);
        if (c.spoiled == "get vol") device->volume = kUnknownVolume;
        emulated->on(c.spoiled, [answer = c.answer](const std::string&) { return answer; });
        EXPECT_FALSE(device->testSoundPressure(30));
        EXPECT_FALSE(emulated->tonePlaying());
        EXPECT_EQ(emulated->decibels(), -21);
        EXPECT_NE(device->getPlaybackType(), playback::sine);
        if (!c.expected.empty()) {
            EXPECT_EQ(sent(*emulated), c.expected);
        }
        // No stop is left queued to undo a later test.
        emulated->clearReceived();
        device->testSoundPressure(0);
        EXPECT_EQ(sent(*emulated), "stopSine");
    }
    EXPECT_TRUE(capture_.contains(
        L"Тест звукового давления не запущен: уровень громкости устройства '02:7E:41:00:00:01' неизвестен",
        L"WARN"));

    // A duration whose milliseconds do not fit the dispatcher's delay is refused before anything is sent.
    auto [emulated, device] = atFortyPercent(vokarV3_A110);
    EXPECT_FALSE(device->testSoundPressure(4294968));
    EXPECT_EQ(sent(*emulated), "");
}

TEST_F(VokarCommandsTest, DeviceSelfTest) {
    auto [emulated, device] = connected(vokarV3_A125);
    EXPECT_FALSE(device->isTestRunning());
    const auto refusal = [&device = device] {
        return test::thrown<exception::UserResponse>([&] { device->startDeviceTest(); },
                                                     &exception::Base::message);
    };
    emulated->answerErrorNext(1);
    EXPECT_EQ(refusal(), L"testFailure");
    EXPECT_NO_THROW(device->startDeviceTest());
    EXPECT_EQ(emulated->status().selfTest, 1u);
    ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
    EXPECT_TRUE(device->isTestRunning());
    EXPECT_EQ(refusal(), L"testIsRunning");
    EXPECT_EQ(sent(*emulated), "deviceTest; deviceTest; deviceTest");

    auto [earlier, old] = connected(vokarV3_A121, 3);
    EXPECT_EQ(test::thrown<exception::UnsupportedByDevice>([old = old] { old->startDeviceTest(); },
                                                           &exception::Base::description),
              L"V3_A125");
    EXPECT_EQ(sent(*earlier), "");
}

TEST_F(VokarCommandsTest, ASilencedLoudspeakerShowsNoSoundUnlessItPlaysItself) {
    auto emulated = makeEmulator(vokarV3_A121);
    changeStatus(*emulated, [](auto& s) { s.soundPressure = 4; });
    auto device = connect(*emulated);
    EXPECT_TRUE(device->getState().health.soundActive);
    device->volume = 0;
    EXPECT_FALSE(device->getState().health.soundActive);
    device->setPlaybackTypeForce(playback::sine);
    EXPECT_TRUE(device->getState().health.soundActive);
}

}  // namespace
