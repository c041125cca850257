#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/DataFolders.h"
#include "foundation/TextConversion.h"

namespace app {
namespace {

// Close-on-exec: a child (the keep-awake helper) must not hold the lock after this copy ends.
int openMark(const std::wstring& folder, bool make) {
    const std::string path = base::toUtf8(os::joinPath(folder, SingleInstance::kFileName));
    const int fd = make ? ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
    // A lock needs no write access: the mark left by an earlier run serves a read-only folder.
    return fd >= 0 ? fd : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

// 0 when taken, else the reason it was not.
int lock(int fd) {
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

}  // namespace

SingleInstance::SingleInstance(const std::vector<std::wstring>& folders) {
    for (const std::wstring& folder : folders) {
        // Once a copy is found to run, the other folders are only looked into.
        const int fd = openMark(folder, fd_ < 0 && !held_);
        if (fd < 0) continue;
        const int failure = lock(fd);
        held_ = held_ || failure == EWOULDBLOCK;
        if (failure == 0 && fd_ < 0) {
            fd_ = fd;
        } else {
            // Only looked at: closing it drops a lock taken for the look.
            ::close(fd);
        }
    }
    acquired_ = fd_ >= 0 && !held_;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_);
}

std::vector<std::wstring> runFolders(const std::wstring& dataFolder) {
    std::vector<std::wstring> folders{dataFolder};
    const std::wstring runtime = os::getRuntimeDirectory();
    if (!runtime.empty()) folders.push_back(runtime);
    return folders;
}

}  // namespace app
