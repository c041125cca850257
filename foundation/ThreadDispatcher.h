#pragma once
// The process-wide runner of background and delayed work. Any thread hands it a callable
// with a description and a delay. Items due now go straight to the executor's ready queue;
// delayed ones wait in the engine's time table, ordered by due time, and the engine moves
// every item that has fallen due to the ready queue in one step. The executor runs the ready
// items one at a time. While the executor has been held up by one item for 500 ms, the
// engine runs the further ready items itself, so at most two items run at once.

#include <boost/function.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "foundation/SingletonSlot.h"

namespace base {

class ThreadDispatcher {
public:
    // Creates the one instance; a second one is a fatal fault (exception::StopProgram).
    static void create();
    // Stops and deletes the instance; without one it is a fatal fault.
    static void destroy();
    // Queues `function` to run once, no earlier than `delayMs` from now; the identifier is
    // never 0. An empty function throws exception::InternalError.
    static std::uint32_t add(std::wstring description, std::uint32_t delayMs,
                             boost::function<void()> function);
    // Drops a delayed item before it runs; never waits, and never reaches an item that is
    // running or already in the ready queue.
    static void remove(std::uint32_t identifier);
    // Stops both threads and drops the queued work; without a dispatcher it does nothing. Never
    // call it from an item.
    static void shutdown();
    // Reports the exception being handled as the failure of an item of the description; called in
    // a catch block by the executor and by the queues that run many jobs in one item. An
    // interruption of the thread is passed on.
    static void reportFailure(const std::wstring& description);

    // Work that leaves an input/output thread in a stream runs as jobs, many in one item (a queue
    // of them, base::SerialJobs); each job is told as the dispatcher tells of an item.
    using Job = std::function<void()>;
    // Makes the description of a job; asked only for a line that tells it.
    using Describe = std::wstring (*)(const Job& job);
    // Queues an item, due now, that runs jobs with runJob: its start and a long run are told by
    // them, each by its own description.
    static std::uint32_t addBatch(std::wstring description, boost::function<void()> function);
    // Runs one job of a batch and tells of it: its start under the item's id, a long run and a
    // failure, by `describe` or else by `fallback`. `started` is when it starts; returns when it
    // ended. An interruption of the thread is passed on.
    static std::chrono::steady_clock::time_point runJob(const Job& job, Describe describe,
                                                        const std::wstring& fallback,
                                                        std::chrono::steady_clock::time_point started);

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Run {
        std::uint32_t identifier = 0;
        boost::function<void()> function;
        std::wstring description;
        // Its jobs tell of themselves (addBatch).
        bool batch = false;
    };
    // Ordered by due time (monotonic, so setting the system clock neither holds up nor hurries
    // the work); items of equal due time keep the order of their add.
    using TimeTable = std::multimap<TimePoint, Run>;

    ThreadDispatcher();
    ~ThreadDispatcher();
    ThreadDispatcher(const ThreadDispatcher&) = delete;
    ThreadDispatcher& operator=(const ThreadDispatcher&) = delete;

    std::uint32_t enqueue(std::wstring description, std::uint32_t delayMs, boost::function<void()> function,
                          bool batch = false);
    void drop(std::uint32_t identifier);
    void stop();
    void engineThread();
    void executorThread();
    // Moves every item due at `now` to the ready queue; under the lock.
    void moveDueItems(TimePoint now);
    // When the executor has been on one item for 500 ms, takes the next ready item for the
    // engine; under the lock.
    bool takeForEngine(TimePoint now, Run& run);
    static void handle(const Run& run);
    static SingletonSlot<ThreadDispatcher>& slot();

    boost::mutex lock_;
    std::uint32_t lastIdentifier_ = 0;
    std::deque<Run> ready_;
    TimeTable timeTable_;
    std::unordered_map<std::uint32_t, TimeTable::iterator> delayedById_;
    // The identifiers asked to be removed since the engine last woke, whether or not an item
    // still carried them; the engine reports their number when it wakes.
    std::set<std::uint32_t> removedSinceWake_;

    // The executor's side, under the lock.
    boost::condition_variable executorWake_;
    bool executorWaiting_ = false;
    bool executorRunning_ = false;
    TimePoint executorStarted_;
    std::uint64_t executorItem_ = 0;

    // The engine's side, under the lock.
    boost::condition_variable engineWake_;
    TimePoint engineWakeAt_ = TimePoint::max();
    // The engine keeps an eye on the executor while ready items wait behind it.
    bool engineWatching_ = false;
    std::uint64_t heldUpItem_ = 0;

    boost::thread engine_;
    boost::thread executor_;
};

}  // namespace base
