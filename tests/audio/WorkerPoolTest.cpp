// The channels' worker pools: jobs posted the moment a pool is made run, as many at once as it
// has threads; a pool that ends runs what was posted first; a job that throws is logged and the
// others go on.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "audio/WorkerPool.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ProcessThreads.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(20);

// Jobs that each wait until `count` of them run at the same time, or until the meeting is given up.
struct Meeting {
    std::mutex lock;
    std::condition_variable arrived;
    std::size_t present = 0;
    bool givenUp = false;
    void giveUp() {
        std::lock_guard<std::mutex> guard(lock);
        givenUp = true;
        arrived.notify_all();
    }
};
std::vector<audio::WorkerPool::Job> jobsMeetingAtOnce(std::size_t count, std::atomic<std::size_t>& met,
                                                      std::shared_ptr<Meeting> meeting = nullptr) {
    if (!meeting) meeting = std::make_shared<Meeting>();
    std::vector<audio::WorkerPool::Job> jobs;
    for (std::size_t n = 0; n < count; ++n) {
        jobs.push_back([meeting, count, &met] {
            std::unique_lock<std::mutex> guard(meeting->lock);
            ++meeting->present;
            meeting->arrived.notify_all();
            meeting->arrived.wait_for(guard, kDeadline,
                                      [&] { return meeting->present == count || meeting->givenUp; });
            if (meeting->present == count) ++met;
        });
    }
    return jobs;
}

TEST(WorkerPoolTest, JobsPostedAsThePoolIsMadeRunAsManyAtOnceAsItHasThreads) {
    // A pool that may grow runs as many at once as it may have threads, also again once the
    // threads beyond its first have ended idle.
    const struct {
        std::size_t threads;
        std::size_t most;
        bool againAfterIdle;
    } sizes[] = {{1, 1, false}, {16, 16, false}, {32, 32, false}, {2, 300, false}, {2, 64, true}};
    for (const auto& [threads, most, againAfterIdle] : sizes) {
        audio::WorkerPool pool("meeting pool", threads, most, std::chrono::milliseconds(50));
        std::atomic<std::size_t> met{0};
        EXPECT_TRUE(pool.runAll(jobsMeetingAtOnce(most, met), Clock::now() + 2 * kDeadline)) << most;
        EXPECT_EQ(met.load(), most);
        if (!againAfterIdle) continue;
        ASSERT_TRUE(
            test::waitFor([&] { return test::threadsNamed("meeting pool").size() == threads; }, kDeadline));
        met = 0;
        auto meeting = std::make_shared<Meeting>();
        EXPECT_TRUE(pool.runAll(jobsMeetingAtOnce(most, met, meeting), Clock::now() + kDeadline)) << most;
        // A pool that does not grow again runs them a few at a time, each until given up.
        meeting->giveUp();
        EXPECT_EQ(met.load(), most);
    }
}

TEST(WorkerPoolTest, APoolThatEndsRunsEveryJobPostedBefore) {
    for (const std::size_t threads : {1u, 4u, 32u}) {
        std::atomic<int> ran{0};
        {
            audio::WorkerPool pool("test pool", threads);
            for (int n = 0; n < 200; ++n) pool.post([&ran] { ++ran; });
        }
        EXPECT_EQ(ran.load(), 200) << threads;
    }
}

TEST(WorkerPoolTest, AJobThatThrowsIsLoggedAndTheNextOneRuns) {
    test::LogCapture capture;
    audio::WorkerPool pool("test pool", 1);
    std::atomic<bool> after{false};
    const bool allRan =
        pool.runAll({[] { throw std::runtime_error("no loudspeaker"); }, [&after] { after = true; }},
                    Clock::now() + kDeadline);
    EXPECT_TRUE(allRan);
    EXPECT_TRUE(after.load());
    EXPECT_TRUE(capture.contains(L"Ошибка фоновой задачи: no loudspeaker", L"ERROR"));
}

TEST(WorkerPoolTest, RunAllGivesUpAtItsDeadlineAndTheJobStillEnds) {
    audio::WorkerPool pool("test pool", 2);
    std::mutex gate;
    std::unique_lock<std::mutex> held(gate);
    std::atomic<bool> ended{false};
    EXPECT_FALSE(pool.runAll({[&] {
                                 std::lock_guard<std::mutex> pass(gate);
                                 ended = true;
                             }},
                             Clock::now() + std::chrono::milliseconds(50)));
    EXPECT_FALSE(ended.load());
    held.unlock();
    EXPECT_TRUE(test::waitFor([&] { return ended.load(); }, kDeadline));
}

}  // namespace
