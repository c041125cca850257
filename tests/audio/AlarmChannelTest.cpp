// The alarm channel on emulated loudspeakers: a broadcast heard on the base port plus two after
// its gong, the loudspeakers switched to the alarm channel at the broadcast's volume and given
// back with the channel and volume they had, however the broadcast ends.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <optional>
#include <set>

#include "audio/AlarmChannel.h"
#include "audio/PlaybackTrack.h"
#include "audio/Player.h"
#include "audio/PlayerChannel.h"
#include "audio/mp3streamf.h"
#include "support/FakeGuiThread.h"
#include "support/LoudspeakerSite.h"
#include "support/ManualClock.h"
#include "support/PulseServer.h"
#include "tests/audio/AudioFixture.h"

namespace {

using frm::AlarmChannel;
using test::StreamReceiver;

// The notices one broadcast's listener got.
class Notices {
public:
    AlarmChannel::NoticeListener listener() {
        return [this](AlarmChannel::Notice notice) {
            std::lock_guard<std::mutex> guard(lock_);
            notices_.push_back(notice);
            changed_.notify_all();
        };
    }
    // The first notice; 0 when none came in time.
    int wait() {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait_for(guard, std::chrono::seconds(60), [this] { return !notices_.empty(); });
        return notices_.empty() ? 0 : notices_.front();
    }
    std::size_t count() {
        std::lock_guard<std::mutex> guard(lock_);
        return notices_.size();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<int> notices_;
};

class AlarmChannelTest : public test::AudioFixture {
protected:
    static constexpr std::size_t kLoudspeakers = 3;

    void SetUp() override {
        AudioFixture::SetUp();
        // The levels test has three more, two of the first generation and one of the first in dB.
        std::vector<device::VokarVersion> generations(kLoudspeakers + 3, device::vokarV3_A128);
        generations.insert(generations.end(),
                           {device::vokarA_2_01_72, device::vokarA_2_01_72, device::vokarA_3_00_01});
        generations.resize(generations.size() + extraLoudspeakers_, device::vokarV3_A128);
        site_ = std::make_unique<test::LoudspeakerSite>(generations, basePort_);
        ASSERT_TRUE(site_->waitOnline());
        // Volumes set through the device class come back as the same command when restored. Set
        // again until taken: under load an answer may come too late.
        for (std::size_t n = 0; n < kLoudspeakers; ++n) {
            ASSERT_TRUE(test::waitFor([&] { return site_->device(n)->setVolume(kVolumes[n]); }));
            original_.push_back(setCommands(n).back());
            site_->emulator(n).clearReceived();
        }
        stream_ = std::make_unique<mp3streamf>(mp3streamf::targetFromSettings());
        channel_ = std::make_unique<AlarmChannel>(*stream_, site_->registry());
        gong_ = tone("gong.mp3", 500, 0.5);
        message_ = tone("message.mp3", 1000, 1);
    }
    void TearDown() override {
        channel_.reset();
        stream_.reset();
        site_.reset();
        AudioFixture::TearDown();
    }

    std::wstring tone(const std::string& name, double hertz, double seconds) {
        const std::string path = files_.file(name);
        EXPECT_TRUE(test::writeSineMp3(path, hertz, seconds));
        return base::fromUtf8(path);
    }
    AlarmChannel::Broadcast broadcast(int priority, const std::wstring& message,
                                      const std::vector<std::size_t>& targets, Notices& notices) {
        AlarmChannel::Broadcast request;
        request.priority = priority;
        request.description = L"Тест " + std::to_wstring(priority);
        request.messagePath = message;
        request.volume = 70;
        request.listener = notices.listener();
        request.targets = site_->targets(targets);
        return request;
    }
    // The channel and volume commands a loudspeaker received, in order.
    std::vector<std::string> setCommands(std::size_t n) {
        std::vector<std::string> commands;
        for (const std::string& command : site_->emulator(n).received())
            if (command.rfind("set ch", 0) == 0 || command.rfind("set vol", 0) == 0)
                commands.push_back(command);
        return commands;
    }
    // Taken once for a broadcast and given back once: the alarm channel at the alarm volume,
    // then the common channel and the volume it had.
    void expectTakenAndGivenBack(std::size_t n) {
        const std::vector<std::string> commands = setCommands(n);
        ASSERT_EQ(commands.size(), 4u) << n;
        EXPECT_EQ(commands[0], "set ch 1");
        EXPECT_EQ(commands[1].rfind("set vol ", 0), 0u);
        EXPECT_NE(commands[1], original_[n]);
        EXPECT_EQ(commands[2], "set ch 0");
        EXPECT_EQ(commands[3], original_[n]);
        expectBack(n);
    }
    void expectBack(std::size_t n) {
        EXPECT_EQ(site_->emulator(n).status().channel, 0u) << n;
        EXPECT_EQ(site_->device(n)->volume.load(), kVolumes[n]) << n;
    }
    bool waitIdle() {
        return test::waitFor([this] { return !channel_->isBusy(); }, std::chrono::seconds(60));
    }

    static constexpr std::int32_t kVolumes[kLoudspeakers] = {30, 50, 80};
    std::size_t extraLoudspeakers_ = 0;
    std::unique_ptr<test::LoudspeakerSite> site_;
    std::vector<std::string> original_;
    std::unique_ptr<mp3streamf> stream_;
    std::unique_ptr<AlarmChannel> channel_;
    std::wstring gong_;
    std::wstring message_;
};

TEST_F(AlarmChannelTest, AScheduledMessageIsHeardAfterItsGongOnItsOwnTargets) {
    AlarmChannel::instanceSlot().install(channel_.get());
    // The operator's selection is not where a scheduled message goes.
    channel_->setSelectionProvider([this] { return site_->targets({2}); });
    frm::PlaybackTrack track(L"Сервис: Обед", 4, false);
    track.setMessage(L"message", message_);
    track.setGong(L"gong", gong_);
    track.setTargets(site_->targets({0, 1}));
    pref::setInt(setting::volumeServiceMessage.key, 70);
    StreamReceiver receiver(group_, basePort_ + 2);

    ASSERT_TRUE(track.action());
    EXPECT_TRUE(channel_->isBusy());
    EXPECT_EQ(channel_->getDescription(), L"Сервис: Обед");
    EXPECT_EQ(channel_->getPriority(), 2);
    ASSERT_TRUE(waitIdle());
    AlarmChannel::instanceSlot().release();

    const std::vector<double> heard = tones(receiver);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_NEAR(heard[0], 500, 12);
    EXPECT_NEAR(heard[1], 1000, 24);
    expectTakenAndGivenBack(0);
    expectTakenAndGivenBack(1);
    EXPECT_TRUE(setCommands(2).empty());
}

// The levels read from the loudspeakers, not set through the device class, come back exactly after
// an alarm, a scheduled service message, a service message played from its view and a playlist
// that muted them: in the loudspeaker's own scale, also below the quietest level a percentage
// sets, and also for a loudspeaker that the program sees as not answering or offline while it
// answers.
TEST_F(AlarmChannelTest, TheLevelsReadFromTheLoudspeakersComeBackExactly) {
    AlarmChannel::instanceSlot().install(channel_.get());
    startEngine();
    Player player(engine_);
    frm::PlayerChannel service(player, *channel_, site_->registry());
    enum class Condition { answering, notResponding, offline, refusingItsLevel };
    const struct {
        const char* name;
        std::size_t loudspeaker;
        // In dB; the byte of both amplifier channels for the first generation, of the first one
        // where the second has its own.
        std::int32_t level;
        Condition condition;
        std::int32_t secondByte = -1;
        std::pair<std::int32_t, std::int32_t> levels() const {
            return {level, secondByte < 0 ? level : secondByte};
        }
    } rows[] = {
        {"at -19 dB", 0, -19, Condition::answering},
        {"at -4 dB", 1, -4, Condition::answering},
        {"not answering after a missed exchange, at -30 dB", 2, -30, Condition::notResponding},
        {"offline, its status packets lost, at -27 dB", 3, -27, Condition::offline},
        {"at -45 dB", 4, -45, Condition::answering},
        {"refusing to tell its level, at -22 dB", 5, -22, Condition::refusingItsLevel},
        {"of the first generation at byte 80", 6, 80, Condition::answering},
        {"of the first generation at bytes 80 and 96", 7, 80, Condition::answering, 96},
        {"of the first generation in dB, at -41 dB", 8, -41, Condition::answering},
    };
    const auto firstGeneration = [this](std::size_t n) {
        return site_->emulator(n).generation() < device::vokarA_3_00_01;
    };
    const auto levelOf = [&](std::size_t n) {
        if (!firstGeneration(n))
            return std::make_pair(site_->emulator(n).decibels(), site_->emulator(n).decibels());
        const auto [first, second] = site_->emulator(n).channelBytes();
        return std::make_pair(static_cast<std::int32_t>(first), static_cast<std::int32_t>(second));
    };
    std::vector<std::size_t> all;
    for (const auto& row : rows) all.push_back(row.loudspeaker);
    service.setSelectionProvider([&] { return site_->targets(all); });
    site_->emulator(3).setStatusLost(true);
    // Taken, it keeps its level: raised, it could not get it back.
    site_->emulator(5).faultOn("get vol", 0, test::EmulatedDevice::Fault::error, 1000);

    enum class Way { alarm, scheduled, service, muted };
    const struct {
        const char* name;
        Way way;
    } ways[] = {{"alarm", Way::alarm},
                {"scheduled service message", Way::scheduled},
                {"service message", Way::service},
                {"muted by a playlist for another and turned on by one for all", Way::muted}};
    // The alarm's listener hears of its end from the channel's watcher, after the channel is idle.
    Notices notices;
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        for (const auto& row : rows) {
            test::LoudspeakerEmulator& emulator = site_->emulator(row.loudspeaker);
            if (firstGeneration(row.loudspeaker)) {
                emulator.setChannelBytes(row.levels().first, row.levels().second);
            } else {
                emulator.setDecibels(row.level);
            }
            emulator.clearReceived();
            const auto device = site_->device(row.loudspeaker);
            if (row.condition == Condition::notResponding || row.condition == Condition::offline) {
                // One exchange missed: the check of its answers, or a command that puts it offline.
                emulator.setSilent(true);
                if (row.condition == Condition::notResponding) {
                    device->checkResponding(true);
                    ASSERT_TRUE(test::waitFor([&] { return !device->responding.load(); })) << row.name;
                } else {
                    EXPECT_FALSE(device->checkExchange(false)) << row.name;
                }
                emulator.setSilent(false);
            }
            device->volume = device::kUnknownVolume;
            ASSERT_EQ(device->isOnline(), row.condition != Condition::offline) << row.name;
            ASSERT_EQ(device->isOnlineAndResponding(),
                      row.condition == Condition::answering || row.condition == Condition::refusingItsLevel)
                << row.name;
        }
        if (way == Way::alarm) {
            ASSERT_TRUE(channel_->launch(broadcast(3, message_, all, notices)));
        } else if (way == Way::scheduled) {
            frm::PlaybackTrack track(L"Сервис: Обед", 4, false);
            track.setMessage(L"message", message_);
            track.setTargets(site_->targets(all));
            ASSERT_TRUE(track.action());
        } else if (way == Way::service) {
            auto message = std::make_shared<Playlist>(L"Обед", false);
            message->add(L"Обед", message_);
            ASSERT_TRUE(service.playForSelected(message, 90));
            ASSERT_TRUE(test::waitFor([&] { return !service.isStartPending(); }));
        } else {
            auto music = std::make_shared<Playlist>(L"Музыка", false);
            music->add(L"Музыка", message_);
            // Played for the offline one, which it does not reach, it mutes all the others.
            ASSERT_TRUE(service.play(music, -1, site_->targets({3})));
            ASSERT_TRUE(test::waitFor([&] { return !service.isStartPending(); }));
            ASSERT_TRUE(service.play(music, -1, site_->targets(all)));
            ASSERT_TRUE(test::waitFor([&] { return !service.isStartPending(); }));
        }
        ASSERT_TRUE(test::waitFor([&] { return !channel_->isBusy() && !service.isPlaying(); }));
        // A service message gives its loudspeakers back once its playing has ended.
        test::waitFor([&] {
            return std::all_of(std::begin(rows), std::end(rows),
                               [&](const auto& row) { return levelOf(row.loudspeaker) == row.levels(); });
        });
        for (const auto& row : rows) {
            EXPECT_EQ(levelOf(row.loudspeaker), row.levels()) << row.name;
            if (way == Way::muted) {
                if (row.condition != Condition::answering) continue;
                const auto commands = setCommands(row.loudspeaker);
                const std::string silent = firstGeneration(row.loudspeaker) ? "set vol FE:FE" : "set vol -96";
                EXPECT_NE(std::find(commands.begin(), commands.end(), silent), commands.end()) << row.name;
            }
            if (way == Way::service || way == Way::muted) continue;
            // Every one that answers hears the broadcast.
            const auto commands = setCommands(row.loudspeaker);
            EXPECT_NE(std::find(commands.begin(), commands.end(), "set ch 1"), commands.end()) << row.name;
            EXPECT_EQ(site_->emulator(row.loudspeaker).status().channel, 0u) << row.name;
        }
        if (way == Way::muted) continue;
        // The one whose level was not read is named.
        const auto warnings = capture_.find(site_->device(5)->getDisplayName(), L"WARN");
        const std::wstring told = way == Way::service ? L"громкость не изменена" : L"на прежнем уровне";
        EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [&](const test::LogLine& line) {
            return line.message.find(told) != std::wstring::npos;
        }));
    }
    EXPECT_EQ(notices.wait(), AlarmChannel::finished);
    AlarmChannel::instanceSlot().release();
}

