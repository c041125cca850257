#pragma once
// The process-wide runner of background and delayed work. Any thread hands it a callable
// with a description and a delay; the engine thread keeps the time table and gives due
// items to the executor thread, one at a time. While the executor is held up by a long
// item, the engine runs the further due items itself, so at most two items run at once.

#include <boost/function.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/future.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <set>
#include <string>

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
    static std::uint32_t add(const std::wstring& description, std::uint32_t delayMs,
                             boost::function<void()> function);
    // Drops the item before it runs, at the engine's next pass; never waits, and never
    // reaches an item that is running or already collected into the current pass.
    static void remove(std::uint32_t identifier);
    // Stops both threads and drops the queued work. Never call it from an item.
    static void shutdown();

private:
    struct Run {
        std::uint32_t identifier = 0;
        boost::function<void()> function;
        std::wstring description;
        // Monotonic, so that setting the system clock neither holds up nor hurries the work.
        std::chrono::steady_clock::time_point due;
    };

    ThreadDispatcher();
    ~ThreadDispatcher();
    ThreadDispatcher(const ThreadDispatcher&) = delete;
    ThreadDispatcher& operator=(const ThreadDispatcher&) = delete;

    std::uint32_t enqueue(const std::wstring& description, std::uint32_t delayMs,
                          boost::function<void()> function);
    void deferRemoving(std::uint32_t identifier);
    void stop();
    void engineThread(boost::unique_future<bool> completed);
    void executorThread(boost::unique_future<Run> work);
    // Gives a due item to the executor, or runs it on the engine while the executor is busy.
    void dispatch(Run& run, boost::unique_future<bool>& completed, bool& busy);
    static void handle(const Run& run);
    static SingletonSlot<ThreadDispatcher>& slot();

    std::uint32_t lastIdentifier_ = 0;
    std::deque<Run> queue_;
    std::set<std::uint32_t> removals_;
    boost::promise<Run> handOff_;
    boost::promise<bool> completion_;
    boost::recursive_mutex lock_;
    boost::thread engine_;
    boost::thread executor_;
    boost::condition_variable_any wake_;
};

}  // namespace base
