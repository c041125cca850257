#pragma once
// The scheduler core: the scheduled tasks by id and the thread that runs their events when they
// fall due. The thread looks at the clock every tenth of a second and runs, on the thread
// dispatcher, the event of every enabled task with an occurrence since its last look. An
// occurrence that lies before the task was put, or that a jump of the clock or a halt of the
// machine left more than kLongestLate behind, does not run.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/ITask.h"

namespace scheduler {

class Core {
public:
    using TaskPtr = std::shared_ptr<task::ITask>;
    using Tasks = std::map<std::uint32_t, TaskPtr>;

    static constexpr std::uint32_t kInvalidId = 0xFFFFFFFF;
    static constexpr std::chrono::milliseconds kPeriod{100};
    static constexpr std::chrono::seconds kLongestLate{25};

    // Starts the thread and raises its priority where the system allows (a refusal is logged).
    Core();
    // Stops and joins the thread.
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    void clear();
    void erase(std::uint32_t id);
    // Null when there is none.
    TaskPtr getTask(std::uint32_t id) const;
    Tasks getTasks() const;
    bool hasTask(std::uint32_t id) const;
    // False for no task, an id that is present or kInvalidId.
    bool putTask(const TaskPtr& task);
    // Ends and joins the thread, then removes every task. Safe to call again.
    void stop();

    // The instant (scheduler::utcNow) up to which the thread has run what fell due.
    std::int64_t checkedUpTo() const { return checked_.load(); }

private:
    void schedulerThread();
    void runDue(std::int64_t after, std::int64_t upTo);

    mutable std::recursive_mutex lock_;
    Tasks tasks_;
    // When each task was put.
    std::map<std::uint32_t, std::int64_t> putAt_;

    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<std::int64_t> checked_{0};
    std::thread thread_;
};

}  // namespace scheduler
