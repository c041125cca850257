#include <gtest/gtest.h>

#include <atomic>
#include <boost/thread/thread.hpp>
#include <chrono>
#include <cwchar>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ProcessThreads.h"

namespace {

using base::ThreadDispatcher;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool waitFor(const std::function<bool()>& done) {
    return test::waitFor(done, 30s);
}

// The numbers that follow `key` in every line holding it, e.g. the waits of the engine.
std::vector<long long> numbersAfter(const std::vector<test::LogLine>& lines, const std::wstring& key) {
    std::vector<long long> numbers;
    for (const test::LogLine& line : lines) {
        const std::size_t at = line.message.find(key);
        if (at != std::wstring::npos)
            numbers.push_back(std::wcstoll(line.message.c_str() + at + key.size(), nullptr, 10));
    }
    return numbers;
}

// Moves the wall clock (log times and the system time base) without touching the
// monotonic clock, as an operator or a time service setting the system clock would.
class SteppedWallClock : public base::clock::TimeSource {
public:
    boost::posix_time::ptime localNow() const override {
        return TimeSource::localNow() + boost::posix_time::microseconds(offset.load());
    }
    std::int64_t systemMicros() const override { return TimeSource::systemMicros() + offset.load(); }
    std::atomic<std::int64_t> offset{0};
};

class ThreadDispatcherTest : public ::testing::Test {
protected:
    ThreadDispatcherTest() { ThreadDispatcher::create(); }
    ~ThreadDispatcherTest() override {
        ThreadDispatcher::destroy();
        base::clock::setTimeSource(nullptr);
    }

    bool logged(const std::wstring& text, const std::wstring& level = L"") {
        return waitFor([&] { return log.contains(text, level); });
    }

    // Lines whose whole message is `message`; an empty message shows as the place.
    int countLines(const std::wstring& message) {
        int count = 0;
        for (const test::LogLine& line : log.lines()) count += line.message == message ? 1 : 0;
        return count;
    }

    test::LogCapture log;
};

TEST_F(ThreadDispatcherTest, IdentifiersCountFromOneAndLifecycleFaultsStopTheProgram) {
    EXPECT_EQ(1u, ThreadDispatcher::add(L"first", 0, [] {}));
    EXPECT_EQ(2u, ThreadDispatcher::add(L"second", 0, [] {}));
    EXPECT_THROW(ThreadDispatcher::add(L"empty", 0, boost::function<void()>()), exception::InternalError);
    EXPECT_EQ(3u, ThreadDispatcher::add(L"third", 0, [] {}));
    ThreadDispatcher::remove(0);
    EXPECT_TRUE(logged(L"dispatcher: skip removing id=0.", L"TRACE3"));
    EXPECT_FALSE(log.contains(L"(deferred removing)"));

    EXPECT_THROW(ThreadDispatcher::create(), exception::StopProgram);
    EXPECT_TRUE(logged(L"Не удалось создать новый экземпляр диспетчера потоков", L"FATAL"));
    ThreadDispatcher::destroy();
    EXPECT_THROW(ThreadDispatcher::destroy(), exception::StopProgram);
    EXPECT_TRUE(logged(L"Не удалось уничтожить диспетчер потоков", L"FATAL"));
    EXPECT_THROW(ThreadDispatcher::add(L"nowhere", 0, [] {}), exception::StopProgram);
    // A window that stops after the exit's destroy finds nothing to stop, and goes on stopping.
    EXPECT_NO_THROW(ThreadDispatcher::shutdown());
    ThreadDispatcher::create();
}

TEST_F(ThreadDispatcherTest, ItemsRunInAddOrderAndNeverBeforeTheirDelay) {
    std::mutex lock;
    std::vector<int> order;
    for (int i = 0; i < 20; ++i) {
        ThreadDispatcher::add(L"ordered", 0, [&, i] {
            std::lock_guard<std::mutex> guard(lock);
            order.push_back(i);
        });
    }
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> guard(lock);
        return order.size() == 20;
    }));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(i, order[i]);

    const std::vector<std::uint32_t> delays = {250, 0, 100, 400, 50};
    std::vector<std::atomic<Clock::time_point::rep>> ranAt(delays.size());
    std::vector<Clock::time_point> addedAt;
    for (std::size_t i = 0; i < delays.size(); ++i) {
        addedAt.push_back(Clock::now());
        ThreadDispatcher::add(L"delayed", delays[i],
                              [&, i] { ranAt[i] = Clock::now().time_since_epoch().count(); });
    }
    for (std::size_t i = 0; i < delays.size(); ++i) {
        ASSERT_TRUE(waitFor([&] { return ranAt[i] != 0; })) << "delay " << delays[i];
        const auto earliest = addedAt[i] + std::chrono::milliseconds(delays[i]);
        EXPECT_GE(ranAt[i].load(), earliest.time_since_epoch().count()) << "delay " << delays[i];
    }
}

