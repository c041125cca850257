// The scheduler core on the clock seam, in a time zone with summer time (CET/CEST, set through
// TZ): a daily task plays at its local hour on every day of its dates, once, also on the days
// the clocks change either way (at 02:00 or at 23:00) and after the time zone changed; a one-time
// task plays once; disabled tasks and tasks whose time had passed when they were put do not play
// until the clock goes back before that time; a stop that a step of the clock or a change of the
// time zone passed over runs late, a start is told missed, as is one that summer time moves past
// its own stop; a clock set back plays the days it shows again but none that ran, and set back
// further than the runs are kept it tells at once, in one message, when the tasks play again; the
// thread ends at once; ids are checked.

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <future>
#include <mutex>

#include "audio/BaseTask.h"
#include "audio/CivilTime.h"
#include "audio/SchedulerCore.h"
#include "foundation/Clock.h"
#include "foundation/EventTimes.h"
#include "foundation/Exceptions.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TimeZone.h"

namespace {

using boost::posix_time::ptime;
using scheduler::task::Daily;
using scheduler::task::Once;

// The clock seam's microseconds of a UTC date and time.
std::int64_t utc(const char* text) {
    const ptime epoch(boost::gregorian::date(1601, 1, 1));
    return (boost::posix_time::time_from_string(text) - epoch).total_microseconds();
}

class SchedulerCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        base::ThreadDispatcher::create();
        clock_.setSystemMicros(utc("2024-01-01 00:00:00"));
        core_ = std::make_unique<scheduler::Core>();
    }
    void TearDown() override {
        core_.reset();
        base::ThreadDispatcher::destroy();
    }

    // An event that records the local time at which it ran under the name.
    scheduler::task::BaseTask::Event record(const std::string& name) {
        return [this, name] {
            std::lock_guard<std::mutex> guard(lock_);
            runs_.push_back(name + " " + boost::posix_time::to_simple_string(scheduler::civilNow()));
        };
    }
    // Sets the clock, which then stands still, and waits until the core has looked at it and run
    // what fell due by then.
    void moveTo(const char* time) {
        const std::int64_t micros = utc(time);
        clock_.setSystemMicros(micros);
        ASSERT_TRUE(test::waitFor([&] { return core_->checkedUpTo() == micros; })) << time;
        ASSERT_TRUE(test::waitForDispatcher());
    }
    // Passes the instant: ten seconds before it and ten after.
    void pass(const char* time) {
        const std::int64_t micros = utc(time);
        const auto text = [](std::int64_t at) {
            return boost::posix_time::to_simple_string(ptime(boost::gregorian::date(1601, 1, 1)) +
                                                       boost::posix_time::microseconds(at));
        };
        moveTo(text(micros - 10000000).c_str());
        moveTo(text(micros + 10000000).c_str());
    }
    std::vector<std::string> runs() {
        std::lock_guard<std::mutex> guard(lock_);
        return runs_;
    }

    const test::TimeZone zone_{test::TimeZone::centralEurope};
    test::LogCapture capture_;
    test::ManualClock clock_;
    std::unique_ptr<scheduler::Core> core_;
    std::mutex lock_;
    std::vector<std::string> runs_;
};

TEST_F(SchedulerCoreTest, ADailyTaskPlaysAtItsLocalHourOnEachOfItsDaysAcrossTheChangeToSummerTime) {
    ASSERT_TRUE(
        core_->putTask(std::make_shared<Daily>(1, L"2024-03-30", L"08:00", L"2024-04-01", record("08"))));
    // 02:30 does not exist on 31 March: it plays when the clock has passed it, once.
    ASSERT_TRUE(
        core_->putTask(std::make_shared<Daily>(3, L"2024-03-31", L"02:30", L"2024-03-31", record("0230"))));
    for (const char* instant :
         {"2024-03-29 07:00:00", "2024-03-30 06:00:00", "2024-03-30 07:00:00", "2024-03-31 00:30:00",
          "2024-03-31 01:00:00", "2024-03-31 01:30:00", "2024-03-31 06:00:00", "2024-03-31 07:00:00",
          "2024-04-01 06:00:00", "2024-04-01 07:00:00", "2024-04-02 06:00:00"})
        pass(instant);
    const std::vector<std::string> expected = {"08 2024-Mar-30 08:00:10", "0230 2024-Mar-31 03:30:10",
                                               "08 2024-Mar-31 08:00:10", "08 2024-Apr-01 08:00:10"};
    EXPECT_EQ(runs(), expected);
}

