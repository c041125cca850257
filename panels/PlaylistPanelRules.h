#pragma once
// What the playlist panel decides, apart from its window: the commands its menu offers, when the
// transport buttons show, which rows are drawn as playing, when the radio panel checks the
// internet connection, which key release it ignores after a dialog, and the widths of its columns.

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/Playlist.h"

namespace frm {

// The panel's menu items, in the order the menu creates them.
enum class PlaylistMenuItem {
    addFiles,
    captureAudioWithDevice,
    addDir,
    addUrl,
    editUrl,
    rename,
    clearPlayList,
    addPlaylist,
    deleteSelected,
};

// Where the mouse is and what is chosen when the menu is rebuilt.
struct PlaylistMenuState {
    bool radio = false;
    bool mouseOverListOfPlaylist = false;
    bool mouseOverPlaylist = false;
    bool hasCurrentPlaylist = false;
    bool hasActiveList = false;
    // Selected rows of the list that last received a click or a selection, and of the item list.
    std::size_t activeListSelected = 0;
    std::size_t playlistSelected = 0;
};

// The items of the rebuilt menu, in the order they are appended.
std::vector<PlaylistMenuItem> playlistMenuItems(const PlaylistMenuState& state);

// The four transport buttons show while the player plays, or while the player's playlist or the
// current playlist has items.
bool transportButtonsShown(bool playerPlaying, bool playerPlaylistHasItems, bool currentPlaylistHasItems);

// The row of the list of playlists drawn as playing: the first that holds the player's playlist
// while the player plays.
std::optional<std::size_t> playingPlaylistRow(const std::vector<std::shared_ptr<Playlist>>& playlists,
                                              const std::shared_ptr<Playlist>& playerPlaylist,
                                              bool playerPlaying);

// The item list's share of the colours while the player plays the current playlist at
// `position`: the green row, or, for a position beyond the rows, none and a discrepancy.
struct PlayingItemRow {
    std::optional<std::size_t> row;
    bool discrepancy = false;
};
PlayingItemRow playingItemRow(std::size_t position, std::size_t rowCount);

// Whether the radio panel asks for the internet connection when the playing position has moved
// on from `lastColoured`: only when it leaves the last station.
bool leavesLastStation(long lastColoured, std::size_t rowCount);

// Whether playing the path wants the internet: capture devices and the test tone do not.
bool needsInternet(const std::wstring& path);

// Column widths: a width, or -1 for the automatic width (the longest text's).
// The list of playlists' name column: 200, automatic once a name is longer than 200 / 8.
int playlistNameColumnWidth(const std::vector<std::wstring>& names);
// The item list's title column (120, automatic beyond 15 characters) and path column (200,
// automatic beyond 25), by the longest title and path (Playlist::longestTexts).
std::array<int, 2> playlistItemColumnWidths(const std::pair<std::wstring, std::wstring>& longest);

// Keeps the release of the key that closed a dialog of a command from reaching a list, where
// Enter would play and Delete would delete: armed with the key held down as the dialog returned,
// it swallows that key's release only. Any release ends it.
class KeyUpGuard {
public:
    // The key code held down now; 0 when none is (a dialog closed by the mouse), which leaves
    // the guard off.
    void arm(int heldKey) { key_ = heldKey; }
    // Whether the list ignores this key release.
    bool swallows(int keyCode) {
        const bool swallow = key_ != 0 && keyCode == key_;
        key_ = 0;
        return swallow;
    }

private:
    int key_ = 0;
};

// How far the addition of a folder tree has come (FolderAddition).
struct FolderProgress {
    enum Stage { listing, adding, ended };
    Stage stage = listing;
    std::size_t folders = 0;
    // Known once the listing has ended.
    std::size_t files = 0;
    std::size_t added = 0;
};
// What the panel's progress row says while a folder is added, and the gauge's share in percent;
// none while the tree is listed, whose end is not known: the gauge then pulses.
std::wstring folderProgressText(const FolderProgress& progress);
std::optional<int> folderProgressPercent(const FolderProgress& progress);

// Column titles of the music or the radio panel.
std::array<const wchar_t*, 2> listOfPlaylistColumnTitles(bool radio);
std::array<const wchar_t*, 2> playlistColumnTitles(bool radio);

}  // namespace frm
