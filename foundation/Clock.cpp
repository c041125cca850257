#include "foundation/Clock.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <atomic>

namespace base::clock {
namespace {

// Microseconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochOffsetMicros = 11644473600LL * 1000000LL;

std::shared_ptr<const TimeSource>& slot() {
    static std::shared_ptr<const TimeSource> source = std::make_shared<TimeSource>();
    return source;
}

std::shared_ptr<const TimeSource> current() { return std::atomic_load(&slot()); }

}  // namespace

boost::posix_time::ptime TimeSource::localNow() const {
    return boost::posix_time::microsec_clock::local_time();
}

std::int64_t TimeSource::systemMicros() const {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count() + kEpochOffsetMicros;
}

std::chrono::steady_clock::time_point TimeSource::steadyNow() const { return std::chrono::steady_clock::now(); }

boost::posix_time::ptime localNow() { return current()->localNow(); }
std::int64_t systemMicros() { return current()->systemMicros(); }
std::chrono::steady_clock::time_point steadyNow() { return current()->steadyNow(); }

void setTimeSource(std::shared_ptr<const TimeSource> source) {
    if (!source) source = std::make_shared<TimeSource>();
    std::atomic_store(&slot(), std::move(source));
}

}  // namespace base::clock
