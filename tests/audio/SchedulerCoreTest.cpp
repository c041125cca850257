// The scheduler core on the clock seam, in a time zone with summer time (CET/CEST, set through
// TZ): a daily task plays at its local hour on every day of its dates, once, also on the days
// the clocks change either way and after the time zone changed; a one-time task plays once;
// disabled tasks and tasks whose time had passed when they were put do not play; a stop that a
// step of the clock passed over runs late, a start is told missed; the thread ends at once; ids
// are checked.

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
    // The clock goes back over both times, and on over them again.
    pass("2024-06-01 09:00:00");
    pass("2024-06-01 10:00:00");
    pass("2024-06-02 10:00:00");
    EXPECT_EQ(runs(), std::vector<std::string>{"once 2024-Jun-01 12:00:10"});
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
