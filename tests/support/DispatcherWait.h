#pragma once
// Waiting for the thread dispatcher in tests, and holding it.

#include <memory>

namespace test {

// Queues an item and waits until it ran, so that what was queued before it has run too (unless
// a long item holds the executor). False after a generous deadline.
bool waitForDispatcher();

// An item of the dispatcher that waits until it is released (at the latest when the hold ends):
// what is queued after it waits too, as long as the dispatcher's engine does not run it beside
// the held item, which it never does while time stands still (ManualClock::holdSteady). So a test
// holds the work that the window hands to the dispatcher, such as a page's read, for as long as
// it needs.
class DispatcherHold {
public:
    DispatcherHold();
    ~DispatcherHold();
    DispatcherHold(const DispatcherHold&) = delete;
    DispatcherHold& operator=(const DispatcherHold&) = delete;

    // The held item runs (and waits).
    bool started() const;
    void release();

private:
    struct Gate;
    std::shared_ptr<Gate> gate_;
};

}  // namespace test
