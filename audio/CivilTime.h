#pragma once
// Local civil time for the scheduler: the clock seam's UTC time as the date and time of day of
// the time zone (TZ), and a local date and time back as a UTC instant, so that a task set for
// 08:00 plays at 08:00 on the wall clock also across a change to or from summer time. Instants
// are microseconds since 1601-01-01 UTC, as base::clock::systemMicros counts them.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace scheduler {

std::int64_t utcNow();
boost::posix_time::ptime civilNow();
boost::posix_time::ptime toCivil(std::int64_t utcMicros);
// The first instant at which the wall clock shows the date and time: in the hour that the change
// back from summer time repeats, the first of the two; in the hour that the change to summer time
// skips, the instant as if the change had not been made yet (02:30 becomes 03:30).
std::int64_t toUtc(const boost::gregorian::date& date, const boost::posix_time::time_duration& time);
// The texts of dates and times: "YYYY-MM-DD" and "HH:MM" are written; read are three and two
// whole numbers joined by '-' and ':' ("2024-5-2", "7:5") that name a real date or time of day.
// Anything else reads as none.
std::wstring dateText(const boost::gregorian::date& date);
std::wstring timeText(int hours, int minutes);
std::optional<boost::gregorian::date> parseDate(const std::wstring& text);
std::optional<boost::posix_time::time_duration> parseTime(const std::wstring& text);

// Tells a change of the process's time zone (TZ, or the system's zone file when TZ is unset):
// each look reads the zone again and compares its names, its standard offset and the offset it
// gives the instant of the last look with what that look found.
class ZoneWatch {
public:
    explicit ZoneWatch(std::int64_t utcMicros);
    // When the zone changed since the last look (or the construction): how far that changed the
    // local time of the instant of the last look, in microseconds (positive when the zone moved
    // east); none when it did not change.
    std::optional<std::int64_t> changed(std::int64_t utcMicros);

private:
    std::string names_;
    long standard_ = 0;
    std::time_t probe_ = 0;
    long probeOffset_ = 0;
};

// The names of the time zone's standard and summer time, "CET/CEST".
std::wstring timeZoneName();

}  // namespace scheduler
