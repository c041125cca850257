// The small dialogs of the playlists on screen, photographed: the URL dialog with its fields,
// checks and history, the capture-device dialog on a PulseAudio server's sources, and the file
// dialogs, which leave the working folder as it was.

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/textctrl.h>

#include <filesystem>

#include "app/CaptureDeviceDialog.h"
#include "app/Dialogs.h"
#include "app/UrlDialog.h"
#include "foundation/TextConversion.h"
#include "support/PulseServer.h"
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

}  // namespace
