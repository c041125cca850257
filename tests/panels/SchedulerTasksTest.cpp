// The scheduler panel's tasks in a running scheduler core, without a window: the pairs of ids, a
// daily playlist with a stop time put as two tasks that share their playback, a stop task that a
// core refuses taking its start task back out, messages without stop tasks, and a message task
// whose file is gone or is no MPEG audio disabled when it falls due; enabling and deleting pairs;
// the queries of the other panels, by kind and exact name.

#include <gtest/gtest.h>

#include "audio/PlaybackCollection.h"
#include "audio/PlaybackPlaylist.h"
#include "audio/PlaybackTrack.h"
#include "foundation/Exceptions.h"
#include "foundation/TextConversion.h"
#include "panels/SchedulerTasks.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"
#include "tests/panels/SchedulerFixture.h"

namespace {

using scheduler::task::BaseTask;
using scheduler::task::DataVault;

class SchedulerTasksTest : public test::SchedulerFixture {
protected:
    std::shared_ptr<frm::IPlayback> playlist(const wchar_t* kind, const wchar_t* name) {
        auto collection = frm::PlaybackCollection::create(L"Источник", kind);
        collection->add(
            std::make_shared<frm::PlaybackPlaylist>(name, std::make_shared<Playlist>(name, true)));
        return collection->getPlaybacks().front()->clone();
    }
    static DataVault record(std::shared_ptr<frm::IPlayback> playback, const wchar_t* startTime,
                            const wchar_t* stopTime, const wchar_t* finalDate = L"") {
        return DataVault(std::move(playback), L"2024-05-02", finalDate, startTime, stopTime, {}, -1, false);
    }
    std::shared_ptr<BaseTask> task(std::uint32_t id) {
        return std::dynamic_pointer_cast<BaseTask>(core_.getTask(id));
    }

