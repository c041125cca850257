#pragma once
// What the benchmarks share to set a figure beside its floor: the cost of one call of some plain
// work, timed over many calls in a row, the time to read a file plainly, the median of runs, and
// the counters that put the floor and the ratio on the benchmark's line.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace bench {

template <class Work>
double nanosecondsEach(Work&& work, long calls) {
    const auto start = std::chrono::steady_clock::now();
    for (long n = 0; n < calls; ++n) work();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / calls;
}

// The milliseconds that reading the first `limit` bytes of a file takes, the best of three: the
// least any look at them costs.
inline double millisecondsToRead(const std::string& path,
                                 std::size_t limit = std::numeric_limits<std::size_t>::max()) {
    double best = 1e9;
    std::vector<char> buffer(64 * 1024);
    for (int n = 0; n < 3; ++n) {
        const auto start = std::chrono::steady_clock::now();
        std::ifstream in(path, std::ios::binary);
        for (std::size_t read = 0; read < limit;) {
            const std::size_t want = std::min(buffer.size(), limit - read);
            in.read(buffer.data(), static_cast<std::streamsize>(want));
            if (in.gcount() <= 0) break;
            read += static_cast<std::size_t>(in.gcount());
        }
        best = std::min(
            best,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// The middle value (the mean of the two middle ones for an even count); 0 for none.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
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