// More silent loudspeakers than the channel starts threads for. Each row has a loudspeaker of its
// own.
class AlarmChannelSiteTest : public AlarmChannelTest {
protected:
    static constexpr std::size_t kAnswering = 7;
    AlarmChannelSiteTest() { extraLoudspeakers_ = 64; }

    // The loudspeaker of a row at its level, with nothing received yet.
    test::LoudspeakerEmulator& atLevel(std::size_t n, std::int32_t level) {
        test::LoudspeakerEmulator& emulator = site_->emulator(n);
        emulator.setDecibels(level);
        emulator.clearReceived();
        return emulator;
    }
    // A broadcast set its volume.
    bool taken(std::size_t n) {
        const auto commands = setCommands(n);
        return std::any_of(commands.begin(), commands.end(),
                           [](const std::string& command) { return command.rfind("set vol", 0) == 0; });
    }
    // Neither heard nor answering, or back.
    void away(std::size_t n, bool gone) {
        site_->emulator(n).setSilent(gone);
        site_->emulator(n).setStatusLost(gone);
    }
    std::wstring name(std::size_t n) const { return site_->device(n)->getDisplayName(); }
    // What a failed row shows of a loudspeaker: the log lines that name it, but for its status
    // packets, and what it received.
    std::string story(std::size_t n) {
        std::string text;
        const std::wstring address = base::fromUtf8(site_->emulator(n).hardwareAddress());
        for (const test::LogLine& line : capture_.find(address)) {
            const bool statusPacket = line.place == L"TransferProtocol" || line.level == L"MARK" ||
                                      line.level == L"TRACE2";
            if (!statusPacket) text += base::toUtf8(line.raw) + "\n";
        }
        for (const std::string& command : site_->emulator(n).received()) text += "> " + command + "\n";
        return text;
    }
    std::wstring due(std::size_t n) const { return L"The give-back of '" + name(n) + L"' is due"; }
    std::wstring done(std::size_t n) const { return L"give-back of '" + name(n) + L"' is done"; }

    const std::wstring notSwitched = L"Не удалось переключить на канал оповещения";
    // The log writes a line feed as "\A".
    const std::wstring kLineFeed = L"\\A";
};

// Every loudspeaker of a broadcast is taken at once: those that do not answer hold none of the
// others, and their failures are told together, as are the refusals at the start. One that tells
// a level beyond what it takes hears the broadcast and gets the nearest level it takes.
TEST_F(AlarmChannelSiteTest, EveryLoudspeakerIsTakenAtOnceAndItsFailuresAreToldTogether) {
    enum class Case {
        levelOutOfRange,
        staleChannel,
        foundOnAlarmChannel,
        refusalsAtTheStart,
        takeReplyLost,
        manySilent
    };
    const struct {
        const char* name;
        Case kind;
        std::size_t loudspeaker;
        std::int32_t level;
    } rows[] = {
        {"at -97 dB", Case::levelOutOfRange, 3, -97},
        {"at -200 dB", Case::levelOutOfRange, 4, -200},
        {"silent, at -96 dB", Case::levelOutOfRange, 5, -96},
        {"known to be on the alarm channel while it is not", Case::staleChannel, 14, -23},
        {"left on the alarm channel at an alarm's level with no record", Case::foundOnAlarmChannel, 25, -4},
        {"refusing its volume, its level or the switch at the start", Case::refusalsAtTheStart, 15, -25},
        {"its switch to the alarm channel done, the reply lost", Case::takeReplyLost, 23, -22},
        // Last: the clock it holds stays moved for the rest of the test.
        {"silent beside answering ones", Case::manySilent, 0, -21},
    };
    std::optional<test::ManualClock> clock;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::LoudspeakerEmulator& emulator = atLevel(row.loudspeaker, row.level);
        const auto device = site_->device(row.loudspeaker);
        Notices first;
        if (row.kind == Case::manySilent) {
            // The channel takes its targets in their order: the answering ones last.
            std::vector<std::size_t> all(site_->size());
            std::iota(all.begin(), all.end(), 0);
            std::sort(all.begin(), all.end(),
                      [&](std::size_t a, std::size_t b) { return site_->device(a) < site_->device(b); });
            const std::vector<std::size_t> answering(all.end() - kAnswering, all.end());
            const std::vector<std::size_t> silent(all.begin(), all.end() - kAnswering);
            // The silent ones' tries cannot run out while the clock stands still: the answering
            // ones are taken while every silent one still waits, or never.
            clock.emplace();
            clock->holdSteady();
            for (std::size_t n : all) site_->emulator(n).clearReceived();
            for (std::size_t n : silent) site_->emulator(n).setSilent(true);
            const std::size_t toldBefore = capture_.find(notSwitched).size();
            StreamReceiver receiver(group_, basePort_ + 2);
            ASSERT_TRUE(channel_->launch(broadcast(3, message_, all, first)));
            ASSERT_TRUE(test::waitFor([&] {
                return std::all_of(answering.begin(), answering.end(),
                                   [&](std::size_t n) { return taken(n); });
            }));
            // The stream starts once the take has stopped waiting for them: those failing from
            // here on are told together, in one text.
            ASSERT_TRUE(receiver.waitForCount(1));
            EXPECT_TRUE(std::all_of(silent.begin(), silent.end(),
                                    [&](std::size_t n) { return site_->device(n)->responding.load(); }));
            EXPECT_EQ(capture_.find(notSwitched).size(), toldBefore);
            // Past every resend: the silent ones fail, and are told once the last has.
            clock->advance(std::chrono::seconds(10));
            EXPECT_EQ(first.wait(), AlarmChannel::finished);
            ASSERT_TRUE(test::waitFor([&] { return capture_.find(notSwitched).size() > toldBefore; }));
            const auto told = capture_.find(notSwitched, L"WARN");
            ASSERT_EQ(told.size(), toldBefore + 1);
            // One name on a line.
            std::size_t lines = 0;
            for (std::size_t at = 0; (at = told.back().message.find(kLineFeed, at)) != std::wstring::npos;
                 ++at)
                ++lines;
            EXPECT_EQ(lines, silent.size());
            for (std::size_t n : silent) {
                EXPECT_NE(told.back().message.find(kLineFeed + name(n)), std::wstring::npos) << n;
                site_->emulator(n).setSilent(false);
            }
            continue;
        }
        if (row.kind == Case::refusalsAtTheStart) {
            // One refuses the alarm's volume, one to tell its level, one the switch: one text
            // tells each once, by what went wrong, and the refusal of the volume opens no box of
            // its own.
            const std::size_t unread = row.loudspeaker + 1;
            const std::size_t unswitched = row.loudspeaker + 2;
            emulator.faultOn("set vol", 0, test::EmulatedDevice::Fault::error, 1);
            site_->emulator(unread).faultOn("get vol", 0, test::EmulatedDevice::Fault::error, 1);
            site_->emulator(unswitched).faultOn("set ch", 0, test::EmulatedDevice::Fault::error, 1);
            ASSERT_TRUE(
                channel_->launch(broadcast(3, message_, {row.loudspeaker, unread, unswitched}, first)));
            EXPECT_EQ(first.wait(), AlarmChannel::finished);
            const std::wstring unreadName = name(unread);
            const std::wstring unswitchedName = name(unswitched);
            const auto told = capture_.find(L"Не удалось установить громкость оповещения устройствам:" +
                                                kLineFeed + name(row.loudspeaker) + kLineFeed + kLineFeed,
                                            L"WARN");
            ASSERT_EQ(told.size(), 1u);
            const std::wstring& text = told[0].message;
            EXPECT_NE(text.find(notSwitched + L" устройства:" + kLineFeed + unswitchedName + kLineFeed),
                      std::wstring::npos);
            EXPECT_NE(text.find(L"на прежнем уровне устройств:" + kLineFeed + unreadName),
                      std::wstring::npos);
            for (const std::wstring& each : {name(row.loudspeaker), unreadName, unswitchedName}) {
                EXPECT_EQ(text.find(each), text.rfind(each)) << each;
                EXPECT_EQ(capture_.find(each, L"WARN").size(), 1u) << each;
            }
            EXPECT_FALSE(
                capture_.contains(L"Не удалось назначить уровень громкости '70' устройству", L"WARN"));
            EXPECT_TRUE(
                capture_.contains(L"Не удалось назначить уровень громкости '70' устройству", L"INFO"));
            continue;
        }
        if (row.kind == Case::takeReplyLost) {
            // Carried out, its answer never comes: it is told as not switched, and switched back.
            emulator.holdReplies("set ch 1");
            ASSERT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {row.loudspeaker}, first)));
            ASSERT_TRUE(test::waitFor([&] {
                return capture_.contains(notSwitched + L" устройства:" + kLineFeed + name(row.loudspeaker),
                                         L"WARN");
            }));
            emulator.releaseReplies();
            channel_->stop();
            EXPECT_EQ(first.wait(), AlarmChannel::stopped);
            EXPECT_EQ(emulator.status().channel, 0u);
            EXPECT_EQ(emulator.decibels(), row.level);
            continue;
        }
        if (row.kind == Case::foundOnAlarmChannel) {
            // Its level is no more its own than the channel: it keeps it, and goes back to the
            // common channel alone.
            auto status = emulator.status();
            status.channel = 1;
            emulator.setStatus(status);
            ASSERT_TRUE(test::waitFor([&] { return device->getKnownChannel() == 1u; }));
            ASSERT_TRUE(channel_->launch(broadcast(3, message_, {row.loudspeaker}, first)));
            EXPECT_EQ(first.wait(), AlarmChannel::finished);
            EXPECT_EQ(setCommands(row.loudspeaker), (std::vector<std::string>{"set ch 1", "set ch 0"}));
            EXPECT_EQ(emulator.decibels(), row.level);
            EXPECT_EQ(emulator.status().channel, 0u);
            EXPECT_TRUE(capture_.contains(L"после него они вернутся на общий канал с этим же уровнем:" +
                                              kLineFeed + name(row.loudspeaker),
                                          L"WARN"));
            continue;
        }
        if (row.kind == Case::staleChannel) {
            // A packet sent before an earlier switch and read after it: the channel known is the
            // alarm channel's.
            auto status = emulator.status();
            status.channel = 1;
            ASSERT_TRUE(device->parseState(
                test::LoudspeakerEmulator::makeStatusPacket(emulator.hardwareAddress(), status,
                                                            test::LoudspeakerEmulator::fullNumberCount,
                                                            emulator.versionText()),
                emulator.address()));
            ASSERT_EQ(device->getKnownChannel(), 1u);
        }
        // It hears the broadcast, and gets back the nearest level it takes.
        ASSERT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {row.loudspeaker}, first)));
        ASSERT_TRUE(test::waitFor([&] { return taken(row.loudspeaker); }));
        channel_->stop();
        EXPECT_EQ(first.wait(), AlarmChannel::stopped);
        const std::int32_t back = row.kind == Case::staleChannel ? row.level : -96;
        EXPECT_EQ(setCommands(row.loudspeaker),
                  (std::vector<std::string>{"set ch 1", "set vol -11", "set ch 0",
                                            "set vol " + std::to_string(back)}));
        EXPECT_EQ(emulator.decibels(), back);
        EXPECT_EQ(emulator.status().channel, 0u);
        EXPECT_FALSE(capture_.contains(L"Не удалось вернуть на общий канал устройства:" + kLineFeed +
                                       name(row.loudspeaker)));
        EXPECT_FALSE(capture_.contains(L"прежнем уровне устройств:" + kLineFeed + name(row.loudspeaker)));
    }
}

