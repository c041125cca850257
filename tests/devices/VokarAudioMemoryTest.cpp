// The loudspeaker's audio memory: the layout its generation has, what the memory learns of the
// loudspeaker's playback type, and what the loudspeaker asks its memory when its own report of
// what it plays cannot be trusted.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VokarFixture.h"
#include "devicelink/IAudioControl.h"
#include "devices/PlaybackType.h"
#include "foundation/Exceptions.h"
#include "support/AudioFlash.h"

namespace test {
namespace {

class VokarAudioMemoryTest : public VokarFixture {};

TEST_F(VokarAudioMemoryTest, BuildsTheLayoutOfItsGeneration) {
    const struct {
        device::VokarVersion generation;
        AudioFlash::Words words;
        char version;  // in the flash's first byte after a write
        std::int16_t firstId;
    } cases[] = {
        {device::vokarV3_Higher, AudioFlash::Words::voice, 4, 1},
        {device::vokarBx_1_01_80, AudioFlash::Words::voice, 4, 1},
        {device::vokarB_1_02_79, AudioFlash::Words::voice, 3, 0},
        {device::vokarA_3_00_01, AudioFlash::Words::voice, 3, 0},
        {device::vokarA_2_01_72, AudioFlash::Words::older, 2, 0},
        {device::vokarA_1_01_69, AudioFlash::Words::older, 2, 0},
    };
    // Each on an address of its own: the settings read that building a memory queues may reach
    // the loudspeaker only after the next case began.
    int host = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.generation);
        auto loudspeaker = connected(c.generation, host++);
        AudioFlash flash(*loudspeaker.emulated, 4096, c.words);
        const auto memory = loudspeaker.device->getAudioMemory(true, true);
        ASSERT_NE(memory, nullptr);
        EXPECT_EQ(memory->addFragment("gong", L"Гонг"), c.firstId);
        memory->writeChanges(nullptr);
        ASSERT_TRUE(waitFor([&] { return memory->getWriteProgress() == 100; }));
        EXPECT_EQ(flash.flash().contents()[0], c.version);
    }
}

// A write refused while the loudspeaker plays from its memory ends, for whoever follows its progress.
TEST_F(VokarAudioMemoryTest, AWriteRefusedWhileTheMemoryPlaysEndsAtMinusOne) {
    auto loudspeaker = connected(device::vokarA_2_01_72);
    const auto memory = loudspeaker.device->getAudioMemory(true, true);
    memory->addFragment("gong", L"Гонг");
    // Its status packets say that it plays a scenario of its memory.
    loudspeaker.device->setPlaybackTypeForce(device::playback::scenario);
    loudspeaker.emulated->clearReceived();
    std::vector<int> progress;
    EXPECT_EQ(thrown<exception::UserResponse>(
                  [&] { memory->writeChanges([&](int percent) { progress.push_back(percent); }); },
                  &exception::Base::message),
              L"internalPlaying");
    EXPECT_EQ(progress, std::vector<int>{-1});
    EXPECT_EQ(memory->getWriteProgress(), -1);
    for (const std::string& command : loudspeaker.emulated->received())
        EXPECT_NE(command.rfind("aflash ", 0), 0u) << command;
}

// A line-control module that does not answer fails only its own request: the memory's write whose
// pieces wait behind it is written.
TEST_F(VokarAudioMemoryTest, AWriteQueuedBehindASilentLineModuleIsWritten) {
    using Fault = EmulatedDevice::Fault;
    auto loudspeaker = connected(device::vokarV3_Higher);
    AudioFlash flash(*loudspeaker.emulated, 4096);
    const auto memory = loudspeaker.device->getAudioMemory(true, true);
    // The settings read that building the memory made asks the module for its version: it is over
    // once the versions are told.
    ASSERT_TRUE(waitFor([&] { return capture_.contains(L"прошивка контроля линии", L"INFO"); }));
    EXPECT_TRUE(loudspeaker.device->parseState(loudspeaker.emulated->statusPacket(),
                                               loudspeaker.emulated->address()));
    memory->addFragment(std::string(2000, 'g'), L"Гонг");
    // The first piece goes unanswered once, so the module's request comes while the others wait.
    loudspeaker.emulated->faultOn("voiceMemProgram", 0, Fault::silence);
    const auto end = std::make_shared<std::atomic<int>>(0);
    memory->writeChanges([end](int percent) {
        if (percent == 100 || percent < 0) *end = percent;
    });
    ASSERT_TRUE(waitFor([&] {
        for (const std::string& command : loudspeaker.emulated->received())
            if (command.rfind("voiceMemProgram", 0) == 0) return true;
        return false;
    }));
    std::thread module([line = loudspeaker.device->getLineControl()] { line->requestTipDevices(); });
    ASSERT_TRUE(waitFor([&] { return *end != 0; }));
    module.join();
    EXPECT_EQ(*end, 100);
    const auto received = loudspeaker.emulated->received();
    EXPECT_NE(std::find(received.begin(), received.end(), "lsensor"), received.end());
    EXPECT_EQ(flash.flash().contents()[0], 4);
}

