// The player channel on emulated loudspeakers: its four refusals, the volume actions of a start
// with their results by device, the chosen loudspeakers at the volume and the others muted, a
// service message that gives every loudspeaker its level and mute back however its playing ends,
// and loudspeakers that do not answer holding up neither the playlist nor the others.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "audio/AlarmChannel.h"
#include "audio/Player.h"
#include "audio/PlayerChannel.h"
#include "audio/mp3streamf.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/LoudspeakerSite.h"
#include "tests/audio/AudioFixture.h"

namespace {

using frm::PlayerChannel;

class PlayerChannelTest : public test::AudioFixture {
protected:
    void SetUp() override {
        AudioFixture::SetUp();
        site_ = std::make_unique<test::LoudspeakerSite>(loudspeakers_, basePort_);
        ASSERT_TRUE(site_->waitOnline());
        startEngine();
        player_ = std::make_unique<Player>(engine_);
        stream_ = std::make_unique<mp3streamf>(mp3streamf::targetFromSettings());
        alarm_ = std::make_unique<frm::AlarmChannel>(*stream_, site_->registry());
        channel_ = std::make_unique<PlayerChannel>(*player_, *alarm_, site_->registry());
        playlist_ = std::make_shared<Playlist>(L"Музыка", true);
        playlist_->add(L"tone", L"sine://1000");
    }
    void TearDown() override {
        channel_.reset();
        alarm_.reset();
        stream_.reset();
        player_.reset();
        site_.reset();
        AudioFixture::TearDown();
    }
    // The loudspeakers' levels in dB.
    std::vector<std::int32_t> levels() {
        std::vector<std::int32_t> all;
        for (std::size_t n = 0; n < site_->size(); ++n) all.push_back(site_->emulator(n).decibels());
        return all;
    }
    bool refused(const frm::Targets& targets, const std::wstring& notice) {
        const bool played = channel_->play(playlist_, 50, targets);
        EXPECT_TRUE(capture_.contains(notice, L"NOTICE")) << base::toUtf8(notice);
        return !played;
    }
    // Waits until the registry has read a status packet that loudspeaker n sent after the call. One
    // sent before a switch of its channel and read after the switch shows it as it was; the packets
    // read after this one show it as it is.
    bool heardSinceNow(std::size_t n) {
        test::LoudspeakerEmulator::Status status = site_->emulator(n).status();
        status.batteryLevel = status.batteryLevel == 100 ? 90 : 100;
        site_->emulator(n).setStatus(status);
        return test::waitFor(
            [&] { return site_->device(n)->getState().batteryLevel == status.batteryLevel; });
    }

