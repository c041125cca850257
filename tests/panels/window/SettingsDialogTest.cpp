// The settings dialog on screen: its pages in both modes, a refused save that changes no key and
// whose box opens above the dialog, the log viewer on today's log, the capture-device test on a
// PulseAudio source, and a picture of every page.

#include <unistd.h>
#include <wx/app.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <boost/date_time/gregorian/gregorian.hpp>
#include <fstream>

#include "app/kit/Dialogs.h"
#include "app/kit/MessageBoxDialog.h"
#include "audio/PlayerEngine.h"
#include "audio/StreamSettings.h"
#include "audio/mp3stream.h"
#include "audio/mp3streamf.h"
#include "foundation/Clock.h"
#include "foundation/DataFolders.h"
#include "foundation/TextConversion.h"
#include "panels/SettingsDialog.h"
#include "support/PulseServer.h"
#include "support/StreamReceiver.h"
#include "tests/app/window/DialogControls.h"
#include "tests/app/window/WindowFixture.h"

namespace {

// The dialog with its controls in reach of the test.
class Dialog : public frm::SettingsDialog {
public:
    using SettingsDialog::m_buttonOk;
    using SettingsDialog::m_buttonPlay;
    using SettingsDialog::m_captureDevice;
    using SettingsDialog::m_dirService;
    using SettingsDialog::m_gongChoice;
    using SettingsDialog::m_idleTime;
    using SettingsDialog::m_logDate;
    using SettingsDialog::m_logLevel;
    using SettingsDialog::m_logView;
    using SettingsDialog::m_multicastAddress;
    using SettingsDialog::m_notebook;
    using SettingsDialog::m_recordPage;
    using SettingsDialog::m_securityPage;
    using SettingsDialog::m_serviceVolume;
    using SettingsDialog::SettingsDialog;
};

class SettingsDialogTest : public test::WindowFixture {
protected:
    void TearDown() override {
        if (dialog_) dialog_->Destroy();
        pumpUntil([&] { return !dialog_; });
        WindowFixture::TearDown();
    }

