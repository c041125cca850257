#include "panels/PlaylistRows.h"

namespace frm {

void PlaylistRows::showPlaylists(std::vector<std::shared_ptr<Playlist>> playlists) {
    playlists_ = std::move(playlists);
}

void PlaylistRows::showItems(std::shared_ptr<Playlist> playlist) {
    playlist_ = std::move(playlist);
    items_ = playlist_ ? playlist_->size() : 0;
}

std::wstring PlaylistRows::playlistText(std::size_t row, long column) const {
    if (row >= playlists_.size()) return {};
    const Playlist& playlist = *playlists_[row];
    return column == 0 ? playlist.getName() : std::to_wstring(playlist.size());
}

std::wstring PlaylistRows::itemText(std::size_t row, long column) const {
    // A row past the playlist's end (it has shrunk since it was shown) stays empty.
    if (row >= items_ || !playlist_) return {};
    const std::optional<Playlist::Item> item = playlist_->getItem(row);
    if (!item) return {};
    return column == 0 ? item->title : item->path;
}

}  // namespace frm
