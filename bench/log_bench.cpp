// Throughput of the logger from many threads, and what a caller pays at INFO against
// ERROR (an error waits for the writer, up to 100 ms). The floors of the same run: a line of the
// same length formatted and written to a buffered file under one mutex (records, INFO), the same
// written through to the kernel (ERROR), and a level check (a suppressed TRACE).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>

#include "bench/FloorRatio.h"
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

// The plain way to log: a formatted line into a buffered file under one mutex, flushed to the
// kernel when `through` is set.
class PlainLogFile {
public:
    PlainLogFile() : file_(std::fopen((folder().path / "plain.log").c_str(), "a")) {}
    ~PlainLogFile() { std::fclose(file_); }
    void write(const char* text, long number, bool through) {
        char line[256];
        const int length = std::snprintf(
            line, sizeof line, "2026-01-01 00:00:00.000 INFO bench::Log::records %s %ld\n", text, number);
        std::lock_guard<std::mutex> guard(lock_);
        std::fwrite(line, 1, static_cast<std::size_t>(length), file_);
        if (through) std::fflush(file_);
    }

private:
    std::mutex lock_;
    std::FILE* file_;
};

PlainLogFile& plainLog() {
    static PlainLogFile file;
    return file;
}

// Records a second of the floor, by thread count, for the figure that follows.
std::map<int, double>& floorRates() {
    static std::map<int, double> rates;
    return rates;
}

void Floor_PlainFileFromThreads(benchmark::State& state) {
    folder();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) plainLog().write("record from", state.thread_index(), false);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        floorRates()[state.threads()] = state.iterations() * state.threads() / seconds;
    }
}
BENCHMARK(Floor_PlainFileFromThreads)->Threads(1)->Threads(8)->UseRealTime();

void RecordsFromThreads(benchmark::State& state) {
    folder();
    const debug::Place place("bench::Log::records");
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) place.info(L"record %1% from %2%", state.iterations(), state.thread_index());
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0 && floorRates()[state.threads()] > 0) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rate = state.iterations() * state.threads() / seconds;
        state.counters["floor_items_s"] = floorRates()[state.threads()];
        state.counters["vs_floor"] = rate / floorRates()[state.threads()];
    }
}
BENCHMARK(RecordsFromThreads)->Threads(1)->Threads(8)->UseRealTime();

void CallerLatencyInfo(benchmark::State& state) {
    folder();
    const debug::Place place("bench::Log::info");
    const double floor = bench::nanosecondsEach([] { plainLog().write("info record", 42, false); }, 100000);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) place.info(L"info record %1%", 42);
    bench::setFloorRatio(state, start, floor);
}
BENCHMARK(CallerLatencyInfo);

void CallerLatencyError(benchmark::State& state) {
    folder();
    const debug::Place place("bench::Log::error");
    const double floor = bench::nanosecondsEach([] { plainLog().write("error record", 42, true); }, 200);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) place.error(L"error record %1%", 42);
    bench::setFloorRatio(state, start, floor);
}
BENCHMARK(CallerLatencyError)->Iterations(200);

void SuppressedTrace(benchmark::State& state) {
    folder();
    const debug::Place place("bench::Log::trace");
    std::atomic<std::uint32_t> level{base::Log::INFO};
    const double floor = bench::nanosecondsEach(
        [&] { benchmark::DoNotOptimize(level.load(std::memory_order_relaxed) <= base::Log::TRACE); },
        10000000);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) place.trace(L"suppressed %1%", 42);
    bench::setFloorRatio(state, start, floor);
}
BENCHMARK(SuppressedTrace);

}  // namespace
