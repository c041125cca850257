// The scheduler view of the main window with emulated loudspeakers and the clock seam: a daily
// task with a stop time added by the operator is one row and two tasks; scheduled playlists are
// heard on the common stream at their times and their stops end them but leave alone what was
// started by hand or by another task; a scheduled message plays on its own loudspeakers only;
// the operator switches, deletes and filters tasks, which are kept across a restart; the files of
// a medium play at their time while it is mounted, and its task outlives it.

#include <wx/app.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <filesystem>
#include <fstream>

#include "audio/CivilTime.h"
#include "audio/ListOfPlaylist.h"
#include "audio/PlaybackCollection.h"
#include "audio/PlaybackPlaylist.h"
#include "audio/PlaybackTrack.h"
#include "foundation/Password.h"
#include "foundation/ThreadDispatcher.h"
#include "panels/PlaybackDrive.h"
#include "support/ManualClock.h"
#include "support/PrivateMounts.h"
#include "tests/panels/window/PanelFixture.h"

namespace {

using namespace std::chrono_literals;
using test::playerPlays;
using test::StreamReceiver;

class SchedulerPanelTest : public test::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        pref::setString(setting::securityAdministrator.key, base::toUtf8(base::encodePassword(L"admin")));
        at(7, 0);
    }

    // Opens the window with the loudspeakers online and in the zones: the first in the root zone,
    // the others in "Корпус".
    void openWithZones(int loudspeakers) {
        loudspeakers_.add(loudspeakers);
        openWindow();
        ASSERT_TRUE(pumpUntil([&] { return deviceState(loudspeakers - 1) == L"В сети"; }));
        const auto devices = frame_->getDeviceCollection().getDevices();
        const auto& root = frame_->getRootZone();
        root->addDevices({devices.front()});
        root->createZone(*root, L"Корпус")->addDevices({devices.begin() + 1, devices.end()});
    }
    void openScheduler() {
        questions_.passwords = {L"admin"};
        clickButton(L"Администратор");
        ASSERT_TRUE(frame_->isAdministrator());
        panel_ = openView<frm::SourceSchedulerPanel>(L"Планировщик");
        ASSERT_NE(panel_, nullptr);
    }
    template <class Control>
    Control* control(const char* name) {
        return test::named<Control>(panel_, name);
    }
    wxListCtrl* taskList() { return control<wxListCtrl>("tasks"); }
    void choose(const char* name, int selection) { test::change(control<wxChoice>(name), selection); }
    // The check box of the label (other windows, a list's column, may carry it too).
    void tick(const wxString& label, bool value) {
        auto* box = test::labelled<wxCheckBox>(panel_, label);
        ASSERT_NE(box, nullptr) << label;
        test::change(box, value);
    }
    // Presses a button of the panel; its handler has run on return.
    void press(const wxString& label) {
        wxWindow* button = wxWindow::FindWindowByLabel(label, panel_);
        ASSERT_NE(button, nullptr) << label;
        ASSERT_TRUE(button->IsEnabled()) << label;
        wxCommandEvent event(wxEVT_BUTTON, button->GetId());
        event.SetEventObject(button);
        button->ProcessWindowEvent(event);
    }
    // Selects the rows of the task list as the operator does.
    void selectRows(std::initializer_list<long> rows) {
        panel_->selectTask(false);
        for (long row : rows) taskList()->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        panel_->selectTask(true);
    }
    std::vector<wxString> column(int index) { return test::column(taskList(), index); }
    // Checks the rows of the device check list, and so what is nested below them.
    void checkOnly(std::initializer_list<long> rows) {
        wxListCtrl* devices = control<wxListCtrl>("devices");
        for (long row = 0; row < devices->GetItemCount(); ++row) devices->CheckItem(row, false);
        for (long row : rows) devices->CheckItem(row, true);
    }
    // Adds a daily task of the content from hour:minute, with a stop when stopMinute >= 0.
    void addDaily(int place, int content, int hour, int minute, int stopHour = 0, int stopMinute = -1) {
        choose("place", place);
        choose("content", content);
        control<wxSpinCtrl>("startHour")->SetValue(hour);
        control<wxSpinCtrl>("startMinute")->SetValue(minute);
        tick(L"Время останова (ч:м)", stopMinute >= 0);
        control<wxSpinCtrl>("stopHour")->SetValue(stopHour);
        control<wxSpinCtrl>("stopMinute")->SetValue(std::max(stopMinute, 0));
        const std::size_t tasks = panel_->getCore().getTasks().size();
        clickButton(L"Добавить");
        ASSERT_TRUE(pumpUntil([&] { return panel_->getCore().getTasks().size() > tasks; }));
    }

    // A source of one service message of 700 Hz, as the message panel will give it.
    std::shared_ptr<frm::PlaybackCollection> messageSource(const wchar_t* name, double seconds) {
        const std::string message = files_.file("message.mp3");
        EXPECT_TRUE(test::writeSineMp3(message, 700, seconds));
        auto messages = frm::PlaybackCollection::create(L"Служебные сообщения", L"serviceMessage");
        auto track = std::make_shared<frm::PlaybackTrack>(name, 4, false);
        track->setMessage(name, base::fromUtf8(message));
        messages->add(track);
        return messages;
    }
    // The local time of the test's day.
    std::int64_t localTime(int hour, int minute) {
        return scheduler::toUtc(day_, boost::posix_time::hours(hour) + boost::posix_time::minutes(minute));
    }
    void at(int hour, int minute) { clock_.setSystemMicros(localTime(hour, minute)); }
    // Runs the dispatcher's queue twice over: the tasks' events, then what they queued.
    bool dispatcherDone() {
        for (int round = 0; round < 2; ++round) {
            auto done = std::make_shared<std::atomic<bool>>(false);
            base::ThreadDispatcher::add(L"test: wait", 0, [done] { done->store(true); });
            if (!pumpUntil([&] { return done->load(); })) return false;
        }
        return true;
    }
    void moveTo(std::int64_t micros) {
        clock_.setSystemMicros(micros);
        ASSERT_TRUE(pumpUntil([&] { return panel_->getCore().checkedUpTo() == micros; }));
        ASSERT_TRUE(dispatcherDone());
    }
    // Passes the local time: two seconds before it, once the loudspeakers have told the new time
    // again (a jump of the clock leaves them offline until then), and two seconds after it.
    void pass(int hour, int minute) {
        moveTo(localTime(hour, minute) - 2000000);
        ASSERT_TRUE(pumpUntil([&] {
            for (const auto& device : frame_->getDeviceCollection().getDevices())
                if (!device->isOnline()) return false;
            return true;
        }));
        moveTo(localTime(hour, minute) + 2000000);
    }

    const boost::gregorian::date day_{2030, 6, 3};
    test::ManualClock clock_;
    test::TempFolder files_;
    frm::SourceSchedulerPanel* panel_ = nullptr;
};

