// The loudspeaker's audio memory: the layout its generation has, and what the memory learns of
// the loudspeaker's playback type.

#include "VokarFixture.h"
#include "devicelink/IAudioControl.h"
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.generation);
        auto loudspeaker = connected(c.generation);
        AudioFlash flash(*loudspeaker.emulated, 4096, c.words);
        const auto memory = loudspeaker.device->getAudioMemory(true, true);
        ASSERT_NE(memory, nullptr);
        EXPECT_EQ(memory->addFragment("gong", L"Гонг"), c.firstId);
        memory->writeChanges(nullptr);
        ASSERT_TRUE(waitFor([&] { return memory->getWriteProgress() == 100; }));
        EXPECT_EQ(flash.flash().contents()[0], c.version);
    }
}

TEST_F(VokarAudioMemoryTest, FollowsThePlaybackTypeOfTheLoudspeaker) {
    auto loudspeaker = connected(device::vokarV3_Higher);
    AudioFlash flash(*loudspeaker.emulated, 4096);
    const auto memory = loudspeaker.device->getAudioMemory(true, true);
    memory->addFragment("gong", L"Гонг");
    memory->writeChanges(nullptr);
    ASSERT_TRUE(waitFor([&] { return memory->getWriteProgress() == 100; }));

    memory->playFragment(1);
    EXPECT_EQ(loudspeaker.device->getPlaybackType(), device::playback::fragment);
    EXPECT_EQ(loudspeaker.emulated->received().back(), "set ch 0");

    // Playing from its memory, as its status packets say, is known without asking.
    loudspeaker.emulated->clearReceived();
    loudspeaker.device->setPlaybackTypeForce(device::playback::scenario);
    EXPECT_TRUE(memory->isPlaying());
    EXPECT_TRUE(loudspeaker.emulated->received().empty());
    // What the loudspeaker plays now may not be stopped by the operator.
    EXPECT_EQ(thrown<exception::UserResponse>([&] { memory->stop(); }, &exception::Base::message), L"busy");
    EXPECT_TRUE(flash.playing());
}

}  // namespace
}  // namespace test