TEST_F(ThreadDispatcherTest, EngineSleepsUntilTheNextDueItem) {
    ASSERT_TRUE(logged(L"dispatcher: wait... 10000000 mcsec", L"TRACE3"));
    std::atomic<bool> ran{false};
    const std::uint32_t id = ThreadDispatcher::add(L"in a second and a half", 1500, [&] { ran = true; });
    ASSERT_TRUE(logged(L"dispatcher: defer execution. id=" + std::to_wstring(id), L"TRACE2"));
    ASSERT_TRUE(waitFor([&] { return ran.load(); }));

    bool sawShortWait = false;
    for (long long wait : numbersAfter(log.lines(), L"dispatcher: wait... ")) {
        EXPECT_GE(wait, 500);
        EXPECT_LE(wait, 10000000);
        sawShortWait = sawShortWait || wait <= 1500000;
    }
    EXPECT_TRUE(sawShortWait);
}

TEST_F(ThreadDispatcherTest, RemovedItemsAndLongDelaysNeverRun) {
    std::atomic<int> early{0};
    // 4,294,968 ms is the first delay whose microseconds no longer fit in 32 bits.
    const std::uint32_t wrapping = ThreadDispatcher::add(L"wrapping", 4294968, [&] { ++early; });
    const std::uint32_t longest = ThreadDispatcher::add(L"longest", 0xFFFFFFFFu, [&] { ++early; });
    const std::uint32_t removed = ThreadDispatcher::add(L"removed", 300, [&] { ++early; });
    ThreadDispatcher::remove(removed);
    std::atomic<bool> sentinel{false};
    ThreadDispatcher::add(L"sentinel", 600, [&] { sentinel = true; });
    ASSERT_TRUE(waitFor([&] { return sentinel.load(); }));
    EXPECT_EQ(0, early.load());
    EXPECT_TRUE(logged(L"dispatcher: an action is removed with id=" + std::to_wstring(removed), L"DEBUG"));
    // The wait left is the whole delay, less the moments the engine took to see the item; microseconds
    // cut to 32 bits would leave 704 µs of the first delay and under 72 minutes of the second.
    for (const auto& [id, delay] : {std::pair(wrapping, 4294968LL), std::pair(longest, 0xFFFFFFFFLL)}) {
        const auto before =
            numbersAfter(log.find(L"defer execution. id=" + std::to_wstring(id) + L","), L"before=");
        ASSERT_FALSE(before.empty());
        EXPECT_GT(before.front(), delay * 1000 - 30000000);
    }

    // Removing an item that has already run changes nothing for the items after it.
    std::atomic<int> runs{0};
    const std::uint32_t done = ThreadDispatcher::add(L"done", 0, [&] { ++runs; });
    ASSERT_TRUE(waitFor([&] { return runs == 1; }));
    ThreadDispatcher::remove(done);
    EXPECT_TRUE(
        logged(L"dispatcher: remove id=" + std::to_wstring(done) + L" (deferred removing).", L"TRACE2"));
    ThreadDispatcher::add(L"next", 0, [&] { ++runs; });
    EXPECT_TRUE(waitFor([&] { return runs == 2; }));
}

