// The settings dialog on screen: its pages in both modes, a refused save that changes no key,
// the log viewer on today's log, and a picture of every page.

#include <boost/date_time/gregorian/gregorian.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/Clock.h"
#include "foundation/DataFolders.h"
#include "foundation/TextConversion.h"
#include "panels/SettingsDialog.h"
#include "tests/app/window/WindowFixture.h"

namespace {

// The dialog with its controls in reach of the test.
class Dialog : public frm::SettingsDialog {
public:
    using SettingsDialog::m_administratorPassword;
    using SettingsDialog::m_administratorRepeat;
    using SettingsDialog::m_buttonOk;
    using SettingsDialog::m_dirService;
    using SettingsDialog::m_gongChoice;
    using SettingsDialog::m_logDate;
    using SettingsDialog::m_logLevel;
    using SettingsDialog::m_logView;
    using SettingsDialog::m_multicastAddress;
    using SettingsDialog::m_notebook;
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
    // Saves what the screen shows of the dialog as build/screenshots/<name>.png.
    bool picture(const std::string& name) {
        const std::string folder = std::string(MELVOX_BUILD_DIR) + "/screenshots";
        std::filesystem::create_directories(folder);
        const wxRect area = dialog_->GetScreenRect();
        const std::string command = "import -window root -crop " + std::to_string(area.width) + "x" +
                                    std::to_string(area.height) + "+" + std::to_string(area.x) + "+" +
                                    std::to_string(area.y) + " '" + folder + "/" + name + ".png'";
        return std::system(command.c_str()) == 0;
    }

    wxWeakRef<Dialog> dialog_;
};

TEST_F(SettingsDialogTest, PagesFollowTheModesAndEachIsPictured) {
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
    EXPECT_EQ(dialog.m_gongChoice->GetString(dialog.m_gongChoice->GetCount() - 1), L"");
    const char* names[] = {"settings_place",  "settings_volume",   "settings_network",
                           "settings_record", "settings_security", "settings_events"};
    for (size_t page = 0; page < all.size(); ++page) {
        dialog.m_notebook->SetSelection(page);
        dialog.Refresh();
        dialog.Update();
        pumpUntil([] { return false; }, std::chrono::milliseconds(1000));
        EXPECT_TRUE(picture(names[page])) << names[page];
    }
    dialog_->Destroy();
    ASSERT_TRUE(pumpUntil([&] { return !dialog_; }));

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

TEST_F(SettingsDialogTest, ACyrillicPasswordIsRefusedAndNothingIsStored) {
    Dialog& dialog = open(false, false);
    dialog.m_serviceVolume->SetValue(30);
    dialog.m_administratorPassword->ChangeValue(L"пароль");
    dialog.m_administratorRepeat->ChangeValue(L"пароль");
    save();
    EXPECT_TRUE(
        capture_.contains(L"Пароль администратора не сохранён: допустимы только латинские буквы", L"NOTICE"));
    EXPECT_TRUE(dialog.IsShown());
    EXPECT_EQ(pref::getString(setting::securityAdministrator), "5B3E0F91C24D");
    EXPECT_EQ(pref::getInt("volume.serviceMessage2", 0), 90);
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
}

}  // namespace
