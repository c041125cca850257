#include "panels/PlaylistPanelRules.h"

#include <algorithm>

namespace frm {

std::vector<PlaylistMenuItem> playlistMenuItems(const PlaylistMenuState& state) {
    using Item = PlaylistMenuItem;
    const bool playlistCondition =
        state.mouseOverListOfPlaylist && state.hasCurrentPlaylist && state.activeListSelected > 0;
    const bool itemCondition = state.mouseOverPlaylist && state.hasCurrentPlaylist;
    const bool itemSelection = itemCondition && state.hasActiveList && state.playlistSelected > 0;
    // The two adding commands of the panel's kind.
    const Item firstAdd = state.radio ? Item::addUrl : Item::addFiles;
    const Item secondAdd = state.radio ? Item::captureAudioWithDevice : Item::addDir;

    if (state.mouseOverListOfPlaylist) {
        if (!playlistCondition) return {Item::addPlaylist};
        return {Item::addPlaylist,   firstAdd, secondAdd, Item::rename, Item::clearPlayList,
                Item::deleteSelected};
    }
    if (itemSelection) {
        return {firstAdd, secondAdd, state.radio ? Item::editUrl : Item::rename, Item::deleteSelected,
                Item::clearPlayList};
    }
    if (itemCondition) return {firstAdd, secondAdd, Item::clearPlayList};
    return {Item::addPlaylist};
}

bool transportButtonsShown(bool playerPlaying, bool playerPlaylistHasItems, bool currentPlaylistHasItems) {
    return playerPlaying || playerPlaylistHasItems || currentPlaylistHasItems;
}

std::optional<std::size_t> playingPlaylistRow(const std::vector<std::shared_ptr<Playlist>>& playlists,
                                              const std::shared_ptr<Playlist>& playerPlaylist,
                                              bool playerPlaying) {
    if (!playerPlaying || !playerPlaylist) return std::nullopt;
    for (std::size_t row = 0; row < playlists.size(); ++row) {
        if (playlists[row] == playerPlaylist) return row;
    }
    return std::nullopt;
}

PlayingItemRow playingItemRow(std::size_t position, std::size_t rowCount) {
    if (position < rowCount) return {position, false};
    return {std::nullopt, true};
}

bool leavesLastStation(long lastColoured, std::size_t rowCount) {
    return rowCount > 0 && lastColoured == static_cast<long>(rowCount) - 1;
}

bool needsInternet(const std::wstring& path) {
    return path.find(L"adev://") == std::wstring::npos && path.find(L"sine://") == std::wstring::npos;
}

// A width turns automatic for good once one text is longer than the limit.
int playlistNameColumnWidth(const std::vector<std::wstring>& names) {
    constexpr int kWidth = 200;
    for (const std::wstring& name : names) {
        if (name.size() > std::size_t(kWidth / 8)) return -1;
    }
    return kWidth;
}

std::array<int, 2> playlistItemColumnWidths(const std::pair<std::wstring, std::wstring>& longest) {
    return {longest.first.size() > 15 ? -1 : 120, longest.second.size() > 25 ? -1 : 200};
}

std::wstring folderProgressText(const FolderProgress& progress) {
    if (progress.stage == FolderProgress::listing)
        return L"Просмотрено каталогов: " + std::to_wstring(progress.folders);
    return L"Добавлено файлов: " + std::to_wstring(progress.added) + L" из " +
           std::to_wstring(progress.files);
}

std::optional<int> folderProgressPercent(const FolderProgress& progress) {
    if (progress.stage == FolderProgress::listing) return std::nullopt;
    if (progress.files == 0) return 100;
    return static_cast<int>(std::min(progress.added, progress.files) * 100 / progress.files);
}

std::array<const wchar_t*, 2> listOfPlaylistColumnTitles(bool radio) {
    if (radio) return {L"Список радиостанций", L"Количество станций"};
    return {L"Список плейлистов", L"Количество композиций"};
}

std::array<const wchar_t*, 2> playlistColumnTitles(bool radio) {
    return {L"Название", radio ? L"Адрес интернет-радиостанции" : L"Путь"};
}

}  // namespace frm
