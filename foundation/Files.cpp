#include "foundation/Files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "foundation/Clock.h"
#include "foundation/DataFolders.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/ScanFields.h"
#include "foundation/TextConversion.h"

namespace base {
namespace {

namespace fs = std::filesystem;

fs::path nativePath(const std::wstring& path) {
    return fs::path(toUtf8(path));
}

bool writeAll(int fd, const std::string& bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// The process id in a temporary's name ".<name>.<pid>-<n>.tmp", or 0 when the name is no such.
pid_t temporaryOwner(const std::string& name) {
    constexpr std::string_view suffix = ".tmp";
    if (name.size() < 8 || name[0] != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::size_t dash = name.rfind('-');
    const std::size_t dot = name.rfind('.', dash);
    if (dash == std::string::npos || dot == std::string::npos || dot == 0) return 0;
    std::size_t at = dot + 1;
    std::uint32_t pid = 0;
    std::uint32_t counter = 0;
    if (!base::scan::readUnsigned(name, at, pid) || at != dash) return 0;
    ++at;
    if (!base::scan::readUnsigned(name, at, counter) || at != name.size() - suffix.size()) return 0;
    return pid > 0 && pid < 0x7FFFFFFF ? static_cast<pid_t>(pid) : 0;
}

wchar_t foldCase(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + (L'a' - L'A'));
    if (c >= 0x0410 && c <= 0x042F) return static_cast<wchar_t>(c + 0x20);
    if (c >= 0x0400 && c <= 0x040F) return static_cast<wchar_t>(c + 0x50);
    return c;
}

bool endsWithIgnoringCase(const std::wstring& text, const std::wstring& ending) {
    if (ending.size() > text.size()) return false;
    return std::equal(ending.begin(), ending.end(), text.end() - static_cast<std::ptrdiff_t>(ending.size()),
                      [](wchar_t a, wchar_t b) { return foldCase(a) == foldCase(b); });
}

std::vector<std::wstring> extensionsOf(std::wstring list) {
    if (!list.empty() && list.back() == L';') list.pop_back();
    std::vector<std::wstring> extensions;
    std::size_t begin = 0;
    while (true) {
        const std::size_t end = list.find(L';', begin);
        const std::wstring part =
            list.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
        const std::size_t dot = part.rfind(L'.');
        extensions.push_back(dot == std::wstring::npos ? std::wstring() : part.substr(dot));
        if (end == std::wstring::npos) break;
        begin = end + 1;
    }
    return extensions;
}

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

// Subfolders first, then the folder's own files, each group in name order, as the
// toolkit's directory walk gives them. Symbolic links to folders are not followed, so a
// link loop cannot make the walk endless. False when the progress stopped the walk.
bool walk(const fs::path& folder, bool recursive, std::vector<fs::path>& files,
          const ListingProgress& progress, std::size_t& entered) {
    if (progress && !progress(++entered)) return false;
    std::error_code error;
    std::vector<fs::path> subfolders;
    std::vector<fs::path> own;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        if (isHidden(path)) continue;
        std::error_code statusError;
        if (it->is_directory(statusError)) {
            if (recursive && !it->is_symlink(statusError)) subfolders.push_back(path);
        } else if (it->is_regular_file(statusError)) {
            own.push_back(path);
        }
    }
    std::sort(subfolders.begin(), subfolders.end());
    std::sort(own.begin(), own.end());
    for (const fs::path& subfolder : subfolders) {
        if (!walk(subfolder, recursive, files, progress, entered)) return false;
    }
    files.insert(files.end(), own.begin(), own.end());
    return true;
}

}  // namespace

namespace {

RegularFileRead closeKeepingErrno(int fd, RegularFileRead result) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return result;
}

// Opens what stands at the path without waiting, when it is a regular file within the bound; -1
// otherwise, with `result` telling why.
int openRegularFile(const std::wstring& path, std::size_t maximumSize, RegularFileRead& result,
                    std::size_t& size) {
    const int fd = ::open(nativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result = RegularFileRead::cannotOpen;
        return -1;
    }
    struct stat status {};
    result = ::fstat(fd, &status) != 0                                       ? RegularFileRead::failed
             : !S_ISREG(status.st_mode)                                      ? RegularFileRead::notRegular
             : static_cast<unsigned long long>(status.st_size) > maximumSize ? RegularFileRead::tooLarge
                                                                             : RegularFileRead::read;
    if (result != RegularFileRead::read) {
        closeKeepingErrno(fd, result);
        return -1;
    }
    size = static_cast<std::size_t>(status.st_size);
    return fd;
}

}  // namespace

