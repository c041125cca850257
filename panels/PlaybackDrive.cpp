#include "panels/PlaybackDrive.h"

#include "audio/PlayerEngine.h"
#include "foundation/Place.h"
#include "panels/Drives.h"

namespace frm {

PlaybackDrive::PlaybackDrive(const std::wstring& mountPoint) : PlaybackPlaylist(mountPoint, nullptr) {}

bool PlaybackDrive::action() {
    const debug::Place place("frm::PlaybackDrive::action");
    const std::wstring mountPoint = getName();
    if (!mediumPresent(mountPoint)) {
        place.warn(L"Носитель '%1%' не подключён: задание планировщика ничего не воспроизводит", mountPoint);
        return false;
    }
    const std::shared_ptr<Playlist> playlist = drivePlaylist(mountPoint, PlayerEngine::getFileFilter(true));
    if (playlist->empty()) {
        place.warn(L"На носителе '%1%' нет файлов для воспроизведения", mountPoint);
        return false;
    }
    return play(playlist);
}

std::shared_ptr<IPlayback> PlaybackDrive::clone() const {
    return std::shared_ptr<IPlayback>(new PlaybackDrive(*this));
}

}  // namespace frm