// A loudspeaker away or not answering at a broadcast's end gets the level it had before the first
// broadcast once heard again and answering. A due give-back is not sent to one that is heard but
// does not answer, and is told once.
TEST_F(AlarmChannelSiteTest, ALoudspeakerAwayAtTheEndIsGivenBackWhenHeardAgain) {
    enum class Case { awayAtTheEnd, twoAlarmsOverADueGiveBack, heardButNotAnswering, replyLost };
    const struct {
        const char* name;
        Case kind;
        std::size_t loudspeaker;
        std::int32_t level;
        // Of replyLost: the command whose replies are lost at the end.
        const char* lost = "";
    } rows[] = {
        {"away at the end, back later", Case::awayAtTheEnd, 0, -21},
        {"two alarms over a due give-back", Case::twoAlarmsOverADueGiveBack, 1, -27},
        {"heard but not answering at the end", Case::heardButNotAnswering, 9, -24},
        {"its switch back unanswered", Case::replyLost, 12, -29, "set ch"},
        {"its level unanswered", Case::replyLost, 13, -31, "set vol"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::LoudspeakerEmulator& emulator = atLevel(row.loudspeaker, row.level);
        const std::wstring due = this->due(row.loudspeaker);
        const std::wstring done = this->done(row.loudspeaker);
        Notices first, second;
        ASSERT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {row.loudspeaker}, first)));
        ASSERT_TRUE(test::waitFor([&] { return taken(row.loudspeaker); }));
        if (row.kind == Case::replyLost) {
            // Both sends of the command at the end go unanswered, and are not carried out.
            emulator.faultOn(row.lost, 0, test::EmulatedDevice::Fault::silence, 2);
            channel_->stop();
            EXPECT_EQ(first.wait(), AlarmChannel::stopped);
            ASSERT_TRUE(capture_.contains(due, L"INFO"));
            ASSERT_TRUE(test::waitFor([&] { return capture_.contains(done); }));
            EXPECT_EQ(emulator.status().channel, 0u);
            EXPECT_EQ(emulator.decibels(), row.level);
            continue;
        }
        if (row.kind == Case::heardButNotAnswering) {
            // Its status packets go on, it answers nothing.
            emulator.setSilent(true);
            channel_->stop();
            EXPECT_EQ(first.wait(), AlarmChannel::stopped);
            ASSERT_TRUE(capture_.contains(due, L"INFO"));
            // Heard twice a second, it is asked only whether it answers, later and later, and
            // sent nothing else meanwhile.
            emulator.clearReceived();
            ASSERT_TRUE(test::waitFor([&] {
                const auto commands = emulator.received();
                return std::count(commands.begin(), commands.end(), "get vol") >= 3;
            }));
            EXPECT_EQ(setCommands(row.loudspeaker), std::vector<std::string>{});
            // Once it answers it is taken back as answering and given back once.
            emulator.setSilent(false);
            ASSERT_TRUE(test::waitFor([&] { return capture_.contains(done); }));
            EXPECT_EQ(setCommands(row.loudspeaker), (std::vector<std::string>{"set ch 0", "set vol -24"}));
            EXPECT_EQ(capture_.find(due).size(), 1u);
            EXPECT_EQ(emulator.status().channel, 0u);
            continue;
        }
        away(row.loudspeaker, true);
        channel_->stop();
        EXPECT_EQ(first.wait(), AlarmChannel::stopped);
        EXPECT_TRUE(capture_.contains(due, L"INFO"));
        EXPECT_EQ(emulator.status().channel, 1u);
        if (row.kind == Case::twoAlarmsOverADueGiveBack) {
            // Taken again while away, and back while the second alarm holds it.
            ASSERT_TRUE(
                channel_->launch(broadcast(4, tone("long.mp3", 700, 8), {row.loudspeaker, 2}, second)));
            ASSERT_TRUE(test::waitFor([&] { return taken(2); }));
            away(row.loudspeaker, false);
            channel_->stop();
            EXPECT_EQ(second.wait(), AlarmChannel::stopped);
        }
        away(row.loudspeaker, false);
        ASSERT_TRUE(test::waitFor([&] { return capture_.contains(done); }));
        EXPECT_EQ(emulator.status().channel, 0u);
        EXPECT_EQ(emulator.decibels(), row.level);
        EXPECT_FALSE(site_->device(row.loudspeaker)->isPlaybackType(device::playback::metaAlarm));
    }
}

