// The service and alarm message views of the main window with real clicks and an emulated
// loudspeaker: an alarm message is heard after its gong on the priority stream once the alarm
// password is right, a service message after its gong on the common stream, a missing file plays
// nothing, and a scheduled message cannot be deleted; the groups survive a restart. The gong and
// message chosen stay chosen across the views, and the microphone view offers the same gongs.
// The groups and their task also survive a run in which their views were never shown. A box of the
// log holds the alarm view's ■ until its OK.

#include <wx/app.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "app/kit/Dialogs.h"
#include "app/kit/MessageBoxDialog.h"
#include "foundation/Password.h"
#include "foundation/Place.h"
#include "panels/SourceMicrophonePanel.h"
#include "panels/SourceServicePanel.h"
#include "tests/app/window/DialogControls.h"
#include "tests/panels/window/PanelFixture.h"

namespace {

using test::StreamReceiver;

class MessagePanelTest : public test::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        const std::pair<const char*, const setting::WideText*> folders[] = {
            {"gong", &setting::placePathDirGong},
            {"service", &setting::placePathDirServiceMessage},
            {"alarm", &setting::placePathDirAlarmMessage},
            {"record", &setting::placePathDirRecordedMessage},
        };
        for (const auto& [folder, key] : folders) {
            std::filesystem::create_directory(files_.file(folder));
            pref::setString(key->key, files_.file(folder));
        }
        ASSERT_TRUE(test::writeSineMp3(files_.file("gong/Колокол.mp3"), 900, 3));
        pref::setString(setting::securityPlaybackAlarm.key, base::toUtf8(base::encodePassword(L"alarm")));
        pref::setString(setting::securityAdministrator.key, base::toUtf8(base::encodePassword(L"admin")));
    }

    // Opens the window with loudspeakers online, the first in the root zone and chosen in the list.
    void openWithLoudspeaker(int count = 1) {
        openOnChosen(count);
        frame_->getRootZone()->addDevices({frame_->getDeviceCollection().getDevices().front()});
    }
    // The loudspeakers' levels in dB.
    std::vector<std::int32_t> levels() {
        std::vector<std::int32_t> all;
        for (int n = 0; n < 3; ++n) all.push_back(loudspeakers_.emulator(n).decibels());
        return all;
    }
    void openView(const wxString& button) {
        panel_ = PanelFixture::openView<frm::SourceServicePanel>(button);
        ASSERT_NE(panel_, nullptr);
    }
    template <class Control>
    Control* control(const char* name) {
        return test::named<Control>(panel_, name);
    }
    wxTreeCtrl* tree() { return control<wxTreeCtrl>("messages"); }
    void press(const char* name) { PanelFixture::press(control<wxWindow>(name)); }
    void pressLabelled(const wxString& label) {
        PanelFixture::press(wxWindow::FindWindowByLabel(label, panel_));
    }
    void act(int action) { test::change(control<wxRadioBox>("action"), action); }
    wxTreeItemId item(const wxString& text, wxTreeItemId from = wxTreeItemId()) {
        if (!from.IsOk()) from = tree()->GetRootItem();
        if (from != tree()->GetRootItem() && tree()->GetItemText(from) == text) return from;
        wxTreeItemIdValue cookie;
        for (wxTreeItemId child = tree()->GetFirstChild(from, cookie); child.IsOk();
             child = tree()->GetNextChild(from, cookie)) {
            if (const wxTreeItemId found = item(text, child); found.IsOk()) return found;
        }
        return wxTreeItemId();
    }
    void select(const wxString& text) {
        const wxTreeItemId found = item(text);
        ASSERT_TRUE(found.IsOk()) << text;
        tree()->EnsureVisible(found);
        wxRect area;
        ASSERT_TRUE(tree()->GetBoundingRect(found, area, true));
        click(tree(), area);
        ASSERT_TRUE(pumpUntil([&] { return tree()->GetSelection() == found; }));
    }
    void createGroup(const wxString& name) {
        act(frm::SourceServicePanel::createGroup);
        control<wxTextCtrl>("name")->ChangeValue(name);
        pressLabelled(wxT("Создать группу"));
        ASSERT_TRUE(item(name).IsOk());
    }
    // Adds the message of the message choice's entry, after the gong choice's entry, to the group.
    void addMessage(const wxString& group, const wxString& name, int gong, int message) {
        select(group);
        act(frm::SourceServicePanel::addMessage);
        control<wxChoice>("gong")->SetSelection(gong);
        control<wxChoice>("message")->SetSelection(message);
        control<wxTextCtrl>("name")->ChangeValue(name);
        pressLabelled(wxT("Добавить сообщение"));
        ASSERT_TRUE(item(name).IsOk());
    }
    static bool alarmBusy() {
        const base::SingletonSlot<frm::AlarmChannel>::Use channel(frm::AlarmChannel::instanceSlot());
        return channel && channel->isBusy();
    }

    test::TempFolder files_;
    frm::SourceServicePanel* panel_ = nullptr;
};

