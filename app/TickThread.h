#pragma once
// A thread that runs a callable at a fixed period until it is stopped: the GUI clock and the
// idle lock. The window toolkit's timers are not used; what a tick does to the window it
// queues on the GUI-thread invoker.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace frm {

class TickThread {
public:
    TickThread(std::string name, std::chrono::milliseconds period, std::function<void()> tick);
    ~TickThread();
    TickThread(const TickThread&) = delete;
    TickThread& operator=(const TickThread&) = delete;

    void start();
    // Wakes and joins the thread; a tick that runs is finished first. Safe to call again.
    void stop();

private:
    void run();

    const std::string name_;
    const std::chrono::milliseconds period_;
    const std::function<void()> tick_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace frm
