#include "bench/RequestCost.h"

#include <sys/resource.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::uint64_t> g_allocations{0};

}  // namespace

// Every allocation of the process passes here; the rest of the library's forms (arrays, nothrow,
// sized deletes) forward to these two.
void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace bench {

Cost costNow() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto micros = [](const timeval& time) {
        return static_cast<std::uint64_t>(time.tv_sec) * 1000000 + static_cast<std::uint64_t>(time.tv_usec);
    };
    return Cost{g_allocations.load(std::memory_order_relaxed), static_cast<std::uint64_t>(usage.ru_nvcsw),
                static_cast<std::uint64_t>(usage.ru_nivcsw), micros(usage.ru_utime) + micros(usage.ru_stime)};
}

void setCostPerRequest(benchmark::State& state, const std::string& prefix, const Cost& spent,
                       double requests) {
    if (requests <= 0) return;
    state.counters[prefix + "allocs_req"] = static_cast<double>(spent.allocations) / requests;
    state.counters[prefix + "switches_req"] = static_cast<double>(spent.voluntarySwitches) / requests;
    state.counters[prefix + "preempt_req"] = static_cast<double>(spent.involuntarySwitches) / requests;
    state.counters[prefix + "cpu_us_req"] = static_cast<double>(spent.cpuMicros) / requests;
}

}  // namespace bench
