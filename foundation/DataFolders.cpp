#include "foundation/DataFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace os {
namespace {

std::mutex g_cacheLock;
std::wstring g_dataFolder;

// A service started without HOME still has a home folder in the user database.
std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir) {
        return found->pw_dir;
    }
    return std::string();
}

std::wstring userDataRoot() {
    if (const char* local = std::getenv("LOCALAPPDATA"); local && *local) return base::fromUtf8(local);
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return base::fromUtf8(xdg);
    return base::fromUtf8(homeFolder()) + L"/.local/share";
}

std::wstring createFolder(const std::wstring& path) {
    boost::filesystem::create_directories(boost::filesystem::path(base::toUtf8(path)));
    return path;
}

// Makes the folder with mode 0700 when missing; true when it is then a folder (not a link) of this
// user that no one else may enter.
bool privateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & 077) == 0;
}

}  // namespace

const std::wstring& pathSeparator() {
    static const std::wstring separator = L"/";
    return separator;
}

std::wstring joinPath(const std::wstring& a, const std::wstring& b) {
    return a + pathSeparator() + b;
}

std::wstring getApplicationDataDirectory() {
    std::lock_guard<std::mutex> guard(g_cacheLock);
    if (!g_dataFolder.empty()) return g_dataFolder;
    const std::wstring folder = userDataRoot() + L"/KORVA Security Systems/Melvox/" + L"1.2";
    createFolder(folder);
    g_dataFolder = folder;
    return g_dataFolder;
}

void resetApplicationDataDirectory() {
    std::lock_guard<std::mutex> guard(g_cacheLock);
    g_dataFolder.clear();
}

std::wstring getLogDirectory() {
    return createFolder(joinPath(getApplicationDataDirectory(), L"log"));
}

std::wstring getTempDirectory() {
    return createFolder(joinPath(getApplicationDataDirectory(), L"temp"));
}

void emptyTempDirectory() {
    namespace fs = boost::filesystem;
    boost::system::error_code failure;
    boost::system::error_code ignored;
    const fs::path temp(base::toUtf8(joinPath(getApplicationDataDirectory(), L"temp")));
    // What a link leads to is not the program's: someone else's files may lie beside its own there.
    const bool linked = fs::is_symlink(temp, failure);
    if (!linked) fs::create_directories(temp, ignored);
    for (fs::directory_iterator it(temp, failure), end; it != end; it.increment(failure)) {
        const fs::path entry = it->path();
        if (!linked) {
            fs::remove_all(entry, ignored);
        } else if (entry.filename().string().rfind(kOwnTempPrefix, 0) == 0 &&
                   !fs::is_directory(fs::symlink_status(entry, ignored))) {
            fs::remove(entry, ignored);
        }
    }
}

int folderWriteError(const std::wstring& folder) {
    std::string probe;
    const int fd = base::createTemporaryBeside(base::toUtf8(joinPath(folder, L"probe")), probe);
    if (fd < 0) return errno != 0 ? errno : EIO;
    ::close(fd);
    ::unlink(probe.c_str());
    return 0;
}

std::wstring getRuntimeDirectory() {
    struct stat data {};
    if (::stat(base::toUtf8(getApplicationDataDirectory()).c_str(), &data) != 0) return std::wstring();
    char key[48];
    std::snprintf(key, sizeof key, "%llx-%llx", static_cast<unsigned long long>(data.st_dev),
                  static_cast<unsigned long long>(data.st_ino));
    std::vector<std::string> roots;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
        roots.push_back(std::string(runtime) + "/melvox");
    roots.push_back("/tmp/melvox-" + std::to_string(::geteuid()));
    for (const std::string& root : roots) {
        const std::string folder = root + "/" + key;
        if (privateFolder(root) && privateFolder(folder)) return base::fromUtf8(folder);
    }
    return std::wstring();
}

std::wstring getApplicationDirectory() {
    boost::system::error_code failure;
    const boost::filesystem::path program = boost::filesystem::read_symlink("/proc/self/exe", failure);
    if (failure || program.empty()) {
        debug::Place("os::getApplicationDirectory").error(L"Не удается получить каталог приложения");
        base::Log::notifyInstance();
        throw exception::StopProgram();
    }
    return base::fromUtf8(program.parent_path().string());
}

}  // namespace os
