// The playlist panel's editing commands on real lists, with the operator's answers scripted, a
// scheduler that names some playlists and a player that plays or holds one.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "panels/FolderScan.h"
#include "panels/ISchedulerControl.h"
#include "panels/PlaylistEditor.h"
#include "support/LogCapture.h"
#include "support/ScriptedQuestions.h"
#include "support/TempFolder.h"

namespace {

using Deletion = frm::PlaylistEditor::Deletion;
using Redraw = std::optional<frm::PlaylistRedraw>;
const frm::PlaylistRedraw kItems{false, true, true, true};
const frm::PlaylistRedraw kAll{true, true, true, true};
const wchar_t* const kWildcard = L"Все поддерживаемые форматы|*.mp3;*.wav|Все файлы (*.*)|*";

class FakeScheduler : public frm::ISchedulerControl {
public:
    void renamePlaylist(const std::wstring& oldName, const std::wstring& newName) override {
        renames.emplace_back(oldName, newName);
    }
    bool takesRename(const std::wstring&, const std::wstring&) override { return takes; }
    bool existPlaylist(const std::wstring& name) override { return scheduled.count(name) > 0; }

    bool takes = true;
    std::set<std::wstring> scheduled;
    std::vector<std::pair<std::wstring, std::wstring>> renames;
};

std::shared_ptr<Playlist> numbered(const std::wstring& name, int count) {
    auto playlist = std::make_shared<Playlist>(name, true);
    for (int i = 0; i < count; ++i)
        playlist->add(L"t" + std::to_wstring(i), L"sine://" + std::to_wstring(100 + i));
    return playlist;
}

std::wstring titles(const Playlist& playlist) {
    std::wstring text;
    for (const auto& item : playlist.getItems()) text += item.title + L" ";
    return text;
}

std::wstring names(const ListOfPlaylist& list) {
    std::wstring text;
    for (const auto& playlist : list.getAll()) text += playlist->getName() + L" ";
    return text;
}

class PlaylistEditorTest : public ::testing::Test {
protected:
    PlaylistEditorTest() {
        for (const wchar_t* name : {L"Утро", L"Вечер", L"Ночь"}) list_.add(numbered(name, 3));
        current_ = list_.getOne(0);
    }
    // Adds the folder the operator chooses as the panel does, its listing here; false when none
    // was chosen.
    bool addFolder(Playlist& playlist) {
        const auto choice = editor_.chooseFolder();
        if (!choice) return false;
        frm::FolderScan scan(choice->folder, choice->extensions);
        EXPECT_TRUE(scan.waitFor(std::chrono::minutes(1)));
        editor_.addListed(list_, playlist, scan.files(), [](std::size_t) { return true; });
        return true;
    }

    test::LogCapture capture_;
    test::ScriptedQuestions questions_;
    FakeScheduler scheduler_;
    bool playing_ = false;
    std::shared_ptr<Playlist> playerPlaylist_;
    int resets_ = 0;
    frm::PlaylistEditor editor_{{questions_,
                                 &scheduler_,
                                 {[this] { return playing_; }, [this] { return playerPlaylist_; },
                                  [this] {
                                      ++resets_;
                                      playerPlaylist_.reset();
                                  }},
                                 [](bool plain) { return plain ? L"*.mp3;*.wav" : kWildcard; }}};
    ListOfPlaylist list_{L"music"};
    std::shared_ptr<Playlist> current_;
};

TEST_F(PlaylistEditorTest, AddsFilesAFolderTreeACaptureDeviceAndUrls) {
    test::TempFolder folder;
    for (const char* name : {"Увертюра.MP3", "b.wav", "notes.txt", ".hidden.mp3", "sub/c.Wav", ".h/d.mp3"}) {
        std::filesystem::create_directories(std::filesystem::path(folder.file(name)).parent_path());
        std::ofstream(folder.file(name)) << "x";
    }
    std::filesystem::create_directory_symlink(folder.path(), folder.file("sub/loop"));
    const auto path = [&](const char* name) { return base::fromUtf8(folder.file(name)); };
    auto playlist = std::make_shared<Playlist>(L"Новый", true);

    questions_.files = {{path("Увертюра.MP3"), path("b.wav")}};
    EXPECT_EQ(editor_.addFiles(list_, playlist), kItems);
    EXPECT_EQ(questions_.wildcards, std::vector<std::wstring>{kWildcard});
    questions_.folders = {folder.widePath()};
    EXPECT_TRUE(addFolder(*playlist));
    EXPECT_EQ(editor_.addCaptureDevice(list_, *playlist, L"test.monitor"), kItems);
    EXPECT_EQ(editor_.addUrl(list_, *playlist, L"Городское радио", L"http://127.0.0.1:8000/a"), kItems);
    EXPECT_EQ(editor_.editUrl(list_, *playlist, 6, L"Радио 2", L"http://127.0.0.1:8000/b"), kItems);
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"Увертюра", path("Увертюра.MP3")},
        {L"b", path("b.wav")},
        {L"c", path("sub/c.Wav")},  // subfolders first
        {L"b", path("b.wav")},
        {L"Увертюра", path("Увертюра.MP3")},
        {L"Захватить сигнал с устройства: test.monitor", L"adev://test.monitor"},
        {L"Радио 2", L"http://127.0.0.1:8000/b"},
    };
    std::vector<std::pair<std::wstring, std::wstring>> items;
    for (const auto& item : playlist->getItems()) items.emplace_back(item.title, item.path);
    EXPECT_EQ(items, expected);

    // Cancelled dialogs, a folder that is gone, and files without a current playlist add nothing.
    EXPECT_FALSE(editor_.addFiles(list_, playlist));
    EXPECT_FALSE(addFolder(*playlist));
    questions_.folders = {path("gone")};
    EXPECT_FALSE(addFolder(*playlist));
    questions_.files = {{path("b.wav")}};
    EXPECT_FALSE(editor_.addFiles(list_, nullptr));
    EXPECT_TRUE(capture_.contains(L"Internal error. don't set current playlist", L"WARN"));
    EXPECT_EQ(playlist->getItems().size(), expected.size());

    // A folder's addition told to stop after its first share keeps that share.
    std::vector<std::size_t> handled;
    editor_.addListed(list_, *playlist, std::vector<std::wstring>(300, path("b.wav")),
                      [&](std::size_t files) {
                          handled.push_back(files);
                          return false;
                      });
    EXPECT_EQ(handled, std::vector<std::size_t>{256});
    EXPECT_EQ(playlist->size(), expected.size() + 256);
}

