#include "devicelink/ReplyWatch.h"

#include <sched.h>

namespace device {

bool ReplyWatch::shouldWatch(Clock::time_point now, Clock::time_point lastSend) {
    if (!severalCpus_ || now - lastSend >= kLength) return false;
    if (sleepsLeft_ > 0) {
        --sleepsLeft_;
        return false;
    }
    return true;
}

void ReplyWatch::watched(bool sawReply) {
    sleepsLeft_ = sawReply ? 0 : kSleepsAfterIdleWatch;
}

bool ReplyWatch::callerHasSeveralCpus() {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    return sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 1;
}

}  // namespace device