RegularFileRead readRegularFilePieces(const std::wstring& path, std::size_t maximumSize,
                                      const std::function<void(const char* bytes, std::size_t count)>& take) {
    RegularFileRead result = RegularFileRead::read;
    std::size_t size = 0;
    const int fd = openRegularFile(path, maximumSize, result, size);
    if (fd < 0) return result;
    std::vector<char> piece(64 * 1024);
    for (std::size_t have = 0;;) {
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return closeKeepingErrno(fd, RegularFileRead::failed);
        }
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
        if (have > maximumSize) return closeKeepingErrno(fd, RegularFileRead::tooLarge);
        take(piece.data(), static_cast<std::size_t>(got));
    }
    return closeKeepingErrno(fd, RegularFileRead::read);
}

RegularFileRead readRegularFile(const std::wstring& path, std::size_t maximumSize, std::string& bytes) {
    bytes.clear();
    RegularFileRead result = RegularFileRead::read;
    std::size_t size = 0;
    const int fd = openRegularFile(path, maximumSize, result, size);
    if (fd < 0) return result;
    const auto closeKeepingErrno = [fd](RegularFileRead read) { return base::closeKeepingErrno(fd, read); };
    // One byte past the size tells a file that grew while it was read.
    bytes.resize(size + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > maximumSize) {
                bytes = std::string();
                return closeKeepingErrno(RegularFileRead::tooLarge);
            }
            bytes.resize(std::min(maximumSize + 1, have * 2));
        }
        const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (got < 0) {
            if (errno == EINTR) continue;
            bytes = std::string();
            return closeKeepingErrno(RegularFileRead::failed);
        }
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    if (have > maximumSize) {
        bytes = std::string();
        return closeKeepingErrno(RegularFileRead::tooLarge);
    }
    bytes.resize(have);
    return closeKeepingErrno(RegularFileRead::read);
}

std::string readFile(const std::wstring& path) {
    const debug::Place place("base::readFile");
    place.trace(L"read file %1%", path);
    std::string bytes;
    const RegularFileRead read = readRegularFile(path, static_cast<std::size_t>(kMaximumReadFileSize), bytes);
    if (read == RegularFileRead::cannotOpen) {
        place.important(L"Неверный путь '%1%' для чтения", path);
        throw exception::ExternalError(L"Получен неверный путь для чтения", path);
    }
    if (read != RegularFileRead::read) {
        place.important(L"Ошибка чтения файла '%1%'", path);
        throw exception::ExternalError(L"Ошибка чтения файла", path);
    }
    return bytes;
}

