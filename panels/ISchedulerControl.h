#pragma once
// What the playlist and message panels ask of the scheduler: whether a playback is scheduled,
// and renaming it in the scheduled tasks when their file takes the new name. Each panel is given
// the control of its own kind.

#include <string>

namespace frm {

class ISchedulerControl {
public:
    virtual ~ISchedulerControl() = default;

    // Renames every scheduled playback with the old name; nothing when the names are equal.
    virtual void renamePlaylist(const std::wstring& oldName, const std::wstring& newName) = 0;
    // Whether the scheduler's file takes that rename; told when it does not.
    virtual bool takesRename(const std::wstring& oldName, const std::wstring& newName) = 0;
    // Whether a scheduled playback has exactly this name.
    virtual bool existPlaylist(const std::wstring& name) = 0;
};

}  // namespace frm
