#pragma once
// The scheduler core: the scheduled tasks by id and the thread that runs their events when they
// fall due. The core keeps each task's next occurrence in time order; the thread looks at the
// clock every tenth of a second and runs, on the thread dispatcher, the event of every enabled
// task whose occurrence came since its last look, so that a look costs the same for ten tasks as
// for a hundred thousand. The next occurrences are found again when the clock goes back or the
// time zone changes. An occurrence that lies before the task was put does not run; the local time
// of that moment goes back with the clock or the zone, so that a task put while the clock was
// ahead plays on the days the corrected clock then shows. One that a step of the clock, a change
// of the time zone or a halt of the machine left more than kLongestLate behind runs late when the
// task runs late (a stop); otherwise it does not run, and the operator is told. After a step back
// further than a task remembers its runs, the days it cannot vouch for do not run: at the step the
// operator is told in one message which tasks wait, from when and until which day.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "audio/ITask.h"

namespace scheduler {

class Core {
public:
    using TaskPtr = std::shared_ptr<task::ITask>;
    using Tasks = std::map<std::uint32_t, TaskPtr>;

    static constexpr std::uint32_t kInvalidId = 0xFFFFFFFF;
    static constexpr std::chrono::milliseconds kPeriod{100};
    static constexpr std::chrono::seconds kLongestLate{25};
    // A step of the clock back by more than this is told as a forward one is.
    static constexpr std::chrono::seconds kToldBack{60};

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
    struct Slot {
        TaskPtr task;
        // When the task was put, moved with the local time when that went back or the zone changed.
        std::int64_t putAt = 0;
        // Its place in due_.
        std::optional<task::Occurrence> next;
    };

    // A task whose next occurrence lay before its record of runs: from when it does not run, and
    // when it runs again (none when it has no more occurrences).
    struct Unrecorded {
        TaskPtr task;
        std::int64_t from = 0;
        std::optional<std::int64_t> again;
    };

    void schedulerThread();
    // Takes every occurrence due by `now` from the queue: runs it, or, when it lies at or before
    // `leftBehind`, runs it late or tells it missed.
    void runDue(std::int64_t now, std::int64_t leftBehind);
    // Under lock_: queues the task's next occurrence after `after` (and after it was put).
    void plan(std::uint32_t id, Slot& slot, std::int64_t after);
    void replanAll(std::int64_t after);
    // After the local time jumped other than by the time passing (the zone changed by
    // `zoneMoved`, or the clock went back): `previous` is the instant that shows, in the zone of
    // now, the local time the last look showed. Plans every task again from there, so that what
    // the local time passed over forward falls due at once, left behind.
    void followLocalTime(std::int64_t previous, std::int64_t now, std::int64_t zoneMoved);
    // Under lock_: the slot's next occurrence lies before the task's record of runs; it counts as
    // told, and the task is planned after `after` from the first day it may run.
    Unrecorded passOver(std::uint32_t id, Slot& slot, std::int64_t after);
    // After the local time went back: every enabled task whose next occurrence now lies before its
    // record of runs passes over the days up to the record, told in one message.
    void passOverUnrecorded(std::int64_t now);
    static void tellUnrecorded(const std::vector<Unrecorded>& tasks);

    mutable std::recursive_mutex lock_;
    std::map<std::uint32_t, Slot> tasks_;
    // The next occurrence of every task that has one, earliest first, by instant and id.
    std::set<std::pair<std::int64_t, std::uint32_t>> due_;

    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<std::int64_t> checked_{0};
    std::thread thread_;
};

}  // namespace scheduler