// A loudspeaker that answers and refuses what its give-back sets is tried again, not at its every
// status packet; the operator is told once. A later setting replaces what is due, and a broadcast
// or a service message that takes it meanwhile keeps the level it had before the first.
TEST_F(AlarmChannelSiteTest, ARefusedGiveBackIsTriedAgainAndGivesWayToALaterSetting) {
    enum class Case {
        refusingItsLevel,
        laterLevelWins,
        refusedAndHeard,
        laterChannelWins,
        levelBeforeTheNextTake,
        keptOverARefusal,
        retryMeetsAnAlarm
    };
    const struct {
        const char* name;
        Case kind;
        std::size_t loudspeaker;
        std::int32_t level;
        // Of keptOverARefusal: a service message takes it, not a second alarm.
        bool byServiceMessage = false;
    } rows[] = {
        {"refusing its level at the end and after", Case::refusingItsLevel, 10, -33},
        {"set to another level while its give-back is due", Case::laterLevelWins, 11, -27},
        {"refusing its level at the end, heard again and again", Case::refusedAndHeard, 18, -35},
        {"set to a playlist's channel while its switch back is due", Case::laterChannelWins, 19, -26},
        {"set to another level before the next alarm", Case::levelBeforeTheNextTake, 20, -28},
        {"refusing its level, then taken by a second alarm", Case::keptOverARefusal, 21, -34},
        {"refusing its level, then reached by a service message", Case::keptOverARefusal, 22, -36, true},
        {"refusing its level, its retry meeting a second alarm", Case::retryMeetsAnAlarm, 24, -37},
    };
    // For the rows with a service message, made once one needs it.
    std::optional<Player> player;
    std::optional<frm::PlayerChannel> service;
    const auto serviceMessage = [&](std::size_t n) {
        if (!service) {
            startEngine();
            player.emplace(engine_);
            service.emplace(*player, *channel_, site_->registry());
        }
        service->setSelectionProvider([this, n] { return site_->targets({n}); });
        auto message = std::make_shared<Playlist>(L"Обед", false);
        message->add(L"Обед", message_);
        ASSERT_TRUE(service->playForSelected(message, 90));
        ASSERT_TRUE(test::waitFor([&] { return !service->isStartPending(); }));
        ASSERT_TRUE(test::waitFor([&] { return !service->isPlaying(); }));
        // It muted every other loudspeaker: the next row starts once all are given back.
        ASSERT_TRUE(test::waitFor([&] { return channel_->devices().heldCount() == 0; }));
    };
    // Stands still: the pause after a refused give-back never runs out, so that every retry is one a
    // row asks for, however long the row takes. Every loudspeaker answers meanwhile.
    test::ManualClock clock;
    clock.holdSteady();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::LoudspeakerEmulator& emulator = atLevel(row.loudspeaker, row.level);
        const auto device = site_->device(row.loudspeaker);
        const std::wstring due = this->due(row.loudspeaker);
        const std::wstring done = this->done(row.loudspeaker);
        const std::string given = "set vol " + std::to_string(row.level);
        Notices first, second;
        ASSERT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {row.loudspeaker}, first)));
        ASSERT_TRUE(test::waitFor([&] { return taken(row.loudspeaker); }));
        if (row.kind == Case::refusingItsLevel || row.kind == Case::laterLevelWins) {
            // It answers, and refuses the level given back.
            emulator.faultOn("set vol", 0, test::EmulatedDevice::Fault::error,
                             row.kind == Case::refusingItsLevel ? 3 : 1);
            channel_->stop();
            EXPECT_EQ(first.wait(), AlarmChannel::stopped);
            ASSERT_TRUE(test::waitFor([&] { return capture_.contains(due, L"INFO"); }));
            const std::wstring refused =
                L"Не удалось назначить уровень громкости '" + std::to_wstring(row.level) + L" дБ' устройству";
            if (row.kind == Case::laterLevelWins) {
                // The operator or a playlist sets it meanwhile: that level stays.
                ASSERT_TRUE(device->setVolume(0));
                ASSERT_TRUE(channel_->restoreCommonChannelForAllDevices());
                ASSERT_TRUE(test::waitFor([&] { return capture_.contains(done); }));
                EXPECT_EQ(emulator.decibels(), -96);
                EXPECT_EQ(setCommands(row.loudspeaker).back(), "set vol -96");
                continue;
            }
            // Each try asks it again; the operator was told once, at the end of the broadcast.
            for (std::size_t tries = 2; tries <= 3; ++tries) {
                ASSERT_TRUE(channel_->restoreCommonChannelForAllDevices());
                ASSERT_TRUE(test::waitFor([&] { return capture_.find(refused, L"INFO").size() == tries; }));
            }
            // Switched back, it is told as refusing its level, not the channel.
            EXPECT_EQ(
                capture_
                    .find(L"Не удалось вернуть громкость устройствам:" + kLineFeed + name(row.loudspeaker),
                          L"WARN")
                    .size(),
                1u);
            EXPECT_FALSE(capture_.contains(L"Не удалось вернуть на общий канал устройства:" + kLineFeed +
                                           name(row.loudspeaker)));
            EXPECT_FALSE(capture_.contains(refused, L"WARN"));
            ASSERT_TRUE(channel_->restoreCommonChannelForAllDevices());
            ASSERT_TRUE(test::waitFor([&] { return capture_.contains(done); }));
            EXPECT_EQ(emulator.decibels(), row.level);
            continue;
        }
        // It answers, and refuses its switch back (laterChannelWins) or its level at the end.
        emulator.faultOn(row.kind == Case::laterChannelWins ? "set ch" : "set vol", 0,
                         test::EmulatedDevice::Fault::error, 1);
        channel_->stop();
        EXPECT_EQ(first.wait(), AlarmChannel::stopped);
        ASSERT_TRUE(test::waitFor([&] { return capture_.contains(due, L"INFO"); })) << story(row.loudspeaker);
        if (row.kind == Case::retryMeetsAnAlarm) {
            // A switch of the operator's holds it while its retry and a second alarm's take
            // wait: the retry finds it held and leaves it to the alarm, whichever goes first.
            // The switch waits as long as its answer is held: the clock stands still.
            ASSERT_TRUE(device->switchChannel(4));
            emulator.holdReplies("set ch");
            ASSERT_TRUE(channel_->restoreCommonChannelForAllDevices());
            ASSERT_TRUE(emulator.waitForHeld(1));
            ASSERT_TRUE(channel_->launch(broadcast(3, message_, {row.loudspeaker}, second)));
            emulator.releaseReplies();
            EXPECT_EQ(second.wait(), AlarmChannel::finished);
            ASSERT_TRUE(test::waitFor([&] { return capture_.contains(done); }));
            // Still at the first alarm's volume, it is sent no volume by the second.
            auto commands = setCommands(row.loudspeaker);
            commands.erase(commands.begin(), std::find(commands.begin(), commands.end(), "set ch 4") + 1);
            EXPECT_EQ(commands, (std::vector<std::string>{"set ch 0", "set ch 1", "set ch 0", given}));
            EXPECT_EQ(emulator.decibels(), row.level);
            continue;
        }
        if (row.kind == Case::refusedAndHeard) {
            // Not asked again at each of its status packets.
            std::set<std::int64_t> heard{device->lastStateTime.load()};
            ASSERT_TRUE(test::waitFor([&] {
                heard.insert(device->lastStateTime.load());
                return heard.size() > 4;
            }));
            const auto commands = setCommands(row.loudspeaker);
            EXPECT_EQ(std::count(commands.begin(), commands.end(), given), 1);
            ASSERT_TRUE(channel_->restoreCommonChannelForAllDevices());
        } else if (row.kind == Case::laterChannelWins) {
            // A playlist's channel replaces the switch back; a service message then gives back
            // only its own level.
            ASSERT_TRUE(device->switchChannel(4));
            serviceMessage(row.loudspeaker);
            ASSERT_TRUE(test::waitFor([&] { return emulator.decibels() == row.level; }));
            EXPECT_EQ(emulator.status().channel, 4u);
            EXPECT_TRUE(capture_.contains(done));
            continue;
        } else if (row.kind == Case::levelBeforeTheNextTake) {
            // The operator's level replaces the one due: the next alarm gives that back.
            ASSERT_TRUE(device->setVolume(0));
            ASSERT_TRUE(channel_->launch(broadcast(3, message_, {row.loudspeaker}, second)));
            EXPECT_EQ(second.wait(), AlarmChannel::finished);
            EXPECT_EQ(emulator.decibels(), -96);
            EXPECT_EQ(setCommands(row.loudspeaker).back(), "set vol -96");
            EXPECT_TRUE(capture_.contains(done));
            continue;
        } else if (row.byServiceMessage) {
            serviceMessage(row.loudspeaker);
        } else {
            // The level it has now is the first alarm's: the second keeps the one read before.
            ASSERT_TRUE(channel_->launch(broadcast(3, message_, {row.loudspeaker}, second)));
            EXPECT_EQ(second.wait(), AlarmChannel::finished);
        }
        ASSERT_TRUE(test::waitFor([&] { return capture_.contains(done); }));
        EXPECT_EQ(emulator.decibels(), row.level);
        EXPECT_EQ(setCommands(row.loudspeaker).back(), given);
    }
}

