#include "support/FakeGuiThread.h"

namespace test {

FakeGuiThread::FakeGuiThread() {
    thread_ = std::thread([this] {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            wake_.wait(guard, [this] { return ending_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            guard.unlock();
            task();
            guard.lock();
        }
    });
}

FakeGuiThread::~FakeGuiThread() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void FakeGuiThread::post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace test
