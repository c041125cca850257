// Preloaded into a program under test: the disk's flushes (fsync, fdatasync) of the files whose
// paths hold MELVOX_TEST_STALLED_SYNC never end, as on a disk that stopped answering; every other
// flush goes to the system.

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool stalls(int fd) {
    const char* name = std::getenv("MELVOX_TEST_STALLED_SYNC");
    if (name == nullptr || *name == '\0') return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t size = ::readlink(link, target, sizeof target - 1);
    if (size <= 0) return false;
    target[size] = '\0';
    return std::strstr(target, name) != nullptr;
}

int flush(int fd, const char* name) {
    if (stalls(fd)) {
        for (;;) ::pause();
    }
    using Flush = int (*)(int);
    const auto next = reinterpret_cast<Flush>(::dlsym(RTLD_NEXT, name));
    return next(fd);
}

}  // namespace

extern "C" int fsync(int fd) {
    return flush(fd, "fsync");
}

extern "C" int fdatasync(int fd) {
    return flush(fd, "fdatasync");
}
