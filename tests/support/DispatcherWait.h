#pragma once
// Waiting for the thread dispatcher in tests, and holding it.

#include <atomic>
#include <chrono>
#include <memory>

namespace test {

// An item queued on the dispatcher `delay` from now (by the clock seam), which on its turn queues
// a second one to run at once. Once that one ran, so did every item due before the first (unless
// a long item holds the executor) and whatever those queued to run at once: an absence of their
// work is then proven.
class DispatcherMark {
public:
    explicit DispatcherMark(std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    bool passed() const { return passed_->load(); }
    // Waits until it passed; false after a generous deadline.
    bool wait() const;

private:
    std::shared_ptr<std::atomic<bool>> passed_ = std::make_shared<std::atomic<bool>>(false);
};

// Waits until what was queued on the dispatcher so far has run. False after a generous deadline.
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
