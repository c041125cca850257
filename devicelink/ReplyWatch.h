#pragma once

#include <chrono>

namespace device {

// Whether the transport's responder watches its queue a short while before it sleeps. A reply
// that comes while it watches is taken without the receiver waking it, which spares the two of
// them a thread switch each. The responder watches only where it can run beside the receiver
// (more than one CPU), only while a request went out within the length of a watch, so that a
// reply may come soon, and not for a while after a watch that saw none come: a device that answers
// slower than a watch costs a watch now and then, not at every reply.
class ReplyWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::microseconds kLength{200};
    // The waits slept at once after a watch that saw nothing.
    static constexpr int kSleepsAfterIdleWatch = 32;

    explicit ReplyWatch(bool severalCpus) : severalCpus_(severalCpus) {}

    // Whether to watch before this wait, the last request having gone out at `lastSend`.
    bool shouldWatch(Clock::time_point now, Clock::time_point lastSend);
    // What the watch saw: a reply, or nothing within its length.
    void watched(bool sawReply);

    // Whether the calling thread may run on more than one CPU.
    static bool callerHasSeveralCpus();

private:
    bool severalCpus_;
    int sleepsLeft_ = 0;
};

}  // namespace device
