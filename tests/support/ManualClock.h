#pragma once
// A clock that tests move by hand: local time and the monotonic clock are shifted by
// offsets that the test sets; installed for the life of the object.

#include <atomic>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstddef>
#include <memory>
#include <string>

#include "foundation/Clock.h"

namespace test {

class ManualClock {
public:
    ManualClock();
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    // From now on local time reads `time` plus the real time elapsed since this call.
    void setLocal(const boost::posix_time::ptime& time);
    // Moves the monotonic clock (and local time) forward.
    void advance(std::chrono::microseconds step);
    // From now on the monotonic clock stands still but for advance.
    void holdSteady();
    // From now on the system time base stands still at `micros`; advance moves it on.
    void setSystemMicros(std::int64_t micros);

    // How often the threads of that name (as the system keeps it) read the monotonic clock so far:
    // a thread that reads it once a round shows how many rounds it made.
    std::size_t steadyReadsOn(const std::string& threadName) const;

private:
    struct Source;
    std::shared_ptr<Source> source_;
};

}  // namespace test