    Dialog& open(bool administrator, bool debug) {
        dialog_ = new Dialog(nullptr, administrator, debug);
        dialog_->SetPosition(wxPoint(0, 0));
        dialog_->Show();
        EXPECT_TRUE(pumpUntil([&] { return dialog_->IsShownOnScreen(); }));
        return *dialog_;
    }
    std::vector<wxString> pageTitles() const {
        std::vector<wxString> titles;
        for (size_t page = 0; page < dialog_->m_notebook->GetPageCount(); ++page)
            titles.push_back(dialog_->m_notebook->GetPageText(page));
        return titles;
    }
    void save() { click(dialog_->m_buttonOk, wxRect(dialog_->m_buttonOk->GetClientSize())); }
    void play() {
        dialog_->m_notebook->SetSelection(
            static_cast<size_t>(dialog_->m_notebook->FindPage(dialog_->m_recordPage)));
        click(dialog_->m_buttonPlay, wxRect(dialog_->m_buttonPlay->GetClientSize()));
    }
    wxWeakRef<Dialog> dialog_;
};

TEST_F(SettingsDialogTest, PagesFollowTheModesAndEachIsPictured) {
    // The gong choice offers what the player engine's plug-ins play; the devices come from PulseAudio.
    test::keepLibvlcLoaded();
    mp3stream* common = mp3stream_init(
        audio::streamTargetFromSettings(audio::kCommonStreamOffset, setting::multicastCommonStreamBitrate));
    PlayerEngine* engine = player_engine_init(L"" MELVOX_PLUGIN_DIR, common);
    test::PulseServer pulse;
    pref::setWString("record.deviceName", L"test.monitor");
    pref::setBool("mainWindow.alarmButtons", true);
    const std::string logs = base::toUtf8(os::getLogDirectory());
    std::ofstream(logs + "/20240311.log")
        << "09:00:00.000 INFO  [aApp::OnInit] Melvox v1 - Initialization.\n";
    std::ofstream(logs + "/20240312.log")
        << "09:00:00.000 INFO  [aApp::OnInit] Melvox v1 - Initialization.\n"
        << "09:00:01.250 INFO  [aApp::OnInit] Network interface: '127.0.0.1'\n";
    Dialog& dialog = open(true, true);
    const std::vector<wxString> all = {L"Расположение", L"Громкость",    L"Сеть",
                                       L"Запись",       L"Безопасность", L"События"};
    EXPECT_EQ(pageTitles(), all);
    EXPECT_TRUE(dialog.m_logLevel->IsShown());
    EXPECT_EQ(dialog.m_gongChoice->GetStringSelection(), L"Преамбула");
    if (pulse.ready()) {
        EXPECT_EQ(dialog.m_captureDevice->GetStringSelection(), L"test.monitor");
    }
    EXPECT_EQ(dialog.m_gongChoice->GetString(dialog.m_gongChoice->GetCount() - 1), L"");
    const char* names[] = {"settings_place",  "settings_volume",   "settings_network",
                           "settings_record", "settings_security", "settings_events"};
    for (size_t page = 0; page < all.size(); ++page) {
        dialog.m_notebook->SetSelection(page);
        EXPECT_TRUE(screenshot(names[page])) << names[page];
    }
    dialog_->Destroy();
    ASSERT_TRUE(pumpUntil([&] { return !dialog_; }));
    player_engine_free(engine);
    mp3stream_free(common);

    pref::setBool("mainWindow.alarmButtons", false);
    Dialog& plain = open(false, false);
    const std::vector<wxString> five = {L"Расположение", L"Громкость", L"Запись", L"Безопасность",
                                        L"События"};
    EXPECT_EQ(pageTitles(), five);
    EXPECT_FALSE(plain.m_logLevel->IsShown());
    EXPECT_FALSE(plain.m_gongChoice->IsShownOnScreen());
}

TEST_F(SettingsDialogTest, ASaveWithOneBadAddressChangesNoKey) {
    Dialog& dialog = open(true, false);
    const std::wstring folder = base::fromUtf8(root_.path());
    dialog.m_dirService->ChangeValue(folder);
    dialog.m_serviceVolume->SetValue(30);
    dialog.m_multicastAddress->ChangeValue(L"192.168.1.1");
    save();
    EXPECT_TRUE(capture_.contains(L"Ошибка при вводе IP адреса", L"WARN"));
    EXPECT_TRUE(dialog.IsShown());
    EXPECT_EQ(pref::getInt("volume.serviceMessage2", 0), 90);
    EXPECT_EQ(pref::getWString("place.pathDirServiceMessage"), L"");
    EXPECT_EQ(pref::getString(setting::multicastAddress), "224.0.224.1");

    dialog.m_multicastAddress->ChangeValue(L"239.2.2.2");
    save();
    ASSERT_TRUE(pumpUntil([&] { return !dialog.IsShown(); }));
    EXPECT_EQ(pref::getInt("volume.serviceMessage2", 0), 30);
    EXPECT_EQ(pref::getWString("place.pathDirServiceMessage"), folder);
    EXPECT_EQ(pref::getString(setting::multicastAddress), "239.2.2.2");
}

// A refusal of the dialog run modally as the main window runs it: its box opens modally above the
// dialog, which stays open beneath it, and after the box's OK the dialog is the operator's again.
TEST_F(SettingsDialogTest, ARefusalShowsInABoxAboveTheDialog) {
    openWindow();
    frm::Dialogs dialogs;
    dialogs.setParent(frame_);
    debug::setMessagePresenter(dialogs.presenter());
    const std::shared_ptr<void> presenterBack(nullptr, [](void*) { debug::setMessagePresenter(nullptr); });
    Dialog dialog(frame_, true, false);
    dialog.m_multicastAddress->ChangeValue(L"192.168.1.1");
    // Every box that opens meanwhile (the first start's notice too) lies above the dialog.
    std::vector<std::wstring> shown;
    const test::DialogWatch<frm::MessageBoxDialog> watch([&](frm::MessageBoxDialog& box) {
        shown.push_back(box.getMessage().ToStdWstring());
        EXPECT_TRUE(box.IsModal());
        EXPECT_TRUE(dialog.IsModal() && dialog.IsShownOnScreen());
        EXPECT_TRUE(screenshot("settings_refusal_box"));
        EXPECT_EQ(test::toolkitScreen().title(test::toolkitScreen().findWindow(::getpid())),
                  box.GetTitle().ToStdWstring());
        pressButton(&box, wxT("OK"));
    });
    const std::wstring refusal = L"Ошибка при вводе IP адреса";
    const auto refused = [&] { return std::find(shown.begin(), shown.end(), refusal) != shown.end(); };
    // From the dialog's loop, by a timer: what the application runs later (the watch) runs meanwhile.
    wxTimer operate;
    operate.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        pressButton(&dialog, wxT("Сохранить"));
        // The box opens, and is closed, inside the wait.
        EXPECT_TRUE(runLoopUntil(refused));
        EXPECT_TRUE(dialog.IsModal());
        dialog.EndModal(wxID_CANCEL);
    });
    operate.StartOnce(1);
    EXPECT_EQ(dialogs.showModal(dialog), wxID_CANCEL);
    EXPECT_TRUE(refused());
}

