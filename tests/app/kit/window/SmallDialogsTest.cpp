// The small dialogs of the playlists on screen, photographed: the URL dialog with its fields,
// checks and history, the capture-device dialog on a PulseAudio server's sources, the fragment
// dialog's Russian file picker, and the file dialogs, which open in the operator's home or the
// folder last chosen and leave the working folder as it was.

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/eventfilter.h>
#include <wx/filedlg.h>
#include <wx/filepicker.h>
#include <wx/textctrl.h>

#include <cstdlib>
#include <filesystem>

#include "app/kit/CaptureDeviceDialog.h"
#include "app/kit/Dialogs.h"
#include "app/kit/FragmentDialog.h"
#include "app/kit/UrlDialog.h"
#include "foundation/TextConversion.h"
#include "support/PulseServer.h"
#include "support/TempFolder.h"
#include "tests/app/window/WindowFixture.h"

namespace {

class SmallDialogsTest : public test::WindowFixture {
protected:
    // Shows the dialog modally while `operate` runs from its event loop.
    static int showModal(wxDialog& dialog, std::function<void()> operate) {
        wxTheApp->CallAfter(std::move(operate));
        return dialog.ShowModal();
    }
};

TEST_F(SmallDialogsTest, UrlDialogFillsItsFieldsChecksThemAndKeepsTheHistory) {
    const std::wstring history = base::fromUtf8(root_.path() + "/UrlDialog.history");
    std::wstring url = L"http://127.0.0.1:8000/a";
    std::wstring title = L"Городское радио";
    int result = wxID_NONE;
    {
        frm::UrlDialog dialog(nullptr, L"Редактировать", url, title, history);
        auto* titleField = test::findControl<wxTextCtrl>(&dialog);
        auto* urlField = test::findControl<wxComboBox>(&dialog);
        ASSERT_TRUE(titleField && urlField);
        EXPECT_EQ(dialog.GetTitle(), wxT("Редактировать"));
        EXPECT_EQ(titleField->GetValue(), title);
        EXPECT_EQ(urlField->GetValue(), url);
        result = showModal(dialog, [&] {
            EXPECT_TRUE(screenshot("url_dialog"));
            titleField->ChangeValue(wxT(""));
            pressButton(&dialog, wxT("Сохранить"));
            EXPECT_TRUE(dialog.IsModal());
            titleField->ChangeValue(wxT("Радио 2"));
            urlField->ChangeValue(wxT("http://127.0.0.1:8000/b"));
            pressButton(&dialog, wxT("Сохранить"));
        });
    }
    EXPECT_TRUE(capture_.contains(L"Введите название", L"NOTICE"));
    EXPECT_EQ(result, wxID_OK);
    EXPECT_EQ(url, L"http://127.0.0.1:8000/b");
    EXPECT_EQ(title, L"Радио 2");
    EXPECT_EQ(test::readWholeFile(base::toUtf8(history)), "http://127.0.0.1:8000/b\n");

    // A cancelled dialog leaves the values and the history as they were, and offers that URL.
    std::wstring empty;
    frm::UrlDialog again(nullptr, L"Добавить URL", empty, empty, history);
    auto* urlField = test::findControl<wxComboBox>(&again);
    ASSERT_EQ(urlField->GetCount(), 1u);
    EXPECT_EQ(urlField->GetString(0), wxT("http://127.0.0.1:8000/b"));
    EXPECT_EQ(showModal(again, [&] { pressButton(&again, wxT("Отмена")); }), wxID_CANCEL);
    EXPECT_TRUE(empty.empty());
}

TEST_F(SmallDialogsTest, CaptureDeviceDialogOffersThePulseSourcesAndWantsOneChosen) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    frm::CaptureDeviceDialog dialog(nullptr);
    EXPECT_EQ(dialog.GetTitle(), wxT("Выбор устройства захвата"));
    auto* devices = test::findControl<wxChoice>(&dialog);
    ASSERT_NE(devices, nullptr);
    const int result = showModal(dialog, [&] {
        pressButton(&dialog, wxT("OK"));
        EXPECT_TRUE(dialog.IsModal());
        EXPECT_TRUE(devices->SetStringSelection(test::PulseServer::kSource));
        EXPECT_TRUE(screenshot("capture_device_dialog"));
        pressButton(&dialog, wxT("OK"));
    });
    EXPECT_TRUE(capture_.contains(L"Необходимо выбрать устройство для захвата аудиосигнала", L"NOTICE"));
    EXPECT_EQ(result, wxID_OK);
    EXPECT_EQ(dialog.getDeviceName(), base::fromUtf8(test::PulseServer::kSource));
}