TEST_F(MessagePanelTest, AnAlarmMessagePlaysAfterItsGongOnlyForTheRightPassword) {
    ASSERT_TRUE(test::writeSineMp3(files_.file("alarm/Пожар.mp3"), 700, 4));
    std::ofstream(files_.file("alarm/readme.txt")) << "not a message";
    openWithLoudspeaker();
    openView(wxT("Тревожные сообщения"));
    createGroup(wxT("Эвакуация"));
    addMessage(wxT("Эвакуация"), wxT("Пожар"), 1, 0);
    EXPECT_EQ(control<wxChoice>("message")->GetCount(), 1u);
    select(wxT("Пожар"));
    EXPECT_EQ(control<wxStaticText>("information")->GetLabel(),
              wxT("Название:\n'Пожар'\nГонг:\n'Колокол'\nСообщение:\n'Пожар'"));
    EXPECT_TRUE(screenshot("alarm-messages"));

    questions_.passwords = {L"wrong"};
    press("play");
    EXPECT_TRUE(messageShown(L"Неверный пароль"));
    EXPECT_FALSE(alarmBusy());

    StreamReceiver priority(group_, port_ + 2);
    questions_.passwords = {L"alarm"};
    press("play");
    EXPECT_TRUE(hears(priority, 900));
    EXPECT_TRUE(hears(priority, 700));
    EXPECT_TRUE(pumpUntil([&] { return loudspeakers_.emulator(0).status().channel != 0; }));
    press("stop");
    EXPECT_TRUE(pumpUntil([&] { return !alarmBusy(); }));
}

