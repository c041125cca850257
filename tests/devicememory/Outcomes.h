#pragma once
// What the device-memory tests observe of an operation: the progress it reports (with the end
// notifications of an audio-memory write), and what it throws.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devicelink/DeviceBase.h"
#include "devicelink/IAudioControl.h"
#include "foundation/Exceptions.h"

namespace test {

class ProgressRecorder {
public:
    device::memory::ProgressHandler progress() {
        return [state = state_](int percent) { state->change([&] { state->values.push_back(percent); }); };
    }
    // The progress of a firmware update, as its device reports it.
    device::UpgradeProgressCallback callback() {
        return [report = progress()](const std::shared_ptr<device::DeviceBase>&, int percent) {
            report(percent);
        };
    }
    void watch(device::memory::IAudioControl& memory) {
        memory.setWriteHandlers([state = state_] { state->change([&] { ++state->started; }); },
                                [state = state_] { state->change([&] { ++state->finished; }); });
    }
    // Waits until `value` was reported `times` times in all.
    bool waitFor(int value, int times = 1) {
        return waitUntil(
            [&](const State& s) { return std::count(s.values.begin(), s.values.end(), value) >= times; });
    }
    // Waits until an update or a write reported its end, 100 or -1.
    bool waitOutcome() {
        return waitUntil([](const State& s) {
            return !s.values.empty() && (s.values.back() == 100 || s.values.back() == -1);
        });
    }
    // Waits until a write reported its end (100 or -1) and its end notification came.
    bool waitEnd() {
        return waitUntil([](const State& s) {
            return s.finished > 0 && !s.values.empty() && (s.values.back() == 100 || s.values.back() == -1);
        });
    }
    // Waits until a write's end notification came, for a write that reports no progress.
    bool waitFinished() {
        return waitUntil([](const State& s) { return s.finished > 0; });
    }
    std::vector<int> values() const { return seen().values; }
    int started() const { return seen().started; }
    int finished() const { return seen().finished; }
    void clear() {
        state_->change([&] { state_->values.clear(); });
    }

private:
    struct Seen {
        std::vector<int> values;
        int started = 0;
        int finished = 0;
    };
    struct State : Seen {
        std::mutex lock;
        std::condition_variable changed;

        template <class Change>
        void change(Change&& apply) {
            std::lock_guard<std::mutex> guard(lock);
            apply();
            changed.notify_all();
        }
    };
    template <class Done>
    bool waitUntil(Done&& done) {
        std::unique_lock<std::mutex> guard(state_->lock);
        return state_->changed.wait_for(guard, std::chrono::seconds(30), [&] { return done(*state_); });
    }
    Seen seen() const {
        std::lock_guard<std::mutex> guard(state_->lock);
        return *state_;
    }

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// The code of the exception::UserResponse that `action` throws; empty when it throws another
// exception or none.
template <class Action>
std::wstring thrownCode(Action&& action) {
    try {
        action();
    } catch (const exception::UserResponse& refusal) {
        return refusal.message;
    } catch (const std::exception&) {
    }
    return L"";
}

// The texts of the exception::Base that `action` throws, "message / description" (the message
// alone when there is no description); empty when it throws none.
template <class Action>
std::wstring thrownMessage(Action&& action) {
    try {
        action();
    } catch (const exception::Base& error) {
        return error.description.empty() ? error.message : error.message + L" / " + error.description;
    }
    return L"";
}

}  // namespace test