    std::size_t loudspeakers_ = 4;
    std::unique_ptr<test::LoudspeakerSite> site_;
    std::unique_ptr<Player> player_;
    std::unique_ptr<mp3streamf> stream_;
    std::unique_ptr<frm::AlarmChannel> alarm_;
    std::unique_ptr<PlayerChannel> channel_;
    std::shared_ptr<Playlist> playlist_;
};

TEST_F(PlayerChannelTest, RefusesWithoutDevicesBesideAnAlarmOverAnAnnouncementAndTheSamePlaylistTwice) {
    EXPECT_TRUE(refused({}, L"Не выбрано ни одного устройства"));

    const std::string message = files_.file("alarm.mp3");
    ASSERT_TRUE(test::writeSineMp3(message, 700, 8));
    frm::AlarmChannel::Broadcast alarm;
    alarm.priority = 3;
    alarm.messagePath = base::fromUtf8(message);
    alarm.targets = site_->targets({0});
    ASSERT_TRUE(alarm_->launch(alarm));
    EXPECT_TRUE(refused(site_->targets({1}), L"Идёт приоритетное оповещение"));
    alarm_->stop();
    ASSERT_TRUE(test::waitFor([this] { return !alarm_->isBusy(); }, std::chrono::seconds(30)));
    // Until then a packet sent during the alarm may show the loudspeaker on it still.
    ASSERT_TRUE(heardSinceNow(0));

    // Switched again until taken: under load an answer may come too late.
    ASSERT_TRUE(test::waitFor([this] { return site_->device(2)->switchChannel(1); }));
    ASSERT_TRUE(heardSinceNow(2));
    EXPECT_TRUE(refused(site_->targets({1, 2}), L"воспроизводит оповещение с более высоким приоритетом"));

    ASSERT_TRUE(channel_->play(playlist_, 50, site_->targets({0, 1})));
    EXPECT_TRUE(refused(site_->targets({0, 1}), L"Плейлист 'Музыка' уже воспроизводится"));  // queued
    ASSERT_TRUE(test::waitFor([this] { return channel_->isPlaying() && !channel_->isStartPending(); }));
    EXPECT_TRUE(refused(site_->targets({0, 1}), L"Плейлист 'Музыка' уже воспроизводится"));  // playing
    EXPECT_TRUE(channel_->play(playlist_, 50, site_->targets({0})));
}

TEST_F(PlayerChannelTest, AStartSetsTheChosenVolumeMutesTheOthersAndKeepsTheResultsByDevice) {
    site_->emulator(3).setSilent(true);
    site_->emulator(1).faultOn("set vol", 0, test::EmulatedDevice::Fault::error, 1);
    test::StreamReceiver receiver(group_, basePort_ + 1);
    ASSERT_TRUE(channel_->play(playlist_, 60, site_->targets({0, 1, 3})));
    EXPECT_TRUE(channel_->isStartPending());
    ASSERT_TRUE(test::waitFor([this] { return channel_->isPlaying() && !channel_->isStartPending(); },
                              std::chrono::seconds(30)));
    ASSERT_TRUE(waitForAudio(receiver, 0.5));
    // Told once the silent one's step is done, after the start, in one text with the one that
    // refused: its own refusal opens no box.
    const std::wstring failed = L"Не удалось установить громкость устройствам:\\A";
    ASSERT_TRUE(test::waitFor([&] { return capture_.contains(failed, L"WARN"); }));
    const auto told = capture_.find(failed, L"WARN");
    ASSERT_EQ(told.size(), 1u);
    for (const std::size_t n : {1, 3})
        EXPECT_NE(told[0].message.find(site_->device(n)->getDisplayName()), std::wstring::npos) << n;
    EXPECT_FALSE(capture_.contains(L"Не удалось назначить уровень громкости '60'", L"WARN"));
    EXPECT_TRUE(capture_.contains(L"Не удалось назначить уровень громкости '60'", L"INFO"));

    const auto actions = channel_->getLastActions();
    ASSERT_EQ(actions.size(), 2u);
    const auto chosen = std::dynamic_pointer_cast<frm::ActionResults<bool>>(actions[0])->getResults();
    const auto muted = std::dynamic_pointer_cast<frm::ActionResults<bool>>(actions[1])->getResults();
    const std::map<std::shared_ptr<device::DeviceBase>, std::optional<bool>> expectedChosen = {
        {site_->device(0), true}, {site_->device(1), false}, {site_->device(3), false}};
    EXPECT_EQ(chosen, expectedChosen);
    const std::map<std::shared_ptr<device::DeviceBase>, std::optional<bool>> expectedMuted = {
        {site_->device(2), true}};
    EXPECT_EQ(muted, expectedMuted);
    const auto failedDevices = actions[0]->getFailed();
    EXPECT_EQ(std::set<std::shared_ptr<device::DeviceBase>>(failedDevices.begin(), failedDevices.end()),
              (std::set<std::shared_ptr<device::DeviceBase>>{site_->device(1), site_->device(3)}));
    EXPECT_EQ(site_->device(0)->volume.load(), 60);
    EXPECT_EQ(site_->emulator(2).decibels(), -96);

    channel_->stop();
    ASSERT_TRUE(test::waitFor([this] { return !channel_->isPlaying(); }));
}

TEST_F(PlayerChannelTest, AServiceMessageGivesEveryLoudspeakerItsLevelAndMuteBackHoweverItsPlayingEnds) {
    const std::string shortMessage = files_.file("short.mp3");
    const std::string longMessage = files_.file("long.mp3");
    ASSERT_TRUE(test::writeSineMp3(shortMessage, 700, 2));
    ASSERT_TRUE(test::writeSineMp3(longMessage, 700, 30));
    channel_->setSelectionProvider([this] { return site_->targets({0, 1}); });
    // Read from the loudspeakers as they are: the last one muted by an earlier playlist.
    const std::vector<std::int32_t> before = {-19, -4, -27, -96};
    const struct {
        const char* name;
        std::function<void()> end;
        // Of the last loudspeaker, which a playlist for all of them turns on again.
        std::int32_t lastLevel;
    } cases[] = {
        {"its end", nullptr, -96},
        {"the stop", [this] { channel_->stop(); }, -96},
        {"a playlist of the player", [this] { player_->play(playlist_); }, -96},
        {"a playlist for all",
         [this] {
             channel_->play(playlist_, -1, site_->targets({0, 1, 2, 3}));
         },
         -18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::size_t n = 0; n < site_->size(); ++n) {
            site_->emulator(n).setDecibels(n == 3 ? -18 : before[n]);
            site_->device(n)->volume = device::kUnknownVolume;
            site_->emulator(n).clearReceived();
        }
        // The mute reads the level first; an exchange answered late, or the last case's give-back
        // whose reply left the volume known as silent after it was cleared, leaves the loudspeaker
        // unmuted: it is asked again, its volume unknown, until the loudspeaker is silent.
        ASSERT_TRUE(test::waitFor([this] {
            const auto device = site_->device(3);
            if (device->enableVolume(false)) return true;
            if (device->volume.load() == 0 && site_->emulator(3).decibels() == -96) return true;
            device->volume = device::kUnknownVolume;
            return false;
        }));
        const std::int32_t muted = site_->device(3)->savedVolume.load();
        ASSERT_EQ(levels(), before);

        auto message = std::make_shared<Playlist>(L"Обед", false);
        message->add(L"Обед", base::fromUtf8(c.end ? longMessage : shortMessage));
        ASSERT_TRUE(channel_->playForSelected(message, 90));
        ASSERT_TRUE(test::waitFor([this] { return !channel_->isStartPending(); }, std::chrono::seconds(30)));
        if (c.end) {
            ASSERT_TRUE(test::waitFor([this] { return channel_->isPlaying(); }, std::chrono::seconds(30)));
            c.end();
        }
        std::vector<std::int32_t> after = before;
        after[3] = c.lastLevel;
        EXPECT_TRUE(test::waitFor([&] { return levels() == after; }, std::chrono::seconds(30)));
        EXPECT_EQ(levels(), after);
        // Changed while the message played: the chosen ones raised, the third one muted.
        for (std::size_t n : {0, 1}) {
            const auto commands = site_->emulator(n).received();
            EXPECT_NE(std::find(commands.begin(), commands.end(), "set vol -4"), commands.end()) << n;
        }
        const auto third = site_->emulator(2).received();
        EXPECT_NE(std::find(third.begin(), third.end(), "set vol -96"), third.end());
        // A loudspeaker still muted keeps the level it is turned on again with.
        if (c.lastLevel == -96) {
            EXPECT_EQ(site_->device(3)->savedVolume.load(), muted);
        }

        channel_->stop();
        ASSERT_TRUE(test::waitFor([this] { return !channel_->isPlaying() && !channel_->isStartPending(); }));
        // The stop itself, queued, has given the levels back before the next case sets them.
        ASSERT_TRUE(test::waitForDispatcher());
    }
}

// A stop queued before a start ends what played before, never what the start plays, also when
// the dispatcher runs the two side by side behind a start that waits for a silent loudspeaker.
TEST_F(PlayerChannelTest, AStopQueuedBeforeAStartNeverStopsWhatTheStartPlays) {
    site_->emulator(3).setSilent(true);
    std::mutex lock;
    std::vector<std::wstring> stopped;
    const auto playlist = [&](const std::wstring& name, const std::wstring& path) {
        auto made = std::make_shared<Playlist>(name, true);
        made->add(L"tone", path);
        made->setCallbackIfPlaying([&, name](bool, bool finished) {
            std::lock_guard<std::mutex> guard(lock);
            if (finished) stopped.push_back(name);
        });
        return made;
    };
    const auto first = playlist(L"first", L"sine://500");
    const auto second = playlist(L"second", L"sine://900");
    ASSERT_TRUE(channel_->play(first, 50, site_->targets({0, 3})));
    channel_->stop();
    ASSERT_TRUE(channel_->play(second, 50, site_->targets({1})));
    ASSERT_TRUE(test::waitFor([&] {
        std::lock_guard<std::mutex> guard(lock);
        return !stopped.empty() && !channel_->isStartPending();
    }));
    ASSERT_TRUE(test::waitForDispatcher());
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(stopped, std::vector<std::wstring>{L"first"});
    EXPECT_TRUE(channel_->isPlaying());
    EXPECT_EQ(player_->getPlaylist(), second);
}

// Forty of fifty loudspeakers send their status packets and answer nothing.
class PlayerChannelSiteTest : public PlayerChannelTest {
protected:
    PlayerChannelSiteTest() { loudspeakers_ = 50; }
};

// Loudspeakers that have stopped answering since they were last asked hold up neither the
// playlist nor the others: those that answer have their volume, and the player plays, before the
// wait for any silent one has ended; what the silent ones did not take is told once, in one text,
// after the last of them. A service message leaves them as they are and gives back exactly the
// levels of the others, also to those that come back while their levels are being read and a stop
// has come meanwhile.
TEST_F(PlayerChannelSiteTest, SilentLoudspeakersHoldUpNeitherThePlaylistNorTheOthers) {
    enum class Way { playlist, service, serviceStoppedWhileRead };
    const struct {
        const char* name;
        Way way;
    } rows[] = {
        {"a playlist", Way::playlist},
        {"a service message", Way::service},
        {"a service message stopped while the silent ones come back", Way::serviceStoppedWhileRead},
    };
    // Every fifth answers; the even ones are chosen, the others muted.
    const auto silent = [](std::size_t n) { return n % 5 != 0; };
    const auto chosen = [](std::size_t n) { return n % 2 == 0; };
    std::vector<std::size_t> chosenOnes;
    for (std::size_t n = 0; n < site_->size(); ++n)
        if (chosen(n)) chosenOnes.push_back(n);
    const frm::Targets targets = site_->targets(chosenOnes);
    channel_->setSelectionProvider([&] { return targets; });
    const std::wstring unreadText = L"Уровень громкости не прочитан, громкость не изменена устройствам:";
    const std::wstring failedText = L"Не удалось установить громкость устройствам:";
    // One name on a line; the log writes a line feed as "\A".
    const std::wstring lineFeed = L"\\A";
    const std::wstring waitEnded = L"Device is offline.";

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool service = row.way != Way::playlist;
        std::vector<std::int32_t> before;
        for (std::size_t n = 0; n < site_->size(); ++n) {
            site_->emulator(n).setSilent(false);
            site_->emulator(n).setDecibels(-20 - static_cast<std::int32_t>(n % 7));
            site_->emulator(n).clearReceived();
            site_->device(n)->volume = device::kUnknownVolume;
            before.push_back(site_->emulator(n).decibels());
            if (!silent(n)) continue;
            // Answered once more, so that the program takes it as answering when it goes silent.
            ASSERT_TRUE(test::waitFor([&] { return site_->device(n)->checkExchange(false); })) << n;
            site_->emulator(n).setSilent(true);
        }
        const std::size_t endedBefore = capture_.find(waitEnded, L"DEBUG").size();
        const std::size_t toldBefore = capture_.find(service ? unreadText : failedText, L"WARN").size();

        auto playlist = std::make_shared<Playlist>(L"Обед", false);
        playlist->add(L"Обед", L"sine://700");
        ASSERT_TRUE(service ? channel_->playForSelected(playlist, 90)
                            : channel_->play(playlist, 60, targets));
        const std::int32_t volume = service ? 90 : 60;
        ASSERT_TRUE(test::waitFor([&] {
            for (std::size_t n = 0; n < site_->size(); n += 5) {
                const bool done = chosen(n) ? site_->device(n)->volume.load() == volume
                                            : site_->emulator(n).decibels() == -96;
                if (!done) return false;
            }
            return channel_->isPlaying();
        }));
        EXPECT_EQ(capture_.find(waitEnded, L"DEBUG").size(), endedBefore);

        // Given back once every loudspeaker is, after the steps that ran on it.
        const auto expectGivenBack = [&] {
            ASSERT_TRUE(
                test::waitFor([&] { return !channel_->isPlaying() && alarm_->devices().heldCount() == 0; }));
            for (std::size_t n = 0; n < site_->size(); ++n)
                EXPECT_EQ(site_->emulator(n).decibels(), before[n]) << n;
        };
        if (row.way == Way::serviceStoppedWhileRead) {
            // Those that come back before their read is given up are raised after the stop has come.
            channel_->stop();
            for (std::size_t n = 0; n < site_->size(); ++n) site_->emulator(n).setSilent(false);
            expectGivenBack();
            continue;
        }

        // Told once, after the last of them, naming every silent one whose wait for its volume (for
        // a service message: for its level) has ended, and no other.
        ASSERT_TRUE(test::waitFor(
            [&] { return capture_.find(service ? unreadText : failedText, L"WARN").size() > toldBefore; }));
        const auto told = capture_.find(service ? unreadText : failedText, L"WARN");
        ASSERT_EQ(told.size(), toldBefore + 1);
        const std::wstring names = told.back().message.substr(told.back().message.find(L':'));
        const auto ended = capture_.find(waitEnded, L"DEBUG");
        std::size_t waited = 0;
        for (std::size_t n = 0; n < site_->size(); ++n) {
            const std::wstring of = base::widen(site_->emulator(n).hardwareAddress()) + L"', request: '" +
                                    (service ? L"get vol" : L"set vol");
            if (std::none_of(ended.begin() + endedBefore, ended.end(), [&](const test::LogLine& line) {
                    return line.message.find(of) != std::wstring::npos;
                }))
                continue;
            ++waited;
            EXPECT_NE(names.find(lineFeed + site_->device(n)->getDisplayName()), std::wstring::npos) << n;
        }
        ASSERT_GT(waited, 0u);
        std::size_t lines = 0;
        for (std::size_t at = names.find(lineFeed); at != std::wstring::npos;
             at = names.find(lineFeed, at + 1))
            ++lines;
        EXPECT_EQ(lines, waited);

        channel_->stop();
        if (!service) {
            ASSERT_TRUE(test::waitFor([&] { return !channel_->isPlaying(); }));
            continue;
        }
        expectGivenBack();
        // Nothing but its level was asked of a silent one.
        for (std::size_t n = 0; n < site_->size(); ++n) {
            if (!silent(n)) continue;
            for (const std::string& command : site_->emulator(n).received())
                EXPECT_EQ(command, "get vol") << n;
        }
    }
}

}  // namespace
