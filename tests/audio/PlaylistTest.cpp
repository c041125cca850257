// Playlists and the list of playlists: positions that follow edits, refusals of what lies out
// of range, and the file that keeps them.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "audio/ListOfPlaylist.h"
#include "audio/Playlist.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DispatcherWait.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

std::shared_ptr<Playlist> numbered(int count, bool repeat = false, std::size_t current = 0) {
    auto playlist = std::make_shared<Playlist>(L"list", repeat);
    for (int i = 0; i < count; ++i)
        playlist->add(L"t" + std::to_wstring(i), L"sine://" + std::to_wstring(100 + i));
    playlist->current(current);
    return playlist;
}

std::wstring titles(const Playlist& playlist) {
    std::wstring text;
    for (const auto& item : playlist.getItems()) text += item.title.substr(1);
    return text;
}

TEST(PlaylistTest, DeletingSelectedRowsMovesTheCurrentPositionDown) {
    struct Case {
        std::vector<long> selection;
        std::size_t current;
        std::wstring left;
        std::size_t position;
    };
    for (const Case& c : std::vector<Case>{{{1, 3}, 4, L"024", 2},
                                           {{3, 1, 3, 9, -1}, 2, L"024", 1},
                                           {{0, 1, 2, 3, 4}, 4, L"", 0},
                                           {{4}, 4, L"0123", 3},
                                           {{}, 2, L"01234", 2}}) {
        auto playlist = numbered(5, false, c.current);
        playlist->setSelection(c.selection);
        playlist->deleteSelected();
        EXPECT_EQ(titles(*playlist), c.left);
        EXPECT_EQ(playlist->getCurrentPosition(), c.position);
        EXPECT_TRUE(playlist->getSelection().empty());
    }
    EXPECT_FALSE(numbered(0)->getCurrentItem());
}

TEST(PlaylistTest, MovingAnItemCarriesTheCurrentPosition) {
    test::LogCapture capture;
    struct Case {
        long from, to;
        std::size_t current;
        long result;
        std::wstring order;
        std::size_t position;
    };
    for (const Case& c : std::vector<Case>{{0, 3, 0, 3, L"12304", 3},
                                           {0, 3, 2, 3, L"12304", 1},
                                           {4, 1, 2, 1, L"04123", 3},
                                           {1, 1, 1, 1, L"01234", 1},
                                           {5, 0, 2, 5, L"01234", 2},
                                           {0, -1, 0, 0, L"01234", 0}}) {
        auto playlist = numbered(5, false, c.current);
        EXPECT_EQ(playlist->moveItem(c.from, c.to), c.result);
        EXPECT_EQ(titles(*playlist), c.order);
        EXPECT_EQ(playlist->getCurrentPosition(), c.position);
    }
    EXPECT_EQ(capture.find(L"Internal error. list index out of bounds", L"ERROR").size(), 2u);
}

TEST(PlaylistTest, NextAndPreviousWithAndWithoutRepeat) {
    base::ThreadDispatcher::create();
    auto once = numbered(2);
    int ends = 0;
    std::mutex lock;
    once->setCallbackIfPlaying([&](bool, bool finished) {
        std::lock_guard<std::mutex> guard(lock);
        ends += finished;
    });
    EXPECT_EQ(once->next()->title, L"t1");
    EXPECT_FALSE(once->next());
    EXPECT_FALSE(once->isPlayable());
    EXPECT_EQ(once->getCurrentPosition(), 0u);
    EXPECT_EQ(once->current(0)->title, L"t0");
    EXPECT_TRUE(once->isPlayable());
    EXPECT_EQ(once->previous()->title, L"t0");

    auto repeating = numbered(2, true, 1);
    EXPECT_EQ(repeating->next()->title, L"t0");
    EXPECT_EQ(repeating->previous()->title, L"t1");
    EXPECT_FALSE(repeating->current(2));
    EXPECT_FALSE(numbered(0)->next());
    EXPECT_TRUE(test::waitForDispatcher());
    base::ThreadDispatcher::destroy();
    EXPECT_EQ(ends, 1);
}

TEST(PlaylistTest, ItemsThatAreTakenAndRefused) {
    test::TempFolder folder;
    std::ofstream(folder.file("a.mp3")) << "x";
    test::LogCapture capture;
    Playlist playlist(L"p", false);
    EXPECT_TRUE(playlist.add(L"file", base::fromUtf8(folder.file("a.mp3"))));
    EXPECT_TRUE(playlist.add(L"radio", L"http://radio.example/stream"));
    EXPECT_TRUE(playlist.add(L"mic", L"adev://Microphone"));
    EXPECT_FALSE(playlist.add(L"gone", base::fromUtf8(folder.file("b.mp3"))));
    EXPECT_FALSE(playlist.add(L"", L"sine://100"));
    EXPECT_TRUE(capture.contains(L"Путь некорректный", L"WARN"));
    EXPECT_TRUE(capture.contains(L"Internal error. Title or path is empty, title is ''", L"WARN"));
    EXPECT_TRUE(playlist.update(Playlist::Item(L"tone", L"sine://440", 1)));
    EXPECT_FALSE(playlist.update(Playlist::Item(L"tone", L"sine://440", 7)));
    EXPECT_EQ(playlist.getItems()[1].path, L"sine://440");
}

