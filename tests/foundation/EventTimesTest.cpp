// The rule that tells a plausible long sleep of a thread from an incorrect one, on the clock seam.

#include <gtest/gtest.h>

#include "foundation/EventTimes.h"
#include "foundation/Exceptions.h"
#include "support/ManualClock.h"

namespace {

constexpr std::int64_t kSecond = 10000000;  // in ticks of the event times

class EventTimesTest : public ::testing::Test {
protected:
    void SetUp() override { clock_.setSystemMicros(13350225600000000LL); }
    void TearDown() override { reset(); }
    static void reset() {
        for (unsigned event = 0; event < os::kEventCount; ++event) os::setEventTime(event, 0);
        os::setEventFlag(false);
    }

    test::ManualClock clock_;
};

TEST_F(EventTimesTest, ASleepIsPlausibleLongAfterTheFlaggedEventTwoOrShortlyAfterEventThree) {
    struct Case {
        const char* name;
        bool flag;
        std::int64_t event2Ago;  // 0: never recorded
        std::int64_t event3Ago;
        bool plausible;
    };
    const Case cases[] = {
        {"nothing recorded", false, 0, 0, false},
        {"flag, event 2 121 s ago", true, 121 * kSecond, 0, true},
        {"flag, event 2 120 s ago", true, 120 * kSecond, 0, false},
        {"flag, event 2 never", true, 0, 0, true},
        {"no flag, event 2 500 s ago", false, 500 * kSecond, 0, false},
        {"event 3 180 s ago", false, 0, 180 * kSecond, true},
        {"event 3 181 s ago", false, 0, 181 * kSecond, false},
        {"event 3 ahead of now", false, 0, -10 * kSecond, true},
        {"flag, event 2 just now, event 3 long ago", true, 1, 900 * kSecond, false},
    };
    for (const Case& c : cases) {
        reset();
        const std::int64_t now = os::eventTicksNow();
        os::setEventFlag(c.flag);
        if (c.event2Ago != 0) os::setEventTime(2, now - c.event2Ago);
        if (c.event3Ago != 0) os::setEventTime(3, now - c.event3Ago);
        EXPECT_EQ(os::checkEventTimes(), c.plausible) << c.name;
    }
}

TEST_F(EventTimesTest, TimesAreTicksOfTheSystemClockAndZeroUntilRecorded) {
    // 1601-01-01 plus the micros set above is 2024-01-20 12:00:00 UTC.
    EXPECT_EQ(os::eventTicksNow(), 17057520000000000LL);
    for (unsigned event = 0; event < os::kEventCount; ++event) EXPECT_EQ(os::getEventTime(event), 0) << event;
    os::setEventTime(1, 42);
    EXPECT_EQ(os::getEventTime(1), 42);
    EXPECT_THROW(os::getEventTime(os::kEventCount), exception::ServerError);
    EXPECT_THROW(os::setEventTime(os::kEventCount, 1), exception::ServerError);
}

}  // namespace