bool writeFile(const std::wstring& path, const std::string& bytes) {
    const debug::Place place("base::writeFile");
    place.trace(L"write file %1%", path);
    const AtomicWriteResult result = writeFileAtomically(path, bytes);
    if (result.failure == AtomicWriteResult::cannotOpen) {
        place.error(L"Неверный путь '%1%' для записи", path);
        throw exception::ExternalError(L"Получен неверный путь для записи", L"");
    }
    if (result.failure == AtomicWriteResult::cannotWrite) {
        place.important(L"Ошибка записи в файл '%1%'", path);
        throw exception::ExternalError(L"Ошибка записи в файл", L"");
    }
    return true;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Hidden, so that folder listings never show a file that is still being written or one
// left behind by a crash.
int createTemporaryBeside(const std::string& target, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    const fs::path path(target);
    const std::string prefix = (path.parent_path() / ("." + path.filename().string())).string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary =
            prefix + "." + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void removeStaleTemporaries(const std::wstring& folder) {
    std::error_code error;
    const fs::path where(toUtf8(folder).empty() ? "." : toUtf8(folder));
    for (fs::directory_iterator entry(where, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        const pid_t owner = temporaryOwner(name);
        if (owner == 0 || !entry->is_regular_file(error)) continue;
        // A process that still runs, this one too, may be writing it.
        if (owner == ::getpid() || ::kill(owner, 0) == 0 || errno == EPERM) continue;
        if (fs::remove(entry->path(), error)) {
            debug::Place("base::removeStaleTemporaries")
                .info(L"Removed the temporary file of an unfinished save '%1%'",
                      fromUtf8(entry->path().string()));
        }
    }
}

namespace {

AtomicWriteResult replaceFile(const std::wstring& path, const std::string& bytes, bool synced) {
    const fs::path target = nativePath(path);
    if (!target.has_filename()) return {AtomicWriteResult::cannotOpen, EISDIR};

    std::string temporary;
    const int fd = createTemporaryBeside(target.string(), temporary);
    if (fd < 0) return {AtomicWriteResult::cannotOpen, errno};

    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

    bool written = writeAll(fd, bytes) && (!synced || ::fsync(fd) == 0);
    int error = written ? 0 : errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return {AtomicWriteResult::cannotWrite, error};
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        return {AtomicWriteResult::cannotOpen, error};
    }
    if (synced) syncFolder(target.parent_path().string());
    return {};
}

}  // namespace

AtomicWriteResult writeFileAtomically(const std::wstring& path, const std::string& bytes) {
    return replaceFile(path, bytes, true);
}

AtomicWriteResult replaceFileUnsynced(const std::wstring& path, const std::string& bytes) {
    return replaceFile(path, bytes, false);
}

bool syncFile(const std::wstring& path) {
    const fs::path target = nativePath(path);
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) return false;
    bool synced = true;
    if (fd >= 0) {
        synced = ::fsync(fd) == 0;
        ::close(fd);
    }
    syncFolder(target.parent_path().string());
    return synced;
}

std::wstring keepAside(const std::wstring& path) {
    std::string stamp = boost::posix_time::to_iso_string(clock::localNow()).substr(0, 15);
    if (stamp.size() > 8) stamp[8] = '-';
    const std::wstring stem = path + L".broken-" + fromUtf8(stamp);
    std::wstring aside = stem;
    for (int n = 2; pathExists(aside); ++n) aside = stem + L"-" + std::to_wstring(n);
    std::error_code error;
    fs::rename(nativePath(path), nativePath(aside), error);
    return error ? std::wstring() : aside;
}

bool pathExists(const std::wstring& path) {
    std::error_code error;
    const fs::file_status status = fs::status(nativePath(path), error);
    return !error && status.type() != fs::file_type::not_found;
}

bool isFolder(const std::wstring& path) {
    std::error_code error;
    return fs::is_directory(nativePath(path), error);
}

std::error_code createFolders(const std::wstring& path) {
    std::error_code error;
    fs::create_directories(nativePath(path), error);
    return error;
}

std::error_code copyToNewFile(const std::wstring& from, const std::wstring& to) {
    std::error_code error;
    fs::copy_file(nativePath(from), nativePath(to), fs::copy_options::none, error);
    return error;
}

std::vector<std::wstring> listFiles(bool recursive, const std::wstring& folder,
                                    const std::wstring& extensions) {
    return listFiles(recursive, folder, extensions, nullptr);
}

std::vector<std::wstring> listFiles(bool recursive, const std::wstring& folder,
                                    const std::wstring& extensions, const ListingProgress& progress) {
    std::vector<std::wstring> result;
    const fs::path root = nativePath(folder);
    if (folder.empty() || !pathExists(folder)) return result;

    std::vector<fs::path> files;
    std::size_t entered = 0;
    walk(root, recursive, files, progress, entered);

    // A part without a dot ("*", "mp3"), and so an empty list, gives the empty ending,
    // which every name ends with.
    const std::vector<std::wstring> endings = extensionsOf(extensions);
    for (const fs::path& file : files) {
        std::wstring name = fromUtf8(file.string());
        const bool keep = std::any_of(endings.begin(), endings.end(), [&](const std::wstring& ending) {
            return endsWithIgnoringCase(name, ending);
        });
        if (keep) result.push_back(std::move(name));
    }
    return result;
}

std::wstring getFileName(const std::wstring& path, bool dropExtension) {
    std::wstring name = path;
    const std::size_t backslash = name.rfind(L'\\');
    if (backslash != std::wstring::npos) name.erase(0, backslash + 1);
    const std::size_t slash = name.rfind(L'/');
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    if (dropExtension && !name.empty()) {
        const std::size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos) name.erase(dot);
    }
    return name;
}

bool fileExistsIn(std::wstring& path, const std::wstring& folder) {
    if (path.empty()) return false;
    if (pathExists(path)) return true;
    const std::wstring moved = folder + os::pathSeparator() + getFileName(path, false);
    if (!pathExists(moved)) return false;
    path = moved;
    return true;
}

}  // namespace base
