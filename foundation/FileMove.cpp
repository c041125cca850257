#include "foundation/FileMove.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "foundation/Files.h"
#include "foundation/TextConversion.h"

namespace base {
namespace {

std::error_code lastError() {
    return std::error_code(errno, std::generic_category());
}

// Copies the source into the open target and flushes it to the disk.
std::error_code copyAndSync(const std::string& from, int target) {
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) return lastError();
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
    ::close(source);
    return error;
}

// Gives the whole temporary the target's name, never over an existing file.
std::error_code placeWithoutReplacing(const std::string& temporary, const std::string& target) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS) return lastError();
    // A file system without the no-replace rename: a new link is refused where the name is taken.
    if (::link(temporary.c_str(), target.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return {};
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return lastError();
    // Nor links: only another writer of the same name at the same moment could come in between.
    struct stat existing;
    if (::lstat(target.c_str(), &existing) == 0) return std::make_error_code(std::errc::file_exists);
    if (::rename(temporary.c_str(), target.c_str()) != 0) return lastError();
    return {};
}

}  // namespace

std::error_code moveToNewFile(const std::wstring& from, const std::wstring& to) {
    const std::string source = toUtf8(from);
    const std::string target = toUtf8(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return {};
    // A file system that does not know the no-replace rename is treated like another one.
    if (errno != EXDEV && errno != EINVAL) return lastError();
    struct stat existing;
    if (::lstat(target.c_str(), &existing) == 0) return std::make_error_code(std::errc::file_exists);

    std::string temporary;
    const int fd = createTemporaryBeside(target, temporary);
    if (fd < 0) return lastError();
    std::error_code error = copyAndSync(source, fd);
    if (::close(fd) != 0 && !error) error = lastError();
    if (!error) error = placeWithoutReplacing(temporary, target);
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(std::filesystem::path(target).parent_path().string());
    // The file is whole at its new place; a source that cannot be removed only stays behind.
    ::unlink(source.c_str());
    return {};
}

}  // namespace base
