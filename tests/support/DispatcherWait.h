#pragma once
// Waiting for the thread dispatcher in tests.

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

}  // namespace test
