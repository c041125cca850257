// The player over the engine: next, previous, the end of a playlist, failures, positions out of
// range and capture devices, as heard on the common stream.

#include <gtest/gtest.h>

#include <fstream>

#include "audio/AudioStartup.h"
#include "audio/Player.h"
#include "support/FakeGuiThread.h"
#include "support/PulseServer.h"
#include "tests/audio/AudioFixture.h"

namespace {

using test::StreamReceiver;

class PlayerTest : public test::AudioFixture {
protected:
    void SetUp() override {
        AudioFixture::SetUp();
        startEngine();
        player_ = std::make_unique<Player>(engine_);
    }
    void TearDown() override {
        player_.reset();
        AudioFixture::TearDown();
    }

    std::shared_ptr<Playlist> playlistOf(const std::vector<std::wstring>& paths, bool repeat) {
        auto playlist = std::make_shared<Playlist>(L"test", repeat);
        for (const auto& path : paths) playlist->add(L"item", path);
        playlist->setCallbackIfPlaying([this](bool playing, bool finished) {
            std::lock_guard<std::mutex> guard(lock_);
            notices_.push_back({playing, finished});
        });
        return playlist;
    }
    // Whether what the receiver gets from now on comes to carry `hertz`.
    static bool hears(StreamReceiver& receiver, double hertz) {
        receiver.clear();
        return waitForTone(receiver, hertz);
    }
    std::vector<std::pair<bool, bool>> notices() {
        std::lock_guard<std::mutex> guard(lock_);
        return notices_;
    }

    std::unique_ptr<Player> player_;
    std::mutex lock_;
    std::vector<std::pair<bool, bool>> notices_;
};

TEST_F(PlayerTest, NextAndPreviousAreHeard) {
    StreamReceiver receiver(group_, basePort_ + 1);
    auto playlist = playlistOf({L"sine://500", L"sine://1000", L"sine://2000"}, false);
    ASSERT_TRUE(player_->play(playlist));
    EXPECT_TRUE(hears(receiver, 500));
    ASSERT_TRUE(player_->next());
    EXPECT_TRUE(hears(receiver, 1000));
    ASSERT_TRUE(player_->play(2));
    EXPECT_TRUE(hears(receiver, 2000));
    ASSERT_TRUE(player_->previous());
    EXPECT_TRUE(hears(receiver, 1000));
    EXPECT_EQ(player_->getPlayingState(), 1);
}

TEST_F(PlayerTest, TheEndOfAPlaylistStopsWithoutRepeatAndStartsAgainWithIt) {
    const std::string first = files_.file("first.wav");
    const std::string second = files_.file("second.wav");
    test::writeSineWav(first, 600, 0.5);
    test::writeSineWav(second, 900, 0.5);
    auto once = playlistOf({base::fromUtf8(first), base::fromUtf8(second)}, false);
    ASSERT_TRUE(player_->play(once));
    ASSERT_TRUE(test::waitFor([&] { return player_->getPlayingState() == 0; }, std::chrono::seconds(30)));
    EXPECT_EQ(once->getCurrentPosition(), 0u);
    EXPECT_FALSE(once->isPlayable());
    EXPECT_TRUE(test::waitFor([&] { return !mp3stream_is_running(stream_); }));

    auto repeating = playlistOf({base::fromUtf8(first), base::fromUtf8(second)}, true);
    ASSERT_TRUE(player_->play(repeating));
    // Past the second item and round to the first again.
    ASSERT_TRUE(
        test::waitFor([&] { return repeating->getCurrentPosition() == 1; }, std::chrono::seconds(30)));
    ASSERT_TRUE(
        test::waitFor([&] { return repeating->getCurrentPosition() == 0; }, std::chrono::seconds(30)));
    EXPECT_EQ(player_->getPlayingState(), 1);
}

TEST_F(PlayerTest, ABrokenFileStopsWithItsNoticeAndOutOfRangePlaysNothing) {
    const std::string broken = files_.file("broken.mp3");
    std::ofstream(broken) << "no audio here";
    auto playlist = playlistOf({base::fromUtf8(broken), L"sine://800"}, false);
    ASSERT_TRUE(player_->play(playlist));
    ASSERT_TRUE(test::waitFor([&] { return player_->getPlayingState() == 0; }, std::chrono::seconds(30)));
    ASSERT_TRUE(test::waitFor([&] {
        const auto all = notices();
        return all.size() >= 2 && all.back() == std::make_pair(false, false);
    }));

    EXPECT_FALSE(player_->play(5));
    EXPECT_FALSE(player_->play(-1));
    EXPECT_TRUE(capture_.contains(L"Position 5 is outside the playlist", L"WARN"));
    StreamReceiver receiver(group_, basePort_ + 1);
    ASSERT_TRUE(player_->play(1));
    EXPECT_TRUE(hears(receiver, 800));

    playlist->clear();
    EXPECT_FALSE(player_->play());
    EXPECT_EQ(player_->getPlayingState(), 0);
    Player empty(engine_);
    EXPECT_FALSE(empty.play(0));
    EXPECT_TRUE(capture_.contains(L"Аудио не запущено", L"WARN"));
}

TEST_F(PlayerTest, ACaptureDeviceIsHeardAndAnUnknownOneIsRefused) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    pulse.playTone(1200);
    StreamReceiver receiver(group_, basePort_ + 1);
    auto playlist =
        playlistOf({L"adev://" + base::fromUtf8(test::PulseServer::kSource), L"adev://Nothing"}, false);
    ASSERT_TRUE(player_->play(playlist));
    EXPECT_TRUE(hears(receiver, 1200));
    EXPECT_FALSE(player_->next());
    EXPECT_TRUE(
        capture_.contains(L"Неизвестное аудио-устройство 'Nothing' (возможно было отключено)", L"WARN"));
    EXPECT_EQ(player_->getPlayingState(), 0);
}

TEST_F(PlayerTest, StartUpStreamsAtOnceOnlyWithoutZeroPing) {
    player_.reset();
    stopEngine();
    pref::setBool(setting::multicastZeroPing.key, false);
    StreamReceiver receiver(group_, basePort_ + 1);
    ASSERT_TRUE(audio::startUp(kShippedPlugins, nullptr));
    // Silence in a transport stream, not keep-alives.
    ASSERT_TRUE(receiver.waitForCount(10));
    const auto stream = test::readTransportStream(receiver.payloads());
    EXPECT_TRUE(stream.patSeen);
    EXPECT_EQ(stream.audioPids.size(), 1u);
    audio::stopPlaying();
    audio::shutDown();
}

}  // namespace