// A write that fails drops the pieces it queued: none of them reaches the loudspeaker once the
// failure is told, but the one that was on its way then.
TEST_F(VokarAudioMemoryTest, AFailedWriteDropsThePiecesItQueued) {
    using Fault = EmulatedDevice::Fault;
    auto loudspeaker = connected(device::vokarV3_Higher);
    AudioFlash flash(*loudspeaker.emulated, 65536);
    const auto memory = loudspeaker.device->getAudioMemory(true, true);
    memory->addFragment(std::string(16000, 'g'), L"Гонг");
    const auto pieces = [&] {
        const auto received = loudspeaker.emulated->received();
        return std::count_if(received.begin(), received.end(), [](const std::string& command) {
            return command.rfind("voiceMemProgram", 0) == 0;
        });
    };
    loudspeaker.emulated->faultOn("voiceMemProgram", 0, Fault::error, 1000);
    // Most pieces are still queued when the first one's failure is told.
    loudspeaker.emulated->setDelay(std::chrono::milliseconds(20));
    const auto atEnd = std::make_shared<std::atomic<long>>(-1);
    memory->writeChanges([&pieces, atEnd](int percent) {
        if (percent < 0) *atEnd = static_cast<long>(pieces());
    });
    ASSERT_TRUE(waitFor([&] { return *atEnd >= 0; }));
    // Sent after every request queued before it.
    std::atomic<bool> last{false};
    transport_->async(
        loudspeaker.emulated->address(), "get vol", [&last](const std::string&, bool) { last = true; }, 0,
        1000);
    ASSERT_TRUE(waitFor([&] { return last.load(); }));
    EXPECT_LE(pieces(), *atEnd + 1);
}

TEST_F(VokarAudioMemoryTest, FollowsThePlaybackTypeOfTheLoudspeaker) {
    auto loudspeaker = connected(device::vokarV3_Higher);
    loudspeaker.emulated->answer("lsensor ver", "OK[lsensor ver]: 1.02.3,hwaddr 02:7E:41:00:10:01");
    AudioFlash flash(*loudspeaker.emulated, 4096);
    const auto memory = loudspeaker.device->getAudioMemory(true, true);
    memory->addFragment("gong", L"Гонг");
    memory->writeChanges(nullptr);
    ASSERT_TRUE(waitFor([&] { return memory->getWriteProgress() == 100; }));

    // The settings read that building the memory made asks for the versions a moment later: the
    // play waits until they are told, so that the loudspeaker gets nothing but the play.
    ASSERT_TRUE(waitFor([&] { return capture_.contains(L"прошивка контроля линии", L"INFO"); }));
    ASSERT_TRUE(waitForDispatcher());
    loudspeaker.emulated->clearReceived();
    memory->playFragment(1);
    EXPECT_EQ(loudspeaker.device->getPlaybackType(), device::playback::fragment);
    EXPECT_EQ(sent(*loudspeaker.emulated), "voicePlay 1; set ch 0");

    // Playing from its memory, as its status packets say, is known without asking.
    loudspeaker.emulated->clearReceived();
    loudspeaker.device->setPlaybackTypeForce(device::playback::scenario);
    EXPECT_TRUE(memory->isPlaying());
    EXPECT_TRUE(loudspeaker.emulated->received().empty());
    // What the loudspeaker plays now may not be stopped by the operator.
    EXPECT_EQ(thrown<exception::UserResponse>([&] { memory->stop(); }, &exception::Base::message), L"busy");
    EXPECT_TRUE(flash.playing());
}

