#include "foundation/InternetProbe.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "foundation/Clock.h"

namespace os {

struct InternetProbe::State {
    std::mutex lock;
    std::condition_variable ended;
    bool running = false;
    bool result = false;
    // Counts the ended checks, so a waiter can tell that the check it waits for has ended.
    std::uint64_t endedCount = 0;
};

InternetProbe::InternetProbe() : state_(std::make_shared<State>()) {}

bool InternetProbe::request(Check check, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> guard(state_->lock);
    if (!state_->running) {
        state_->running = true;
        try {
            std::thread([state = state_, check = std::move(check)] {
                bool result = false;
                try {
                    result = check();
                } catch (const std::exception&) {
                    result = false;
                }
                {
                    std::lock_guard<std::mutex> guard(state->lock);
                    state->result = result;
                    state->running = false;
                    ++state->endedCount;
                }
                state->ended.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            // No thread to be had: no check runs, and the caller gets what is known.
            state_->running = false;
            return state_->result;
        }
    }
    const std::uint64_t seen = state_->endedCount;
    // The wait ends by the clock seam, read once before each wait with the lock held.
    auto now = base::clock::steadyNow();
    const auto end = now + wait;
    while (state_->endedCount == seen && now < end) {
        state_->ended.wait_for(guard, end - now);
        now = base::clock::steadyNow();
    }
    return state_->result;
}

InternetProbe& InternetProbe::instance() {
    static InternetProbe probe;
    return probe;
}

}  // namespace os
