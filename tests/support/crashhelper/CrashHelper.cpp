// A program that crashes in the way its argument names, with the crash handlers installed,
// so that the tests can look at what a crash leaves behind. The data folder is taken from
// LOCALAPPDATA as in the program. The crashing functions have C names so that the dump's
// backtrace shows them readably.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "foundation/CrashDump.h"
#include "foundation/DataFolders.h"
#include "foundation/Log.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

#define CRASHING extern "C" __attribute__((noinline, no_sanitize("address", "undefined")))

volatile bool g_stopRecursion = false;

CRASHING int readNullPointer() {
    // A volatile pointer, so that the compiler cannot see the null and put a trap in place, to a
    // volatile value, so that no optimiser drops the access.
    volatile int* volatile pointer = nullptr;
    return *pointer;
}

CRASHING void writeNullPointer() {
    volatile int* volatile pointer = nullptr;
    *pointer = 1;
}

CRASHING int divideByZero() {
    volatile int dividend = 7;
    volatile int zero = 0;
    return dividend / zero;
}

CRASHING int recurseForever(int depth) {
    volatile char frame[512];
    frame[depth % sizeof frame] = static_cast<char>(depth);
    if (g_stopRecursion) return frame[0];
    return recurseForever(depth + 1) + frame[depth % sizeof frame];
}

// Reading a mapped page whose file has been cut short.
CRASHING int readBeyondFile() {
    const std::string path = base::toUtf8(os::getTempDirectory()) + "/truncated";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ftruncate(fd, 8192) != 0) return -1;
    auto* bytes = static_cast<volatile char*>(mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, 0));
    if (bytes == MAP_FAILED || ftruncate(fd, 0) != 0) return -1;
    return bytes[4096];
}

// Fails inside the allocator, which aborts while it holds its arena lock: a second thread
// (the log writer) makes it take the lock, and the block is too large for the thread cache.
CRASHING void freeTwice() {
    void* volatile block = std::malloc(4000);
    void* neighbour = std::malloc(4000);
    std::free(block);
    std::free(block);
    std::free(neighbour);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: crash_helper <how>\n");
        return 2;
    }
    const std::string how = argv[1];
    const std::map<std::string, std::function<void()>> crashes = {
        {"read-null", [] { readNullPointer(); }},
        {"write-null", [] { writeNullPointer(); }},
        {"divide-by-zero", [] { divideByZero(); }},
        {"stack-overflow", [] { recurseForever(0); }},
        {"bus-error", [] { readBeyondFile(); }},
        {"abort", [] { std::abort(); }},
        {"uncaught-exception", [] { throw std::runtime_error("kaboom"); }},
        {"double-free", [] { freeTwice(); }},
        {"no-logger", [] { readNullPointer(); }},
    };
    const auto crash = crashes.find(how);
    if (crash == crashes.end()) {
        std::fprintf(stderr, "unknown crash '%s'\n", how.c_str());
        return 2;
    }
    if (how != "no-logger") dbg_init(false, base::Log::TRACE3, os::getLogDirectory());
    debug::installCrashHandlers();
    // Still queued when the crash comes: the crash path is to write it out before its report.
    debug::Place("crashHelper::main").info(L"crash helper ready to '%1%'", how);
    crash->second();
    std::fprintf(stderr, "did not crash\n");
    return 3;
}
