#pragma once
// A thread that stands in for the GUI thread: it runs the tasks posted to it in order.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace test {

class FakeGuiThread {
public:
    FakeGuiThread();
    ~FakeGuiThread();
    void post(std::function<void()> task);
    // The poster to hand to GuiThreadInvoker::create.
    std::function<void(std::function<void()>)> poster() {
        return [this](std::function<void()> task) { post(std::move(task)); };
    }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool ending_ = false;
    std::thread thread_;
};

// Polls `condition` until it holds or a generous deadline passes.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds deadline = std::chrono::seconds(30));

}  // namespace test