TEST_F(SchedulerCoreTest, ADailyTaskPlaysOnceAtItsLocalHourAcrossTheChangeBackToStandardTime) {
    ASSERT_TRUE(
        core_->putTask(std::make_shared<Daily>(1, L"2024-10-26", L"08:00", L"2024-10-28", record("08"))));
    // 02:30 comes twice on 27 October: the first one plays.
    ASSERT_TRUE(core_->putTask(std::make_shared<Daily>(3, L"2024-10-27", L"02:30", L"", record("0230"))));
    for (const char* instant :
         {"2024-10-26 06:00:00", "2024-10-27 00:30:00", "2024-10-27 01:30:00", "2024-10-27 06:00:00",
          "2024-10-27 07:00:00", "2024-10-28 01:30:00", "2024-10-28 07:00:00", "2024-10-29 07:00:00"})
        pass(instant);
    const std::vector<std::string> expected = {"08 2024-Oct-26 08:00:10", "0230 2024-Oct-27 02:30:10",
                                               "08 2024-Oct-27 08:00:10", "0230 2024-Oct-28 02:30:10",
                                               "08 2024-Oct-28 08:00:10"};
    EXPECT_EQ(runs(), expected);
}

TEST_F(SchedulerCoreTest, AOneTimeTaskPlaysOnceWhileDisabledAndPassedTasksNever) {
    moveTo("2024-06-01 09:30:00");  // 11:30 local
    ASSERT_TRUE(core_->putTask(std::make_shared<Once>(1, L"2024-06-01", L"12:00", record("once"))));
    auto disabled = std::make_shared<Daily>(3, L"2024-06-01", L"12:00", L"", record("disabled"));
    disabled->enable(false);
    ASSERT_TRUE(core_->putTask(disabled));
    ASSERT_TRUE(core_->putTask(std::make_shared<Once>(5, L"2024-06-01", L"11:00", record("passed"))));
    pass("2024-06-01 10:00:00");
    // The clock goes back over both times, and on over them again: the one-time task does not
    // play again, and the moment of putting goes back with the clock, to before 11:00.
    pass("2024-06-01 09:00:00");
    pass("2024-06-01 10:00:00");
    pass("2024-06-02 10:00:00");
    EXPECT_EQ(runs(), (std::vector<std::string>{"once 2024-Jun-01 12:00:10", "passed 2024-Jun-01 11:00:10"}));
    EXPECT_TRUE(capture_.contains(L"Планировщик. Часы переведены назад на "));
}

TEST_F(SchedulerCoreTest, AnOccurrenceLeftBehindByAJumpOfTheClockDoesNotPlay) {
    ASSERT_TRUE(core_->putTask(std::make_shared<Daily>(1, L"2024-01-01", L"08:00", L"", record("08"))));
    moveTo("2024-01-02 06:59:00");
    moveTo("2024-01-02 07:00:30");  // 08:00 is 30 s behind
    pass("2024-01-03 07:00:00");
    EXPECT_EQ(runs(), std::vector<std::string>{"08 2024-Jan-03 08:00:10"});
}

TEST_F(SchedulerCoreTest, AStopThatAStepOfTheClockPassedOverRunsLateOnceAndAMissedStartIsTold) {
    ASSERT_TRUE(core_->putTask(std::make_shared<Daily>(1, L"2024-01-02", L"08:00", L"", record("start"))));
    auto stop = std::make_shared<Daily>(2, L"2024-01-02", L"09:00", L"", record("stop"));
    stop->setRunsLate(true);
    ASSERT_TRUE(core_->putTask(stop));
    ASSERT_TRUE(core_->putTask(std::make_shared<Daily>(3, L"2024-01-02", L"10:00", L"", record("ten"))));
    pass("2024-01-02 07:00:00");
    moveTo("2024-01-02 11:00:00");  // over 09:00 and 10:00 local
    EXPECT_TRUE(capture_.contains(L"вперёд: N3 2024-01-02 10:00", L"WARN"));
    // A halt of three days: the stop runs once.
    moveTo("2024-01-05 11:00:00");
    EXPECT_TRUE(capture_.contains(L"вперёд: N1 2024-01-03 08:00, N3 2024-01-03 10:00", L"WARN"));
    pass("2024-01-06 08:00:00");
    const std::vector<std::string> expected = {"start 2024-Jan-02 08:00:10", "stop 2024-Jan-02 12:00:00",
                                               "stop 2024-Jan-05 12:00:00", "stop 2024-Jan-06 09:00:10"};
    EXPECT_EQ(runs(), expected);
}

