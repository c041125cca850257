// The playlist panel's decisions as tables: its menu, its green rows, the radio's internet checks,
// the key release it ignores after a dialog, its column widths and the progress of a folder added.

#include <gtest/gtest.h>

#include "panels/PlaylistPanelRules.h"

namespace {

using frm::PlaylistMenuItem;
using frm::PlaylistMenuState;
using Items = std::vector<PlaylistMenuItem>;

PlaylistMenuState state(bool radio, bool overList, bool overItems, bool current, bool active,
                        std::size_t activeSelected, std::size_t itemsSelected) {
    return {radio, overList, overItems, current, active, activeSelected, itemsSelected};
}

TEST(PlaylistPanelRules, MenuForWhereTheMouseIsAndWhatIsChosen) {
    using I = PlaylistMenuItem;
    const Items onlyAddList{I::addPlaylist};
    const std::tuple<PlaylistMenuState, Items> cases[] = {
        // Over the list of playlists with a current playlist and a selection.
        {state(false, true, false, true, true, 1, 0),
         {I::addPlaylist, I::addFiles, I::addDir, I::rename, I::clearPlayList, I::deleteSelected}},
        {state(true, true, false, true, true, 2, 0),
         {I::addPlaylist, I::addUrl, I::captureAudioWithDevice, I::rename, I::clearPlayList,
          I::deleteSelected}},
        // Over the items with some of them selected.
        {state(false, false, true, true, true, 1, 1),
         {I::addFiles, I::addDir, I::rename, I::deleteSelected, I::clearPlayList}},
        {state(true, false, true, true, true, 1, 3),
         {I::addUrl, I::captureAudioWithDevice, I::editUrl, I::deleteSelected, I::clearPlayList}},
        // Over the items, none selected, or no list active yet.
        {state(false, false, true, true, true, 0, 0), {I::addFiles, I::addDir, I::clearPlayList}},
        {state(true, false, true, true, false, 0, 2),
         {I::addUrl, I::captureAudioWithDevice, I::clearPlayList}},
        // Every other case.
        {state(false, true, false, false, true, 0, 0),
         onlyAddList},  // an empty area of the list of playlists
        {state(true, true, false, true, true, 0, 4), onlyAddList},
        {state(false, false, true, false, true, 1, 1), onlyAddList},
        {state(true, false, false, true, true, 1, 1), onlyAddList},
    };
    for (const auto& [menuState, items] : cases) {
        EXPECT_EQ(frm::playlistMenuItems(menuState), items)
            << menuState.radio << menuState.mouseOverListOfPlaylist << menuState.mouseOverPlaylist
            << menuState.hasCurrentPlaylist << menuState.hasActiveList << menuState.activeListSelected
            << menuState.playlistSelected;
    }
}

TEST(PlaylistPanelRules, GreenRowsForThePlayersState) {
    const auto first = std::make_shared<Playlist>(L"first", true);
    const auto second = std::make_shared<Playlist>(L"second", true);
    const auto elsewhere = std::make_shared<Playlist>(L"second", true);  // same name, other list
    const std::vector<std::shared_ptr<Playlist>> lists{first, second, second};
    const std::tuple<std::shared_ptr<Playlist>, bool, std::optional<std::size_t>> playlistRows[] = {
        {second, true, 1u},
        {first, true, 0u},
        {second, false, std::nullopt},
        {elsewhere, true, std::nullopt},
        {nullptr, true, std::nullopt},
    };
    for (const auto& [playerPlaylist, playing, row] : playlistRows)
        EXPECT_EQ(frm::playingPlaylistRow(lists, playerPlaylist, playing), row);

    const std::tuple<std::size_t, std::size_t, std::optional<std::size_t>, bool> itemRows[] = {
        {0, 3, 0u, false},
        {2, 3, 2u, false},
        {3, 3, std::nullopt, true},
        {0, 0, std::nullopt, true},
    };
    for (const auto& [position, rows, row, discrepancy] : itemRows) {
        const frm::PlayingItemRow green = frm::playingItemRow(position, rows);
        EXPECT_EQ(green.row, row) << position << "/" << rows;
        EXPECT_EQ(green.discrepancy, discrepancy) << position << "/" << rows;
    }
}

TEST(PlaylistPanelRules, RadioChecksTheInternetForStreamsAndWhenLeavingTheLastStation) {
    const std::tuple<std::wstring, bool> paths[] = {
        {L"http://127.0.0.1:8000/stream.mp3", true},
        {L"", true},
        {L"sine://1000", false},
        {L"adev://Микрофон", false},
        {L"x-adev://a", false},
    };
    for (const auto& [path, needs] : paths) EXPECT_EQ(frm::needsInternet(path), needs);

    const std::tuple<long, std::size_t, bool> leaving[] = {
        {2, 3, true}, {1, 3, false}, {-1, 3, false}, {0, 1, true}, {-1, 0, false},
    };
    for (const auto& [last, rows, leaves] : leaving)
        EXPECT_EQ(frm::leavesLastStation(last, rows), leaves) << last << "/" << rows;
}

TEST(PlaylistPanelRules, KeyUpGuardSwallowsOnlyTheReleaseOfTheKeyThatClosedTheDialog) {
    // (key held as the dialog returned, key released, swallowed), then the next release of that key.
    const std::tuple<int, int, bool> cases[] = {
        {13, 13, true}, {27, 27, true}, {0, 13, false}, {0, 127, false}, {13, 127, false},
    };
    for (const auto& [held, released, swallowed] : cases) {
        frm::KeyUpGuard guard;
        guard.arm(held);
        EXPECT_EQ(guard.swallows(released), swallowed) << held << " " << released;
        EXPECT_FALSE(guard.swallows(held));
    }
}

TEST(PlaylistPanelRules, ColumnsTurnAutomaticForLongTexts) {
    EXPECT_EQ(frm::playlistNameColumnWidth({L"Утро", std::wstring(25, L'я')}), 200);
    EXPECT_EQ(frm::playlistNameColumnWidth({std::wstring(26, L'я'), L"Утро"}), -1);
    EXPECT_EQ(frm::playlistNameColumnWidth({}), 200);

    const auto widths = [](const std::wstring& title, const std::wstring& path) {
        return frm::playlistItemColumnWidths({title, path});
    };
    EXPECT_EQ(widths(std::wstring(15, L'т'), std::wstring(25, L'p')), (std::array<int, 2>{120, 200}));
    EXPECT_EQ(widths(std::wstring(16, L'т'), std::wstring(25, L'p')), (std::array<int, 2>{-1, 200}));
    EXPECT_EQ(widths(L"t", std::wstring(26, L'p')), (std::array<int, 2>{120, -1}));
}

TEST(PlaylistPanelRules, FolderProgressPulsesWhileListingAndThenCountsTheFilesAdded) {
    using Stage = frm::FolderProgress::Stage;
    const std::tuple<frm::FolderProgress, std::wstring, std::optional<int>> cases[] = {
        {{Stage::listing, 0, 0, 0}, L"Просмотрено каталогов: 0", std::nullopt},
        {{Stage::listing, 41, 0, 0}, L"Просмотрено каталогов: 41", std::nullopt},
        {{Stage::adding, 700, 8000, 0}, L"Добавлено файлов: 0 из 8000", 0},
        {{Stage::adding, 700, 8000, 2048}, L"Добавлено файлов: 2048 из 8000", 25},
        {{Stage::adding, 700, 8000, 8000}, L"Добавлено файлов: 8000 из 8000", 100},
        {{Stage::adding, 3, 0, 0}, L"Добавлено файлов: 0 из 0", 100},
    };
    for (const auto& [progress, text, percent] : cases) {
        EXPECT_EQ(frm::folderProgressText(progress), text);
        EXPECT_EQ(frm::folderProgressPercent(progress), percent) << text;
    }
}

}  // namespace