TEST_F(SchedulerPanelTest, ADailyTaskWithAStopTimeIsOneRowAndTwoTasks) {
    writeList(ListOfPlaylist::kMusicFile, {{L"Утро", {{L"Тон 1 кГц", L"sine://1000"}}},
                                           {L"Вечер & ночь", {{L"Тон 2 кГц", L"sine://2000"}}}});
    writeList(ListOfPlaylist::kRadioFile, {{L"Станции", {{L"Тон 900 Гц", L"sine://900"}}}});
    ASSERT_TRUE(test::writeSineMp3(files_.file("Колокол.mp3"), 900, 1));
    pref::setString(setting::placePathDirGong.key, files_.path());
    openWithZones(3);
    openScheduler();

    wxListCtrl* devices = control<wxListCtrl>("devices");
    ASSERT_EQ(devices->GetItemCount(), 5);  // the root, its loudspeaker, "Корпус" and its two
    EXPECT_EQ(devices->GetItemText(2), wxT("   Корпус"));
    EXPECT_EQ(devices->GetItemBackgroundColour(2), wxColour(235, 235, 235));
    checkOnly({2});
    EXPECT_TRUE(devices->IsItemChecked(3) && devices->IsItemChecked(4));
    EXPECT_FALSE(devices->IsItemChecked(0) || devices->IsItemChecked(1));

    addDaily(0, 1, 22, 0, 2, 0);
    EXPECT_EQ(taskList()->GetItemCount(), 1);
    ASSERT_EQ(panel_->getCore().getTasks().size(), 2u);
    EXPECT_TRUE(panel_->getCore().hasTask(1) && panel_->getCore().hasTask(2));
    // The row's texts come from the task as planned (their rules are tested without the window).
    EXPECT_EQ(taskList()->GetItemText(0, 3), wxT("02:00"));
    EXPECT_EQ(taskList()->GetItemText(0, 4), wxT("Плейлист: Вечер & ночь"));

    // A refusal takes its pair of ids; the next task gets the pair after it.
    control<wxSpinCtrl>("startHour")->SetValue(2);
    clickButton(L"Добавить");
    EXPECT_TRUE(messageShown(L"Неверный порядок времени"));
    checkOnly({0});
    choose("place", 1);
    EXPECT_EQ(control<wxChoice>("content")->GetString(0), wxT("Станции"));
    control<wxRadioBox>("taskType")->SetSelection(0);
    addDaily(1, 0, 7, 30);
    EXPECT_TRUE(panel_->getCore().hasTask(5));
    EXPECT_EQ(taskList()->GetItemCount(), 2);
    EXPECT_EQ(taskList()->GetItemText(1, 1), wxT("2030-06-03"));

    // A message source offers its gongs.
    panel_->fillPlaceChoice({messageSource(L"Обеденный перерыв", 2)});
    EXPECT_TRUE(control<wxChoice>("gong")->IsEnabled());
    EXPECT_TRUE(wxWindow::FindWindowByLabel(L"(Контент без гонга)", panel_)->IsShown());
    ASSERT_EQ(control<wxChoice>("gong")->GetCount(), 2u);
    EXPECT_EQ(control<wxChoice>("gong")->GetString(1), wxT("Колокол"));
    control<wxChoice>("gong")->SetSelection(1);
    control<wxRadioBox>("taskType")->SetSelection(1);
    checkOnly({1, 3});
    addDaily(0, 0, 13, 0, 14, 0);
    EXPECT_EQ(panel_->getCore().getTasks().size(), 4u);  // a message gets no stop task
    EXPECT_EQ(taskList()->GetItemText(2, 3), wxT("-"));
    EXPECT_EQ(taskList()->GetItemText(2, 5), wxT("Колокол"));

    panel_->selectTask(false);
    EXPECT_TRUE(screenshot("scheduler"));
}