// What a broadcast or a service message takes is on disk while it holds it, stored before its
// first command: an alarm waits for no write. A run that ended without giving it back (a crash),
// even at its first switch, leaves it there, and the next run gives each loudspeaker of the device
// collection back as it answers, and tells the operator until the box that showed it was closed.
// A file that does not read sends nothing; a record that does not read is skipped, not the others;
// one without its level still gives the channel back.
TEST_F(AlarmChannelTest, WhatARunLeftOnTheAlarmChannelIsGivenBackAtTheNextStart) {
    namespace fs = std::filesystem;
    const std::string path = files_.file("alarm_give_back.xml");
    const std::wstring journal = base::fromUtf8(path);
    const std::string slots = base::toUtf8(frm::GiveBackJournal::slotsPath(journal));
    // Every write waits until the test releases it.
    struct Held {
        std::mutex lock;
        std::condition_variable changed;
        std::size_t waiting = 0;
        bool released = false;
    };
    const auto release = [](const std::shared_ptr<Held>& held) {
        {
            std::lock_guard<std::mutex> guard(held->lock);
            held->released = true;
        }
        held->changed.notify_all();
    };
    const auto heldWriter = [](const std::shared_ptr<Held>& held) -> frm::GiveBackJournal::Writer {
        return [held](const std::wstring& file, const std::string& text) {
            std::unique_lock<std::mutex> guard(held->lock);
            ++held->waiting;
            held->changed.notify_all();
            held->changed.wait(guard, [&] { return held->released; });
            return frm::GiveBackJournal::writeFile(file, text);
        };
    };
    const auto held = std::make_shared<Held>();
    // A failed check leaves no write held.
    const std::shared_ptr<void> releasedAtTheEnd(nullptr, [&](void*) { release(held); });
    channel_ = std::make_unique<AlarmChannel>(*stream_, site_->registry(), journal, heldWriter(held));
    std::vector<std::int32_t> levels;
    for (std::size_t n = 0; n < kLoudspeakers; ++n) levels.push_back(site_->emulator(n).decibels());
    const auto holds = [&](const std::string& text, std::size_t n) {
        return text.find(site_->emulator(n).hardwareAddress()) != std::string::npos;
    };
    // The journal's text once it holds every one of the three.
    const auto leftBehind = [&] {
        std::string left;
        EXPECT_TRUE(test::waitFor([&] {
            std::error_code error;
            left = fs::exists(path, error) ? test::readWholeFile(path) : std::string();
            return holds(left, 0) && holds(left, 1) && holds(left, 2);
        }));
        return left;
    };
    Notices notices;
    StreamReceiver receiver(group_, basePort_ + 2);
    ASSERT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {0, 1, 2}, notices)));
    ASSERT_TRUE(test::waitFor([&] {
        for (std::size_t n = 0; n < kLoudspeakers; ++n)
            if (setCommands(n).size() < 2 || site_->emulator(n).status().channel != 1) return false;
        return receiver.count() > 0;
    }));
    {
        // No write has ended: every one waits from the first.
        std::unique_lock<std::mutex> guard(held->lock);
        EXPECT_TRUE(
            held->changed.wait_for(guard, std::chrono::seconds(60), [&] { return held->waiting > 0; }));
        EXPECT_FALSE(fs::exists(path));
    }
    release(held);
    // What a run killed now leaves behind.
    const std::string left = leftBehind();
    channel_->stop();
    EXPECT_EQ(notices.wait(), AlarmChannel::stopped);
    EXPECT_TRUE(test::waitFor([&] { return !fs::exists(path); }));

    // A service message's step is journaled like an alarm's take: the level each had, no switch.
    AlarmChannel::instanceSlot().install(channel_.get());
    startEngine();
    std::string leftByMessage;
    {
        Player player(engine_);
        frm::PlayerChannel service(player, *channel_, site_->registry());
        service.setSelectionProvider([&] { return site_->targets({0, 1, 2}); });
        auto message = std::make_shared<Playlist>(L"Обед", false);
        message->add(L"Обед", tone("service.mp3", 900, 8));
        ASSERT_TRUE(service.playForSelected(message, 90));
        leftByMessage = leftBehind();
        service.stop();
        EXPECT_TRUE(test::waitFor([&] { return !fs::exists(path); }));
    }
    AlarmChannel::instanceSlot().release();

    // The files as a run killed the moment its first switch reaches the loudspeaker leaves them:
    // its journal's write ends later than the switch, on a disk that is quick (a write takes a few
    // milliseconds, a switch less than one) or holds its writes.
    struct Files {
        std::string journal;
        std::string slots;
    };
    const auto fileOf = [](const std::string& file) {
        std::error_code error;
        return fs::exists(file, error) ? test::readWholeFile(file) : std::string();
    };
    const auto killedAtTheFirstSwitch = [&](bool writesHeld) {
        const auto writes = std::make_shared<Held>();
        const std::shared_ptr<void> released(nullptr, [&](void*) { release(writes); });
        const frm::GiveBackJournal::Writer quickly = [](const std::wstring& file, const std::string& text) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return frm::GiveBackJournal::writeFile(file, text);
        };
        channel_ = std::make_unique<AlarmChannel>(*stream_, site_->registry(), journal,
                                                  writesHeld ? heldWriter(writes) : quickly);
        auto left = std::make_shared<std::optional<Files>>();
        auto taken = std::make_shared<std::mutex>();
        site_->emulator(0).onArrival([=, &fileOf](const std::string& command) {
            std::lock_guard<std::mutex> guard(*taken);
            if (command == "set ch 1" && !*left) *left = Files{fileOf(path), fileOf(slots)};
        });
        EXPECT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {0}, notices)));
        EXPECT_TRUE(test::waitFor([&] {
            std::lock_guard<std::mutex> guard(*taken);
            return left->has_value();
        }));
        site_->emulator(0).onArrival(nullptr);
        release(writes);
        channel_->stop();
        // Its journal's last write done, before the next journal reads the file.
        channel_.reset();
        EXPECT_FALSE(fs::exists(path));
        return left->value_or(Files{});
    };
    const Files quick = killedAtTheFirstSwitch(false);
    const Files holding = killedAtTheFirstSwitch(true);

    const auto record = [&](std::size_t n, const std::string& rest) {
        return "<loudspeaker><hardwareAddress>" + site_->emulator(n).hardwareAddress() +
               "</hardwareAddress>" + rest + "</loudspeaker>";
    };
    const std::string good = record(1, "<switched>true</switched><scale>dB</scale><level>" +
                                           std::to_string(levels[1]) + "</level><percent>50</percent>");
    const std::string nothing = "02:7E:41:7F:FF:01";
    const struct {
        const char* name;
        std::string text;
        // The loudspeakers given back; none: the file is kept aside.
        std::vector<std::size_t> givenBack;
        // Switched back to the common channel, and given the level they had.
        bool switchedBack = true;
        bool levelBack = true;
        // Away at the start, and at a second start, before they answer.
        std::vector<std::size_t> awayTwice = {};
        // Notices that name the records.
        std::size_t told = 1;
        // The slots beside the file; none when empty.
        std::string slots = "";
        // The operator closes the first start's box; else that start ends once the others are back.
        bool shownAtFirst = true;
    } rows[] = {
        {"left by a run killed during the broadcast", left, {0, 1, 2}},
        {"left by a run killed during a service message", leftByMessage, {0, 1, 2}, false},
        {"not XML", "<alarm_give_back><loudspeaker>", {}},
        {"of another kind", "<?xml version=\"1.0\"?><scheduler_v2/>", {}},
        {"a record that does not read beside one that does",
         "<alarm_give_back><loudspeaker><hardwareAddress>no address</hardwareAddress><switched>true"
         "</switched></loudspeaker>" +
             good + "</alarm_give_back>",
         {1}},
        {"a record whose switch does not read",
         "<alarm_give_back>" +
             record(0, "<switched>maybe</switched><scale>dB</scale><level>" + std::to_string(levels[0]) +
                           "</level><percent>30</percent>") +
             "</alarm_give_back>",
         {0}},
        {"a record without a level",
         "<alarm_give_back>" + record(0, "<switched>true</switched>") + "</alarm_give_back>",
         {0},
         true,
         false},
        {"a record whose level does not read",
         "<alarm_give_back>" +
             record(2, "<switched>true</switched><scale>dB</scale><level>loud</level><percent>50</percent>") +
             "</alarm_give_back>",
         {2},
         true,
         false},
        {"records of nothing beside one of a loudspeaker",
         "<alarm_give_back><loudspeaker><hardwareAddress>" + nothing +
             "</hardwareAddress><switched>true</switched></loudspeaker>" + good + "</alarm_give_back>",
         {1}},
        {"told at an earlier start",
         "<alarm_give_back>" + good.substr(0, good.size() - 14) +
             "<told>true</told></loudspeaker></alarm_give_back>",
         {1},
         true,
         true,
         {},
         0},
        {"away at two starts", "<alarm_give_back>" + good + "</alarm_give_back>", {1}, true, true, {1}},
        {"left by a run killed at its first switch, its disk quick",
         quick.journal,
         {0},
         true,
         true,
         {},
         1,
         quick.slots},
        {"left by a run killed at its first switch, its disk holding its writes",
         holding.journal,
         {0},
         true,
         true,
         {},
         1,
         holding.slots},
        {"given back in part by a start killed before its box was closed",
         "<alarm_give_back>" +
             record(0, "<switched>true</switched><scale>dB</scale><level>" + std::to_string(levels[0]) +
                           "</level><percent>30</percent>") +
             record(2, "<switched>true</switched><scale>dB</scale><level>" + std::to_string(levels[2]) +
                           "</level><percent>80</percent>") +
             "</alarm_give_back>",
         {0, 2},
         true,
         true,
         {2},
         2,
         "",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        channel_.reset();
        // As the killed run left them: on the alarm channel, at the broadcast's level.
        for (std::size_t n = 0; n < kLoudspeakers; ++n) {
            test::LoudspeakerEmulator& emulator = site_->emulator(n);
            auto status = emulator.status();
            status.channel = 1;
            emulator.setStatus(status);
            emulator.setDecibels(-11);
            emulator.clearReceived();
        }
        // A start finds no file where a run left none.
        if (row.text.empty()) {
            fs::remove(path);
        } else {
            std::ofstream(path) << row.text;
        }
        if (row.slots.empty()) {
            fs::remove(slots);
        } else {
            std::ofstream(slots, std::ios::binary) << row.slots;
        }
        const auto count = [&](const std::wstring& text, const std::wstring& level = L"") {
            return capture_.find(text, level).size();
        };
        const std::wstring told = L"Программа завершилась во время оповещения, не вернув громкоговорители";
        const std::wstring dropped = L"name no loudspeaker of the device collection";
        const std::size_t errors = count(L"alarm_give_back.xml", L"ERROR");
        const std::size_t toldBefore = count(told, L"NOTICE");
        // The notice tells what is still owed.
        const std::wstring owed = row.switchedBack && row.levelBack ? L"На общий канал с прежней громкостью:"
                                  : row.switchedBack ? L"На общий канал:"
                                                     : L"К прежней громкости:";
        const std::size_t owedBefore = count(owed, L"NOTICE");
        const std::size_t droppedBefore = count(dropped);
        // Each named as the collection names it, on a line of its own (the log writes a line feed
        // as "\A").
        const auto named = [&](std::size_t n) {
            return count(L"\\A" + site_->device(n)->getDisplayName(), L"NOTICE");
        };
        std::vector<std::size_t> done, namedBefore;
        for (std::size_t n = 0; n < kLoudspeakers; ++n) {
            done.push_back(count(L"give-back of '" + site_->device(n)->getDisplayName() + L"' is done"));
            namedBefore.push_back(named(n));
        }
        const auto away = [&](bool gone) {
            for (std::size_t n : row.awayTwice) {
                site_->emulator(n).setSilent(gone);
                site_->emulator(n).setStatusLost(gone);
            }
        };
        const auto isAway = [&](std::size_t n) {
            return std::find(row.awayTwice.begin(), row.awayTwice.end(), n) != row.awayTwice.end();
        };
        const auto start = [&] {
            channel_ = std::make_unique<AlarmChannel>(*stream_, site_->registry(), journal);
            channel_->giveBackWhatALastRunLeft();
        };
        // As the operator closes the box of the start's notice.
        const auto closeNotice = [&] {
            const auto shown = capture_.find(told, L"NOTICE");
            ASSERT_FALSE(shown.empty());
            EXPECT_TRUE(channel_->devices().noticeShown(shown.back().message));
        };
        if (!row.awayTwice.empty()) {
            away(true);
            start();
            if (row.shownAtFirst) {
                closeNotice();
                // Marked as told in the file before the next start.
                ASSERT_TRUE(test::waitFor(
                    [&] { return test::readWholeFile(path).find("<told>true") != std::string::npos; }));
            } else {
                // It ends once the others are back, its box still open.
                for (std::size_t n : row.givenBack) {
                    const std::wstring name = site_->device(n)->getDisplayName();
                    if (isAway(n)) continue;
                    ASSERT_TRUE(test::waitFor(
                        [&] { return count(L"give-back of '" + name + L"' is done") > done[n]; }));
                }
            }
            channel_.reset();
            away(true);
        }
        const std::size_t toldAtTheLastStart = count(told, L"NOTICE");
        start();
        away(false);
        if (row.givenBack.empty()) {
            EXPECT_EQ(count(L"alarm_give_back.xml", L"ERROR"), errors + 1);
            EXPECT_FALSE(fs::exists(path));
            ASSERT_TRUE(channel_->launch(broadcast(3, message_, {2}, notices)));
            ASSERT_TRUE(waitIdle());
            for (std::size_t n = 0; n < 2; ++n) EXPECT_EQ(setCommands(n), std::vector<std::string>{}) << n;
            continue;
        }
        EXPECT_EQ(count(told, L"NOTICE"), toldBefore + row.told);
        for (std::size_t n : row.givenBack) EXPECT_EQ(named(n), namedBefore[n] + row.told) << n;
        EXPECT_EQ(count(owed, L"NOTICE"), owedBefore + row.told);
        if (!row.shownAtFirst) {
            // The second tells what the first gave back before its box was closed.
            for (std::size_t n : row.givenBack)
                EXPECT_EQ(count(L"Уже возвращены:\\A" + site_->device(n)->getDisplayName(), L"NOTICE"),
                          isAway(n) ? 0u : 1u)
                    << n;
        }
        if (count(told, L"NOTICE") > toldAtTheLastStart) closeNotice();
        EXPECT_EQ(count(base::widen(nothing), L"NOTICE"), 0u);
        EXPECT_EQ(count(dropped), droppedBefore + (row.text.find(nothing) != std::string::npos ? 1 : 0));
        for (std::size_t n : row.givenBack) {
            const std::wstring name = site_->device(n)->getDisplayName();
            const std::int32_t level = row.levelBack ? levels[n] : -11;
            ASSERT_TRUE(test::waitFor([&] {
                return count(L"give-back of '" + name + L"' is done") > done[n] &&
                       site_->emulator(n).decibels() == level;
            })) << n;
            std::vector<std::string> commands;
            if (row.switchedBack) commands.push_back("set ch 0");
            if (row.levelBack) commands.push_back("set vol " + std::to_string(levels[n]));
            if (isAway(n)) {
                // Its tries while away reached nothing.
                EXPECT_EQ(site_->emulator(n).status().channel, 0u);
            } else {
                EXPECT_EQ(setCommands(n), commands);
            }
        }
        EXPECT_TRUE(test::waitFor([&] { return !fs::exists(path); }));
    }
}