// A box of the log holds the window until its OK: the operator's click on the alarm view's ■ while it
// is open reaches nothing, a text logged meanwhile waits and opens the next box once the first is
// closed, and after the last OK one click on ■ ends the alarm.
TEST_F(MessagePanelTest, ABoxHoldsTheWindowUntilItsOkAndThenOneClickOnStopEndsTheAlarm) {
    ASSERT_TRUE(test::writeSineMp3(files_.file("alarm/Пожар.mp3"), 700, 30));
    openWithLoudspeaker();
    frm::Dialogs dialogs;
    dialogs.setParent(frame_);
    debug::setMessagePresenter(dialogs.presenter());
    const std::shared_ptr<void> presenterBack(nullptr, [](void*) { debug::setMessagePresenter(nullptr); });
    openView(wxT("Тревожные сообщения"));
    const auto notice = std::make_shared<std::promise<frm::AlarmChannel::Notice>>();
    std::future<frm::AlarmChannel::Notice> ended = notice->get_future();
    {
        const base::SingletonSlot<frm::AlarmChannel>::Use alarm(frm::AlarmChannel::instanceSlot());
        frm::AlarmChannel::Broadcast broadcast;
        broadcast.priority = 3;
        broadcast.description = L"Тревожное оповещение";
        broadcast.messagePath = base::fromUtf8(files_.file("alarm/Пожар.mp3"));
        broadcast.listener = [notice](frm::AlarmChannel::Notice told) { notice->set_value(told); };
        for (const auto& device : frame_->getDeviceCollection().getDevices())
            broadcast.targets.insert(device);
        ASSERT_TRUE(alarm->launch(broadcast));
    }
    int stopClicks = 0;
    control<wxWindow>("stop")->Bind(wxEVT_BUTTON, [&](wxCommandEvent& event) {
        ++stopClicks;
        event.Skip();
    });
    struct Opened {
        std::wstring text;
        bool modal;
        int stopClicks;
    };
    std::vector<Opened> opened;
    const test::DialogWatch<frm::MessageBoxDialog> watch([&](frm::MessageBoxDialog& box) {
        if (opened.empty()) press("stop");
        opened.push_back({box.getMessage().ToStdWstring(), box.IsModal(), stopClicks});
        pressButton(&box, wxT("OK"));
    });
    const debug::Place place("frm::MessagePanelTest");
    place.warn(L"Не удалось включить оповещение:\n'Зал 1'\n'Зал 2'");
    place.notice(L"Перед добавлением разблокируйте настройки");
    ASSERT_TRUE(runLoopUntil([&] { return opened.size() == 2; }));
    EXPECT_EQ(opened[0].text, L"Не удалось включить оповещение:\n'Зал 1'\n'Зал 2'");
    EXPECT_TRUE(opened[0].modal);
    EXPECT_EQ(opened[0].stopClicks, 0);
    EXPECT_EQ(opened[1].text, L"Перед добавлением разблокируйте настройки");
    EXPECT_TRUE(opened[1].modal);
    EXPECT_TRUE(alarmBusy());

    press("stop");
    ASSERT_TRUE(
        pumpUntil([&] { return ended.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(ended.get(), frm::AlarmChannel::stopped);
    EXPECT_EQ(stopClicks, 1);
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(MessagePanelTest, AServiceMessagePlaysAfterItsGongOnTheCommonStreamAndNotWithoutItsFile) {
    ASSERT_TRUE(test::writeSineMp3(files_.file("service/Обед.mp3"), 700, 4));
    ASSERT_TRUE(test::writeSineMp3(files_.file("record/Запись.mp3"), 500, 1));
    openWithLoudspeaker(3);
    // The loudspeakers' own levels, which the message changes and gives back.
    const std::vector<std::int32_t> before = {-18, -19, -4};
    for (int n = 0; n < 3; ++n) loudspeakers_.emulator(n).setDecibels(before[n]);
    for (const auto& device : frame_->getDeviceCollection().getDevices())
        device->volume = device::kUnknownVolume;
    openView(wxT("Служебные сообщения"));
    createGroup(wxT("Распорядок"));
    addMessage(wxT("Распорядок"), wxT("Обед"), 1, 0);
    ASSERT_EQ(control<wxChoice>("message")->GetCount(), 2u);
    EXPECT_EQ(control<wxChoice>("message")->GetString(1), wxT("Запись"));
    addMessage(wxT("Распорядок"), wxT("Запись"), 1, 1);
    select(wxT("Обед"));
    EXPECT_TRUE(screenshot("service-messages"));

    StreamReceiver common(group_, port_ + 1);
    press("play");
    EXPECT_TRUE(hears(common, 900));
    EXPECT_TRUE(hears(common, 700));
    // The chosen loudspeaker at volume.serviceMessage2 (90 %), the others muted.
    EXPECT_EQ(levels(), (std::vector<std::int32_t>{-4, -96, -96}));
    press("stop");
    EXPECT_TRUE(hearsSilence(common));
    EXPECT_TRUE(pumpUntil([&] { return levels() == before; }));
    EXPECT_EQ(levels(), before);

    std::filesystem::remove(files_.file("record/Запись.mp3"));
    select(wxT("Запись"));
    press("play");
    EXPECT_TRUE(messageShown(L"Файл сообщения не найден"));
    EXPECT_TRUE(hearsSilence(common));
}

TEST_F(MessagePanelTest, AScheduledMessageAndItsGroupAreNotDeletedAndTheGroupsSurviveARestart) {
    ASSERT_TRUE(test::writeSineMp3(files_.file("service/Обед.mp3"), 700, 1));
    openWithLoudspeaker();
    openView(wxT("Служебные сообщения"));
    createGroup(wxT("Распорядок"));
    createGroup(wxT("Пустая"));
    addMessage(wxT("Распорядок"), wxT("Обед"), 0, 0);

    questions_.passwords = {L"admin"};
    clickButton(L"Администратор");
    auto* scheduler = schedulerOn(wxT("Служебные сообщения"));
    ASSERT_NE(scheduler, nullptr);
    for (const char* name : {"content", "gong"}) test::named<wxChoice>(scheduler, name)->SetSelection(0);
    test::named<wxListCtrl>(scheduler, "devices")->CheckItem(1, true);
    PanelFixture::press(wxWindow::FindWindowByLabel(wxT("Добавить"), scheduler));
    ASSERT_TRUE(pumpUntil([&] { return scheduler->getCore().getTasks().size() == 1; }));

    openView(wxT("Служебные сообщения"));
    act(frm::SourceServicePanel::deleteSelected);
    for (const wchar_t* name : {L"Обед", L"Распорядок"}) {
        select(name);
        pressLabelled(wxT("Удалить выделенное"));
        EXPECT_TRUE(messageShown(L"Выбранная единица воспроизведения входит в задание"));
        EXPECT_EQ(tree()->GetCount(), 3u) << name;
    }
    select(wxT("Пустая"));
    pressLabelled(wxT("Удалить выделенное"));
    EXPECT_TRUE(pumpUntil([&] { return !item(wxT("Пустая")).IsOk(); }));
    EXPECT_EQ(tree()->GetCount(), 2u);
    EXPECT_TRUE(onDisk("service_message.xml", "<name>Распорядок</name><message><name>Обед</name>"));
    EXPECT_TRUE(onDisk("scheduler.xml", "<messageName>Обед</messageName>"));

    // The groups come back after a restart.
    closeWindow();
    openWindow();
    openView(wxT("Служебные сообщения"));
    EXPECT_EQ(tree()->GetCount(), 2u);
    EXPECT_EQ(tree()->GetItemParent(item(wxT("Обед"))), item(wxT("Распорядок")));

    // A run that never shows the message and scheduler views keeps them, and their task, all the same.
    closeWindow();
    openWindow();
    closeWindow();
    openWindow();
    openView(wxT("Служебные сообщения"));
    EXPECT_EQ(tree()->GetCount(), 2u);
    EXPECT_EQ(tree()->GetItemParent(item(wxT("Обед"))), item(wxT("Распорядок")));
    const std::wstring scheduled = L"Выбранная единица воспроизведения входит в задание";
    const std::size_t refused = capture_.find(scheduled, L"NOTICE").size();
    act(frm::SourceServicePanel::deleteSelected);
    select(wxT("Обед"));
    pressLabelled(wxT("Удалить выделенное"));
    EXPECT_TRUE(pumpUntil([&] { return capture_.find(scheduled, L"NOTICE").size() == refused + 1; }));
    EXPECT_EQ(tree()->GetCount(), 2u);
}

TEST_F(MessagePanelTest, ChoicesStayAcrossViewsAndTheMicrophoneOffersTheSameGongs) {
    ASSERT_TRUE(test::writeSineMp3(files_.file("gong/Гонг.mp3"), 500, 1));
    for (const char* message : {"service/Обед.mp3", "service/Ужин.mp3"})
        ASSERT_TRUE(test::writeSineMp3(files_.file(message), 700, 1));
    openWindow();
    openView(wxT("Служебные сообщения"));
    act(frm::SourceServicePanel::addMessage);
    auto* gong = control<wxChoice>("gong");
    auto* message = control<wxChoice>("message");
    ASSERT_EQ(gong->GetCount(), 3u);  // no gong, and the two gongs
    ASSERT_EQ(message->GetCount(), 2u);
    test::change(gong, gong->FindString(wxT("Гонг")));
    test::change(message, message->FindString(wxT("Ужин")));

    // Another view and back, twice: once through a view of the same panel's kind.
    for (const wchar_t* other : {L"Плейлист", L"Тревожные сообщения"}) {
        clickButton(other);
        openView(wxT("Служебные сообщения"));
        EXPECT_EQ(gong->GetStringSelection(), wxT("Гонг")) << other;
        EXPECT_EQ(message->GetStringSelection(), wxT("Ужин")) << other;
    }
    // A gone file is no longer chosen; nothing else is chosen in its place.
    std::filesystem::remove(files_.file("service/Ужин.mp3"));
    clickButton(wxT("Плейлист"));
    openView(wxT("Служебные сообщения"));
    EXPECT_EQ(message->GetSelection(), wxNOT_FOUND);
    EXPECT_EQ(gong->GetStringSelection(), wxT("Гонг"));

    std::vector<wxString> gongs;
    for (unsigned entry = 1; entry < gong->GetCount(); ++entry) gongs.push_back(gong->GetString(entry));
    auto* microphone = PanelFixture::openView<frm::SourceMicrophonePanel>(wxT("Микрофон"));
    ASSERT_NE(microphone, nullptr);
    auto* microphoneGong = test::findControl<wxChoice>(microphone);
    std::vector<wxString> offered;
    for (unsigned entry = 0; entry < microphoneGong->GetCount(); ++entry)
        offered.push_back(microphoneGong->GetString(entry));
    EXPECT_EQ(offered, gongs);
    // Nothing stored yet: the first gong shows, and it is the one a start would play.
    EXPECT_EQ(microphoneGong->GetSelection(), 0);
    EXPECT_TRUE(screenshot("microphone_view"));
}

}  // namespace
