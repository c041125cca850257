#pragma once
// A playlist (music, radio, the files of a drive) to play on its targets through the common
// player channel.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/IPlayback.h"
#include "audio/Playlist.h"

namespace frm {

class PlaybackPlaylist : public IPlayback {
public:
    // A volume below 0 leaves the targets at their own volume.
    PlaybackPlaylist(const std::wstring& name, std::shared_ptr<Playlist> playlist, int volume = -1);

    // Hands the playlist with the targets to the player channel.
    bool action() override;
    // Stops the player channel while it still plays what this playback's last action started
    // (a scheduled stop never ends music started by hand or by another playback).
    void stopOwnStart();
    std::shared_ptr<IPlayback> clone() const override;

    // None for a playback that makes its playlist when it plays (PlaybackDrive).
    std::shared_ptr<Playlist> getPlaylist() const { return playlist_; }
    int getVolume() const { return volume_; }

protected:
    PlaybackPlaylist(const PlaybackPlaylist& other);
    // Hands the playlist with the targets to the player channel and keeps the start for
    // stopOwnStart.
    bool play(const std::shared_ptr<Playlist>& playlist);

private:
    const std::shared_ptr<Playlist> playlist_;
    const int volume_;
    // Of the last accepted action; a clone starts without one.
    std::atomic<std::uint64_t> lastStartId_{0};
};

}  // namespace frm
