#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/DataFolders.h"
#include "foundation/TextConversion.h"

namespace app {

SingleInstance::SingleInstance(const std::wstring& folder) {
    // Close-on-exec: a child (the keep-awake helper) must not hold the lock after this copy ends.
    const std::string path = base::toUtf8(os::joinPath(folder, kFileName));
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    int result;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    acquired_ = result == 0;
    held_ = result != 0 && errno == EWOULDBLOCK;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace app
