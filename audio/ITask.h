#pragma once
// A scheduled task as the scheduler core keeps it: an id, an enabled flag, and the event that
// runs when one of its occurrences falls due.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace scheduler::task {

class ITask {
public:
    virtual ~ITask() = default;

    virtual std::uint32_t getId() const = 0;
    virtual void enable(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // The event of an occurrence whose instant lies in (after, upTo] and that has not run yet, or
    // an empty function; the occurrence counts as run from then on. Instants are UTC
    // microseconds since 1601 (scheduler::utcNow).
    virtual std::function<void()> takeDue(std::int64_t after, std::int64_t upTo) = 0;
    // The instant of the first occurrence after `after` that has not run; none when the task has
    // no more.
    virtual std::optional<std::int64_t> nextDue(std::int64_t after) const = 0;
    // Whether an occurrence that a step of the clock or a halt of the machine left behind still
    // runs, late (a stop does); otherwise it is skipped and the operator told.
    virtual bool runsLate() const { return false; }
    // What the operator knows the task by; empty when it has no name.
    virtual std::wstring getTitle() const { return {}; }
};

}  // namespace scheduler::task