TEST_F(SchedulerCoreTest, ATaskPlaysAtItsHourInTheTimeZoneThatTheMachineWasChangedTo) {
    ASSERT_TRUE(core_->putTask(std::make_shared<Daily>(1, L"2024-01-02", L"08:00", L"", record("08"))));
    moveTo("2024-01-02 05:00:00");
    // An hour east: 08:00 comes an hour sooner.
    test::TimeZone::use("EET-2");
    pass("2024-01-02 06:00:00");
    pass("2024-01-02 07:00:00");
    EXPECT_EQ(runs(), std::vector<std::string>{"08 2024-Jan-02 08:00:10"});
}

TEST_F(SchedulerCoreTest, EachDayOfATaskRunsOnceAtItsHourWhateverTheClockAndTheTimeZoneDo) {
    struct Task {
        std::uint32_t id;
        const char* name;
        const wchar_t* startDate;
        const wchar_t* time;
        const wchar_t* finalDate;
        // A start's stop time (empty for none), or "stop": the task is a stop, which runs late.
        const wchar_t* stop;
    };
    struct Line {
        const wchar_t* text;  // as the log writes it: a line feed as \A
        const wchar_t* level;
        // How many times the steps tell it; 0: at least once.
        std::size_t times = 0;
    };
    struct Case {
        const char* what;
        const char* zone;
        const char* putAt;  // UTC, as every time below
        std::vector<Task> tasks;
        // "pass TIME", "move TIME" or "zone RULE".
        std::vector<std::string> steps;
        std::vector<std::string> runs;  // local times
        std::vector<Line> told;
    };
    const Case cases[] = {
        {"a step forward over a stop runs it late and tells the start missed",
         test::TimeZone::centralEurope,
         "2024-01-02 06:00:00",
         {{1, "start", L"2024-01-02", L"08:00", L"", L"09:00"},
          {2, "stop", L"2024-01-02", L"09:00", L"", L"stop"},
          {3, "ten", L"2024-01-02", L"10:00", L"", L""}},
         {"pass 2024-01-02 07:00:00", "move 2024-01-02 10:00:00"},
         {"start 2024-Jan-02 08:00:10", "stop 2024-Jan-02 11:00:00"},
         {{L"Задание N2 выполнено с опозданием", L"IMPOR"}, {L"вперёд: N3 2024-01-02 10:00", L"WARN"}}},
        {"02:30 that summer time skips plays at 03:30",
         test::TimeZone::centralEurope,
         "2024-03-30 12:00:00",
         {{1, "0230", L"2024-03-31", L"02:30", L"2024-04-01", L""}},
         {"pass 2024-03-31 00:30:00", "pass 2024-03-31 01:30:00", "pass 2024-04-01 00:30:00"},
         {"0230 2024-Mar-31 03:30:10", "0230 2024-Apr-01 02:30:10"},
         {}},
        {"tasks put while the clock was ahead play on the days the clock set back shows",
         test::TimeZone::centralEurope,
         "2024-01-05 06:00:00",
         {{1, "08", L"2024-01-01", L"08:00", L"", L""}},
         {"move 2024-01-03 06:00:00", "pass 2024-01-03 07:00:00", "pass 2024-01-04 07:00:00"},
         {"08 2024-Jan-03 08:00:10", "08 2024-Jan-04 08:00:10"},
         {{L"Планировщик. Часы переведены назад на 172800 с", L"IMPOR"}}},
        {"a clock set back two days replays no day that ran",
         test::TimeZone::centralEurope,
         "2024-01-01 00:00:00",
         {{1, "08", L"2024-01-01", L"08:00", L"", L""}},
         {"move 2024-01-05 06:00:00", "pass 2024-01-05 07:00:00", "move 2024-01-03 08:00:00",
          "pass 2024-01-04 07:00:00", "pass 2024-01-05 07:00:00", "pass 2024-01-06 07:00:00"},
         {"08 2024-Jan-05 08:00:10", "08 2024-Jan-04 08:00:10", "08 2024-Jan-06 08:00:10"},
         {}},
        {"a zone moved east over a stop runs it late and tells the start missed",
         "UTC0",
         "2024-01-02 07:00:00",
         {{1, "start", L"2024-01-02", L"08:00", L"", L"09:00"},
          {2, "stop", L"2024-01-02", L"09:00", L"", L"stop"},
          {3, "ten", L"2024-01-02", L"10:00", L"", L""}},
         {"pass 2024-01-02 08:00:00", "move 2024-01-02 08:30:00", "zone EET-2", "move 2024-01-02 08:30:05",
          "pass 2024-01-03 06:00:00", "pass 2024-01-03 07:00:00"},
         {"start 2024-Jan-02 08:00:10", "stop 2024-Jan-02 10:30:05", "start 2024-Jan-03 08:00:10",
          "stop 2024-Jan-03 09:00:10"},
         {{L"Задание N2 выполнено с опозданием", L"IMPOR"}, {L"вперёд: N3 2024-01-02 10:00", L"WARN"}}},
        {"a zone changed while a playlist plays runs its stop",
         "UTC0",
         "2024-01-02 09:00:00",
         {{1, "start", L"2024-01-02", L"10:00", L"", L"10:03"},
          {2, "stop", L"2024-01-02", L"10:03", L"", L"stop"}},
         {"pass 2024-01-02 10:00:00", "move 2024-01-02 10:01:00", "zone <+05>-5", "move 2024-01-02 10:01:05"},
         {"start 2024-Jan-02 10:00:10", "stop 2024-Jan-02 15:01:05"},
         {{L"Задание N2 выполнено с опозданием", L"IMPOR"}}},
        {"a time that summer time skips at 23:00 plays after the change",
         "XST-1XDT,M3.5.0/23,M10.5.0/3",
         "2024-03-30 12:00:00",
         {{1, "2330", L"2024-03-30", L"23:30", L"2024-04-01", L""}},
         {"pass 2024-03-30 22:30:00", "pass 2024-03-31 22:30:00", "pass 2024-04-01 21:30:00",
          "pass 2024-04-02 21:30:00"},
         {"2330 2024-Mar-30 23:30:10", "2330 2024-Apr-01 00:30:10", "2330 2024-Apr-01 23:30:10"},
         {}},
        {"a start that summer time moves past its own stop does not play through the day",
         test::TimeZone::centralEurope,
         "2026-03-28 12:00:00",
         {{1, "0230", L"2026-03-29", L"02:30", L"", L"03:10"},
          {2, "0310", L"2026-03-29", L"03:10", L"", L"stop"},
          {3, "0210", L"2026-03-29", L"02:10", L"", L"02:50"},
          {4, "0250", L"2026-03-29", L"02:50", L"", L"stop"}},
         {"pass 2026-03-29 01:10:00", "pass 2026-03-29 01:30:00", "pass 2026-03-29 01:50:00",
          "pass 2026-03-30 00:10:00", "pass 2026-03-30 00:30:00", "pass 2026-03-30 00:50:00",
          "pass 2026-03-30 01:10:00"},
         {"0310 2026-Mar-29 03:10:10", "0210 2026-Mar-29 03:10:10", "0250 2026-Mar-29 03:50:10",
          "0210 2026-Mar-30 02:10:10", "0230 2026-Mar-30 02:30:10", "0250 2026-Mar-30 02:50:10",
          "0310 2026-Mar-30 03:10:10"},
         {{L"вперёд: N1 2026-03-29 03:30", L"WARN"}}},
        {"a clock set back 65 days after a day ran plays the days it shows",
         "UTC0",
         "2024-06-01 06:00:00",
         {{1, "08", L"2024-01-01", L"08:00", L"", L""}},
         {"pass 2024-06-01 08:00:00", "move 2024-03-28 06:00:00", "pass 2024-03-28 08:00:00"},
         {"08 2024-Jun-01 08:00:10", "08 2024-Mar-28 08:00:10"},
         {}},
        {"a clock set back a year plays the day it shows, set back further than the runs are kept it is told "
         "once",
         "UTC0",
         "2026-06-01 06:00:00",
         {{1, "08", L"2024-01-01", L"08:00", L"", L""}},
         {"pass 2026-06-01 08:00:00", "move 2025-06-01 06:00:00", "pass 2025-06-01 08:00:00",
          "move 2024-06-01 06:00:00", "pass 2024-06-01 08:00:00", "pass 2024-06-02 08:00:00"},
         {"08 2026-Jun-01 08:00:10", "08 2025-Jun-01 08:00:10"},
         {{L"которые помнятся:\\AN1: не запускается с 2024-06-01 08:00, снова запускается с 2025-01-05 08:00",
           L"WARN"},
          {L"дальше, чем помнится", L"WARN", 1}}},
        {"a clock set back 600 days tells a start and its stop in one message, with the day they play again",
         "UTC0",
         "2026-06-01 06:00:00",
         {{1, "start", L"2024-01-01", L"08:00", L"", L"09:00"},
          {2, "stop", L"2024-01-01", L"09:00", L"", L"stop"}},
         {"pass 2026-06-01 08:00:00", "pass 2026-06-01 09:00:00", "move 2024-10-09 06:00:00",
          "pass 2024-10-09 08:00:00", "pass 2024-10-09 09:00:00"},
         {"start 2026-Jun-01 08:00:10", "stop 2026-Jun-01 09:00:10"},
         {{L"дальше, чем помнится", L"WARN", 1},
          {L":\\AN1: не запускается с 2024-10-09 08:00, снова запускается с 2025-01-05 08:00"
           L"\\AN2: не запускается с 2024-10-09 09:00, снова запускается с 2025-01-05 09:00",
           L"WARN", 1}}},
        {"two steps back over the same days play only the day that did not run",
         "UTC0",
         "2024-01-01 06:00:00",
         {{1, "08", L"2024-01-01", L"08:00", L"", L""}},
         {"pass 2024-01-01 08:00:00", "pass 2024-01-02 08:00:00", "pass 2024-01-03 08:00:00",
          "move 2024-01-05 07:00:00", "pass 2024-01-05 08:00:00", "move 2024-01-01 07:00:00",
          "pass 2024-01-01 08:00:00", "pass 2024-01-02 08:00:00", "pass 2024-01-03 08:00:00",
          "pass 2024-01-04 08:00:00", "move 2024-01-02 07:00:00", "pass 2024-01-02 08:00:00",
          "pass 2024-01-05 08:00:00", "pass 2024-01-06 08:00:00"},
         {"08 2024-Jan-01 08:00:10", "08 2024-Jan-02 08:00:10", "08 2024-Jan-03 08:00:10",
          "08 2024-Jan-05 08:00:10", "08 2024-Jan-04 08:00:10", "08 2024-Jan-06 08:00:10"},
         {}},
        {"a 22:00-06:00 playlist plays through an ordinary night and both nights summer time changes",
         test::TimeZone::centralEurope,
         "2024-01-02 12:00:00",
         {{1, "start", L"2024-01-02", L"22:00", L"2024-01-02", L"06:00"},
          {2, "stop", L"2024-01-03", L"06:00", L"2024-01-03", L"stop"},
          {3, "start", L"2024-03-30", L"22:00", L"2024-03-30", L"06:00"},
          {4, "stop", L"2024-03-31", L"06:00", L"2024-03-31", L"stop"},
          {5, "start", L"2024-10-26", L"22:00", L"2024-10-26", L"06:00"},
          {6, "stop", L"2024-10-27", L"06:00", L"2024-10-27", L"stop"}},
         {"pass 2024-01-02 21:00:00", "pass 2024-01-03 05:00:00", "pass 2024-03-30 21:00:00",
          "pass 2024-03-31 04:00:00", "pass 2024-10-26 20:00:00", "pass 2024-10-27 05:00:00"},
         {"start 2024-Jan-02 22:00:10", "stop 2024-Jan-03 06:00:10", "start 2024-Mar-30 22:00:10",
          "stop 2024-Mar-31 06:00:10", "start 2024-Oct-26 22:00:10", "stop 2024-Oct-27 06:00:10"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        core_.reset();
        test::TimeZone::use(c.zone);
        clock_.setSystemMicros(utc(c.putAt));
        core_ = std::make_unique<scheduler::Core>();
        {
            std::lock_guard<std::mutex> guard(lock_);
            runs_.clear();
        }
        std::vector<std::size_t> toldBefore;
        for (const Line& line : c.told) toldBefore.push_back(capture_.find(line.text, line.level).size());
        for (const Task& t : c.tasks) {
            auto task = std::make_shared<Daily>(t.id, t.startDate, t.time, t.finalDate, record(t.name));
            if (std::wstring(t.stop) == L"stop") {
                task->setRunsLate(true);
            } else {
                task->setStopTime(t.stop);
            }
            ASSERT_TRUE(core_->putTask(task));
        }
        for (const std::string& step : c.steps) {
            const std::string argument = step.substr(5);
            if (step.rfind("pass ", 0) == 0) {
                pass(argument.c_str());
            } else if (step.rfind("move ", 0) == 0) {
                moveTo(argument.c_str());
            } else {
                test::TimeZone::use(argument.c_str());
            }
        }
        EXPECT_EQ(runs(), c.runs);
        for (std::size_t n = 0; n < c.told.size(); ++n) {
            const std::size_t told = capture_.find(c.told[n].text, c.told[n].level).size() - toldBefore[n];
            if (c.told[n].times == 0) {
                EXPECT_GT(told, 0u) << base::toUtf8(c.told[n].text);
            } else {
                EXPECT_EQ(told, c.told[n].times) << base::toUtf8(c.told[n].text);
            }
        }
    }
}

TEST_F(SchedulerCoreTest, ALongSleepIsToldPlausibleOnlyRightAfterTheMachineWoke) {
    struct Case {
        const char* from;
        const char* to;
        int wokeSecondsBefore;  // before `to`; -1: the machine did not wake
        const wchar_t* line;    // null: no long sleep
    };
    const Case cases[] = {
        {"2024-01-02 10:00:00", "2024-01-02 10:00:30", -1,
         L"Планировщик. Поток спал некорректно долго (30 с): часы переведены вперёд"},
        {"2024-01-02 11:00:00", "2024-01-02 11:05:00", 170,
         L"Планировщик. Поток спал 300 с: компьютер был в спящем режиме"},
        {"2024-01-02 12:00:00", "2024-01-02 12:05:00", 190,
         L"Планировщик. Поток спал некорректно долго (300 с)"},
        {"2024-01-02 13:00:00", "2024-01-02 13:00:25", -1, nullptr},  // 25 s is no long sleep
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        moveTo(c.from);
        if (c.wokeSecondsBefore >= 0) {
            os::setEventTime(
                3, (utc(c.to) - base::clock::kUnixEpochMicros - c.wokeSecondsBefore * 1000000LL) * 10);
        }
        const std::size_t before = capture_.find(L"Поток спал").size();
        moveTo(c.to);
        os::setEventTime(3, 0);
        const std::vector<test::LogLine> lines = capture_.find(L"Поток спал");
        ASSERT_EQ(lines.size(), before + (c.line ? 1 : 0));
        if (c.line) {
            EXPECT_EQ(lines.back().message.rfind(c.line, 0), 0u) << base::toUtf8(lines.back().message);
        }
    }
}

TEST_F(SchedulerCoreTest, StopJoinsAtOnceWithATaskDue) {
    ASSERT_TRUE(core_->putTask(std::make_shared<Daily>(1, L"2024-01-01", L"08:00", L"", record("08"))));
    clock_.setSystemMicros(utc("2024-01-01 07:00:01"));
    auto stopped = std::async(std::launch::async, [this] { core_->stop(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(core_->getTasks().empty());
    core_->stop();
}

TEST_F(SchedulerCoreTest, PutTaskRefusesNoTaskAPresentIdAndTheInvalidId) {
    EXPECT_FALSE(core_->putTask(nullptr));
    EXPECT_TRUE(core_->putTask(std::make_shared<Once>(7, L"2024-01-01", L"08:00", record("a"))));
    EXPECT_FALSE(core_->putTask(std::make_shared<Daily>(7, L"2024-01-01", L"09:00", L"", record("b"))));
    EXPECT_FALSE(core_->putTask(std::make_shared<Once>(0xFFFFFFFF, L"2024-01-01", L"08:00", record("c"))));
    EXPECT_TRUE(core_->hasTask(7));
    EXPECT_EQ(core_->getTasks().size(), 1u);
    EXPECT_EQ(core_->getTask(8), nullptr);
    core_->erase(8);
    EXPECT_TRUE(capture_.contains(L"Планировщик. Номер задания не найден: 8", L"WARN"));
    core_->erase(7);
    EXPECT_FALSE(core_->hasTask(7));
    EXPECT_THROW(Daily(9, L"2024-02-30", L"08:00", L"", {}), exception::IncorrectFormat);
    EXPECT_THROW(Daily(9, L"2024-02-03", L"8", L"", {}), exception::IncorrectFormat);
}

}  // namespace