TEST_F(PlaylistEditorTest, AnAdditionOrAnEditThatWouldTakeTheListPastItsFileBoundIsRefusedWhole) {
    // One long item leaves the list's file 600 bytes short of its bound.
    const std::size_t room = 600;
    const std::size_t filler = ListOfPlaylist::kMaximumFileSize - list_.writtenSize() - room;
    Playlist::Item longItem(L"длинный", L"http://127.0.0.1/" + std::wstring(filler, L'a'));
    longItem.path.resize(longItem.path.size() - (ListOfPlaylist::writtenSize(longItem) - filler));
    ASSERT_TRUE(current_->restore(longItem));
    ASSERT_EQ(list_.writtenSize(), ListOfPlaylist::kMaximumFileSize - room);
    const std::wstring url = L"http://127.0.0.1/";
    // An item titled "радио" writes 51 bytes and its URL beyond these.
    const auto addUrl = [&](std::size_t more) {
        return [=] { return editor_.addUrl(list_, *current_, L"радио", url + std::wstring(more, L'b')); };
    };
    // The items are not copied: the long one is a quarter of a gigabyte in memory.
    const auto last = [&] { return current_->written().items - 1; };
    const auto editLast = [&](std::size_t more) {
        return [=] {
            return editor_.editUrl(list_, *current_, static_cast<int>(last()), L"радио",
                                   url + std::wstring(50 + more, L'b'));
        };
    };
    const auto renamePlaylist = [&](const std::wstring& name) {
        return [=] {
            questions_.texts = {name};
            return editor_.rename(list_, *current_, std::nullopt);
        };
    };
    struct Row {
        const char* change;
        std::function<Redraw()> edit;
        bool made;
    };
    const Row rows[] = {
        {"a URL of 451 bytes", addUrl(400), true},
        {"another, of the 149 left", addUrl(400), false},
        {"one of 101 bytes", addUrl(50), true},
        {"its URL 49 letters longer, of the 48 left", editLast(49), false},
        {"its URL 48 letters longer", editLast(48), true},
        {"its title a letter shorter",
         [&] {
             questions_.texts = {L"ради"};
             return editor_.rename(list_, *current_, current_->getItem(last()));
         },
         true},
        {"the playlist 9 bytes longer, of the 2 left", renamePlaylist(L"Утро утро"), false},
        {"the playlist a byte longer, which the scheduler's file does not take",
         [&] {
             scheduler_.takes = false;
             return renamePlaylist(L"Утро!")();
         },
         false},
        {"a new playlist",
         [&] {
             questions_.texts = {L"Новый"};
             return editor_.addPlaylist(list_, nullptr);
         },
         false},
    };
    for (const Row& row : rows) {
        const Playlist::Written before = current_->written();
        EXPECT_EQ(row.edit().has_value(), row.made) << row.change;
        if (!row.made) {
            EXPECT_EQ(current_->written().revision, before.revision) << row.change;
        }
    }
    EXPECT_EQ(list_.writtenSize(), ListOfPlaylist::kMaximumFileSize - 2);
    EXPECT_EQ(list_.xmlText().size(), ListOfPlaylist::kMaximumFileSize - 2);
    EXPECT_EQ(current_->getName(), L"Утро");
    EXPECT_TRUE(scheduler_.renames.empty());
    EXPECT_EQ(current_->getItem(last())->path, url + std::wstring(98, L'b'));
    for (const std::wstring refused : {L"Элементы не добавлены", L"Элемент не изменён",
                                       L"Плейлист не переименован", L"Плейлист не добавлен"})
        EXPECT_TRUE(capture_.contains(refused + L": с этим файл списка 'music' занял бы 33 МБ", L"WARN"));
    // A folder's files past the room are refused whole, before any is added or looked at.
    const std::size_t before = current_->size();
    bool going = false;
    editor_.addListed(list_, *current_, std::vector<std::wstring>(8, L"/нет/" + std::wstring(40, L'п')),
                      [&](std::size_t) { return going = true; });
    EXPECT_FALSE(going);
    EXPECT_EQ(current_->size(), before);
    EXPECT_EQ(capture_.find(L"Элементы не добавлены", L"WARN").size(), 2u);
}

