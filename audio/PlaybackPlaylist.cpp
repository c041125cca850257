#include "audio/PlaybackPlaylist.h"

#include "audio/PlayerChannel.h"
#include "foundation/Place.h"

namespace frm {

PlaybackPlaylist::PlaybackPlaylist(const std::wstring& name, std::shared_ptr<Playlist> playlist, int volume)
    : IPlayback(name), playlist_(std::move(playlist)), volume_(volume) {}

PlaybackPlaylist::PlaybackPlaylist(const PlaybackPlaylist& other)
    : IPlayback(other), playlist_(other.playlist_), volume_(other.volume_) {}

bool PlaybackPlaylist::action() {
    return play(playlist_);
}

bool PlaybackPlaylist::play(const std::shared_ptr<Playlist>& playlist) {
    const debug::Place place("frm::PlaybackPlaylist::action");
    base::SingletonSlot<PlayerChannel>::Use channel(PlayerChannel::instanceSlot());
    if (!channel || !playlist) {
        place.error(L"Internal error. No player channel or playlist for '%1%'", getName());
        return false;
    }
    std::uint64_t startId = 0;
    if (!channel->play(playlist, volume_, getTargets(), &startId)) return false;
    lastStartId_.store(startId);
    return true;
}

void PlaybackPlaylist::stopOwnStart() {
    base::SingletonSlot<PlayerChannel>::Use channel(PlayerChannel::instanceSlot());
    if (channel) channel->stopStarted(lastStartId_.load());
}

std::shared_ptr<IPlayback> PlaybackPlaylist::clone() const {
    return std::shared_ptr<IPlayback>(new PlaybackPlaylist(*this));
}

}  // namespace frm
