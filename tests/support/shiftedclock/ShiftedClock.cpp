// Preloaded into a program under test: its wall clock reads MELVOX_TEST_CLOCK_SHIFT_US
// microseconds ahead of the system's (behind when negative), as on a machine whose clock is set
// so; the monotonic clocks go by the system's.

#include <dlfcn.h>
#include <sys/time.h>
#include <time.h>

#include <cstdint>
#include <cstdlib>

namespace {

std::int64_t shiftMicros() {
    static const std::int64_t shift = [] {
        const char* text = std::getenv("MELVOX_TEST_CLOCK_SHIFT_US");
        return text != nullptr ? std::strtoll(text, nullptr, 10) : 0LL;
    }();
    return shift;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

void shift(timespec& time) {
    std::int64_t micros = static_cast<std::int64_t>(time.tv_nsec / 1000) + shiftMicros() % 1'000'000;
    time.tv_sec += static_cast<time_t>(shiftMicros() / 1'000'000);
    if (micros < 0) {
        micros += 1'000'000;
        --time.tv_sec;
    } else if (micros >= 1'000'000) {
        micros -= 1'000'000;
        ++time.tv_sec;
    }
    time.tv_nsec = static_cast<long>(micros * 1000 + time.tv_nsec % 1000);
}

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* time) noexcept {
    static const auto system = next<int (*)(clockid_t, timespec*)>("clock_gettime");
    const int result = system(clock, time);
    if (result == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE))
        shift(*time);
    return result;
}

extern "C" int gettimeofday(timeval* time, void* zone) noexcept {
    static const auto system = next<int (*)(timeval*, void*)>("gettimeofday");
    const int result = system(time, zone);
    if (result == 0) {
        timespec precise{time->tv_sec, static_cast<long>(time->tv_usec) * 1000};
        shift(precise);
        time->tv_sec = precise.tv_sec;
        time->tv_usec = static_cast<suseconds_t>(precise.tv_nsec / 1000);
    }
    return result;
}

extern "C" time_t time(time_t* out) noexcept {
    timeval now{};
    gettimeofday(&now, nullptr);
    if (out != nullptr) *out = now.tv_sec;
    return now.tv_sec;
}