TEST_F(PlaylistEditorTest, RenamesWithinSeventyCharactersAndNeverToAnotherPlaylistsName) {
    const std::wstring seventy(70, L'я');
    struct Case {
        std::optional<std::wstring> answer;
        Redraw redraw;
        std::wstring name;
        std::size_t renames;
    };
    const Case cases[] = {
        {std::wstring(71, L'я'), std::nullopt, L"Утро", 0},
        {L"Вечер", std::nullopt, L"Утро", 0},  // another playlist's name
        {std::nullopt, std::nullopt, L"Утро", 0},
        {L"", std::nullopt, L"Утро", 0},
        {L"Утро", std::nullopt, L"Утро", 0},  // unchanged
        {L"вечер", kAll, L"вечер", 1},
        {seventy, kAll, seventy, 2},
    };
    for (const Case& c : cases) {
        if (c.answer) questions_.texts.push_back(*c.answer);
        EXPECT_EQ(editor_.rename(list_, *current_, std::nullopt), c.redraw);
        EXPECT_EQ(current_->getName(), c.name);
        EXPECT_EQ(scheduler_.renames.size(), c.renames);
    }
    EXPECT_TRUE(capture_.contains(L"Превышено максимальное количество символов", L"NOTICE"));
    EXPECT_TRUE(capture_.contains(L"С таким названием плейлист существует", L"WARN"));
    using Rename = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(scheduler_.renames, (std::vector<Rename>{{L"Утро", L"вечер"}, {L"вечер", seventy}}));

    // An item keeps its path; item titles may repeat.
    questions_.texts = {std::wstring(71, L'т'), L"t0"};
    const auto item = current_->getItems()[2];
    EXPECT_FALSE(editor_.rename(list_, *current_, item));
    EXPECT_EQ(editor_.rename(list_, *current_, item), kAll);
    EXPECT_EQ(titles(*current_), L"t0 t1 t0 ");
    EXPECT_EQ(current_->getItems()[2].path, L"sine://102");
    EXPECT_EQ(scheduler_.renames.size(), 2u);
}

TEST_F(PlaylistEditorTest, ClearsAfterYesUnlessThePlayerPlaysIt) {
    playing_ = true;
    playerPlaylist_ = current_;
    EXPECT_FALSE(editor_.clear(*current_));
    EXPECT_TRUE(capture_.contains(L"Остановите воспроизведение перед очисткой", L"NOTICE"));
    EXPECT_TRUE(questions_.asked.empty());
    playing_ = false;
    questions_.yes = false;
    EXPECT_FALSE(editor_.clear(*current_));
    EXPECT_EQ(current_->getItems().size(), 3u);
    questions_.yes = true;
    EXPECT_EQ(editor_.clear(*current_), kItems);
    EXPECT_TRUE(current_->empty());
    EXPECT_EQ(questions_.asked, (std::vector<std::wstring>{L"Очистка плейлиста", L"Очистка плейлиста"}));
}

