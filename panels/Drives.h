#pragma once
// The removable and optical media of this machine, as the drive panel, its watch and the
// scheduler's drive playbacks see them: a
// medium is a file system mounted below /media or /run/media (where the desktop mounts what is
// plugged in or inserted), named by its mount point and shown by its label. The mount table is
// the only witness: a mount point that stays behind after a medium is gone does not count.

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/Playlist.h"
#include "foundation/Files.h"

namespace frm {

// One line of a mount table ("/proc/self/mounts"), its octal escapes ("\040") decoded.
struct Mount {
    std::string source;
    std::string mountPoint;
    std::string type;
};
std::vector<Mount> parseMountTable(const std::string& text);

enum DriveKind { removableDrive = 0, opticalDrive = 1 };

struct Drive {
    std::wstring mountPoint;
    // The file system's label, or the mount point when it has none.
    std::wstring label;
    int kind = removableDrive;
};
// The media among the mounts, in the table's order; labels are looked up in the folder of
// label links ("/dev/disk/by-label", names with "\x20"-style escapes).
std::vector<Drive> mediaOf(const std::vector<Mount>& mounts, const std::string& labelFolder);
// The media mounted now whose mount point can be read.
std::vector<Drive> presentMedia();
// Whether a medium is mounted now at the mount point; a folder left behind does not count.
bool mediumPresent(const std::wstring& mountPoint);

// The playlist of a medium, named by its mount point (repeating): its files that the filter of
// the player's extensions takes ("*.mp3;*.wav"), its folders included and links to folders not
// followed, each titled by its name without extension. Empty when the filter is (no plug-in
// plays anything). It reads the whole tree: never on the GUI thread. `progress` is told as the
// walk enters each folder; false stops it, and the playlist then holds what was found up to there.
std::shared_ptr<Playlist> drivePlaylist(const std::wstring& mountPoint, const std::wstring& filter,
                                        const base::ListingProgress& progress = nullptr);

// The medium of `before` that is gone from `now` and holds the path.
std::optional<std::wstring> removedMediumHolding(const std::vector<Drive>& before,
                                                 const std::vector<Drive>& now, const std::wstring& path);

// What "device_playback.xml" keeps under its root element: the chosen medium, its current file
// and whether it played.
constexpr const wchar_t* kDevicePlaybackRoot = L"device";
// Two paths and a flag: a few kilobytes at most.
constexpr std::size_t kDevicePlaybackFileSize = 1u << 20;
struct DevicePlayback {
    std::wstring disk;
    std::wstring current;
    bool playback = false;
};
boost::property_tree::wptree devicePlaybackTree(const DevicePlayback& state);
// A file without its "device" element restores nothing.
DevicePlayback devicePlaybackFrom(const boost::property_tree::wptree& tree);

}  // namespace frm
