#pragma once
// The one clock seam of the program: wall-clock local time for log lines, the system
// time base of device times, and the monotonic clock for due times and deadlines.
// Tests replace the source to move time.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <chrono>
#include <cstdint>
#include <memory>

namespace base::clock {

// Microseconds from 1601-01-01, where the system time base counts from, to 1970-01-01.
inline constexpr std::int64_t kUnixEpochMicros = 11644473600LL * 1000000LL;

class TimeSource {
public:
    virtual ~TimeSource() = default;
    // Local date and time with microseconds.
    virtual boost::posix_time::ptime localNow() const;
    // Microseconds of the UTC system clock counted from 1601-01-01.
    virtual std::int64_t systemMicros() const;
    virtual std::chrono::steady_clock::time_point steadyNow() const;
};

boost::posix_time::ptime localNow();
std::int64_t systemMicros();
std::chrono::steady_clock::time_point steadyNow();
// steadyNow in microseconds, for due times kept in atomics.
std::int64_t steadyMicros();

// Installs another source; nullptr restores the real clocks.
void setTimeSource(std::shared_ptr<const TimeSource> source);

}  // namespace base::clock
