// Throughput of the thread dispatcher beside its floor, a plain two-thread queue that takes the
// same batches ("vs_floor": the rate over the floor's rate of the same run, aim at least 1); the
// cost of add while many delayed items wait, beside a push on the plain queue; and how late
// delayed items run, beside a plain thread sleeping until the same due times.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "bench/FloorRatio.h"
#include "foundation/ThreadDispatcher.h"

namespace {

using base::ThreadDispatcher;
using Clock = std::chrono::steady_clock;

// Items report here when they end; the benchmark waits for a number of them.
class Completions {
public:
    void done() {
        std::lock_guard<std::mutex> guard(lock_);
        if (++count_ == awaited_) wake_.notify_all();
    }
    void waitFor(std::uint64_t count) {
        std::unique_lock<std::mutex> guard(lock_);
        awaited_ = count;
        wake_.wait(guard, [&] { return count_ >= count; });
    }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    std::uint64_t count_ = 0;
    std::uint64_t awaited_ = 0;
};

// The floor: one consumer thread takes everything queued in one step and runs it.
class HandOffQueue {
public:
    HandOffQueue() : worker_([this] { run(); }) {}
    ~HandOffQueue() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;
        }
        wake_.notify_one();
        worker_.join();
    }
    void push(std::function<void()> item) {
        std::unique_lock<std::mutex> guard(lock_);
        items_.push_back(std::move(item));
        if (waiting_) {
            guard.unlock();
            wake_.notify_one();
        }
    }

private:
    void run() {
        std::deque<std::function<void()>> batch;
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            while (items_.empty() && !stopping_) {
                waiting_ = true;
                wake_.wait(guard);
                waiting_ = false;
            }
            if (stopping_) return;
            batch.swap(items_);
            guard.unlock();
            for (auto& item : batch) item();
            batch.clear();
            guard.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> items_;
    bool waiting_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

// Items per second of the floor, by batch size, for the dispatcher figures that follow.
std::map<std::int64_t, double>& floorRates() {
    static std::map<std::int64_t, double> rates;
    return rates;
}

double rateOf(const benchmark::State& state, std::uint64_t items, Clock::duration spent) {
    const double seconds = std::chrono::duration<double>(spent).count();
    return seconds > 0 ? static_cast<double>(items) / seconds : 0.0;
}

void Floor_HandOffQueue(benchmark::State& state) {
    HandOffQueue queue;
    Completions completions;
    const auto batch = static_cast<std::uint64_t>(state.range(0));
    std::uint64_t expected = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        for (std::uint64_t i = 0; i < batch; ++i) queue.push([&] { completions.done(); });
        expected += batch;
        completions.waitFor(expected);
    }
    floorRates()[state.range(0)] = rateOf(state, expected, Clock::now() - start);
    state.SetItemsProcessed(static_cast<std::int64_t>(expected));
}
BENCHMARK(Floor_HandOffQueue)->Arg(1)->Arg(100)->UseRealTime();

// The dispatcher is one per process; each benchmark makes its own and removes it.
class ScopedDispatcher {
public:
    explicit ScopedDispatcher(int waitingItems = 0) {
        ThreadDispatcher::create();
        for (int i = 0; i < waitingItems; ++i) ThreadDispatcher::add(L"waiting item", 3'600'000, [] {});
    }
    ~ScopedDispatcher() { ThreadDispatcher::destroy(); }
};

// Immediate items in batches of range(0), with range(1) delayed items waiting.
void BM_ItemsPerSecond(benchmark::State& state) {
    ScopedDispatcher dispatcher(static_cast<int>(state.range(1)));
    Completions completions;
    const auto batch = static_cast<std::uint64_t>(state.range(0));
    std::uint64_t expected = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        for (std::uint64_t i = 0; i < batch; ++i)
            ThreadDispatcher::add(L"bench item", 0, [&] { completions.done(); });
        expected += batch;
        completions.waitFor(expected);
    }
    const double rate = rateOf(state, expected, Clock::now() - start);
    const double floor = floorRates()[state.range(0)];
    if (floor > 0) {
        state.counters["floor_items_s"] = floor;
        state.counters["vs_floor"] = rate / floor;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(expected));
}
BENCHMARK(BM_ItemsPerSecond)->Args({1, 0})->Args({100, 0})->Args({100, 10'000})->UseRealTime();

void BM_AddWithDelayedItemsWaiting(benchmark::State& state) {
    double floor = 0;
    {
        // The floor: pushing the same items on the plain queue.
        HandOffQueue queue;
        Completions completions;
        floor = bench::nanosecondsEach([&] { queue.push([&] { completions.done(); }); }, 100'000);
        completions.waitFor(100'000);
    }
    ScopedDispatcher dispatcher(static_cast<int>(state.range(0)));
    Completions completions;
    std::uint64_t added = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        ThreadDispatcher::add(L"bench item", 0, [&] { completions.done(); });
        ++added;
    }
    bench::setFloorRatio(state, start, floor);
    // Outside the timed loop: the items refer to this frame.
    completions.waitFor(added);
    state.SetItemsProcessed(static_cast<std::int64_t>(added));
}
BENCHMARK(BM_AddWithDelayedItemsWaiting)->Arg(0)->Arg(10'000)->Iterations(100'000);

// The floor of lateness: a plain thread sleeping until each of the same due times.
double plainLatenessMicros(int items) {
    double total = 0;
    for (int i = 0; i < items; ++i) {
        const Clock::time_point due = Clock::now() + std::chrono::milliseconds(5);
        std::this_thread::sleep_until(due);
        total += std::chrono::duration<double, std::micro>(Clock::now() - due).count();
    }
    return total / items;
}

void BM_DelayedItemLateness(benchmark::State& state) {
    ScopedDispatcher dispatcher(static_cast<int>(state.range(0)));
    constexpr int kItems = 20;
    const double floor = plainLatenessMicros(kItems);
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
    const double mean = measured ? totalMicros / static_cast<double>(measured) : 0.0;
    state.counters["lateness_us_mean"] = mean;
    state.counters["lateness_us_max"] = worstMicros;
    state.counters["floor_us"] = floor;
    state.counters["ratio"] = floor > 0 ? mean / floor : 0.0;
}
BENCHMARK(BM_DelayedItemLateness)
    ->Arg(0)
    ->Arg(10'000)
    ->Iterations(10)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
