#pragma once
// A scheduled task as the scheduler core keeps it: an id, an enabled flag, and the event that
// runs when one of its occurrences falls due.

#include <cstdint>
#include <functional>

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
};

}  // namespace scheduler::task