TEST_F(SmallDialogsTest, FileDialogsLeaveTheWorkingFolderAsItWas) {
    const std::filesystem::path folder = std::filesystem::current_path();
    // Whatever moves the working folder while a dialog is open, as a dialog changing folders does.
    const auto moveAndClose = [](frm::Dialogs& dialogs) {
        wxTheApp->CallAfter([&dialogs] {
            std::filesystem::current_path("/");
            dialogs.closeAll(nullptr);
        });
    };
    frm::Dialogs files;
    moveAndClose(files);
    EXPECT_FALSE(files.chooseFiles(L"Добавить файл", L"Все файлы (*.*)|*"));
    EXPECT_EQ(std::filesystem::current_path(), folder);
    frm::Dialogs folders;
    moveAndClose(folders);
    EXPECT_FALSE(folders.chooseFolder(L"Добавить каталог"));
    EXPECT_EQ(std::filesystem::current_path(), folder);
}

TEST_F(SmallDialogsTest, TheFragmentDialogsPickerSpeaksRussian) {
    std::wstring name = L"Гонг", path;
    frm::FragmentDialog dialog(nullptr, L"Фрагмент", name, path);
    auto* picker = test::findControl<wxFilePickerCtrl>(&dialog);
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->GetPickerCtrl()->GetLabel(), L"Обзор…");
    dialog.SetPosition(wxPoint(0, 0));
    dialog.Show();
    ASSERT_TRUE(pumpUntil([&] { return dialog.IsShownOnScreen(); }));
    EXPECT_TRUE(screenshot("fragment_dialog"));
}

TEST_F(SmallDialogsTest, FileDialogsOpenAtHomeThenInTheFolderLastChosen) {
    test::TempFolder home;
    test::TempFolder music;
    const char* const savedHome = std::getenv("HOME");
    const std::string previousHome = savedHome ? savedHome : "";
    ::setenv("HOME", home.path().c_str(), 1);
    // The file dialog as it opens: where it shows and what it is called; then it ends with the
    // folder the operator went to, or as cancelled.
    class Inspection : public wxEventFilter {
    public:
        explicit Inspection(const std::string& goTo) : goTo_(goTo) { wxEvtHandler::AddFilter(this); }
        ~Inspection() override { wxEvtHandler::RemoveFilter(this); }
        int FilterEvent(wxEvent& event) override {
            auto* dialog = dynamic_cast<wxFileDialog*>(event.GetEventObject());
            if (event.GetEventType() != wxEVT_INIT_DIALOG || dialog == nullptr) return Event_Skip;
            wxTheApp->CallAfter([this, dialog] {
                folder = dialog->GetDirectory();
                title = dialog->GetMessage();
                if (!goTo_.empty()) dialog->SetDirectory(base::fromUtf8(goTo_));
                dialog->EndModal(goTo_.empty() ? wxID_CANCEL : wxID_OK);
            });
            return Event_Skip;
        }
        wxString folder;
        wxString title;

    private:
        const std::string goTo_;
    };
    frm::Dialogs dialogs;
    {
        const Inspection first(music.path());
        dialogs.chooseFiles(L"Добавить файл", L"Все файлы (*.*)|*");
        EXPECT_EQ(first.folder, base::fromUtf8(home.path()));
        EXPECT_EQ(first.title, L"Добавить файл");
    }
    const Inspection second("");
    EXPECT_FALSE(dialogs.chooseFiles(L"Добавить файл", L"Все файлы (*.*)|*"));
    EXPECT_EQ(second.folder, base::fromUtf8(music.path()));
    ::setenv("HOME", previousHome.c_str(), 1);
}

}  // namespace
