// The music and radio views of the main window with real clicks: what they play is heard on the
// common stream and drawn in green, the transport buttons move and end it, an alarm broadcast
// keeps them off its loudspeakers, and the radio's internet checks never hold up the window. The
// editing commands build lists that come back after a restart, a drag and a delete keep what
// plays, and the radio takes a URL with its history and a capture device. A folder is added off
// the window's thread, while the alarm view stops an alarm.

#include <wx/app.h>
#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "app/kit/CaptureDeviceDialog.h"
#include "app/kit/UrlDialog.h"
#include "audio/ListOfPlaylist.h"
#include "audio/PlayerEngine.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "panels/SourcePlaylistPanel.h"
#include "panels/SourceServicePanel.h"
#include "support/DroppingTcpPort.h"
#include "support/HttpFileServer.h"
#include "support/PulseServer.h"
#include "tests/panels/window/PanelFixture.h"

namespace {

using namespace std::chrono_literals;
using test::column;
using test::green;
using test::playerPlays;
using test::StreamReceiver;

class PlaylistPanelTest : public test::PanelFixture {
protected:
    // Opens the view by its button; its panel's list of playlists and item list.
    void openView(const wxString& button) {
        panel_ = PanelFixture::openView<frm::SourcePlaylistPanel>(button);
        ASSERT_NE(panel_, nullptr);
        playlists_ = dynamic_cast<wxListCtrl*>(panel_->GetChildren()[0]);
        items_ = dynamic_cast<wxListCtrl*>(panel_->GetChildren()[1]);
        ASSERT_TRUE(playlists_ && items_);
    }
    wxRect rowArea(wxListCtrl* list, long row) {
        wxRect area;
        EXPECT_TRUE(list->GetItemRect(row, area)) << row;
        return area;
    }
    void press(const wxString& tip) { PanelFixture::press(test::labelled<wxBitmapButton>(panel_, tip)); }
    // Saves the view with no row selected, so that the green rows show.
    void photograph(const std::string& name) {
        for (wxListCtrl* list : {items_, playlists_}) {
            for (long row = 0; row < list->GetItemCount(); ++row)
                list->SetItemState(row, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        }
        EXPECT_TRUE(screenshot(name));
    }

    // Runs a command of the panel's menu.
    void command(int id) {
        wxCommandEvent event(wxEVT_MENU, id);
        event.SetEventObject(panel_);
        panel_->ProcessWindowEvent(event);
        ASSERT_TRUE(handleEvents());
    }
    // Chooses the one command the menu offers below the rows of the list, as the operator does:
    // a right click there, then the keys Down and Enter in the open menu.
    void chooseOnlyMenuCommand(wxListCtrl* list) {
        bool opened = false;
        const auto onOpen = [&opened](wxMenuEvent& event) {
            event.Skip();
            if (opened) return;
            opened = true;
            wxTheApp->CallAfter([] {
                wxUIActionSimulator keys;
                keys.Char(WXK_DOWN);
                keys.Char(WXK_RETURN);
            });
        };
        panel_->Bind(wxEVT_MENU_OPEN, onOpen);
        const wxSize size = list->GetClientSize();
        wxUIActionSimulator mouse;
        mouse.MouseMove(list->ClientToScreen(wxPoint(size.x / 2, size.y - 10)));
        ASSERT_TRUE(handleEvents());
        mouse.MouseClick(wxMOUSE_BTN_RIGHT);
        // The menu runs a loop of its own until the keys chose its command.
        EXPECT_TRUE(pumpUntil([&] { return opened; }));
        ASSERT_TRUE(handleEvents());
        panel_->Unbind(wxEVT_MENU_OPEN, onOpen);
    }
    // Chooses rows as the keyboard does: the list they are in becomes the active one.
    static void choose(wxListCtrl* list, std::initializer_list<long> rows) {
        for (long row = 0; row < list->GetItemCount(); ++row)
            list->SetItemState(row, 0, wxLIST_STATE_SELECTED);
        for (long row : rows) list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    // The panel's own dialogs answered as the operator would: the URL dialog with urlAnswer_
    // (cancelled when it is empty), the capture dialog with the PulseAudio server's source.
    int answerDialog(wxDialog& dialog) {
        wxTheApp->CallAfter([this, &dialog] {
            if (dynamic_cast<frm::UrlDialog*>(&dialog) != nullptr) {
                auto* url = test::findControl<wxComboBox>(&dialog);
                offeredUrls_ = url->GetStrings();
                if (urlAnswer_.second.empty()) return dialog.EndModal(wxID_CANCEL);
                test::findControl<wxTextCtrl>(&dialog)->ChangeValue(urlAnswer_.first);
                url->ChangeValue(urlAnswer_.second);
                pressButton(&dialog, wxT("Сохранить"));
            } else if (dynamic_cast<frm::CaptureDeviceDialog*>(&dialog) != nullptr) {
                EXPECT_TRUE(
                    test::findControl<wxChoice>(&dialog)->SetStringSelection(test::PulseServer::kSource));
                pressButton(&dialog, wxT("OK"));
            }
        });
        return dialog.ShowModal();
    }

    test::TempFolder files_;
    std::pair<std::wstring, std::wstring> urlAnswer_;
    wxArrayString offeredUrls_;
    frm::SourcePlaylistPanel* panel_ = nullptr;
    wxListCtrl* playlists_ = nullptr;
    wxListCtrl* items_ = nullptr;
};

TEST_F(PlaylistPanelTest, MusicIsHeardAndDrawnInGreenUntilStopped) {
    const std::string wav = files_.file("tone.wav");
    test::writeSineWav(wav, 600, 60);
    writeList(ListOfPlaylist::kMusicFile,
              {{L"Утро", {{L"Увертюра", base::fromUtf8(wav)}, {L"Тон 1 кГц", L"sine://1000"}}},
               {L"Вечер", {{L"Тон 2 кГц", L"sine://2000"}}},
               {L"Фоновая музыка", {{L"Тон 500 Гц", L"sine://500"}, {L"Тон 800 Гц", L"sine://800"}}}});
    openWindow();
    openView(wxT("Плейлист"));
    ASSERT_EQ(playlists_->GetItemCount(), 3);
    EXPECT_EQ(playlists_->GetItemText(1, 1), wxT("1"));

    click(playlists_, rowArea(playlists_, 0));
    ASSERT_TRUE(pumpUntil([&] { return items_->GetItemCount() == 2; }));
    EXPECT_EQ(items_->GetItemText(1, 1), wxT("sine://1000"));
    StreamReceiver receiver(group_, port_ + 1);
    doubleClick(items_, rowArea(items_, 0));
    EXPECT_TRUE(hears(receiver, 600));
    EXPECT_TRUE(pumpUntil([&] { return green(items_, 0) && green(playlists_, 0); }));
    EXPECT_FALSE(green(items_, 1) || green(playlists_, 1));
    photograph("playlist_music");

    press(wxT("Следующий элемент"));
    EXPECT_TRUE(hears(receiver, 1000));
    EXPECT_TRUE(pumpUntil([&] { return green(items_, 1) && !green(items_, 0); }));

    // An item the list does not show yet: its position is reported and no row is drawn for it.
    {
        const base::SingletonSlot<Player>::Use player(Player::instanceSlot());
        ASSERT_TRUE(player->getPlaylist()->add(L"Тон", L"sine://3000"));
    }
    press(wxT("Следующий элемент"));
    EXPECT_TRUE(hears(receiver, 3000));
    EXPECT_TRUE(pumpUntil([&] {
        return capture_.contains(L"Internal error. Discrepancy playlist and control (2 / 2)", L"WARN");
    }));
    EXPECT_FALSE(green(items_, 0) || green(items_, 1));
    EXPECT_TRUE(green(playlists_, 0));

    press(wxT("Стоп"));
    EXPECT_TRUE(hearsSilence(receiver));
    EXPECT_TRUE(pumpUntil([&] { return !green(playlists_, 0); }));
    EXPECT_FALSE(playerPlays());
}

TEST_F(PlaylistPanelTest, PlayIsRefusedWhileAnAlarmHoldsTheLoudspeakers) {
    const std::string message = files_.file("alarm.mp3");
    ASSERT_TRUE(test::writeSineMp3(message, 700, 60));
    writeList(ListOfPlaylist::kMusicFile, {{L"Утро", {{L"Тон 1 кГц", L"sine://1000"}}}});
    loudspeakers_.add(1);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    launchBroadcast(3, L"Пожарная тревога", message);
    openView(wxT("Плейлист"));
    click(playlists_, rowArea(playlists_, 0));
    StreamReceiver receiver(group_, port_ + 1);
    press(wxT("Играть"));
    EXPECT_TRUE(messageShown(L"На устройствах идёт приоритетное оповещение."));
    EXPECT_TRUE(capture_.contains(L"На устройствах идёт приоритетное оповещение.", L"WARN"));
    EXPECT_TRUE(hearsSilence(receiver));
    EXPECT_FALSE(playerPlays());
}

TEST_F(PlaylistPanelTest, RadioPlaysAStationAndStopsAfterTheLastWithoutAConnection) {
    const std::string mp3 = files_.file("station.mp3");
    ASSERT_TRUE(test::writeSineMp3(mp3, 1500, 60));
    const test::HttpFileServer station(mp3);
    writeList(
        ListOfPlaylist::kRadioFile,
        {{L"Станции", {{L"Тон 900 Гц", L"sine://900"}, {L"Городское радио", base::fromUtf8(station.url())}}},
         {L"Резерв", {{L"Тон 300 Гц", L"sine://300"}}}});
    // The internet is a host whose connection attempts are dropped.
    const test::DroppingTcpPort internet;
    openWindow();
    openView(wxT("Радио"));
    panel_->setInternetTarget(internet.target());
    click(playlists_, rowArea(playlists_, 0));
    ASSERT_TRUE(pumpUntil([&] { return items_->GetItemCount() == 2; }));

    // The last station plays at once; the check of the connection reports later.
    StreamReceiver receiver(group_, port_ + 1);
    doubleClick(items_, rowArea(items_, 1));
    EXPECT_TRUE(hears(receiver, 1500));
    EXPECT_TRUE(pumpUntil([&] { return green(items_, 1) && green(playlists_, 0); }));
    photograph("playlist_radio");
    EXPECT_TRUE(messageShown(L"Проверьте настройки соединения с интернетом"));

    // Moving on from the last station asks the probe again, which waits on the dropped attempt;
    // the window answers events meanwhile and the radio plays on until the answer comes.
    press(wxT("Следующий элемент"));
    ASSERT_TRUE(pumpUntil([&] { return green(items_, 0); }));
    bool answered = false;
    wxTheApp->CallAfter([&] { answered = true; });
    ASSERT_TRUE(pumpUntil([&] { return answered; }));
    EXPECT_TRUE(playerPlays());
    EXPECT_TRUE(internet.attemptWaiting());
    EXPECT_TRUE(pumpUntil([&] { return !playerPlays(); }));
    EXPECT_TRUE(pumpUntil([&] { return !green(items_, 0) && !green(playlists_, 0); }));
}

using Panel = frm::fb::SourcePlaylistPanel;

TEST_F(PlaylistPanelTest, EditedListsComeBackAfterARestart) {
    for (const char* name : {"a.MP3", "sub/b.mp3", "sub/.c.mp3", "sub/notes.txt", ".d/e.mp3"}) {
        std::filesystem::create_directories(std::filesystem::path(files_.file(name)).parent_path());
        std::ofstream(files_.file(name)) << "x";
    }
    std::filesystem::create_directory_symlink(files_.path(), files_.file("sub/loop"));
    writeList(ListOfPlaylist::kMusicFile, {{L"Утро", {}}, {L"Вечер", {{L"Тон", L"sine://500"}}}});
    openWindow();
    openView(wxT("Плейлист"));

    questions_.texts = {L"Днём"};
    chooseOnlyMenuCommand(playlists_);
    EXPECT_EQ(column(playlists_, 0), (std::vector<wxString>{wxT("Утро"), wxT("Вечер"), wxT("Днём")}));
    click(playlists_, rowArea(playlists_, 1));
    command(Panel::idClearPlayList);
    EXPECT_EQ(questions_.asked.back(), L"Очистка плейлиста");
    EXPECT_EQ(items_->GetItemCount(), 0);
    click(playlists_, rowArea(playlists_, 0));
    questions_.files = {{base::fromUtf8(files_.file("a.MP3"))}};
    command(Panel::idAddFiles);
    EXPECT_EQ(questions_.wildcards.back(), PlayerEngine::getFileFilter(false));
    questions_.folders = {files_.widePath()};
    command(Panel::idAddDir);
    ASSERT_TRUE(pumpUntil([&] { return !panel_->addingFolder(); }));
    EXPECT_EQ(column(items_, 1),
              (std::vector<wxString>{files_.file("a.MP3"), files_.file("sub/b.mp3"), files_.file("a.MP3")}));
    EXPECT_EQ(playlists_->GetItemText(0, 1), wxT("3"));

    // With an item still chosen, the list of playlists is where the operator works now.
    choose(items_, {1});
    choose(playlists_, {0});
    const std::wstring seventy(70, L'я');
    questions_.texts = {seventy};
    command(Panel::idRename);
    EXPECT_EQ(playlists_->GetItemText(0), seventy);
    EXPECT_EQ(items_->GetItemText(1), wxT("b"));

    closeWindow();
    const std::string saved = test::readWholeFile(root_.dataFolder() + "/list_of_playlist_music.xml");
    EXPECT_NE(saved.find(base::toUtf8(seventy)), std::string::npos);
    openWindow();
    openView(wxT("Плейлист"));
    EXPECT_EQ(column(playlists_, 0), (std::vector<wxString>{seventy, wxT("Вечер"), wxT("Днём")}));
    EXPECT_EQ(column(playlists_, 1), (std::vector<wxString>{wxT("3"), wxT("0"), wxT("0")}));
}

TEST_F(PlaylistPanelTest, DraggingAndDeletingKeepWhatPlays) {
    writeList(ListOfPlaylist::kMusicFile, {{L"Утро",
                                            {{L"t5", L"sine://500"},
                                             {L"t6", L"sine://600"},
                                             {L"t7", L"sine://700"},
                                             {L"t8", L"sine://800"},
                                             {L"t9", L"sine://900"}}}});
    openWindow();
    openView(wxT("Плейлист"));
    click(playlists_, rowArea(playlists_, 0));
    doubleClick(items_, rowArea(items_, 0));
    ASSERT_TRUE(pumpUntil([&] { return green(items_, 0); }));
    std::shared_ptr<Playlist> playing;
    {
        const base::SingletonSlot<Player>::Use player(Player::instanceSlot());
        playing = player->getPlaylist();
    }

    // One fast move across three rows carries the playing item along.
    wxUIActionSimulator mouse;
    const auto centre = [&](long row) {
        const wxRect area = rowArea(items_, row);
        return items_->ClientToScreen(area.GetPosition() + wxPoint(area.width / 2, area.height / 2));
    };
    mouse.MouseMove(centre(0));
    ASSERT_TRUE(handleEvents());
    mouse.MouseDown();
    ASSERT_TRUE(handleEvents());
    mouse.MouseMove(centre(3));
    ASSERT_TRUE(handleEvents());
    mouse.MouseUp();
    const std::vector<wxString> dragged{wxT("t6"), wxT("t7"), wxT("t8"), wxT("t5"), wxT("t9")};
    EXPECT_TRUE(pumpUntil([&] { return column(items_, 0) == dragged; }));
    EXPECT_EQ(playing->getItems()[3].title, L"t5");
    EXPECT_EQ(playing->getCurrentPosition(), 3u);
    EXPECT_TRUE(pumpUntil([&] { return green(items_, 3); }));

    // Deleting rows around the playing item keeps it playing.
    choose(items_, {0, 4});
    command(Panel::idDeleteSelected);
    EXPECT_EQ(column(items_, 0), (std::vector<wxString>{wxT("t7"), wxT("t8"), wxT("t5")}));
    EXPECT_EQ(playing->getCurrentPosition(), 2u);
    EXPECT_TRUE(pumpUntil([&] { return green(items_, 2); }));
    EXPECT_TRUE(playerPlays());

    // The Delete key deletes too, and the next command sees no row chosen.
    choose(items_, {0});
    items_->SetFocus();
    wxUIActionSimulator keyboard;
    keyboard.Char(WXK_DELETE);
    EXPECT_TRUE(pumpUntil([&] { return items_->GetItemCount() == 2; }));
    EXPECT_EQ(items_->GetSelectedItemCount(), 0);
    EXPECT_TRUE(playing->getSelection().empty());
    EXPECT_TRUE(green(items_, 1));
}

TEST_F(PlaylistPanelTest, RadioTakesAUrlWithItsHistoryAndACaptureDevice) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    writeList(ListOfPlaylist::kRadioFile, {{L"Станции", {{L"Тон", L"sine://900"}}}});
    questions_.modal = [this](wxDialog& dialog) { return answerDialog(dialog); };
    openWindow();
    openView(wxT("Радио"));
    click(playlists_, rowArea(playlists_, 0));

    urlAnswer_ = {L"Городское радио", L"http://127.0.0.1:8000/live"};
    command(Panel::idAddUrl);
    command(Panel::idCaptureAudioWithDevice);
    EXPECT_EQ(column(items_, 0), (std::vector<wxString>{wxT("Тон"), wxT("Городское радио"),
                                                        wxT("Захватить сигнал с устройства: test.monitor")}));
    EXPECT_EQ(column(items_, 1), (std::vector<wxString>{wxT("sine://900"), wxT("http://127.0.0.1:8000/live"),
                                                        wxT("adev://test.monitor")}));
    pulse.playTone(1200);
    StreamReceiver receiver(group_, port_ + 1);
    doubleClick(items_, rowArea(items_, 2));
    EXPECT_TRUE(hears(receiver, 1200));
    pulse.stopTone();

    closeWindow();
    openWindow();
    openView(wxT("Радио"));
    click(playlists_, rowArea(playlists_, 0));
    urlAnswer_ = {};
    command(Panel::idAddUrl);
    ASSERT_EQ(offeredUrls_.size(), 1u);
    EXPECT_EQ(offeredUrls_[0], wxT("http://127.0.0.1:8000/live"));
    EXPECT_EQ(items_->GetItemCount(), 3);
}

TEST_F(PlaylistPanelTest, TheRadioListsShowTheirHeadersWhole) {
    // A short name and a short address: the widths the rows ask for are below the headers'.
    writeList(ListOfPlaylist::kRadioFile, {{L"Ночь", {{L"Тон", L"sine://900"}}}});
    openWindow();
    openView(wxT("Радио"));
    EXPECT_TRUE(test::headersWhole(playlists_));
    EXPECT_TRUE(test::headersWhole(items_));
    click(playlists_, rowArea(playlists_, 0));
    ASSERT_TRUE(pumpUntil([&] { return items_->GetItemCount() == 1; }));
    EXPECT_TRUE(test::headersWhole(playlists_));
    EXPECT_TRUE(test::headersWhole(items_));
    photograph("radio_view");
}

// While a folder's listing is held, its progress shows under the lists, which wait, and the rest
// of the window answers: the alarm view opens and its ■ ends an alarm. Let go, the listing's files
// come in and the lists take input again; "Отмена" leaves the playlist as it was.
TEST_F(PlaylistPanelTest, AFolderIsAddedOffTheWindowsThreadWhileTheAlarmViewStopsAnAlarm) {
    const std::string message = files_.file("alarm.mp3");
    ASSERT_TRUE(test::writeSineMp3(message, 700, 60));
    std::filesystem::create_directory(files_.file("album"));
    for (int n = 0; n < 30; ++n) std::ofstream(files_.file("album/" + std::to_string(n) + ".mp3")) << "x";
    writeList(ListOfPlaylist::kMusicFile, {{L"Утро", {}}});
    loudspeakers_.add(1);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openView(wxT("Плейлист"));
    // Each listing waits until the gate is open.
    struct Gate {
        std::mutex lock;
        std::condition_variable changed;
        bool open = false;
        void set(bool value) {
            std::lock_guard<std::mutex> guard(lock);
            open = value;
            changed.notify_all();
        }
    };
    const auto gate = std::make_shared<Gate>();
    const std::shared_ptr<void> letGo(nullptr, [gate](void*) { gate->set(true); });
    panel_->setFolderLister([gate](const std::wstring& folder, const std::wstring& extensions,
                                   const base::ListingProgress& progress) {
        {
            std::unique_lock<std::mutex> guard(gate->lock);
            gate->changed.wait(guard, [&] { return gate->open; });
        }
        return frm::FolderScan::listTree(folder, extensions, progress);
    });
    click(playlists_, rowArea(playlists_, 0));
    questions_.folders = {base::fromUtf8(files_.file("album"))};
    command(Panel::idAddDir);
    ASSERT_TRUE(panel_->addingFolder());
    EXPECT_TRUE(pumpUntil([&] {
        auto* progress = test::labelled<wxStaticText>(panel_, wxT("Просмотрено каталогов: 0"));
        return progress != nullptr && progress->IsShownOnScreen();
    }));
    EXPECT_FALSE(playlists_->IsEnabled() || items_->IsEnabled());
    photograph("playlist_folder_progress");

    launchBroadcast(3, L"Пожарная тревога", message);
    auto* alarmView = PanelFixture::openView<frm::SourceServicePanel>(wxT("Тревожные сообщения"));
    ASSERT_NE(alarmView, nullptr);
    PanelFixture::press(test::named<wxWindow>(alarmView, "stop"));
    EXPECT_TRUE(pumpUntil([] {
        const base::SingletonSlot<frm::AlarmChannel>::Use channel(frm::AlarmChannel::instanceSlot());
        return channel && !channel->isBusy();
    }));
    EXPECT_TRUE(panel_->addingFolder());

    openView(wxT("Плейлист"));
    gate->set(true);
    ASSERT_TRUE(pumpUntil([&] { return !panel_->addingFolder(); }));
    EXPECT_EQ(items_->GetItemCount(), 30);
    EXPECT_EQ(playlists_->GetItemText(0, 1), wxT("30"));
    EXPECT_TRUE(playlists_->IsEnabled() && items_->IsEnabled());

    // Cancelled while it lists, it adds nothing.
    gate->set(false);
    command(Panel::idClearPlayList);
    questions_.folders = {base::fromUtf8(files_.file("album"))};
    command(Panel::idAddDir);
    PanelFixture::press(test::labelled<wxButton>(panel_, wxT("Отмена")));
    gate->set(true);
    ASSERT_TRUE(pumpUntil([&] { return !panel_->addingFolder(); }));
    EXPECT_EQ(items_->GetItemCount(), 0);
}

}  // namespace
