#pragma once
// Runs a slow connectivity check on a thread of its own, at most one at a time, and keeps the
// last result. A caller waits a limited time for the check that runs; when that is not enough it
// gets the earlier result, and the check still stores its own when it ends. Callers that come
// while a check runs wait for that check instead of starting another, so a network that hangs
// every connect cannot pile up threads.

#include <chrono>
#include <functional>
#include <memory>

namespace os {

class InternetProbe {
public:
    // Must not throw; a throw counts as false.
    using Check = std::function<bool()>;

    InternetProbe();

    // Starts `check` unless a check runs already, then waits at most `wait` for the running check
    // to end. Gives the last stored result: false until the first check has ended. Never throws
    // for want of a thread: it then gives the last result.
    bool request(Check check, std::chrono::milliseconds wait);

    // The process's probe, behind os::hasInternet.
    static InternetProbe& instance();

private:
    struct State;
    // Shared with the running check's thread, which may outlive this object.
    std::shared_ptr<State> state_;
};

}  // namespace os