TEST_F(PlaylistEditorTest, AddsPlaylistsUnderNewNames) {
    questions_.texts = {std::wstring(71, L'я'), L"Утро", L"", L"утро", std::wstring(70, L'я')};
    const frm::PlaylistRedraw list{true, false, false, false};
    const Redraw expected[] = {std::nullopt, std::nullopt, std::nullopt, list, list};
    for (const Redraw& redraw : expected) EXPECT_EQ(editor_.addPlaylist(list_, nullptr), redraw);
    EXPECT_FALSE(editor_.addPlaylist(list_, nullptr));  // cancelled
    EXPECT_EQ(names(list_), L"Утро Вечер Ночь утро " + std::wstring(70, L'я') + L" ");
    EXPECT_TRUE(list_.getAll().back()->isRepeat());
    EXPECT_TRUE(capture_.contains(L"Превышено максимальное количество символов", L"NOTICE"));
    EXPECT_TRUE(capture_.contains(L"С таким названием плейлист существует", L"WARN"));
}

TEST_F(PlaylistEditorTest, DeletesPlaylistsUnlessOneIsScheduledOrPlaying) {
    const auto evening = list_.getOne(1);
    playerPlaylist_ = evening;  // held by the stopped player

    // A scheduled playlist among the rows keeps them all, and the player keeps its playlist.
    scheduler_.scheduled = {L"Ночь"};
    EXPECT_EQ(editor_.deletePlaylists(list_, {1, 2}, current_), Deletion::refused);
    EXPECT_TRUE(capture_.contains(L"Один из выбранных плейлистов входит в задание", L"NOTICE"));
    scheduler_.scheduled.clear();
    // No keeps them too.
    questions_.yes = false;
    EXPECT_EQ(editor_.deletePlaylists(list_, {1}, current_), Deletion::declined);
    questions_.yes = true;
    EXPECT_EQ(resets_, 0);
    EXPECT_EQ(names(list_), L"Утро Вечер Ночь ");
    EXPECT_EQ(current_, list_.getOne(0));

    // The playing playlist is refused before the question.
    playing_ = true;
    questions_.asked.clear();
    EXPECT_EQ(editor_.deletePlaylists(list_, {1}, current_), Deletion::refused);
    EXPECT_TRUE(capture_.contains(L"Остановите воспроизведение перед удалением", L"NOTICE"));
    EXPECT_TRUE(questions_.asked.empty());
    // One of the same name elsewhere is another playlist.
    playerPlaylist_ = numbered(L"Ночь", 1);
    EXPECT_EQ(editor_.deletePlaylists(list_, {2}, current_), Deletion::deleted);
    EXPECT_EQ(resets_, 0);
    EXPECT_FALSE(current_);

    // After Yes the stopped player lets its playlist go.
    playing_ = false;
    playerPlaylist_ = evening;
    current_ = evening;
    EXPECT_EQ(editor_.deletePlaylists(list_, {0, 1}, current_), Deletion::deleted);
    EXPECT_EQ(resets_, 1);
    EXPECT_EQ(names(list_), L"");
    EXPECT_FALSE(current_);
    EXPECT_TRUE(list_.getSelection().empty());

    list_.add(numbered(L"Утро", 1));
    EXPECT_EQ(editor_.deletePlaylists(list_, {0, 1}, current_), Deletion::refused);
    EXPECT_TRUE(capture_.contains(L"It is incorrect index of list", L"ERROR"));
    EXPECT_EQ(editor_.deletePlaylists(list_, {}, current_), Deletion::nothingSelected);
    EXPECT_EQ(list_.getAll().size(), 1u);
}

TEST_F(PlaylistEditorTest, DeletesItemsButNeverThePlayingOne) {
    auto playlist = numbered(L"Утро", 6);
    playlist->current(3);
    playing_ = true;
    playerPlaylist_ = playlist;

    EXPECT_EQ(editor_.deleteItems(*playlist, {5, 1, 4}), Deletion::deleted);
    EXPECT_EQ(titles(*playlist), L"t0 t2 t3 ");
    EXPECT_EQ(playlist->getCurrentPosition(), 2u);
    EXPECT_TRUE(playlist->getSelection().empty());

    questions_.asked.clear();
    EXPECT_EQ(editor_.deleteItems(*playlist, {0, 2}), Deletion::refused);
    EXPECT_TRUE(capture_.contains(L"Нельзя удалить воспроизводимый трек", L"NOTICE"));
    EXPECT_TRUE(questions_.asked.empty());
    // The player moving on to a chosen item while the question is open keeps it too.
    questions_.whileAsking = [&] { playlist->current(0); };
    EXPECT_EQ(editor_.deleteItems(*playlist, {0}), Deletion::refused);
    questions_.whileAsking = nullptr;
    questions_.yes = false;
    EXPECT_EQ(editor_.deleteItems(*playlist, {1}), Deletion::declined);
    EXPECT_EQ(editor_.deleteItems(*playlist, {}), Deletion::nothingSelected);
    EXPECT_EQ(titles(*playlist), L"t0 t2 t3 ");
}

}  // namespace