TEST_F(VokarAudioMemoryTest, AFirstGenerationPlayingItsMemoryUnannouncedCountsAsPlaying) {
    using device::VokarInfo;
    struct Case {
        std::string name;
        device::VokarVersion generation;
        bool memoryPlays;
        bool memoryReadable;
        std::function<bool(VokarInfo&)> operation;
        bool taken;
        device::PlaybackType typeAfter;
        bool memoryAsked;
    };
    const auto volume = [](VokarInfo& device) { return device.setVolume(60); };
    const auto channel = [](VokarInfo& device) { return device.switchChannel(1); };
    using namespace device;
    const std::vector<Case> cases = {
        {"the volume of the last first generation", vokarA_2_01_72, true, true, volume, false,
         playback::scenarioServer, true},
        {"the volume of the first one", vokarA_1_01_69, true, true, volume, false, playback::scenarioServer,
         true},
        {"a channel", vokarA_2_01_72, true, true, channel, false, playback::scenarioServer, true},
        {"a silent memory", vokarA_2_01_72, false, true, volume, true, playback::none, true},
        {"a memory that cannot be read", vokarA_2_01_72, true, false, volume, true, playback::none, false},
        // The later generations report what their memory plays in their status packets.
        {"a later generation", vokarA_3_00_01, true, true, volume, true, playback::none, false},
    };
    int host = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto loudspeaker = connected(c.generation, host++);
        loudspeaker.emulated->audioFlash().setPlaying(c.memoryPlays);
        if (!c.memoryReadable) loudspeaker.emulated->audioFlash().setReportedSize("many");
        EXPECT_EQ(c.operation(*loudspeaker.device), c.taken);
        EXPECT_EQ(loudspeaker.device->getPlaybackType(), c.typeAfter);
        EXPECT_EQ(sentBesidesMemory(*loudspeaker.emulated).empty(), !c.taken);
        const auto received = loudspeaker.emulated->received();
        EXPECT_EQ(std::count(received.begin(), received.end(), "aisplay") == 1, c.memoryAsked);
    }
    EXPECT_EQ(
        capture_
            .find(L"Внутренний тип воспроизведения прибора не совпадает со статусом воспроизведения памяти. "
                  L"(none)",
                  L"ERROR")
            .size(),
        3u);
    EXPECT_EQ(capture_.find(L"Вокар занят внутренним воспроизведением или сигналом ГОиЧС", L"NOTICE").size(),
              2u);
}

TEST_F(VokarAudioMemoryTest, AStatePacketThatEndsTheMemorysPlaybackIsCheckedWithTheMemory) {
    struct Case {
        std::string name;
        bool memoryPlays;
        bool memoryReadable;
        const wchar_t* line;
        const wchar_t* level;
        device::PlaybackType typeAfter;
    };
    using namespace device;
    const std::vector<Case> cases = {
        {"the memory still plays", true, true, L"Mismatch state packet and playing status of Vokar.",
         L"EXTERN", playback::scenarioMisstate},
        {"the memory is silent", false, true,
         L"Playing an audio message of a vokar was stopped. Possible reasons are 1) a command from the "
         L"NERIDA "
         L"2) rebooting of the vokar 3) mismatch playback statuses.",
         L"EXTERN", playback::none},
        // The next packet decides then.
        {"the memory cannot be read", false, false, L"The audio memory does not tell whether it plays",
         L"DEBUG", playback::scenarioMisstate},
    };
    int host = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A generation that deduces nothing from a packet equal to the last one.
        auto [emulated, device] = connected(vokarV3_A110, host++);
        emulated->audioFlash().setPlaying(c.memoryPlays);
        if (!c.memoryReadable) emulated->audioFlash().setReportedSize("many");
        device->setPlaybackTypeForce(playback::scenario);
        ASSERT_TRUE(device->parseState(emulated->statusPacket(), emulated->address()));
        ASSERT_TRUE(waitFor([&] { return capture_.contains(c.line, c.level); }));
        ASSERT_TRUE(waitFor([&c, device = device] { return device->getPlaybackType() == c.typeAfter; }));
        ASSERT_TRUE(waitForDispatcher());
        EXPECT_EQ(device->getPlaybackType(), c.typeAfter);
        EXPECT_EQ(capture_.find(c.line, c.level).size(), 1u);
    }
    EXPECT_EQ(queued(L"check mismatching playback statuses"), cases.size());
}

}  // namespace
}  // namespace test
