#pragma once
// What the benchmarks share to set a figure beside its floor: the cost of one call of some plain
// work, timed over many calls in a row, and the counters that put the floor and the ratio on the
// benchmark's line.

#include <benchmark/benchmark.h>

#include <chrono>

namespace bench {

template <class Work>
double nanosecondsEach(Work&& work, long calls) {
    const auto start = std::chrono::steady_clock::now();
    for (long n = 0; n < calls; ++n) work();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / calls;
}

// The state loop's wall time per iteration since `start`, over the floor's nanoseconds per call.
inline void setFloorRatio(benchmark::State& state, std::chrono::steady_clock::time_point start,
                          double floorNanoseconds) {
    const double each =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
        static_cast<double>(state.iterations());
    state.counters["floor_ns"] = floorNanoseconds;
    state.counters["ratio"] = each / floorNanoseconds;
}

}  // namespace bench