// The idle time as the operator leaves it, with the keyboard, and then a click on "&Сохранить",
// which takes the focus from the box: the toolkit turns an emptied box into "0" as it loses it.
TEST_F(SettingsDialogTest, TheIdleTimeIsStoredAsTypedAndAnEmptiedBoxKeepsItsValue) {
    const struct {
        const char* typed;  // empty: the box emptied
        bool enter;         // Enter pressed in the box before the click
        int stored;
    } cases[] = {{"", false, 30}, {"", true, 30}, {"0", false, 0}, {"0", true, 0}, {"5", false, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        pref::setInt(setting::securityInterfaceTimeout.key, 30);
        Dialog& dialog = open(false, false);
        dialog.m_notebook->SetSelection(
            static_cast<size_t>(dialog.m_notebook->FindPage(dialog.m_securityPage)));
        dialog.m_idleTime->SetFocus();
        ASSERT_TRUE(pumpUntil([&] { return dialog.m_idleTime->HasFocus(); }));
        wxUIActionSimulator keys;
        keys.Char(WXK_END);
        for (int i = 0; i < 4; ++i) keys.Char(WXK_BACK);
        if (*c.typed != '\0') keys.Text(c.typed);
        ASSERT_TRUE(pumpUntil([&] { return dialog.m_idleTime->GetTextValue() == c.typed; }));
        if (c.enter) {
            keys.Char(WXK_RETURN);
            ASSERT_TRUE(handleEvents());
        }
        save();
        ASSERT_TRUE(pumpUntil([&] { return !dialog.IsShown(); }));
        EXPECT_EQ(pref::getInt(setting::securityInterfaceTimeout), c.stored);
        dialog_->Destroy();
        ASSERT_TRUE(pumpUntil([&] { return !dialog_; }));
    }
}

TEST_F(SettingsDialogTest, TheLogViewerShowsTodaysLogWithAnInvalidByte) {
    const std::string folder = base::toUtf8(os::getLogDirectory());
    const std::string today = boost::gregorian::to_iso_string(base::clock::localNow().date());
    std::ofstream(folder + "/" + today + ".log", std::ios::binary)
        << "10:00:00.000 INFO  [x] сегодня \xff конец\n";
    std::ofstream(folder + "/20000101.log", std::ios::binary) << "old\n";
    Dialog& dialog = open(false, false);
    EXPECT_EQ(dialog.m_logDate->GetStringSelection(), wxString(today));
    EXPECT_TRUE(dialog.m_logView->GetValue().empty());
    dialog.m_notebook->SetSelection(dialog.m_notebook->GetPageCount() - 1);
    ASSERT_TRUE(pumpUntil([&] { return !dialog.m_logView->GetValue().empty(); }));
    EXPECT_EQ(dialog.m_logView->GetValue(), L"10:00:00.000 INFO  [x] сегодня \uFFFD конец\n");

    // Loading runs no queued event: none can reach a handler of the half-filled dialog.
    wxString seen;
    wxTheApp->CallAfter([&] { seen = dialog.m_logView->GetValue(); });
    dialog.m_logView->ChangeValue(wxEmptyString);
    dialog.fillLog();
    ASSERT_TRUE(pumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, dialog.m_logView->GetValue());
}

TEST_F(SettingsDialogTest, TheCaptureTestPlaysTheChosenDeviceOnlyWhileItReallyStreams) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    test::keepLibvlcLoaded();
    const std::string group = test::privateMulticastGroup();
    const std::uint16_t basePort = test::freeUdpPort();
    pref::setString(setting::multicastAddress.key, group);
    pref::setInt(setting::multicastBasePort.key, basePort);
    mp3streamf stream(mp3streamf::targetFromSettings());
    ASSERT_TRUE(mp3streamf::instanceSlot().install(&stream));
    struct Release {
        ~Release() { mp3streamf::instanceSlot().release(); }
    } release;
    test::StreamReceiver receiver(group, basePort + 2);
    pulse.playTone(1000);

    Dialog& dialog = open(false, false);
    ASSERT_TRUE(dialog.m_captureDevice->SetStringSelection(test::PulseServer::kSource));
    play();
    EXPECT_EQ(dialog.m_buttonPlay->GetLabel(), L"Стоп");
    EXPECT_TRUE(stream.is_stream());
    EXPECT_FALSE(stream.localOutput.load());
    ASSERT_TRUE(receiver.waitUntil([](const std::vector<test::StreamReceiver::Datagram>& all) {
        std::vector<std::string> payloads;
        for (const auto& datagram : all) payloads.push_back(datagram.data);
        const auto audio = test::decodeMpegAudio(test::readTransportStream(payloads).audio);
        return std::abs(test::strongestFrequency(audio.samples, audio.rate) - 1000) < 24;
    }));
    play();
    EXPECT_EQ(dialog.m_buttonPlay->GetLabel(), L"Воспроизвести");
    EXPECT_FALSE(stream.is_stream());

    // A broadcast holds the stream.
    stream.set_read_mode(mp3streamf::microphone);
    ASSERT_TRUE(stream.stream_create());
    play();
    EXPECT_TRUE(capture_.contains(L"Модуль занят", L"NOTICE"));
    EXPECT_EQ(dialog.m_buttonPlay->GetLabel(), L"Воспроизвести");
    // A broadcast that takes the test's stream over is not ended by the test's "Стоп".
    stream.stream_close();
    play();
    ASSERT_EQ(dialog.m_buttonPlay->GetLabel(), L"Стоп");
    ASSERT_TRUE(stream.stream_create());
    play();
    EXPECT_TRUE(stream.is_stream());
    stream.stream_close();

    // Closing the dialog ends the test.
    play();
    ASSERT_TRUE(stream.is_stream());
    dialog_->Destroy();
    ASSERT_TRUE(pumpUntil([&] { return !dialog_; }));
    EXPECT_FALSE(stream.is_stream());

    // A device that is gone: the stream does not start, and the button stays as it was.
    Dialog& again = open(false, false);
    ASSERT_TRUE(again.m_captureDevice->SetStringSelection(test::PulseServer::kSource));
    ASSERT_TRUE(pulse.unloadSink());
    play();
    EXPECT_TRUE(capture_.contains(L"Тест не был запущен", L"NOTICE"));
    EXPECT_EQ(again.m_buttonPlay->GetLabel(), L"Воспроизвести");
    EXPECT_FALSE(stream.is_stream());
}

}  // namespace
