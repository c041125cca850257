// The scheduler core's cost while nothing is due, by the number of its tasks: the CPU time of its
// thread over a fixed span with 10, 2000 and 100 000 daily tasks spread over the minutes of the
// day ("cpu_pct", percent of one core), beside the same span with 10 tasks in the same run
// ("floor_cpu_pct", "ratio"); and how late the tasks of the minute right after the span start
// ("late_max_ms", from their time to their event on the thread dispatcher; "due" of them). The
// clock seam is set ahead so that the span ends just before a whole minute of local time.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "audio/BaseTask.h"
#include "audio/CivilTime.h"
#include "audio/SchedulerCore.h"
#include "foundation/Clock.h"
#include "foundation/ThreadDispatcher.h"
#include "support/ProcessThreads.h"

namespace {

constexpr std::int64_t kMicros = 1000000;
// The span measured ends this long before the minute, and begins kSpan before that.
constexpr std::int64_t kBeforeMinute = kMicros * 3 / 2;
constexpr std::int64_t kSpan = 5 * kMicros;
// Where the clock stands when the tasks are put: time enough to put 100 000 of them.
constexpr std::int64_t kStartBeforeMinute = 14 * kMicros;

// The real clocks, with the system time moved by a shift.
class ShiftedClock : public base::clock::TimeSource {
public:
    explicit ShiftedClock(std::int64_t shift) : shift_(shift) {}
    std::int64_t systemMicros() const override { return TimeSource::systemMicros() + shift_; }
    boost::posix_time::ptime localNow() const override {
        return TimeSource::localNow() + boost::posix_time::microseconds(shift_);
    }

private:
    const std::int64_t shift_;
};

// Nanoseconds on a CPU of the program's thread of that name so far.
std::int64_t threadCpuNanoseconds(const std::string& name) {
    const std::set<std::string> threads = test::threadsNamed(name);
    if (threads.size() != 1) return -1;
    std::ifstream schedule("/proc/self/task/" + *threads.begin() + "/schedstat");
    std::int64_t nanoseconds = -1;
    schedule >> nanoseconds;
    return nanoseconds;
}

void sleepUntil(std::int64_t systemMicros) {
    const std::int64_t left = systemMicros - base::clock::systemMicros();
    if (left > 0) std::this_thread::sleep_for(std::chrono::microseconds(left));
}

struct Figures {
    double cpuPercent = 0;
    std::size_t due = 0;
    std::size_t started = 0;
    double lateMaxMs = 0;
};

// One core with `count` daily tasks: task n at the minute n * 1440 / count after the minute
// measured, so that the tasks of that minute are count / 1440 at least one.
Figures measure(int count, std::string& error) {
    const boost::gregorian::date day = scheduler::civilNow().date() + boost::gregorian::days(1);
    const boost::posix_time::time_duration noon = boost::posix_time::hours(12);
    const std::int64_t minute = scheduler::toUtc(day, noon);

    // The events may outlive the measurement when they run very late.
    struct Starts {
        std::mutex lock;
        std::vector<std::int64_t> late;
    };
    const auto starts = std::make_shared<Starts>();
    std::vector<std::shared_ptr<scheduler::task::Daily>> tasks;
    std::size_t due = 0;
    for (int n = 0; n < count; ++n) {
        const int offset = static_cast<int>(static_cast<std::int64_t>(n) * 1440 / count);
        const int minuteOfDay = (12 * 60 + offset) % 1440;
        due += offset == 0;
        tasks.push_back(std::make_shared<scheduler::task::Daily>(n + 1, [starts, minute] {
            const std::int64_t at = base::clock::systemMicros();
            std::lock_guard<std::mutex> guard(starts->lock);
            starts->late.push_back(at - minute);
        }));
        tasks.back()->setDateTime(scheduler::dateText(day - boost::gregorian::days(1)),
                                  scheduler::timeText(minuteOfDay / 60, minuteOfDay % 60), L"");
    }

    base::clock::setTimeSource(std::make_shared<ShiftedClock>(minute - kStartBeforeMinute -
                                                              base::clock::TimeSource().systemMicros()));
    Figures figures;
    {
        scheduler::Core core;
        for (const auto& task : tasks) core.putTask(task);
        if (base::clock::systemMicros() > minute - kBeforeMinute - kSpan) {
            error = "putting the tasks took longer than the time set aside for it";
        } else {
            sleepUntil(minute - kBeforeMinute - kSpan);
            const auto startWall = std::chrono::steady_clock::now();
            const std::int64_t start = threadCpuNanoseconds("scheduler");
            sleepUntil(minute - kBeforeMinute);
            const std::int64_t end = threadCpuNanoseconds("scheduler");
            const double wall =
                std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - startWall)
                    .count();
            figures.cpuPercent = 100.0 * static_cast<double>(end - start) / wall;
            if (start < 0 || end < 0) error = "the scheduler's thread was not found";
            // Generous: a late start shows in the figure rather than as a failure.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            for (;;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                std::lock_guard<std::mutex> guard(starts->lock);
                if (starts->late.size() >= due || std::chrono::steady_clock::now() > deadline) break;
            }
        }
        core.stop();
    }
    base::clock::setTimeSource(nullptr);
    std::lock_guard<std::mutex> guard(starts->lock);
    const std::vector<std::int64_t>& late = starts->late;
    figures.due = due;
    figures.started = late.size();
    if (!late.empty())
        figures.lateMaxMs = static_cast<double>(*std::max_element(late.begin(), late.end())) / 1000;
    if (error.empty() && figures.started != due) error = "not every task of the minute started";
    return figures;
}

void BM_IdleSchedulerByTasks(benchmark::State& state) {
    base::ThreadDispatcher::create();
    const int count = static_cast<int>(state.range(0));
    Figures floor;
    Figures program;
    std::string error;
    for (auto _ : state) {
        floor = measure(10, error);
        if (error.empty()) program = measure(count, error);
    }
    base::ThreadDispatcher::destroy();
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    state.counters["cpu_pct"] = program.cpuPercent;
    state.counters["floor_cpu_pct"] = floor.cpuPercent;
    state.counters["ratio"] = program.cpuPercent / floor.cpuPercent;
    state.counters["due"] = static_cast<double>(program.due);
    state.counters["late_max_ms"] = program.lateMaxMs;
    state.counters["floor_late_max_ms"] = floor.lateMaxMs;
}

BENCHMARK(BM_IdleSchedulerByTasks)->Arg(10)->Arg(2000)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
