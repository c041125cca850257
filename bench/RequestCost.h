#pragma once
// What a piece of work costs the whole process beside its time: heap allocations (counted by the
// benchmark's own operator new), thread switches and CPU time (getrusage over every thread, those
// that have ended included). Measured around the floor and around the program's own path alike, so the two
// counts per request stand side by side on the benchmark's line and show where the cost goes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace bench {

struct Cost {
    std::uint64_t allocations = 0;
    // A thread went to sleep (waiting for a lock, a condition or a socket).
    std::uint64_t voluntarySwitches = 0;
    // A thread was taken off its CPU for another.
    std::uint64_t involuntarySwitches = 0;
    // User and system time of every thread.
    std::uint64_t cpuMicros = 0;

    Cost operator-(const Cost& earlier) const {
        return Cost{allocations - earlier.allocations, voluntarySwitches - earlier.voluntarySwitches,
                    involuntarySwitches - earlier.involuntarySwitches, cpuMicros - earlier.cpuMicros};
    }
    Cost& operator+=(const Cost& more) {
        allocations += more.allocations;
        voluntarySwitches += more.voluntarySwitches;
        involuntarySwitches += more.involuntarySwitches;
        cpuMicros += more.cpuMicros;
        return *this;
    }
};

// The counts of the process so far.
Cost costNow();

// Adds up what the work between start and stop cost, over as many runs as it is given.
class CostMeter {
public:
    void start() { started_ = costNow(); }
    void stop() { spent_ += costNow() - started_; }
    const Cost& spent() const { return spent_; }

private:
    Cost started_;
    Cost spent_;
};

// Puts "<prefix>allocs_req", "<prefix>switches_req" (voluntary switches), "<prefix>preempt_req"
// (involuntary ones) and "<prefix>cpu_us_req" on the line: the cost spent over `requests`.
void setCostPerRequest(benchmark::State& state, const std::string& prefix, const Cost& spent,
                       double requests);

}  // namespace bench