TEST_F(ThreadDispatcherTest, LinesNameTheirOwnFunctionAndTheEngineCountsTheRemovalsItWokeTo) {
    log.keepPlaces();
    const std::uint32_t dropped = ThreadDispatcher::add(L"dropped", 60000, [] {});
    // The engine sleeps (it logs its wait holding the lock that remove takes), so every removal
    // below comes before it wakes.
    ASSERT_TRUE(waitFor([&] {
        std::wstring last;
        for (const test::LogLine& line : log.lines()) {
            if (line.message.rfind(L"dispatcher: wait... ", 0) == 0 ||
                line.message.rfind(L"dispatcher: woke up.", 0) == 0)
                last = line.message;
        }
        return last.rfind(L"dispatcher: wait... ", 0) == 0;
    }));
    ThreadDispatcher::remove(dropped);
    ThreadDispatcher::remove(dropped);      // one identifier counts once
    ThreadDispatcher::remove(dropped + 5);  // counted, though no item carries it
    ThreadDispatcher::remove(0);
    std::atomic<bool> ran{false};
    ThreadDispatcher::add(L"waking", 300, [&] { ran = true; });
    ASSERT_TRUE(waitFor([&] { return ran.load(); }));

    EXPECT_TRUE(logged(L"deferred removing is 2", L"TRACE2"));
    // The engine woke once more to run the item, and had nothing more to report.
    EXPECT_EQ(log.find(L"deferred removing is 2").size(), 1u);
    EXPECT_FALSE(log.contains(L"deferred removing is 1"));
    EXPECT_FALSE(log.contains(L"deferred removing is 3"));

    const std::pair<std::wstring, const char*> lines[] = {
        {L"dispatcher: add a function with description 'waking', delay=300", "base::ThreadDispatcher::add"},
        {L"dispatcher: added the function with id=" + std::to_wstring(dropped),
         "base::ThreadDispatcher::add"},
        {L"dispatcher: remove id=" + std::to_wstring(dropped) + L" (deferred removing).",
         "base::ThreadDispatcher::remove"},
        {L"dispatcher: an action is removed with id=" + std::to_wstring(dropped),
         "base::ThreadDispatcher::remove"},
        {L"dispatcher: skip removing id=0.", "base::ThreadDispatcher::remove"},
        {L"dispatcher: woke up.", "base::ThreadDispatcher::engineThread"},
    };
    for (const auto& [text, place] : lines) {
        const std::vector<std::string> places = log.placesOf(text);
        ASSERT_FALSE(places.empty()) << base::toUtf8(text);
        for (const std::string& each : places) EXPECT_EQ(each, place) << base::toUtf8(text);
    }
}

TEST_F(ThreadDispatcherTest, SettingTheWallClockNeitherStallsNorHurriesDelayedWork) {
    auto wallClock = std::make_shared<SteppedWallClock>();
    base::clock::setTimeSource(wallClock);
    constexpr std::int64_t hour = 3600LL * 1000000;

    std::atomic<bool> afterStepBack{false};
    ThreadDispatcher::add(L"after step back", 800, [&] { afterStepBack = true; });
    wallClock->offset = -hour;
    EXPECT_TRUE(waitFor([&] { return afterStepBack.load(); }));

    std::atomic<Clock::time_point::rep> ranAt{0};
    const auto earliest = Clock::now() + 800ms;
    ThreadDispatcher::add(L"after step forward", 800,
                          [&] { ranAt = Clock::now().time_since_epoch().count(); });
    wallClock->offset = 2 * hour;
    ASSERT_TRUE(waitFor([&] { return ranAt != 0; }));
    EXPECT_GE(ranAt.load(), earliest.time_since_epoch().count());
}

TEST_F(ThreadDispatcherTest, EngineRunsDueItemsWhileTheExecutorIsHeldUp) {
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    auto tracked = [&](const std::function<void()>& body) {
        const int now = ++running;
        int most = mostAtOnce.load();
        while (now > most && !mostAtOnce.compare_exchange_weak(most, now)) {
        }
        body();
        --running;
    };

    std::atomic<bool> release{false};
    std::atomic<bool> longStarted{false};
    std::thread::id executor;
    const std::uint32_t longId = ThreadDispatcher::add(L"long item", 0, [&] {
        tracked([&] {
            executor = std::this_thread::get_id();
            longStarted = true;
            // Over a second for the log's mark, then until the test has seen the engine work.
            std::this_thread::sleep_for(1100ms);
            waitFor([&] { return release.load(); });
        });
    });
    ASSERT_TRUE(waitFor([&] { return longStarted.load(); }));

    constexpr int kShort = 5;
    std::mutex lock;
    std::vector<std::thread::id> shortThreads;
    for (int i = 0; i < kShort; ++i) {
        ThreadDispatcher::add(L"short item", 0, [&] {
            tracked([&] {
                std::this_thread::sleep_for(20ms);
                std::lock_guard<std::mutex> guard(lock);
                shortThreads.push_back(std::this_thread::get_id());
            });
        });
    }
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> guard(lock);
        return shortThreads.size() == kShort;
    }));
    for (const std::thread::id& thread : shortThreads) EXPECT_NE(executor, thread);
    EXPECT_TRUE(logged(L"dispatcher: the main thread got timeout for executor thread.", L"DEBUG"));
    EXPECT_GE(log.find(L"dispatcher: handle the queue by engine thread.", L"DEBUG").size(),
              std::size_t{kShort});

    release = true;
    EXPECT_TRUE(logged(L"dispatcher: Last operation took a long time (", L"MARK"));
    EXPECT_TRUE(log.contains(L"uS, id=" + std::to_wstring(longId) + L", description 'long item').", L"MARK"));
    EXPECT_EQ(2, mostAtOnce.load());

    // Once the long item has ended, the executor takes the work again.
    EXPECT_TRUE(waitFor([&] {
        auto onExecutor = std::make_shared<std::atomic<int>>(-1);
        ThreadDispatcher::add(
            L"probe", 0, [onExecutor, executor] { *onExecutor = std::this_thread::get_id() == executor; });
        return waitFor([&] { return *onExecutor != -1; }) && *onExecutor == 1;
    }));
}

