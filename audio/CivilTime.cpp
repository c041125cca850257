#include "audio/CivilTime.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <cstdio>
#include <ctime>
#include <vector>

#include "foundation/Clock.h"
#include "foundation/TextConversion.h"

namespace scheduler {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochOffsetSeconds = 11644473600LL;
constexpr std::int64_t kMicros = 1000000;

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return value % divisor < 0 ? quotient - 1 : quotient;
}

// Seconds from 1970-01-01 of the date and time read as UTC.
std::int64_t civilSeconds(const boost::gregorian::date& date, const boost::posix_time::time_duration& time) {
    return (date - boost::gregorian::date(1970, 1, 1)).days() * 86400LL + time.total_seconds();
}

// The zone's offset from UTC at the instant, in seconds. localtime_r reads the zone only once, so
// unlike mktime it never looks at the system's zone file again: ZoneWatch does that.
long offsetAt(std::time_t instant) {
    std::tm fields{};
    return localtime_r(&instant, &fields) ? fields.tm_gmtoff : 0;
}

// The whole text as numbers joined by `separator`, each of at most `digits` digits.
std::optional<std::vector<int>> numbers(const std::wstring& text, wchar_t separator, std::size_t count,
                                        std::size_t digits) {
    std::vector<int> result;
    std::size_t position = 0;
    while (result.size() < count) {
        std::size_t end = position;
        int value = 0;
        while (end < text.size() && end - position < digits && text[end] >= L'0' && text[end] <= L'9')
            value = value * 10 + (text[end++] - L'0');
        if (end == position) return std::nullopt;
        result.push_back(value);
        position = end;
        if (result.size() < count) {
            if (position >= text.size() || text[position] != separator) return std::nullopt;
            ++position;
        }
    }
    if (position != text.size()) return std::nullopt;
    return result;
}

}  // namespace

std::int64_t utcNow() {
    return base::clock::systemMicros();
}

boost::posix_time::ptime civilNow() {
    return toCivil(utcNow());
}

boost::posix_time::ptime toCivil(std::int64_t utcMicros) {
    const std::int64_t seconds = floorDiv(utcMicros, kMicros);
    const std::time_t unix = static_cast<std::time_t>(seconds - kEpochOffsetSeconds);
    std::tm fields{};
    localtime_r(&unix, &fields);
    const boost::gregorian::date date(static_cast<unsigned short>(fields.tm_year + 1900),
                                      static_cast<unsigned short>(fields.tm_mon + 1),
                                      static_cast<unsigned short>(fields.tm_mday));
    return boost::posix_time::ptime(date, boost::posix_time::hours(fields.tm_hour) +
                                              boost::posix_time::minutes(fields.tm_min) +
                                              boost::posix_time::seconds(fields.tm_sec) +
                                              boost::posix_time::microseconds(utcMicros - seconds * kMicros));
}

std::int64_t toUtc(const boost::gregorian::date& date, const boost::posix_time::time_duration& time) {
    const std::int64_t naive = civilSeconds(date, time);
    // A day before and a day after: the offsets on both sides of a change of the clocks.
    const long before = offsetAt(static_cast<std::time_t>(naive - 86400));
    const long after = offsetAt(static_cast<std::time_t>(naive + 86400));
    std::optional<std::int64_t> first;
    for (const long offset : {before, after}) {
        const std::int64_t instant = naive - offset;
        if (offsetAt(static_cast<std::time_t>(instant)) != offset) continue;
        if (!first || instant < *first) first = instant;
    }
    // A time that the change skips.
    if (!first) first = naive - before;
    return (*first + kEpochOffsetSeconds) * kMicros;
}

std::wstring dateText(const boost::gregorian::date& date) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%04d-%02d-%02d", static_cast<int>(date.year()), static_cast<int>(date.month()),
                  static_cast<int>(date.day()));
    return text;
}

std::wstring timeText(int hours, int minutes) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%02d:%02d", hours, minutes);
    return text;
}

std::optional<boost::gregorian::date> parseDate(const std::wstring& text) {
    const auto parts = numbers(text, L'-', 3, 4);
    if (!parts) return std::nullopt;
    const int year = (*parts)[0];
    const int month = (*parts)[1];
    const int day = (*parts)[2];
    // The date library's own range.
    if (year < 1400 || year > 9999 || month < 1 || month > 12 || day < 1) return std::nullopt;
    if (day > boost::gregorian::gregorian_calendar::end_of_month_day(static_cast<unsigned short>(year),
                                                                     static_cast<unsigned short>(month)))
        return std::nullopt;
    return boost::gregorian::date(static_cast<unsigned short>(year), static_cast<unsigned short>(month),
                                  static_cast<unsigned short>(day));
}

std::optional<boost::posix_time::time_duration> parseTime(const std::wstring& text) {
    const auto parts = numbers(text, L':', 2, 2);
    if (!parts || (*parts)[0] > 23 || (*parts)[1] > 59) return std::nullopt;
    return boost::posix_time::hours((*parts)[0]) + boost::posix_time::minutes((*parts)[1]);
}

ZoneWatch::ZoneWatch(std::int64_t utcMicros) {
    changed(utcMicros);
}

std::optional<std::int64_t> ZoneWatch::changed(std::int64_t utcMicros) {
    tzset();
    const std::string names = std::string(tzname[0] ? tzname[0] : "") + "/" + (tzname[1] ? tzname[1] : "");
    const long standard = timezone;
    const long probeOffset = offsetAt(probe_);
    std::optional<std::int64_t> moved;
    if (names != names_ || standard != standard_ || probeOffset != probeOffset_)
        moved = static_cast<std::int64_t>(probeOffset - probeOffset_) * kMicros;
    names_ = names;
    standard_ = standard;
    probe_ = static_cast<std::time_t>(floorDiv(utcMicros, kMicros) - kEpochOffsetSeconds);
    probeOffset_ = offsetAt(probe_);
    return moved;
}

std::wstring timeZoneName() {
    tzset();
    const std::wstring standard = base::fromUtf8(tzname[0] ? tzname[0] : "");
    const std::wstring summer = base::fromUtf8(tzname[1] ? tzname[1] : "");
    return summer.empty() || summer == standard ? standard : standard + L"/" + summer;
}

}  // namespace scheduler
