#include "foundation/FileMove.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "foundation/TextConversion.h"

namespace base {
namespace {

std::error_code lastError() {
    return std::error_code(errno, std::generic_category());
}

// Copies into a new file and flushes it; the target is removed again when anything fails.
std::error_code copyAndSync(const std::string& from, const std::string& to) {
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) return lastError();
    const int target = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (target < 0) {
        const std::error_code error = lastError();
        ::close(source);
        return error;
    }
    std::error_code error;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t read = ::read(source, buffer.data(), buffer.size());
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) {
            error = lastError();
            break;
        }
        if (read == 0) break;
        for (ssize_t written = 0; written < read && !error;) {
            const ssize_t count =
                ::write(target, buffer.data() + written, static_cast<std::size_t>(read - written));
            if (count < 0 && errno == EINTR) continue;
            if (count < 0)
                error = lastError();
            else
                written += count;
        }
        if (error) break;
    }
    if (!error && ::fsync(target) != 0) error = lastError();
    if (::close(target) != 0 && !error) error = lastError();
    ::close(source);
    if (error) ::unlink(to.c_str());
    return error;
}

}  // namespace

std::error_code moveToNewFile(const std::wstring& from, const std::wstring& to) {
    const std::string source = toUtf8(from);
    const std::string target = toUtf8(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return {};
    // A file system that does not know the no-replace rename is treated like another one.
    if (errno != EXDEV && errno != EINVAL) return lastError();
    if (const std::error_code error = copyAndSync(source, target)) return error;
    // The file is whole at its new place; a source that cannot be removed only stays behind.
    ::unlink(source.c_str());
    return {};
}

}  // namespace base
