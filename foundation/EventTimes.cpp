#include "foundation/EventTimes.h"

#include <array>
#include <atomic>

#include "foundation/Checks.h"
#include "foundation/Clock.h"

namespace os {
namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kAsleepLongEnough = 120 * kTicksPerSecond;
constexpr std::int64_t kJustWoken = 180 * kTicksPerSecond;

std::array<std::atomic<std::int64_t>, kEventCount> g_events{};
std::atomic<bool> g_flag{false};

}  // namespace

std::int64_t getEventTime(unsigned event) {
    debug::throwIfFalse(event < kEventCount, "os::getEventTime");
    return g_events[event].load();
}

bool checkEventTimes() {
    // The margins come off now, so that no recorded time can overflow the sums.
    const std::int64_t now = eventTicksNow();
    return (g_flag.load() && now - kAsleepLongEnough > getEventTime(2)) ||
           now - kJustWoken <= getEventTime(3);
}

void setEventTime(unsigned event, std::int64_t ticks) {
    debug::throwIfFalse(event < kEventCount, "os::setEventTime");
    g_events[event].store(ticks);
}

void setEventFlag(bool set) {
    g_flag.store(set);
}

std::int64_t eventTicksNow() {
    return (base::clock::systemMicros() - base::clock::kUnixEpochMicros) * 10;
}

}  // namespace os
