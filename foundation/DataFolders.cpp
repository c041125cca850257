#include "foundation/DataFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "foundation/Exceptions.h"
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
