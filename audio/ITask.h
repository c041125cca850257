#pragma once
// A scheduled task as the scheduler core keeps it: an id, an enabled flag, and the event that
// runs when one of its occurrences falls due.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace scheduler::task {

// One occurrence of a task: the local date it belongs to and the instant it falls due at, UTC
// microseconds since 1601 (scheduler::utcNow).
struct Occurrence {
    std::int64_t instant = 0;
    // The date's day number: an occurrence is known by it, whatever instant the clock and the time
    // zone give it.
    std::int64_t day = 0;
    // It comes only after its own stop of the day (the change to summer time moved it past the
    // stop): it does not run, and the operator is told.
    bool afterItsStop = false;
    // It lies before the days the task's record of runs keeps (the clock went back further than
    // that): it may have run, so it does not run, and the operator is told once for the days up
    // to those the record keeps, which are then passed over.
    bool beforeTheRecord = false;
};

class ITask {
public:
    virtual ~ITask() = default;

    virtual std::uint32_t getId() const = 0;
    virtual void enable(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // The first occurrence after `after` that has not run; none when the task has no more.
    virtual std::optional<Occurrence> nextDue(std::int64_t after) const = 0;
    // The event of the occurrence, or an empty function when it has run already or lies before
    // the record (then counted as told); it counts as run from then on, so that it runs at most
    // once whatever the clock does.
    virtual std::function<void()> take(const Occurrence& occurrence) = 0;
    // Whether an occurrence that a step of the clock or a halt of the machine left behind still
    // runs, late (a stop does); otherwise it is skipped and the operator told.
    virtual bool runsLate() const { return false; }
    // What the operator knows the task by; empty when it has no name.
    virtual std::wstring getTitle() const { return {}; }
};

}  // namespace scheduler::task
