// Throughput of the thread dispatcher, the cost of add while many delayed items wait,
// and how late delayed items run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "foundation/ThreadDispatcher.h"

namespace {

using base::ThreadDispatcher;
using Clock = std::chrono::steady_clock;

// Items report here when they end; the benchmark waits for a number of them.
class Completions {
public:
    void done() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++count_;
        }
        wake_.notify_all();
    }
    void waitFor(std::uint64_t count) {
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait(guard, [&] { return count_ >= count; });
    }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    std::uint64_t count_ = 0;
};

// The dispatcher is one per process; each benchmark makes its own and removes it.
class ScopedDispatcher {
public:
    explicit ScopedDispatcher(int waitingItems = 0) {
        ThreadDispatcher::create();
        for (int i = 0; i < waitingItems; ++i) ThreadDispatcher::add(L"waiting item", 3'600'000, [] {});
    }
    ~ScopedDispatcher() { ThreadDispatcher::destroy(); }
};

void BM_ItemsPerSecond(benchmark::State& state) {
    ScopedDispatcher dispatcher;
    Completions completions;
    const auto batch = static_cast<std::uint64_t>(state.range(0));
    std::uint64_t expected = 0;
    for (auto _ : state) {
        for (std::uint64_t i = 0; i < batch; ++i)
            ThreadDispatcher::add(L"bench item", 0, [&] { completions.done(); });
        expected += batch;
        completions.waitFor(expected);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(expected));
}
BENCHMARK(BM_ItemsPerSecond)->Arg(1)->Arg(100)->UseRealTime();

void BM_AddWithDelayedItemsWaiting(benchmark::State& state) {
    ScopedDispatcher dispatcher(static_cast<int>(state.range(0)));
    Completions completions;
    std::uint64_t added = 0;
    for (auto _ : state) {
        ThreadDispatcher::add(L"bench item", 0, [&] { completions.done(); });
        ++added;
    }
    // Outside the timed loop: the items refer to this frame.
    completions.waitFor(added);
    state.SetItemsProcessed(static_cast<std::int64_t>(added));
}
BENCHMARK(BM_AddWithDelayedItemsWaiting)->Arg(0)->Arg(10'000)->Iterations(100'000);

void BM_DelayedItemLateness(benchmark::State& state) {
    ScopedDispatcher dispatcher(static_cast<int>(state.range(0)));
    constexpr int kItems = 20;
    std::mutex lock;
    double totalMicros = 0;
    double worstMicros = 0;
    std::int64_t measured = 0;
    for (auto _ : state) {
        Completions completions;
        for (int i = 0; i < kItems; ++i) {
            const auto delay = static_cast<std::uint32_t>(5 + 5 * i);
            const Clock::time_point due = Clock::now() + std::chrono::milliseconds(delay);
            ThreadDispatcher::add(L"delayed item", delay, [&, due] {
                const double late = std::chrono::duration<double, std::micro>(Clock::now() - due).count();
                {
                    std::lock_guard<std::mutex> guard(lock);
                    totalMicros += late;
                    worstMicros = std::max(worstMicros, late);
                    ++measured;
                }
                completions.done();
            });
        }
        completions.waitFor(kItems);
    }
    state.counters["lateness_us_mean"] = measured ? totalMicros / static_cast<double>(measured) : 0.0;
    state.counters["lateness_us_max"] = worstMicros;
}
BENCHMARK(BM_DelayedItemLateness)
    ->Arg(0)
    ->Arg(10'000)
    ->Iterations(10)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
