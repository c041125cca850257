#include "support/DispatcherWait.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "foundation/ThreadDispatcher.h"
#include "support/FakeGuiThread.h"

namespace test {

DispatcherMark::DispatcherMark(std::chrono::milliseconds delay) {
    base::ThreadDispatcher::add(L"test: the dispatcher's mark", static_cast<std::uint32_t>(delay.count()),
                                [passed = passed_] {
                                    base::ThreadDispatcher::add(L"test: the dispatcher's mark passed", 0,
                                                                [passed] { *passed = true; });
                                });
}

bool DispatcherMark::wait() const {
    return waitFor([this] { return passed(); });
}

bool waitForDispatcher() {
    return DispatcherMark().wait();
}

struct DispatcherHold::Gate {
    std::mutex lock;
    std::condition_variable opened;
    bool open = false;
    std::atomic<bool> started{false};
};

DispatcherHold::DispatcherHold() : gate_(std::make_shared<Gate>()) {
    base::ThreadDispatcher::add(L"test: hold the dispatcher", 0, [gate = gate_] {
        gate->started = true;
        std::unique_lock<std::mutex> guard(gate->lock);
        gate->opened.wait(guard, [&] { return gate->open; });
    });
}

DispatcherHold::~DispatcherHold() {
    release();
}

bool DispatcherHold::started() const {
    return gate_->started.load();
}

void DispatcherHold::release() {
    {
        std::lock_guard<std::mutex> guard(gate_->lock);
        gate_->open = true;
    }
    gate_->opened.notify_all();
}

}  // namespace test
