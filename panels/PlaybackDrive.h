#pragma once
// The files of a removable or optical medium as one scheduled playback, named by the medium's
// mount point as the drive panel names its playlist. The files are listed when the playback
// starts, not when it is offered: a medium changed in the meantime plays what it holds then, and
// a medium that is not mounted plays nothing. Listing reads the whole tree, so `action` runs on
// a thread of the scheduler's own (SchedulerTasks), never on the GUI thread or the dispatcher.

#include <memory>
#include <string>

#include "audio/PlaybackPlaylist.h"

namespace frm {

class PlaybackDrive : public PlaybackPlaylist {
public:
    // The kind of the scheduler's source group of drives, as "scheduler.xml" names it.
    static constexpr const wchar_t* kSourceKind = L"device";

    explicit PlaybackDrive(const std::wstring& mountPoint);

    // Lists the medium's playable files and hands them to the player channel; false, with a
    // warning, when the medium is not mounted or holds nothing playable.
    bool action() override;
    std::shared_ptr<IPlayback> clone() const override;

private:
    PlaybackDrive(const PlaybackDrive& other) = default;
};

}  // namespace frm