TEST(ListOfPlaylistTest, SavedAndLoadedAgainAndACorruptFileIsKeptAside) {
    test::TempFolder folder;
    const std::wstring path = base::fromUtf8(folder.file("list_of_playlist_music.xml"));
    ListOfPlaylist list(L"music");
    list.add(numbered(3, true, 2));
    auto other = std::make_shared<Playlist>(L"Пусто", false);
    list.add(other);
    list.save(path);

    ListOfPlaylist again(L"music");
    again.load(path);
    ASSERT_EQ(again.getAll().size(), 2u);
    EXPECT_EQ(titles(*again.getOne(0)), L"012");
    EXPECT_EQ(again.getOne(0)->getCurrentPosition(), 2u);
    EXPECT_TRUE(again.getOne(0)->isRepeat());
    EXPECT_EQ(again.getOne(1)->getName(), L"Пусто");

    test::LogCapture capture;
    std::ofstream(folder.file("list_of_playlist_music.xml")) << "<listOfPlaylist><playlist";
    ListOfPlaylist broken(L"music");
    broken.load(path);
    EXPECT_TRUE(broken.getAll().empty());
    EXPECT_TRUE(capture.contains(L"Ошибка открытия настроек", L"ERROR"));
    int asides = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        asides += entry.path().filename().string().find(".broken-") != std::string::npos;
    EXPECT_EQ(asides, 1);
}

TEST(ListOfPlaylistTest, TwoPlaylistsOf60000ItemsAreReadKeptAndSavedWhole) {
    test::TempFolder folder;
    const std::string file = folder.file("list_of_playlist_music.xml");
    std::string text = "<listOfPlaylist name=\"music\">";
    for (const char* name : {"a", "b"}) {
        text += "<playlist name=\"" + std::string(name) + "\" repeat=\"false\" current=\"59999\">";
        for (int i = 0; i < 60000; ++i)
            text += "<item title=\"" + std::to_string(i) + "\" path=\"/" + std::to_string(i) + ".mp3\"/>";
        text += "</playlist>";
    }
    std::ofstream(file) << text << "</listOfPlaylist>";
    ListOfPlaylist list(L"music");
    list.load(base::fromUtf8(file));
    ASSERT_EQ(list.getAll().size(), 2u);
    for (const auto& playlist : list.getAll()) {
        EXPECT_EQ(playlist->getItems().size(), 60000u);
        EXPECT_EQ(playlist->getCurrentPosition(), 59999u);
    }
    list.save(base::fromUtf8(file));
    const std::string saved = test::readWholeFile(file);
    std::size_t items = 0;
    for (std::size_t at = saved.find("<item "); at != std::string::npos; at = saved.find("<item ", at + 1))
        ++items;
    EXPECT_EQ(items, 120000u);
    EXPECT_NE(saved.find("path=\"/59999.mp3\"/></playlist></listOfPlaylist>"), std::string::npos);
}

TEST(ListOfPlaylistTest, AListGrowingPastItsBoundKeepsTheLastListThatFitted) {
    test::TempFolder folder;
    const std::wstring path = base::fromUtf8(folder.file("list_of_playlist_music.xml"));
    ListOfPlaylist list(L"music");
    auto playlist = std::make_shared<Playlist>(L"Весь день", true);
    list.add(playlist);
    // Each step adds about a tenth of the bound.
    const std::wstring longFolder = L"/" + std::wstring(ListOfPlaylist::kMaximumFileSize / 2000, L'п') + L"/";
    std::size_t items = 0;
    std::size_t saved = 0;
    bool refused = false;
    for (int step = 0; step < 20 && !refused; ++step) {
        for (int i = 0; i < 100; ++i, ++items)
            playlist->restore(Playlist::Item(L"песня", longFolder + std::to_wstring(items) + L".mp3"));
        try {
            list.save(path);
            saved = items;
        } catch (const storage::TooLarge&) {
            refused = true;
        }
    }
    ASSERT_TRUE(refused);
    ASSERT_GT(saved, 0u);
    ListOfPlaylist again(L"music");
    again.load(path);
    ASSERT_EQ(again.getAll().size(), 1u);
    EXPECT_EQ(again.getOne(0)->getItems().size(), saved);
}

TEST(ListOfPlaylistTest, WrittenSizeIsTheSavedFilesSize) {
    ListOfPlaylist list(L"Музыка & \"радио\"");
    const std::vector<std::pair<std::wstring, std::wstring>> items = {
        {L"plain", L"/a.mp3"},
        {L"Увертюра <1> & 'финал'", L"/музыка/\"кавычки\".mp3"},
        {L"   ", L"/ /x.mp3"},
        {L"\U0001F3B5 нота", L"http://127.0.0.1/?a=1&b=2"},
    };
    // The file of an empty list, and of its playlists: what the list writes itself is what the
    // tree of the list writes, byte for byte, and the count of it is exact.
    const auto exact = [&](const char* state) {
        EXPECT_EQ(list.xmlText(), storage::xmlText(list.toTree())) << state;
        EXPECT_EQ(list.writtenSize(), list.xmlText().size()) << state;
    };
    exact("empty");
    auto playlist = std::make_shared<Playlist>(L"Утро & вечер", false);
    for (const auto& [title, path] : items) playlist->restore(Playlist::Item(title, path));
    playlist->restore(Playlist::Item(std::wstring(L" \0 ", 3), std::wstring(L"/a\0.mp3", 7)));
    list.add(playlist);
    list.add(std::make_shared<Playlist>(L"Пусто", true));
    playlist->current(4);
    exact("two playlists");
    const std::size_t written = storage::xmlText(list.toTree()).size();
    std::size_t itemBytes = 0;
    for (const auto& item : playlist->getItems()) itemBytes += ListOfPlaylist::writtenSize(item);
    playlist->clear();
    // An empty playlist's element closes itself.
    EXPECT_EQ(written - storage::xmlText(list.toTree()).size(), itemBytes + std::strlen("></playlist>") - 2);
}

}  // namespace