TEST_F(SchedulerPanelTest, StopsEndTheirOwnPlaybackOnlyAndNotOneStartedByHandOrByAnotherTask) {
    writeList(ListOfPlaylist::kMusicFile,
              {{L"Утро", {{L"Тон 1 кГц", L"sine://1000"}}}, {L"Вечер", {{L"Тон 2 кГц", L"sine://2000"}}}});
    openWithZones(2);
    openScheduler();
    checkOnly({0});
    addDaily(0, 0, 8, 0, 8, 5);    // 1, 2
    addDaily(0, 1, 8, 10, 8, 30);  // 3, 4
    addDaily(0, 0, 8, 35, 8, 45);  // 5, 6
    addDaily(0, 1, 8, 40);         // 7
    ASSERT_EQ(panel_->getCore().getTasks().size(), 7u);
    StreamReceiver receiver(group_, port_ + 1);

    pass(8, 0);
    EXPECT_TRUE(hears(receiver, 1000));
    pass(8, 5);
    EXPECT_TRUE(hearsSilence(receiver));

    pass(8, 10);
    EXPECT_TRUE(hears(receiver, 2000));
    // The operator plays the morning playlist by hand, as the music view does.
    const auto morning = std::dynamic_pointer_cast<frm::PlaybackPlaylist>(
        std::dynamic_pointer_cast<scheduler::task::BaseTask>(panel_->getCore().getTask(1))
            ->getClientData()
            .playback);
    ASSERT_TRUE(morning);
    {
        const base::SingletonSlot<Player>::Use player(Player::instanceSlot());
        player->setPlaylist(morning->getPlaylist());
        player->play(0);
    }
    EXPECT_TRUE(hears(receiver, 1000));
    pass(8, 30);
    EXPECT_TRUE(playerPlays());
    EXPECT_TRUE(hears(receiver, 1000));
    {
        const base::SingletonSlot<Player>::Use player(Player::instanceSlot());
        player->stop(true);
    }

    pass(8, 35);
    EXPECT_TRUE(hears(receiver, 1000));
    pass(8, 40);
    EXPECT_TRUE(hears(receiver, 2000));
    pass(8, 45);
    EXPECT_TRUE(playerPlays());
    EXPECT_TRUE(hears(receiver, 2000));
    EXPECT_TRUE(capture_.contains(L"The player plays something else than start", L"DEBUG"));
}