TEST_F(ThreadDispatcherTest, ExceptionsOfItemsAreLoggedAndTheThreadsGoOn) {
    struct Case {
        std::wstring description;
        std::function<void()> thrower;
        std::wstring debugLine;  // empty: not looked for
        std::wstring errorText;
        bool wholeErrorLine;
    };
    const std::vector<Case> cases = {
        {L"offline item", [] { throw exception::Offline(); }, L"dispatcher: 'offline', '', 'offline item'",
         L"offline", true},
        {L"internal item", [] { throw exception::InternalError(L"broken table"); },
         L"dispatcher: 'Internal error', 'broken table', 'internal item'", L"Описание: 'broken table'",
         false},
        {L"stop item", [] { throw exception::StopProgram(); }, L"dispatcher: 'Stop program', '', 'stop item'",
         L"Stop program", true},
        {L"percent item", [] { throw exception::UserResponse(L"50% done %1% %s", L""); },
         L"dispatcher: '50% done %1% %s', '', 'percent item'", L"50% done %1% %s", true},
        {L"runtime item", [] { throw std::runtime_error("disk %1% full %s"); }, L"",
         L"Причина: 'disk %1% full %s'.\\AОписание источника 'runtime item'.", false},
        // A library's text, in the system's UTF-8.
        {L"library item", [] { throw std::runtime_error(base::toUtf8(L"connect: Соединение отвергнуто")); },
         L"", L"Причина: 'connect: Соединение отвергнуто'.", false},
        {L"int item", [] { throw 42; }, L"",
         L"Поймано необработанное исключение.\\AОписание источника 'int item'.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const std::uint32_t id = ThreadDispatcher::add(c.description, 0, [&c] { c.thrower(); });
        std::atomic<bool> nextRan{false};
        ThreadDispatcher::add(L"next", 0, [&] { nextRan = true; });
        ASSERT_TRUE(waitFor([&] { return nextRan.load(); }));
        if (!c.debugLine.empty()) {
            EXPECT_TRUE(logged(c.debugLine, L"DEBUG"));
        }
        EXPECT_TRUE(waitFor([&] {
            for (const test::LogLine& line : log.find(c.errorText, L"ERROR")) {
                if (!c.wholeErrorLine || line.message == c.errorText) return true;
            }
            return false;
        }));
        EXPECT_EQ(0, countLines(L"dispatcher: finish function execution, id=" + std::to_wstring(id)));
    }
    EXPECT_FALSE(log.contains(L"Format error"));
}

TEST_F(ThreadDispatcherTest, ShutdownDropsPendingWork) {
    std::atomic<bool> started{false};
    std::atomic<bool> sleptThrough{false};
    ThreadDispatcher::add(L"running", 0, [&] {
        started = true;
        boost::this_thread::sleep_for(boost::chrono::seconds(60));
        sleptThrough = true;
    });
    ASSERT_TRUE(waitFor([&] { return started.load(); }));
    std::atomic<int> dropped{0};
    ThreadDispatcher::add(L"delayed", 1000, [&] { ++dropped; });
    ThreadDispatcher::add(L"later", 1200, [&] { ++dropped; });

    ThreadDispatcher::shutdown();
    EXPECT_FALSE(sleptThrough);
    EXPECT_TRUE(logged(L"dispatcher: stop handle", L"DEBUG"));
    EXPECT_TRUE(logged(L"dispatcher: stop executor thread", L"DEBUG"));

    EXPECT_NE(0u, ThreadDispatcher::add(L"after shutdown", 0, [&] { ++dropped; }));
    // No thread is left that could run what is queued, once its time comes or ever.
    EXPECT_TRUE(waitFor([] {
        return test::threadsNamed("dispatch-engine").empty() && test::threadsNamed("dispatch-exec").empty();
    }));
    EXPECT_EQ(0, dropped.load());

    ThreadDispatcher::shutdown();
    EXPECT_TRUE(waitFor([&] { return countLines(L"base::ThreadDispatcher::shutdown") == 4; }));
}

}  // namespace
