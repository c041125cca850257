#include "app/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace app {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written once by install before any handler is set, read by the handler.
std::atomic<int> g_readFd{-1};
std::atomic<int> g_writeFd{-1};

extern "C" void onStopSignal(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a wake-up, so a byte that does not fit is not missed.
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd.load(std::memory_order_relaxed), &number, 1);
    errno = savedErrno;
}

bool setUp() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    g_readFd.store(fds[0]);
    g_writeFd.store(fds[1]);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Slow system calls of other code go on instead of failing with EINTR.
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (const int signal : kSignals) installed = ::sigaction(signal, &action, nullptr) == 0 && installed;
    return installed;
}

}  // namespace

bool StopSignals::install() {
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] { installed = setUp(); });
    return installed;
}

void StopSignals::restoreDefaults() {
    for (const int signal : kSignals) ::signal(signal, SIG_DFL);
    if (const int pending = take()) ::raise(pending);
}

int StopSignals::fd() {
    return g_readFd.load();
}

int StopSignals::take() {
    const int fd = g_readFd.load();
    int last = 0;
    unsigned char numbers[16];
    for (;;) {
        const ssize_t count = fd < 0 ? -1 : ::read(fd, numbers, sizeof numbers);
        if (count <= 0) break;
        last = numbers[count - 1];
    }
    return last;
}

const char* StopSignals::name(int signal) {
    switch (signal) {
        case SIGTERM:
            return "SIGTERM";
        case SIGINT:
            return "SIGINT";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal";
    }
}

}  // namespace app