TEST_F(AlarmChannelTest, ALowerPriorityIsRefusedAndAHigherOneTakesOverKeepingSharedLoudspeakers) {
    Notices first, refused, second;
    ASSERT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {0, 1}, first)));
    EXPECT_FALSE(channel_->launch(broadcast(2, message_, {2}, refused)));
    EXPECT_FALSE(channel_->launch(broadcast(3, message_, {2}, refused)));
    EXPECT_TRUE(capture_.contains(L"Канал оповещения занят", L"NOTICE"));
    ASSERT_TRUE(test::waitFor([this] { return site_->emulator(1).status().channel == 1; }));

    ASSERT_TRUE(channel_->launch(broadcast(4, message_, {1, 2}, second)));
    EXPECT_EQ(channel_->getPriority(), 4);
    EXPECT_EQ(first.wait(), AlarmChannel::interrupted);
    EXPECT_EQ(second.wait(), AlarmChannel::finished);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(refused.count(), 0u);
    expectTakenAndGivenBack(0);
    expectTakenAndGivenBack(2);
    // Loudspeaker 1 stayed on the alarm channel through the change and got its own volume back.
    const std::vector<std::string> shared = setCommands(1);
    ASSERT_GE(shared.size(), 3u);
    EXPECT_EQ(std::count(shared.begin(), shared.end(), "set ch 0"), 1);
    EXPECT_EQ(shared[shared.size() - 2], "set ch 0");
    EXPECT_EQ(shared.back(), original_[1]);
    expectBack(1);
}

TEST_F(AlarmChannelTest, StopMidMessageGivesEverythingBackAndSendsNoticeFour) {
    Notices notices;
    StreamReceiver receiver(group_, basePort_ + 2);
    ASSERT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {0, 1, 2}, notices)));
    ASSERT_TRUE(waitForAudio(receiver, 0.5));
    channel_->stop();
    EXPECT_EQ(notices.wait(), AlarmChannel::stopped);
    EXPECT_FALSE(channel_->isBusy());
    for (std::size_t n = 0; n < kLoudspeakers; ++n) expectTakenAndGivenBack(n);
}

TEST_F(AlarmChannelTest, ASilentLoudspeakerDoesNotHoldUpTheOthers) {
    site_->emulator(0).setSilent(true);
    Notices notices;
    StreamReceiver receiver(group_, basePort_ + 2);
    ASSERT_TRUE(channel_->launch(broadcast(3, message_, {0, 1, 2}, notices)));
    // The others are on the alarm channel and the message is heard while the transport still
    // waits for the silent one.
    ASSERT_TRUE(receiver.waitForCount(1));
    EXPECT_FALSE(capture_.contains(site_->device(0)->getDisplayName(), L"WARN"));
    EXPECT_EQ(site_->emulator(1).status().channel, 1u);
    EXPECT_EQ(site_->emulator(2).status().channel, 1u);

    EXPECT_EQ(notices.wait(), AlarmChannel::finished);
    expectTakenAndGivenBack(1);
    expectTakenAndGivenBack(2);
    // Told once its wait has ended, which may come after the broadcast's end.
    EXPECT_TRUE(
        test::waitFor([&] { return capture_.contains(site_->device(0)->getDisplayName(), L"WARN"); }));
}

TEST_F(AlarmChannelTest, AMessageThatEndsEarlyOrDoesNotDecodeStillGivesTheLoudspeakersBack) {
    const std::string truncated = files_.file("truncated.mp3");
    ASSERT_TRUE(test::writeSineMp3(truncated, 900, 2));
    std::filesystem::resize_file(truncated, std::filesystem::file_size(truncated) / 3);
    const std::string broken = files_.file("broken.mp3");
    std::ofstream(broken) << std::string(5000, 'x');
    const struct {
        std::string file;
        int notice;
    } cases[] = {{truncated, AlarmChannel::finished}, {broken, AlarmChannel::interrupted}};
    for (const auto& c : cases) {
        Notices notices;
        ASSERT_TRUE(channel_->launch(broadcast(3, base::fromUtf8(c.file), {0, 1}, notices)));
        EXPECT_EQ(notices.wait(), c.notice) << c.file;
        for (std::size_t n : {0, 1}) {
            expectTakenAndGivenBack(n);
            site_->emulator(n).clearReceived();
        }
    }
    EXPECT_TRUE(
        capture_.contains(L"Файл сообщения не воспроизводится: '" + base::fromUtf8(broken), L"ERROR"));
}

TEST_F(AlarmChannelTest, AFileWithoutMpegAudioEndsWithItsErrorAndAHigherPriorityMeanwhileIsHeard) {
    // A large WAV file under an MP3 name: the decoder gives up after a bounded search.
    const std::string wav = files_.file("alarm.mp3");
    test::writeSineWav(wav, 440, 70);
    const struct {
        const char* name;
        // After its gong, with a higher priority launched at once.
        bool overtaken;
    } cases[] = {{"alone", false}, {"overtaken", true}};
    for (const auto& c : cases) {
        Notices first, second;
        StreamReceiver receiver(group_, basePort_ + 2);
        auto request = broadcast(3, base::fromUtf8(wav), {0, 1}, first);
        if (c.overtaken) request.gongPath = gong_;
        ASSERT_TRUE(channel_->launch(request)) << c.name;
        if (c.overtaken) {
            ASSERT_TRUE(channel_->launch(broadcast(4, message_, {1, 2}, second))) << c.name;
        }

        EXPECT_EQ(first.wait(), AlarmChannel::interrupted) << c.name;
        if (c.overtaken) {
            EXPECT_EQ(second.wait(), AlarmChannel::finished) << c.name;
            const std::vector<double> heard = tones(receiver);
            ASSERT_FALSE(heard.empty()) << c.name;
            EXPECT_NEAR(heard.back(), 1000, 24) << c.name;
        } else {
            EXPECT_TRUE(
                capture_.contains(L"Файл сообщения не воспроизводится: '" + base::fromUtf8(wav), L"ERROR"));
        }
        ASSERT_TRUE(waitIdle()) << c.name;
        // Overtaken at once, the first broadcast may never have switched its own loudspeaker.
        for (std::size_t n : c.overtaken ? std::vector<std::size_t>{2} : std::vector<std::size_t>{0, 1})
            expectTakenAndGivenBack(n);
        for (std::size_t n = 0; n < kLoudspeakers; ++n) {
            expectBack(n);
            site_->emulator(n).clearReceived();
        }
    }
}

TEST_F(AlarmChannelTest, TheMicrophoneAfterItsGongIsHeardAndRecordedUntilTheCaptureDeviceVanishes) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    pulse.playTone(1200);
    pref::setWString(setting::recordDeviceName.key, base::fromUtf8(test::PulseServer::kSource));
    const std::string record = files_.file("record.mp3");
    channel_->setSelectionProvider([this] { return site_->targets({0, 2}); });
    Notices notices;
    StreamReceiver receiver(group_, basePort_ + 2);
    ASSERT_TRUE(channel_->launch(AlarmChannel::microphone, 2, L"Вещание с микрофона", gong_,
                                 base::fromUtf8(record), 90, notices.listener()));
    ASSERT_TRUE(waitForTone(receiver, 1200));
    EXPECT_NEAR(tones(receiver).front(), 500, 12);

    ASSERT_TRUE(pulse.unloadSink());
    EXPECT_EQ(notices.wait(), AlarmChannel::interrupted);
    expectTakenAndGivenBack(0);
    expectTakenAndGivenBack(2);
    const auto recorded = test::decodeMpegFile(record);
    EXPECT_NEAR(test::strongestFrequency(recorded.samples, recorded.rate), 1200, 24);
}