TEST_F(SchedulerPanelTest, AScheduledMessagePlaysOnItsOwnLoudspeakers) {
    openWithZones(2);
    openScheduler();
    panel_->fillPlaceChoice({messageSource(L"Обед", 60)});
    control<wxChoice>("gong")->SetSelection(0);
    checkOnly({1});
    addDaily(0, 0, 12, 0);
    StreamReceiver priority(group_, port_ + 2);

    pass(12, 0);
    EXPECT_TRUE(hears(priority, 700));
    EXPECT_TRUE(pumpUntil([&] { return loudspeakers_.emulator(0).status().channel != 0; }));
    EXPECT_EQ(loudspeakers_.emulator(1).status().channel, 0u);
}

TEST_F(SchedulerPanelTest, TasksAreSwitchedDeletedAndFiltered) {
    writeList(ListOfPlaylist::kMusicFile,
              {{L"Утро", {{L"Тон 1 кГц", L"sine://1000"}}}, {L"Вечер", {{L"Тон 2 кГц", L"sine://2000"}}}});
    openWithZones(2);
    openScheduler();
    checkOnly({1});
    addDaily(0, 0, 8, 0, 9, 0);  // 1, 2
    checkOnly({2});
    addDaily(0, 1, 10, 0);  // 3
    ASSERT_EQ(taskList()->GetItemCount(), 2);
    // Each refresh tells every row in the log, the rows that did not change too: the second task's
    // told the first again.
    const auto told = [&](const wchar_t* row) { return capture_.find(row, L"INFO").size(); };
    ASSERT_TRUE(pumpUntil([&] { return told(L"Задание N1: ") == 2 && told(L"Задание N3: ") == 1; }));
    press(L"Применить");
    EXPECT_TRUE(pumpUntil([&] { return told(L"Задание N1: ") == 3 && told(L"Задание N3: ") == 2; }));

    selectRows({0});
    press(L"Выкл задание");
    EXPECT_EQ(column(7), (std::vector<wxString>{wxT("Выкл"), wxT("Вкл")}));
    EXPECT_FALSE(panel_->getCore().getTask(2)->isEnabled());

    tick(L"Устройства", true);
    press(L"Применить");
    EXPECT_TRUE(messageShown(L"Не выбрано ни одного устройства"));
    EXPECT_EQ(taskList()->GetItemCount(), 2);
    auto* devices = control<wxChoice>("filterDevice");
    ASSERT_EQ(devices->GetCount(), 2u);
    devices->SetSelection(1);
    press(L"Применить");
    EXPECT_EQ(column(4), std::vector<wxString>{wxT("Плейлист: Вечер")});
    tick(L"Устройства", false);
    tick(L"Включенные задания", true);
    press(L"Применить");
    EXPECT_EQ(column(4), std::vector<wxString>{wxT("Плейлист: Вечер")});
    tick(L"Включенные задания", false);
    tick(L"Зоны", true);
    control<wxChoice>("filterZone")->SetSelection(0);
    press(L"Применить");
    EXPECT_EQ(column(4), std::vector<wxString>{wxT("Плейлист: Вечер")});
    tick(L"Зоны", false);
    press(L"Применить");
    ASSERT_EQ(taskList()->GetItemCount(), 2);

    selectRows({0});
    press(L"Вкл задание");
    EXPECT_TRUE(panel_->getCore().getTask(2)->isEnabled());
    selectRows({0});
    press(L"Удалить");
    EXPECT_EQ(panel_->getCore().getTasks().size(), 1u);
    EXPECT_EQ(column(4), std::vector<wxString>{wxT("Плейлист: Вечер")});

    // A file whose tasks are skipped leaves the list as it stands, with the operator's selection.
    std::ofstream(files_.file("scheduler.xml")) << "<scheduler_v2/>";
    selectRows({0});
    panel_->load(base::fromUtf8(files_.file("scheduler.xml")));
    EXPECT_EQ(taskList()->GetSelectedItemCount(), 1);

    // The tasks are kept across a restart.
    closeWindow();
    openWindow();
    openScheduler();
    EXPECT_EQ(column(4), std::vector<wxString>{wxT("Плейлист: Вечер")});
    EXPECT_EQ(column(6), std::vector<wxString>{wxT("Устройство 02:7E:41:00:00:02")});

    // A loudspeaker renamed is named so in its task's row when the view is shown again.
    for (const auto& device : frame_->getDeviceCollection().getDevices()) {
        if (device->getDisplayName() == L"Устройство 02:7E:41:00:00:02") device->setTitle(L"Зал");
    }
    clickButton(L"Устройства");
    ASSERT_NE(openView<frm::SourceSchedulerPanel>(L"Планировщик"), nullptr);
    EXPECT_EQ(column(6), std::vector<wxString>{wxT("Зал")});
}

