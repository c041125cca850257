#include "foundation/SignalSafeClock.h"

#include <ctime>
#include <limits>

namespace debug {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr int kDaysAhead = 400;

long offsetAt(std::time_t time) {
    std::tm parts{};
    return localtime_r(&time, &parts) ? parts.tm_gmtoff : 0;
}

// Days since 1970-01-01 to a date of the proleptic Gregorian calendar.
void civilDate(std::int64_t days, CivilTime& time) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    time.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    time.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
}

}  // namespace

void SignalSafeClock::prepare() {
    const std::time_t start = std::time(nullptr);
    Span spans[kMaxSpans];
    int count = 0;
    long current = offsetAt(start);
    spans[count++] = Span{std::numeric_limits<std::int64_t>::min(), current};
    for (int day = 1; day <= kDaysAhead && count < kMaxSpans; ++day) {
        const std::time_t probe = start + static_cast<std::time_t>(day) * kDay;
        const long offset = offsetAt(probe);
        if (offset == current) continue;
        // The change lies within the day before the probe: find its first second.
        std::time_t before = probe - kDay;
        std::time_t after = probe;
        while (after - before > 1) {
            const std::time_t middle = before + (after - before) / 2;
            (offsetAt(middle) == current ? before : after) = middle;
        }
        spans[count++] = Span{static_cast<std::int64_t>(after), offset};
        current = offset;
    }
    count_ = 0;
    for (int i = 0; i < count; ++i) spans_[i] = spans[i];
    count_ = count;
}

CivilTime SignalSafeClock::now() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return at(static_cast<std::int64_t>(now.tv_sec), now.tv_nsec);
}

CivilTime SignalSafeClock::at(std::int64_t secondsSinceEpoch, long nanoseconds) const {
    long offset = 0;
    const int count = count_;
    for (int i = 0; i < count; ++i) {
        if (secondsSinceEpoch >= spans_[i].from) offset = spans_[i].offset;
    }
    const std::int64_t local = secondsSinceEpoch + offset;
    std::int64_t days = local / kDay;
    std::int64_t seconds = local % kDay;
    if (seconds < 0) {
        seconds += kDay;
        --days;
    }
    CivilTime time;
    civilDate(days, time);
    time.hour = static_cast<int>(seconds / 3600);
    time.minute = static_cast<int>(seconds / 60 % 60);
    time.second = static_cast<int>(seconds % 60);
    time.millisecond = static_cast<int>(nanoseconds / 1000000);
    return time;
}

}  // namespace debug