TEST_F(AlarmChannelTest, TheCommonChannelIsRestoredOnlyWhileNoBroadcastHoldsLoudspeakers) {
    for (std::size_t n = 0; n < kLoudspeakers; ++n)
        ASSERT_TRUE(test::waitFor([&] { return site_->device(n)->switchChannel(5); }));
    Notices notices;
    ASSERT_TRUE(channel_->launch(broadcast(3, tone("long.mp3", 700, 8), {0}, notices)));
    EXPECT_FALSE(channel_->restoreCommonChannelForAllDevices());
    EXPECT_TRUE(capture_.contains(L"На устройствах идёт приоритетное оповещение.", L"WARN"));
    channel_->stop();
    ASSERT_EQ(notices.wait(), AlarmChannel::stopped);

    // The one the broadcast held is back too, however its switch went: by its give-back, or by the
    // restore, which does not wait for its loudspeakers.
    EXPECT_TRUE(channel_->restoreCommonChannelForAllDevices());
    EXPECT_TRUE(test::waitFor([this] {
        for (std::size_t n = 0; n < kLoudspeakers; ++n)
            if (site_->emulator(n).status().channel != 0) return false;
        return true;
    }));
}

TEST_F(AlarmChannelTest, TheCaptureTestOfTheSettingsMakesTheChannelBusy) {
    stream_->set_files({message_});
    ASSERT_TRUE(stream_->stream_create());
    EXPECT_TRUE(channel_->isBusy());
    Notices notices;
    EXPECT_FALSE(channel_->launch(broadcast(3, message_, {0}, notices)));
    EXPECT_TRUE(capture_.contains(L"Модуль занят", L"NOTICE"));
    stream_->stream_close();
}

TEST_F(AlarmChannelTest, TheGongListHoldsWhatThePriorityStreamPlays) {
    const std::string folder = files_.file("gongs");
    std::filesystem::create_directory(folder);
    pref::setWString(setting::placePathDirGong.key, base::fromUtf8(folder));
    ASSERT_TRUE(test::writeSineMp3(folder + "/bell.mp3", 800, 0.3));
    std::ofstream(folder + "/broken.mp3") << std::string(5000, 'x');
    std::ofstream(folder + "/notes.txt") << "bell";
    EXPECT_TRUE(AlarmChannel::getGongList().empty());  // no plug-in loaded
    startEngine();
    EXPECT_EQ(AlarmChannel::getGongList(), std::vector<std::wstring>{base::fromUtf8(folder + "/bell.mp3")});
}

// What the alarm's devices owe after an earlier run or a refusal. A journal beside a device
// collection that could not be read drops none of its records: each loudspeaker is given back once
// it comes into the registry. A record that a broadcast of this run makes starts untold, whatever
// an earlier start marked. A loudspeaker that refused the alarm's level never changed it: it gets
// its channel back and nothing about its level.
TEST_F(AlarmChannelTest, WhatIsOwedGoesBackAsTheLoudspeakersAreHeardAndNothingElse) {
    namespace fs = std::filesystem;
    const std::string path = files_.file("owed.xml");
    const std::wstring journal = base::fromUtf8(path);
    const auto file = [&] {
        std::error_code error;
        return fs::exists(path, error) ? test::readWholeFile(path) : std::string();
    };
    std::vector<std::int32_t> levels;
    for (std::size_t n = 0; n < 2; ++n) levels.push_back(site_->emulator(n).decibels());
    const std::string nothing = "02:7E:41:7F:FF:01";
    const auto record = [&](const std::string& address, std::int32_t level, const std::string& rest = "") {
        return "<loudspeaker><hardwareAddress>" + address + "</hardwareAddress><switched>true</switched>" +
               "<scale>dB</scale><level>" + std::to_string(level) + "</level><percent>40</percent>" + rest +
               "</loudspeaker>";
    };
    for (const bool read : {true, false}) {
        SCOPED_TRACE(read ? "beside a collection that was read" : "beside a collection that was not read");
        for (std::size_t n = 0; n < 2; ++n) {
            auto status = site_->emulator(n).status();
            status.channel = 1;
            site_->emulator(n).setStatus(status);
            site_->emulator(n).setDecibels(-11);
            site_->emulator(n).clearReceived();
        }
        std::ofstream(path) << "<alarm_give_back>" << record(site_->emulator(0).hardwareAddress(), levels[0])
                            << record(site_->emulator(1).hardwareAddress(), levels[1]) << record(nothing, -5)
                            << "</alarm_give_back>";
        std::atomic<bool> heard{false};
        frm::AlarmDevices devices(2, 8, journal);
        devices.restoreFromJournal({}, read, [&] {
            return heard ? std::vector<frm::AlarmDevices::Loudspeaker>{site_->device(0), site_->device(1)}
                         : std::vector<frm::AlarmDevices::Loudspeaker>{};
        });
        if (read) {
            // Records of nothing in the collection read.
            EXPECT_TRUE(test::waitFor([&] { return file().empty(); }));
            for (std::size_t n = 0; n < 2; ++n) EXPECT_EQ(setCommands(n), std::vector<std::string>{}) << n;
            continue;
        }
        // Kept, each marked as told once the operator closed the box.
        const auto notices = capture_.find(L"не вернув громкоговорители (3)", L"NOTICE");
        ASSERT_FALSE(notices.empty());
        EXPECT_TRUE(devices.noticeShown(notices.back().message));
        ASSERT_TRUE(test::waitFor([&] {
            const std::string left = file();
            std::size_t told = 0;
            for (std::size_t at = left.find("<told>true"); at != std::string::npos;
                 at = left.find("<told>true", at + 1))
                ++told;
            return told == 3;
        }));
        EXPECT_EQ(setCommands(0), std::vector<std::string>{});
        heard = true;
        for (std::size_t n = 0; n < 2; ++n) {
            EXPECT_TRUE(test::waitFor([&] {
                return site_->emulator(n).status().channel == 0 && site_->emulator(n).decibels() == levels[n];
            })) << n;
        }
        EXPECT_TRUE(test::waitFor([&] {
            const std::string left = file();
            return left.find(nothing) != std::string::npos &&
                   left.find(site_->emulator(0).hardwareAddress()) == std::string::npos &&
                   left.find(site_->emulator(1).hardwareAddress()) == std::string::npos;
        }));
    }
    {
        SCOPED_TRACE("taken again while told and due");
        const std::string address = site_->emulator(0).hardwareAddress();
        std::ofstream(path) << "<alarm_give_back>" << record(address, levels[0], "<told>true</told>")
                            << "</alarm_give_back>";
        site_->emulator(0).setSilent(true);
        frm::AlarmDevices devices(2, 8, journal);
        devices.restoreFromJournal({site_->device(0)});
        const frm::AlarmDevices::Owner owner = devices.newOwner();
        devices.assign(owner, {site_->device(0)});
        devices.take(owner, {site_->device(0)}, 70,
                     frm::AlarmDevices::Clock::now() + std::chrono::seconds(60));
        devices.release(owner);
        EXPECT_TRUE(test::waitFor([&] {
            const std::string left = file();
            return left.find(address) != std::string::npos && left.find("<told>") == std::string::npos;
        }));
        site_->emulator(0).setSilent(false);
    }
    {
        SCOPED_TRACE("a loudspeaker that refuses the alarm's level");
        site_->emulator(1).clearReceived();
        site_->emulator(1).faultOn("set vol", 0, test::EmulatedDevice::Fault::error, 1000);
        frm::AlarmDevices devices(2, 8);
        const frm::AlarmDevices::Owner owner = devices.newOwner();
        devices.assign(owner, {site_->device(1)});
        const frm::AlarmDevices::Taken taken = devices.take(
            owner, {site_->device(1)}, 70, frm::AlarmDevices::Clock::now() + std::chrono::seconds(60));
        EXPECT_EQ(taken.levelRefused, std::vector<std::wstring>{site_->device(1)->getDisplayName()});
        const frm::AlarmDevices::Taken given = devices.release(owner);
        EXPECT_EQ(given.failed, std::vector<std::wstring>{});
        EXPECT_EQ(given.levelRefused, std::vector<std::wstring>{});
        EXPECT_EQ(devices.dueCount(), 0u);
        const std::vector<std::string> commands = setCommands(1);
        ASSERT_EQ(commands.size(), 3u);
        EXPECT_EQ(commands[0], "set ch 1");
        EXPECT_EQ(commands[2], "set ch 0");
    }
}

// A disk under the test's hand for the give-back journal: its writes and flushes are kept in
// order, fail while failures are left and wait while held.
class JournalDisk {
public:
    struct Side {
        std::vector<std::string> texts;
        std::size_t entered = 0;
        int failures = 0;
        bool held = false;
    };
    ~JournalDisk() { release(); }
    frm::GiveBackJournal::Writer writer() {
        return [this](const std::wstring&, const std::string& text) { return step(write, text); };
    }
    frm::GiveBackJournal::Syncer syncer() {
        return [this](const std::wstring&) { return step(flush, std::string()); };
    }
    // Under the lock: the side as it is now.
    template <class F>
    auto with(F&& look) {
        std::lock_guard<std::mutex> guard(lock_);
        return look();
    }
    void hold(Side& side) {
        with([&] { return side.held = true; });
    }
    void release() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            write.held = flush.held = false;
        }
        changed_.notify_all();
    }
    bool waitEntered(Side& side, std::size_t count) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(60), [&] { return side.entered >= count; });
    }

    Side write;
    Side flush;

private:
    bool step(Side& side, const std::string& text) {
        std::unique_lock<std::mutex> guard(lock_);
        ++side.entered;
        changed_.notify_all();
        changed_.wait(guard, [&] { return !side.held; });
        side.texts.push_back(text);
        changed_.notify_all();
        return side.failures-- <= 0;
    }

    std::mutex lock_;
    std::condition_variable changed_;
};

