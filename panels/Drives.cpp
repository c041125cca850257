#include "panels/Drives.h"

#include <dirent.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/Files.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

const char* const kMediaFolders[] = {"/media/", "/run/media/"};
const char* const kOpticalTypes[] = {"iso9660", "udf"};

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

// "\040" and the like: the mount table's escapes of space, tab, newline and backslash.
std::string unescapeOctal(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && isOctal(text[i + 1]) && isOctal(text[i + 2]) &&
            isOctal(text[i + 3])) {
            result += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) |
                                        (text[i + 3] - '0'));
            i += 3;
        } else {
            result += text[i];
        }
    }
    return result;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "\x20" and the like: how the label links escape what a file name cannot hold.
std::string unescapeHex(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() && hexDigit(text[i + 2]) >= 0 &&
            hexDigit(text[i + 3]) >= 0) {
            result += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::wstring labelOf(const Mount& mount, const std::string& labelFolder) {
    std::error_code error;
    const std::filesystem::path device = std::filesystem::canonical(mount.source, error);
    if (!error) {
        for (std::filesystem::directory_iterator it(labelFolder, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code ignored;
            if (std::filesystem::canonical(it->path(), ignored) == device && !ignored)
                return base::fromUtf8(unescapeHex(it->path().filename().string()));
        }
    }
    return base::fromUtf8(mount.mountPoint);
}

bool isReadableFolder(const std::string& path) {
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) return false;
    ::closedir(folder);
    return true;
}

bool holds(const std::wstring& mountPoint, const std::wstring& path) {
    return path.size() > mountPoint.size() && path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           path[mountPoint.size()] == L'/';
}

}  // namespace

std::vector<Mount> parseMountTable(const std::string& text) {
    std::vector<Mount> mounts;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        Mount mount;
        if (!(fields >> mount.source >> mount.mountPoint >> mount.type)) continue;
        mount.source = unescapeOctal(mount.source);
        mount.mountPoint = unescapeOctal(mount.mountPoint);
        mount.type = unescapeOctal(mount.type);
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

std::vector<Drive> mediaOf(const std::vector<Mount>& mounts, const std::string& labelFolder) {
    std::vector<Drive> drives;
    for (const Mount& mount : mounts) {
        const bool medium =
            std::any_of(std::begin(kMediaFolders), std::end(kMediaFolders), [&](const char* folder) {
                return mount.mountPoint.size() > std::char_traits<char>::length(folder) &&
                       mount.mountPoint.compare(0, std::char_traits<char>::length(folder), folder) == 0;
            });
        if (!medium) continue;
        const bool optical = std::any_of(std::begin(kOpticalTypes), std::end(kOpticalTypes),
                                         [&](const char* type) { return mount.type == type; });
        drives.push_back({base::fromUtf8(mount.mountPoint), labelOf(mount, labelFolder),
                          optical ? opticalDrive : removableDrive});
    }
    return drives;
}

std::vector<Drive> presentMedia() {
    std::ifstream file("/proc/self/mounts");
    std::stringstream text;
    text << file.rdbuf();
    std::vector<Drive> drives = mediaOf(parseMountTable(text.str()), "/dev/disk/by-label");
    drives.erase(
        std::remove_if(drives.begin(), drives.end(),
                       [](const Drive& drive) { return !isReadableFolder(base::toUtf8(drive.mountPoint)); }),
        drives.end());
    return drives;
}

bool mediumPresent(const std::wstring& mountPoint) {
    const std::vector<Drive> media = presentMedia();
    return std::any_of(media.begin(), media.end(),
                       [&](const Drive& drive) { return drive.mountPoint == mountPoint; });
}

std::shared_ptr<Playlist> drivePlaylist(const std::wstring& mountPoint, const std::wstring& filter,
                                        const base::ListingProgress& progress) {
    auto playlist = std::make_shared<Playlist>(mountPoint, true);
    if (filter.empty()) return playlist;
    for (const std::wstring& path : base::listFiles(true, mountPoint, filter, progress))
        playlist->add(base::getFileName(path, true), path);
    return playlist;
}

std::optional<std::wstring> removedMediumHolding(const std::vector<Drive>& before,
                                                 const std::vector<Drive>& now, const std::wstring& path) {
    for (const Drive& drive : before) {
        const bool present = std::any_of(
            now.begin(), now.end(), [&](const Drive& other) { return other.mountPoint == drive.mountPoint; });
        if (!present && holds(drive.mountPoint, path)) return drive.mountPoint;
    }
    return std::nullopt;
}

boost::property_tree::wptree devicePlaybackTree(const DevicePlayback& state) {
    boost::property_tree::wptree device;
    if (!state.disk.empty()) device.put(L"disk", state.disk);
    if (!state.current.empty()) device.put(L"current", state.current);
    if (state.playback) device.put(L"playback", L"true");
    boost::property_tree::wptree tree;
    tree.add_child(kDevicePlaybackRoot, device);
    return tree;
}

DevicePlayback devicePlaybackFrom(const boost::property_tree::wptree& tree) {
    DevicePlayback state;
    const auto device = tree.get_child_optional(kDevicePlaybackRoot);
    if (!device) return state;
    state.disk = device->get(L"disk", std::wstring());
    state.current = device->get(L"current", std::wstring());
    state.playback = device->get(L"playback", false);
    return state;
}

}  // namespace frm