TEST_F(SchedulerPanelTest, AMediumsFilesPlayAtTheirTimeAndItsTaskOutlivesTheMedium) {
    MELVOX_REQUIRE_PRIVATE_MOUNTS();
    const std::string medium = "/media/test/MUSIC";
    // The test's own media folder: nothing of the machine's shows through.
    const test::TmpfsMount media("/media");
    auto mounted = std::make_unique<test::TmpfsMount>(medium);
    ASSERT_TRUE(mounted->mounted());
    std::filesystem::create_directories(medium + "/album");
    test::writeSineWav(medium + "/album/first.wav", 700, 60);
    std::filesystem::create_directory_symlink(medium, medium + "/loop");
    openWithZones(1);
    openScheduler();

    auto* places = control<wxChoice>("place");
    ASSERT_EQ(places->GetCount(), 5u);
    EXPECT_EQ(places->GetString(2), wxT("Накопители"));
    choose("place", 2);
    ASSERT_EQ(control<wxChoice>("content")->GetCount(), 1u);
    EXPECT_EQ(control<wxChoice>("content")->GetString(0), wxString::FromUTF8(medium));
    checkOnly({1});
    control<wxRadioBox>("taskType")->SetSelection(0);
    addDaily(2, 0, 8, 0);
    EXPECT_EQ(column(4), std::vector<wxString>{wxT("Накопители: ") + wxString::FromUTF8(medium)});
    StreamReceiver receiver(group_, port_ + 1);
    pass(8, 0);
    EXPECT_TRUE(hears(receiver, 700));

    // Read back as a task of its medium, which is then taken out before the task falls due again.
    closeWindow();
    at(7, 0);
    openWindow();
    openScheduler();
    EXPECT_EQ(column(4), std::vector<wxString>{wxT("Накопители: ") + wxString::FromUTF8(medium)});
    {
        // Held no longer than the window: its targets hold the transport.
        const auto task = std::dynamic_pointer_cast<scheduler::task::BaseTask>(panel_->getCore().getTask(1));
        ASSERT_TRUE(task);
        EXPECT_TRUE(std::dynamic_pointer_cast<frm::PlaybackDrive>(task->getClientData().playback));
    }
    ASSERT_TRUE(mounted->unmount());
    pass(8, 0);
    const std::wstring absent = L"Носитель '/media/test/MUSIC' не подключён";
    EXPECT_TRUE(messageShown(absent));
    EXPECT_TRUE(capture_.contains(absent, L"WARN"));
    EXPECT_TRUE(hearsSilence(receiver));
    EXPECT_FALSE(playerPlays());
    EXPECT_TRUE(panel_->getCore().getTask(1)->isEnabled());

    // Without its medium at start-up the task is held in the file, and comes back once it is mounted.
    closeWindow();
    const std::string file = test::readWholeFile(root_.dataFolder() + "/scheduler.xml");
    EXPECT_NE(file.find("<placeName>device</placeName>"), std::string::npos);
    EXPECT_NE(file.find("<subPlaceName>" + medium + "</subPlaceName>"), std::string::npos);
    openWindow();
    openScheduler();
    EXPECT_EQ(taskList()->GetItemCount(), 0);
    mounted = std::make_unique<test::TmpfsMount>(medium);
    ASSERT_TRUE(mounted->mounted());
    clickButton(L"Планировщик");
    EXPECT_TRUE(pumpUntil([&] { return taskList()->GetItemCount() == 1; }));
    closeWindow();
    EXPECT_EQ(test::readWholeFile(root_.dataFolder() + "/scheduler.xml"), file);
}

TEST_F(SchedulerPanelTest, TheListsShowTheirHeadersWhole) {
    openWithZones(1);
    openScheduler();
    EXPECT_TRUE(test::headersWhole(taskList()));
    EXPECT_TRUE(test::headersWhole(control<wxListCtrl>("devices")));
    EXPECT_TRUE(screenshot("scheduler_view"));
}

}  // namespace
