#include "app/TickThread.h"

#include <pthread.h>

#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace frm {

TickThread::TickThread(std::string name, std::chrono::milliseconds period, std::function<void()> tick)
    : name_(std::move(name)), period_(period), tick_(std::move(tick)) {}

TickThread::~TickThread() {
    stop();
}

void TickThread::start() {
    std::lock_guard<std::mutex> guard(lock_);
    if (thread_.joinable() || stopping_) return;
    thread_ = std::thread([this] { run(); });
}

void TickThread::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TickThread::run() {
    // The system keeps 15 characters of a thread's name.
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    const debug::Place place("frm::TickThread::run");
    place.trace(L"start thread '%1%'", name_);
    std::unique_lock<std::mutex> guard(lock_);
    while (!wake_.wait_for(guard, period_, [this] { return stopping_; })) {
        guard.unlock();
        try {
            tick_();
        } catch (const std::exception& error) {
            place.error(L"Thread '%1%': %2%", name_, exception::textOf(error));
        }
        guard.lock();
    }
    place.trace(L"end thread '%1%'", name_);
}

}  // namespace frm
