#include <gtest/gtest.h>

#include <array>
#include <ctime>

#include "foundation/SignalSafeClock.h"
#include "support/TimeZone.h"

namespace {

std::array<int, 6> fieldsOf(const debug::CivilTime& time) {
    return {time.year, time.month, time.day, time.hour, time.minute, time.second};
}

TEST(SignalSafeClock, UnpreparedGivesTheCalendarOfUtc) {
    const std::pair<std::int64_t, std::array<int, 6>> moments[] = {
        {0, {1970, 1, 1, 0, 0, 0}},
        {-1, {1969, 12, 31, 23, 59, 59}},
        {951782400, {2000, 2, 29, 0, 0, 0}},
        {951868799, {2000, 2, 29, 23, 59, 59}},
        {4107542399, {2100, 2, 28, 23, 59, 59}},
        {4107542400, {2100, 3, 1, 0, 0, 0}},
        {-2203891200, {1900, 3, 1, 0, 0, 0}},
        {1735648215, {2024, 12, 31, 12, 30, 15}},
    };
    const debug::SignalSafeClock clock;
    for (const auto& [seconds, expected] : moments) {
        const debug::CivilTime time = clock.at(seconds, 999999999);
        EXPECT_EQ(fieldsOf(time), expected) << seconds;
        EXPECT_EQ(time.millisecond, 999) << seconds;
    }
}

TEST(SignalSafeClock, AgreesWithTheCLibraryAcrossTheComingYear) {
    const test::TimeZone zone(test::TimeZone::centralEurope);
    debug::SignalSafeClock clock;
    clock.prepare();
    const std::time_t start = std::time(nullptr) / 3600 * 3600;
    int mismatches = 0;
    // Changes fall on whole hours: the last second before each hour and the hour itself.
    for (std::time_t hour = start + 3600; hour < start + 366 * 86400 && mismatches < 5; hour += 3600) {
        for (const std::time_t moment : {hour - 1, hour}) {
            std::tm expected{};
            localtime_r(&moment, &expected);
            const std::array<int, 6> fields = fieldsOf(clock.at(moment, 0));
            const std::array<int, 6> wanted = {expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_mday,
                                               expected.tm_hour,        expected.tm_min,     expected.tm_sec};
            EXPECT_EQ(fields, wanted) << "at " << moment;
            mismatches += fields == wanted ? 0 : 1;
        }
    }
}

}  // namespace
