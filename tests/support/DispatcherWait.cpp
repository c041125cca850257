#include "support/DispatcherWait.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "foundation/ThreadDispatcher.h"
#include "support/FakeGuiThread.h"

namespace test {

bool waitForDispatcher() {
    auto done = std::make_shared<std::atomic<bool>>(false);
    base::ThreadDispatcher::add(L"test: wait for the dispatcher", 0, [done] { *done = true; });
    return waitFor([&] { return done->load(); });
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