    int disabled_ = 0;
    frm::SchedulerTasks tasks_{core_, [this] { ++disabled_; }};
};

TEST_F(SchedulerTasksTest, ADailyPlaylistWithAStopTimeIsTwoTasksSharingTheirPlayback) {
    const frm::SchedulerTasks::Ids first = tasks_.takeIds();
    EXPECT_EQ(first.start, 1u);
    EXPECT_EQ(first.stop, 2u);
    const frm::SchedulerTasks::Ids ids = tasks_.takeIds();
    ASSERT_TRUE(
        tasks_.put(frm::taskDaily, ids, record(playlist(L"playlist", L"Утро"), L"22:00", L"02:00"), false));
    ASSERT_EQ(core_.getTasks().size(), 2u);
    const auto start = task(3);
    const auto stop = task(4);
    ASSERT_TRUE(start && stop);
    EXPECT_FALSE(start->isEnabled() || stop->isEnabled());
    EXPECT_EQ(start->getClientData().stopTaskId, 4);
    EXPECT_FALSE(start->getClientData().isStopTask);
    EXPECT_EQ(stop->getClientData().stopTaskId, 0);
    EXPECT_TRUE(stop->getClientData().isStopTask);
    // Only a stop that the clock passed over still runs, late.
    EXPECT_FALSE(start->runsLate());
    EXPECT_TRUE(stop->runsLate());
    EXPECT_EQ(stop->getClientData().playback, start->getClientData().playback);
    // The night's stop comes on the next morning.
    EXPECT_EQ(stop->getPlan()->start, boost::gregorian::date(2024, 5, 3));
    EXPECT_EQ(stop->getPlan()->time, boost::posix_time::hours(2));
    EXPECT_EQ(tasks_.takeIds().start, 5u);

    // A one-time task and a daily one without stop time are one task each.
    ASSERT_FALSE(tasks_.put(frm::taskOnce, {5, 6}, record(playlist(L"radio", L"Эфир"), L"09:00", L""), true));
    ASSERT_FALSE(
        tasks_.put(frm::taskDaily, {7, 8}, record(playlist(L"radio", L"Эфир"), L"09:00", L""), true));
    EXPECT_EQ(core_.getTasks().size(), 4u);
    EXPECT_EQ(task(5)->getClientData().stopTaskId, -1);
}

TEST_F(SchedulerTasksTest, AStopTaskThatTheCoreRefusesTakesItsStartTaskOut) {
    ASSERT_FALSE(
        tasks_.put(frm::taskOnce, {2, 3}, record(playlist(L"playlist", L"Утро"), L"07:00", L""), true));
    ASSERT_TRUE(core_.hasTask(2));
    EXPECT_THROW(
        tasks_.put(frm::taskDaily, {1, 2}, record(playlist(L"playlist", L"Вечер"), L"20:00", L"21:00"), true),
        exception::ServerError);
    EXPECT_FALSE(core_.hasTask(1));
    EXPECT_TRUE(capture_.contains(L"Failure to add startTask at end"));
    EXPECT_THROW(
        tasks_.put(frm::taskOnce, {2, 3}, record(playlist(L"playlist", L"Утро"), L"07:00", L""), true),
        exception::ServerError);
    EXPECT_THROW(tasks_.put(frm::taskDaily, {5, 6}, record(playlist(L"playlist", L"Утро"), L"7", L""), true),
                 exception::IncorrectFormat);
    EXPECT_EQ(core_.getTasks().size(), 1u);
}

TEST_F(SchedulerTasksTest, AMessageHasNoStopTaskAndIsDisabledWhenItsFileIsGone) {
    auto messages = frm::PlaybackCollection::create(L"Служебные сообщения", L"serviceMessage");
    auto original = std::make_shared<frm::PlaybackTrack>(L"Обед", 4, false);
    original->setMessage(L"Обед", L"/nonexistent/обед.mp3");
    messages->add(original);
    const auto track = std::dynamic_pointer_cast<frm::PlaybackTrack>(original->clone());
    ASSERT_FALSE(tasks_.put(frm::taskDaily, {1, 2}, record(track, L"12:00", L"12:30"), true));
    EXPECT_EQ(core_.getTasks().size(), 1u);
    EXPECT_EQ(track->getCollection(), messages);

    frm::SchedulerTasks::checkPlaybackAndTask(track, task(1), [this] { ++disabled_; });
    EXPECT_FALSE(task(1)->isEnabled());
    EXPECT_EQ(disabled_, 1);
    EXPECT_TRUE(
        capture_.contains(L"Задание имеет неверные пути файлов '/nonexistent/обед.mp3'/''", L"ERROR"));
    frm::SchedulerTasks::checkPlaybackAndTask(nullptr, task(1), {});
    EXPECT_TRUE(capture_.contains(L"Error of data. Playback or task is null.", L"ERROR"));
}

TEST_F(SchedulerTasksTest, AMessageThatIsNoMpegAudioIsRefusedWhenItFallsDue) {
    test::TempFolder files;
    const std::string message = files.file("обед.mp3");
    const std::string gong = files.file("гонг.mp3");
    const std::string wav = files.file("запись.mp3");
    ASSERT_TRUE(test::writeSineMp3(message, 700, 0.3));
    ASSERT_TRUE(test::writeSineMp3(gong, 900, 0.3));
    test::writeSineWav(wav, 700, 3);
    const struct { std::string message, gong; } cases[] = {{wav, ""}, {message, wav}, {wav, gong}};
    for (const auto& c : cases) {
        auto track = std::make_shared<frm::PlaybackTrack>(L"Обед", 4, false);
        track->setMessage(L"Обед", base::fromUtf8(c.message));
        track->setGong(L"Гонг", base::fromUtf8(c.gong));
        ASSERT_FALSE(tasks_.put(frm::taskOnce, {1, 2}, record(track, L"12:00", L""), true));
        const int before = disabled_;
        frm::SchedulerTasks::checkPlaybackAndTask(track, task(1), [this] { ++disabled_; });
        EXPECT_FALSE(task(1)->isEnabled()) << c.message << c.gong;
        EXPECT_EQ(disabled_, before + 1);
        EXPECT_TRUE(capture_.contains(L"Задание имеет файлы, которые не воспроизводятся: '" +
                                          base::fromUtf8(c.message) + L"'/'" + base::fromUtf8(c.gong) + L"'",
                                      L"ERROR"));
        core_.erase(1);
    }
}

TEST_F(SchedulerTasksTest, EnableAndDeleteTakeTheStopTaskAlong) {
    ASSERT_TRUE(tasks_.put(frm::taskDaily, {1, 2}, record(playlist(L"playlist", L"Утро"), L"08:00", L"09:00"),
                           false));
    ASSERT_FALSE(
        tasks_.put(frm::taskOnce, {3, 4}, record(playlist(L"playlist", L"Утро"), L"10:00", L""), false));
    tasks_.enable({1, 3, 7}, true);
    EXPECT_TRUE(task(1)->isEnabled() && task(2)->isEnabled() && task(3)->isEnabled());
    EXPECT_TRUE(capture_.contains(L"Internal error. Task not found.", L"WARN"));
    core_.erase(2);
    tasks_.enable({1}, false);
    EXPECT_FALSE(task(1)->isEnabled());
    EXPECT_TRUE(capture_.contains(L"Отсутствует парное задание останова", L"ERROR"));

    ASSERT_TRUE(
        tasks_.put(frm::taskDaily, {5, 6}, record(playlist(L"radio", L"Эфир"), L"08:00", L"09:00"), true));
    tasks_.erase({3, 5});
    EXPECT_EQ(core_.getTasks().size(), 1u);
    EXPECT_TRUE(core_.hasTask(1));
    EXPECT_TRUE(capture_.contains(L"Удалено задание N5", L"INFO"));
}

TEST_F(SchedulerTasksTest, QueriesFindAPlaybackByKindAndExactName) {
    const auto morning = playlist(L"playlist", L"Утро");
    morning->setTargets({loudspeaker(1)});
    ASSERT_TRUE(tasks_.put(frm::taskDaily, {1, 2}, record(morning, L"08:00", L"09:00"), true));
    const auto station = playlist(L"radio", L"Утро");
    ASSERT_FALSE(tasks_.put(frm::taskOnce, {3, 4}, record(station, L"10:00", L""), true));
    auto messages = frm::PlaybackCollection::create(L"Служебные сообщения", L"serviceMessage");
    messages->add(std::make_shared<frm::PlaybackTrack>(L"Обед", 4, false));
    const auto message = messages->getPlaybacks().front()->clone();
    message->setTargets({loudspeaker(2)});
    std::dynamic_pointer_cast<frm::PlaybackTrack>(message)->setMessage(L"Обед", L"/record/Обед.mp3");
    std::dynamic_pointer_cast<frm::PlaybackTrack>(message)->setGong(L"Гонг", L"/gong/Гонг.mp3");
    ASSERT_FALSE(tasks_.put(frm::taskOnce, {5, 6}, record(message, L"12:00", L""), true));

    EXPECT_TRUE(tasks_.existPlaylist(L"playlist", L"Утро"));
    EXPECT_FALSE(tasks_.existPlaylist(L"playlist", L"утро"));
    EXPECT_FALSE(tasks_.existPlaylist(L"serviceMessage", L"Утро"));
    EXPECT_EQ(tasks_.getPlayback(L"radio", L"Утро"), station);

    tasks_.renamePlaylist(L"playlist", L"Утро", L"Утро");
    tasks_.renamePlaylist(L"playlist", L"Утро", L"Рассвет");
    EXPECT_EQ(morning->getName(), L"Рассвет");
    EXPECT_EQ(station->getName(), L"Утро");

    EXPECT_TRUE(tasks_.isUsedDevice(*morning->getTargets().begin()));
    // A message's loudspeaker is not held by the schedule.
    EXPECT_FALSE(tasks_.isUsedDevice(*message->getTargets().begin()));
    for (const auto& [path, used] : {std::pair<const wchar_t*, bool>{L"/record/Обед.mp3", true},
                                     {L"/gong/Гонг.mp3", true},
                                     {L"/record/Ужин.mp3", false},
                                     {L"Утро", false}})
        EXPECT_EQ(tasks_.isUsedFile(path), used) << path;

    // A task of another kind in the core is an internal fault that ends the program.
    struct Foreign : scheduler::task::ITask {
        std::uint32_t getId() const override { return 9; }
        void enable(bool) override {}
        bool isEnabled() const override { return false; }
        std::optional<scheduler::task::Occurrence> nextDue(std::int64_t) const override {
            return std::nullopt;
        }
        std::function<void()> take(const scheduler::task::Occurrence&) override { return nullptr; }
    };
    ASSERT_TRUE(core_.putTask(std::make_shared<Foreign>()));
    EXPECT_THROW(tasks_.isUsedDevice(*morning->getTargets().begin()), exception::StopProgram);
    EXPECT_TRUE(capture_.contains(L"Internal error. Task pointer is null2", L"FATAL"));
    core_.erase(9);
}

}  // namespace
