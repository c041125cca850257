#include "foundation/DataFolders.h"

#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cstdlib>
#include <mutex>

#include "foundation/TextConversion.h"

namespace os {
namespace {

std::mutex g_cacheLock;
std::wstring g_dataFolder;

std::wstring userDataRoot() {
    if (const char* local = std::getenv("LOCALAPPDATA"); local && *local) return base::fromUtf8(local);
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return base::fromUtf8(xdg);
    const char* home = std::getenv("HOME");
    return base::fromUtf8(home ? home : "") + L"/.local/share";
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

std::wstring joinPath(const std::wstring& a, const std::wstring& b) { return a + pathSeparator() + b; }

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

std::wstring getLogDirectory() { return createFolder(joinPath(getApplicationDataDirectory(), L"log")); }

std::wstring getTempDirectory() { return createFolder(joinPath(getApplicationDataDirectory(), L"temp")); }

std::wstring getApplicationDirectory() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return L".";
    return base::fromUtf8(boost::filesystem::path(std::string(buffer, static_cast<std::size_t>(length)))
                              .parent_path()
                              .string());
}

}  // namespace os
