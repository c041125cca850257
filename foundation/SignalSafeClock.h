#pragma once
// Local time for code that runs inside a signal handler. The C library's conversion takes
// the time-zone lock, which the interrupted code may hold; this clock reads the offsets
// from UTC, with the daylight-saving changes of the coming year, in advance and converts
// by arithmetic alone.

#include <atomic>
#include <cstdint>

namespace debug {

struct CivilTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class SignalSafeClock {
public:
    // Reads the offsets; in ordinary code only.
    void prepare();
    // The local time of now, or of a moment of the system clock. Before prepare: UTC.
    CivilTime now() const;
    CivilTime at(std::int64_t secondsSinceEpoch, long nanoseconds) const;

private:
    static constexpr int kMaxSpans = 8;
    struct Span {
        std::int64_t from = 0;
        long offset = 0;
    };

    Span spans_[kMaxSpans];
    std::atomic<int> count_{0};
};

}  // namespace debug
