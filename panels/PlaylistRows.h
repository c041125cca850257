#pragma once
// The rows of the playlist panel's two lists as the lists draw them, apart from the window: the
// playlists of the list of playlists with their item counts, and the items of the current
// playlist. The lists are virtual and ask for the rows on screen only, so that showing, choosing,
// scrolling and dragging in a playlist of a hundred thousand items costs what it does in one of
// thirty: showing a list copies no item. The item list reads its playlist as it draws, through as
// many rows as the playlist had items when it was shown; the list of playlists holds its
// playlists, and reads their names and counts as it draws.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/Playlist.h"

namespace frm {

class PlaylistRows {
public:
    void showPlaylists(std::vector<std::shared_ptr<Playlist>> playlists);
    // Shows the items of the playlist; none without one.
    void showItems(std::shared_ptr<Playlist> playlist);

    std::size_t playlistRows() const { return playlists_.size(); }
    std::size_t itemRows() const { return items_; }
    const std::vector<std::shared_ptr<Playlist>>& playlists() const { return playlists_; }

    // Column 0 the playlist's name, column 1 its item count; empty outside the rows.
    std::wstring playlistText(std::size_t row, long column) const;
    // Column 0 the item's title, column 1 its path; empty outside the rows.
    std::wstring itemText(std::size_t row, long column) const;

    // The rows drawn as playing; none by default.
    void setPlayingPlaylist(std::optional<std::size_t> row) { playingPlaylist_ = row; }
    void setPlayingItem(std::optional<std::size_t> row) { playingItem_ = row; }
    std::optional<std::size_t> playingPlaylist() const { return playingPlaylist_; }
    std::optional<std::size_t> playingItem() const { return playingItem_; }

private:
    std::vector<std::shared_ptr<Playlist>> playlists_;
    std::shared_ptr<Playlist> playlist_;
    std::size_t items_ = 0;
    std::optional<std::size_t> playingPlaylist_;
    std::optional<std::size_t> playingItem_;
};

}  // namespace frm
