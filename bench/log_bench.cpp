// Throughput of the logger from many threads, and what a caller pays at INFO against
// ERROR (an error waits for the writer, up to 100 ms).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <mutex>

#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace {

struct LogFolder {
    LogFolder() {
        path = std::filesystem::temp_directory_path() / ("melvox-bench-log-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        dbg_init(false, base::Log::INFO, base::fromUtf8(path.string()));
    }
    ~LogFolder() {
        dbg_free();
        std::filesystem::remove_all(path);
    }
    std::filesystem::path path;
};

LogFolder& folder() {
    static LogFolder instance;
    return instance;
}

void RecordsFromThreads(benchmark::State& state) {
    folder();
    const debug::Place place("bench::Log::records");
    for (auto _ : state) place.info(L"record %1% from %2%", state.iterations(), state.thread_index());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RecordsFromThreads)->Threads(1)->Threads(8)->UseRealTime();

void CallerLatencyInfo(benchmark::State& state) {
    folder();
    const debug::Place place("bench::Log::info");
    for (auto _ : state) place.info(L"info record %1%", 42);
}
BENCHMARK(CallerLatencyInfo);

void CallerLatencyError(benchmark::State& state) {
    folder();
    const debug::Place place("bench::Log::error");
    for (auto _ : state) place.error(L"error record %1%", 42);
}
BENCHMARK(CallerLatencyError)->Iterations(200);

void SuppressedTrace(benchmark::State& state) {
    folder();
    const debug::Place place("bench::Log::trace");
    for (auto _ : state) place.trace(L"suppressed %1%", 42);
}
BENCHMARK(SuppressedTrace);

}  // namespace
