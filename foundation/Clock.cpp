#include "foundation/Clock.h"

#include <atomic>
#include <boost/date_time/posix_time/posix_time.hpp>

namespace base::clock {
namespace {

std::shared_ptr<const TimeSource>& slot() {
    static std::shared_ptr<const TimeSource> source = std::make_shared<TimeSource>();
    return source;
}

// Set while a test's source is installed; the real clocks are read without touching the slot,
// whose atomic access takes a lock.
std::atomic<bool> g_replaced{false};

std::shared_ptr<const TimeSource> current() {
    return std::atomic_load(&slot());
}

}  // namespace

boost::posix_time::ptime TimeSource::localNow() const {
    return boost::posix_time::microsec_clock::local_time();
}

std::int64_t TimeSource::systemMicros() const {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count() + kUnixEpochMicros;
}

std::chrono::steady_clock::time_point TimeSource::steadyNow() const {
    return std::chrono::steady_clock::now();
}

boost::posix_time::ptime localNow() {
    return g_replaced.load(std::memory_order_acquire) ? current()->localNow() : TimeSource().localNow();
}
std::int64_t systemMicros() {
    return g_replaced.load(std::memory_order_acquire) ? current()->systemMicros()
                                                      : TimeSource().systemMicros();
}
std::chrono::steady_clock::time_point steadyNow() {
    return g_replaced.load(std::memory_order_acquire) ? current()->steadyNow()
                                                      : std::chrono::steady_clock::now();
}

std::int64_t steadyMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(steadyNow().time_since_epoch()).count();
}

void setTimeSource(std::shared_ptr<const TimeSource> source) {
    const bool replaced = source != nullptr;
    if (!source) source = std::make_shared<TimeSource>();
    std::atomic_store(&slot(), std::move(source));
    g_replaced.store(replaced, std::memory_order_release);
}

}  // namespace base::clock
