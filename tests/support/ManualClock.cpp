#include "support/ManualClock.h"

#include <pthread.h>

#include <map>
#include <mutex>

namespace test {

struct ManualClock::Source : base::clock::TimeSource {
    mutable std::mutex lock;
    bool localSet = false;
    boost::posix_time::ptime localBase;
    std::chrono::steady_clock::time_point localSetAt;
    std::chrono::microseconds offset{0};
    bool systemFixed = false;
    std::int64_t systemBase = 0;
    bool steadyHeld = false;
    std::chrono::steady_clock::time_point steadyBase;
    mutable std::map<std::string, std::size_t> steadyReads;

    boost::posix_time::ptime localNow() const override {
        std::lock_guard<std::mutex> guard(lock);
        if (!localSet) return TimeSource::localNow() + boost::posix_time::microseconds(offset.count());
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - localSetAt + offset);
        return localBase + boost::posix_time::microseconds(elapsed.count());
    }
    std::int64_t systemMicros() const override {
        std::lock_guard<std::mutex> guard(lock);
        if (systemFixed) return systemBase + offset.count();
        return TimeSource::systemMicros() + offset.count();
    }
    std::chrono::steady_clock::time_point steadyNow() const override {
        char thread[16] = {};
        pthread_getname_np(pthread_self(), thread, sizeof thread);
        std::lock_guard<std::mutex> guard(lock);
        ++steadyReads[thread];
        return (steadyHeld ? steadyBase : std::chrono::steady_clock::now()) + offset;
    }
};

ManualClock::ManualClock() : source_(std::make_shared<Source>()) {
    base::clock::setTimeSource(source_);
}

ManualClock::~ManualClock() {
    base::clock::setTimeSource(nullptr);
}

void ManualClock::setLocal(const boost::posix_time::ptime& time) {
    std::lock_guard<std::mutex> guard(source_->lock);
    source_->localSet = true;
    source_->localBase = time;
    source_->localSetAt = std::chrono::steady_clock::now();
    source_->offset = std::chrono::microseconds(0);
}

void ManualClock::advance(std::chrono::microseconds step) {
    std::lock_guard<std::mutex> guard(source_->lock);
    source_->offset += step;
}

void ManualClock::holdSteady() {
    std::lock_guard<std::mutex> guard(source_->lock);
    source_->steadyHeld = true;
    source_->steadyBase = std::chrono::steady_clock::now();
}

void ManualClock::setSystemMicros(std::int64_t micros) {
    std::lock_guard<std::mutex> guard(source_->lock);
    source_->systemFixed = true;
    source_->systemBase = micros - source_->offset.count();
}

std::size_t ManualClock::steadyReadsOn(const std::string& threadName) const {
    std::lock_guard<std::mutex> guard(source_->lock);
    const auto found = source_->steadyReads.find(threadName);
    return found == source_->steadyReads.end() ? 0 : found->second;
}

}  // namespace test