// The journal's writes on a disk that is held, slow or failing: changes made at once share a write,
// the changes made during the last write follow it at the stop unless the writes are slow, a write
// or a flush held longer than a second is told at once, a stalled flush holds no write back, a
// failing write is told once and its end too, changes from many threads at once all reach the
// file, and a file that could be neither read nor kept aside is never written over. The slots keep
// their file's size: a loudspeaker given back leaves its slot to one taken later.
TEST(GiveBackJournalTest, WritesOnAHeldSlowOrFailingDiskKeepWhatTheyMust) {
    test::LogCapture capture;
    test::TempFolder files;
    const std::wstring path = base::fromUtf8(files.file("alarm_give_back.xml"));
    const auto record = [](std::uint32_t n) {
        frm::GiveBackJournal::Record made;
        made.address = net::HardwareAddress(net::HardwareAddress::vendorPrefix, n);
        made.switched = true;
        return made;
    };
    const auto holdsAll = [&](const std::string& text, std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t n = from; n <= to; ++n)
            if (text.find(record(n).address.canonicalText()) == std::string::npos) return false;
        return true;
    };
    const auto logged = [&](const std::wstring& text) { return capture.find(text).size(); };
    const std::wstring failed = L"could not be written to", again = L"are written to '",
                       slowly = L"are written slowly to", flushedSlowly = L"are flushed slowly to",
                       notFlushed = L"could not be flushed to",
                       flushedAgain = L"are flushed to the disk of '",
                       dropped = L"The last changes of the loudspeakers", waits = L"The end waits for";
    // Five changes, each written and flushed before the next, of which the first three fail the
    // step: told once as it fails, and once as it works again.
    const auto failingThrice = [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal,
                                   JournalDisk::Side JournalDisk::*step, const std::wstring& failing,
                                   const std::wstring& back) {
        const std::size_t failedBefore = logged(failing), againBefore = logged(back);
        disk.with([&] { return (disk.*step).failures = 3; });
        for (std::uint32_t n = 1; n <= 5; ++n) {
            journal->put(record(n));
            ASSERT_TRUE(
                test::waitFor([&] { return disk.with([&] { return (disk.*step).texts.size() >= n; }); }));
        }
        journal.reset();
        EXPECT_EQ(logged(failing), failedBefore + 1);
        EXPECT_EQ(logged(back), againBefore + 1);
    };
    // The journal ends while the disk holds a step, which it waits for, and the disk then goes on.
    const auto stopWhileHeld = [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
        const std::size_t waited = logged(waits);
        std::thread stop([&] { journal.reset(); });
        EXPECT_TRUE(test::waitFor([&] { return logged(waits) > waited; }));
        disk.release();
        stop.join();
    };
    const struct {
        const char* name;
        std::function<void(JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal)> run;
    } rows[] = {
        {"changes made during a write share the next",
         [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
             disk.hold(disk.write);
             journal->put(record(1));
             ASSERT_TRUE(disk.waitEntered(disk.write, 1));
             for (std::uint32_t n = 2; n <= 5; ++n) journal->put(record(n));
             disk.release();
             ASSERT_TRUE(
                 test::waitFor([&] { return disk.with([&] { return disk.write.texts.size() >= 2; }); }));
             journal.reset();
             disk.with([&] {
                 EXPECT_EQ(disk.write.texts.size(), 2u);
                 EXPECT_TRUE(holdsAll(disk.write.texts.back(), 1, 5));
             });
         }},
        {"changes made during the last write follow it at the stop",
         [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
             disk.hold(disk.write);
             journal->put(record(1));
             ASSERT_TRUE(disk.waitEntered(disk.write, 1));
             journal->put(record(2));
             stopWhileHeld(disk, journal);
             disk.with([&] {
                 ASSERT_EQ(disk.write.texts.size(), 2u);
                 EXPECT_TRUE(holdsAll(disk.write.texts.back(), 1, 2));
             });
         }},
        {"a write held past a second is told at once, and the stop waits for no further write",
         [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
             const std::size_t slowBefore = logged(slowly), droppedBefore = logged(dropped);
             disk.hold(disk.write);
             journal->put(record(1));
             // Released only once told.
             EXPECT_TRUE(
                 test::waitFor([&] { return logged(slowly) > slowBefore; }, std::chrono::seconds(60)));
             journal->put(record(2));
             stopWhileHeld(disk, journal);
             disk.with([&] { EXPECT_EQ(disk.write.texts.size(), 1u); });
             EXPECT_EQ(logged(slowly), slowBefore + 1);
             EXPECT_EQ(logged(dropped), droppedBefore + 1);
         }},
        {"a stalled flush holds no write back and is told at once",
         [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
             const std::size_t slowBefore = logged(flushedSlowly);
             disk.hold(disk.flush);
             journal->put(record(1));
             ASSERT_TRUE(disk.waitEntered(disk.flush, 1));
             for (std::uint32_t n = 2; n <= 3; ++n) {
                 journal->put(record(n));
                 EXPECT_TRUE(test::waitFor([&] {
                     return disk.with([&] {
                         return !disk.write.texts.empty() && holdsAll(disk.write.texts.back(), 1, n);
                     });
                 })) << n;
             }
             EXPECT_TRUE(
                 test::waitFor([&] { return logged(flushedSlowly) > slowBefore; }, std::chrono::seconds(60)));
             disk.release();
             journal.reset();
             EXPECT_EQ(logged(flushedSlowly), slowBefore + 1);
         }},
        {"a failing write is told once, and its end once",
         [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
             failingThrice(disk, journal, &JournalDisk::write, failed, again);
         }},
        {"a failing flush is told once, and its end once",
         [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
             failingThrice(disk, journal, &JournalDisk::flush, notFlushed, flushedAgain);
         }},
        {"the last write is flushed at the stop",
         [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
             disk.hold(disk.write);
             journal->put(record(1));
             ASSERT_TRUE(disk.waitEntered(disk.write, 1));
             stopWhileHeld(disk, journal);
             disk.with([&] { EXPECT_EQ(disk.flush.texts.size(), 1u); });
         }},
        {"changes from many threads at once all reach the file",
         [&](JournalDisk& disk, std::optional<frm::GiveBackJournal>& journal) {
             constexpr std::uint32_t kThreads = 8, kEach = 100;
             std::vector<std::thread> putters;
             for (std::uint32_t t = 0; t < kThreads; ++t) {
                 putters.emplace_back([&, t] {
                     for (std::uint32_t n = 1; n <= kEach; ++n) journal->put(record(t * kEach + n));
                 });
             }
             for (std::thread& putter : putters) putter.join();
             journal.reset();
             disk.with([&] {
                 ASSERT_FALSE(disk.write.texts.empty());
                 EXPECT_TRUE(holdsAll(disk.write.texts.back(), 1, kThreads * kEach));
             });
         }},
    };
    const std::string slots = base::toUtf8(frm::GiveBackJournal::slotsPath(path));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        JournalDisk disk;
        std::optional<frm::GiveBackJournal> journal;
        // Each row starts where nothing was left.
        std::filesystem::remove(slots);
        journal.emplace(path, disk.writer(), disk.syncer());
        // A failed check leaves nothing held.
        const std::shared_ptr<void> released(nullptr, [&](void*) { disk.release(); });
        row.run(disk, journal);
        disk.release();
        journal.reset();
    }
    {
        SCOPED_TRACE("a file that could be neither read nor kept aside");
        // Its name with the mark of a file kept aside is longer than a name may be.
        const std::string name = files.file(std::string(240, 'j') + ".xml");
        std::ofstream(name) << "<alarm_give_back><loudspeaker>";
        JournalDisk disk;
        {
            frm::GiveBackJournal journal(base::fromUtf8(name), disk.writer(), disk.syncer());
            EXPECT_TRUE(journal.load().empty());
            journal.put(record(1));
        }
        EXPECT_EQ(disk.with([&] { return disk.write.entered; }), 0u);
        EXPECT_EQ(test::readWholeFile(name), "<alarm_give_back><loudspeaker>");
    }
    {
        SCOPED_TRACE("slots of another kind");
        std::ofstream(slots) << "<alarm_give_back/>";
        JournalDisk disk;
        {
            frm::GiveBackJournal journal(path, disk.writer(), disk.syncer());
            journal.put(record(1));
        }
        std::vector<std::string> kept;
        for (const std::string& entry : test::entryNames(files.path()))
            if (entry.rfind("alarm_give_back.slots.broken-", 0) == 0) kept.push_back(entry);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(test::readWholeFile(files.file(kept[0])), "<alarm_give_back/>");
        EXPECT_TRUE(capture.contains(L"alarm_give_back.slots", L"ERROR"));
        frm::GiveBackJournal reopened(path, disk.writer(), disk.syncer());
        EXPECT_EQ(reopened.load().size(), 1u);
    }
    {
        SCOPED_TRACE("a store cut short by a kill");
        std::filesystem::remove(slots);
        JournalDisk disk;
        frm::GiveBackJournal::Record before = record(1);
        {
            frm::GiveBackJournal journal(path, disk.writer(), disk.syncer());
            journal.put(before);
            frm::GiveBackJournal::Record after = before;
            after.switched = false;
            after.level = device::VokarInfo::Level::fromText(false, "-30", 40);
            journal.put(after);
        }
        // The last byte of the first slot's second copy, which the second store wrote, is not
        // what it wrote.
        std::string bytes = test::readWholeFile(slots);
        ASSERT_GT(bytes.size(), 127u);
        bytes[127] = static_cast<char>(~bytes[127]);
        std::ofstream(slots, std::ios::binary) << bytes;
        frm::GiveBackJournal reopened(path, disk.writer(), disk.syncer());
        const auto left = reopened.load();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_TRUE(left[0].switched);
        EXPECT_FALSE(left[0].level.has_value());
    }
    {
        SCOPED_TRACE("a site's thousand loudspeakers, and others in their place each time they are back");
        std::filesystem::remove(slots);
        constexpr std::uint32_t kSite = 1000, kRounds = 5;
        const std::size_t fullBefore = logged(L"has slots for");
        JournalDisk disk;
        std::set<std::string> last;
        {
            frm::GiveBackJournal journal(path, disk.writer(), disk.syncer());
            std::vector<net::HardwareAddress> back;
            for (std::uint32_t round = 0; round < kRounds; ++round) {
                std::vector<frm::GiveBackJournal::Record> taken;
                for (std::uint32_t n = 1; n <= kSite; ++n) taken.push_back(record(round * kSite + n));
                journal.update(taken, back);
                back.clear();
                last.clear();
                for (const frm::GiveBackJournal::Record& each : taken) {
                    back.push_back(each.address);
                    last.insert(each.address.canonicalText());
                }
            }
        }
        const std::uintmax_t size = std::filesystem::file_size(slots);
        // Read from the slots alone: this disk keeps no journal's file.
        frm::GiveBackJournal reopened(path, disk.writer(), disk.syncer());
        std::set<std::string> left;
        for (const frm::GiveBackJournal::Record& each : reopened.load())
            left.insert(each.address.canonicalText());
        EXPECT_EQ(left, last);
        EXPECT_EQ(std::filesystem::file_size(slots), size);
        EXPECT_EQ(logged(L"has slots for"), fullBefore);
    }
}

}  // namespace
