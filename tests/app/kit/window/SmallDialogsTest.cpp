// The small dialogs of the playlists on screen, photographed: the URL dialog with its fields,
// checks and history, the capture-device dialog on a PulseAudio server's sources, the fragment
// dialog's Russian file picker, the file dialogs, which open in the operator's home or the
// folder last chosen and leave the working folder as it was, and the message boxes, one at a time,
// each within the screen whatever its text.

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/display.h>
#include <wx/eventfilter.h>
#include <wx/filedlg.h>
#include <wx/filepicker.h>
#include <wx/msgdlg.h>
#include <wx/scrolwin.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
// After its base class, which the header does not include itself.
#include <wx/generic/msgdlgg.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/kit/CaptureDeviceDialog.h"
#include "app/kit/Dialogs.h"
#include "app/kit/FragmentDialog.h"
#include "app/kit/MessageBoxDialog.h"
#include "app/kit/UrlDialog.h"
#include "foundation/TextConversion.h"
#include "support/PulseServer.h"
#include "support/TempFolder.h"
#include "tests/app/window/DialogControls.h"
#include "tests/app/window/WindowFixture.h"

namespace {

using QuestionWatch = test::DialogWatch<wxGenericMessageDialog>;
using BoxWatch = test::DialogWatch<frm::MessageBoxDialog>;

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

// A question with the buttons and the mark it asks for; the first button's answer is true.
TEST_F(SmallDialogsTest, AQuestionShowsItsButtonsAndItsMark) {
    using Question = frm::Questions::Question;
    struct Case {
        Question question;
        std::vector<wxString> labels;
        long icon;
    };
    const Case cases[] = {
        {{L"Внимание!", L"Удалить все зоны?", Question::Buttons::yesNo, Question::Icon::exclamation},
         {L"Да", L"Нет"},
         wxICON_EXCLAMATION},
        {{L"Сообщение", L"Разрешить перезапись аудио памяти?", Question::Buttons::okCancel},
         {L"OK", L"Отмена"},
         wxICON_QUESTION},
    };
    for (const Case& c : cases) {
        for (const int answer : {0, 1}) {
            SCOPED_TRACE(c.question.text + L" " + std::to_wstring(answer));
            frm::Dialogs dialogs;
            std::vector<wxString> labels;
            long style = 0;
            const QuestionWatch watch([&](wxGenericMessageDialog& box) {
                style = box.GetMessageDialogStyle();
                const std::function<void(wxWindow*)> collect = [&](wxWindow* window) {
                    if (auto* button = dynamic_cast<wxButton*>(window)) labels.push_back(button->GetLabel());
                    for (wxWindow* child : window->GetChildren()) collect(child);
                };
                collect(&box);
                const bool yesNo = c.question.buttons == Question::Buttons::yesNo;
                box.EndModal(answer == 0 ? (yesNo ? wxID_YES : wxID_OK) : (yesNo ? wxID_NO : wxID_CANCEL));
            });
            EXPECT_EQ(dialogs.ask(c.question), answer == 0);
            std::sort(labels.begin(), labels.end());
            std::vector<wxString> expected = c.labels;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(labels, expected);
            EXPECT_EQ(style & wxICON_MASK, c.icon);
        }
    }
}

// A box fits the screen whatever its text: three long loudspeaker names, one a line, show whole, a
// line wider than the screen is broken to fit, and a text taller than the screen scrolls.
TEST_F(SmallDialogsTest, ABoxShowsALongTextWholeWithinTheScreen) {
    std::wstring text = L"Не удалось включить оповещение:";
    for (const wchar_t* name : {L"конференц-зала второго этажа северного крыла главного корпуса",
                                L"лестничной клетки между третьим и четвёртым этажами южного крыла",
                                L"подземной автостоянки у въезда со стороны улицы Садовой, сектор Б"})
        text += L"\n'Громкоговоритель " + std::wstring(name) + L"'";
    text += L"\nПуть:";
    for (int i = 0; i < 40; ++i) text += L" /media/оператор/USB/Оповещения/Эвакуация_" + std::to_wstring(i);
    for (int i = 1; i <= 80; ++i) text += L"\n" + std::to_wstring(i) + L". Ошибка загрузки настроек";
    frm::Dialogs dialogs;
    wxString shown;
    const BoxWatch watch([&](frm::MessageBoxDialog& box) {
        EXPECT_TRUE(wxDisplay(&box).GetClientArea().Contains(box.GetScreenRect()));
        wxScrolledWindow* area = box.textArea();
        auto* label = test::findControl<wxStaticText>(area);
        // No part of the text lies beyond the area, across or down its scrolled height.
        EXPECT_LE(label->GetSize().x, area->GetClientSize().x);
        EXPECT_LE(label->GetSize().y, area->GetVirtualSize().y);
        EXPECT_GT(area->GetVirtualSize().y, area->GetClientSize().y);
        // The window manager is told the box's size as its least, so that it cannot shrink it.
        EXPECT_EQ(box.GetMinSize(), box.GetSize());
        shown = label->GetLabelText();
        EXPECT_TRUE(screenshot("message_box_long_text"));
        box.EndModal(wxID_OK);
    });
    dialogs.showMessage(L"WARN", text, debug::MessageIcon::warning);
    // Broken only where a blank was.
    std::replace(text.begin(), text.end(), L'\n', L' ');
    std::wstring unbroken = shown.ToStdWstring();
    std::replace(unbroken.begin(), unbroken.end(), L'\n', L' ');
    EXPECT_EQ(unbroken, text);
}

// A flood of messages while a box is open, as warnings come from the box's own event loop: each
// returns at once, and the box after the open one shows the first and sums up the others.
TEST_F(SmallDialogsTest, MessagesThatComeWhileABoxIsOpenWaitForTheNextBox) {
    frm::Dialogs dialogs;
    struct Opened {
        std::wstring text;
        int boxesOpen;
    };
    std::vector<Opened> opened;
    int returned = 0;
    const auto openBoxes = [] {
        int count = 0;
        for (wxWindow* window : wxTopLevelWindows) {
            auto* box = dynamic_cast<frm::MessageBoxDialog*>(window);
            count += box != nullptr && box->IsModal();
        }
        return count;
    };
    const BoxWatch watch([&](frm::MessageBoxDialog& box) {
        opened.push_back({box.getMessage().ToStdWstring(), openBoxes()});
        if (opened.size() == 1) {
            for (const wchar_t* text : {L"второе", L"третье", L"четвёртое", L"пятое"}) {
                dialogs.showMessage(L"WARN", text, debug::MessageIcon::warning);
                ++returned;
            }
            // Nothing opened inside this box while it was open.
            EXPECT_EQ(returned, 4);
            EXPECT_EQ(opened.size(), 1u);
        }
        box.EndModal(wxID_OK);
    });
    dialogs.showMessage(L"WARN", L"первое", debug::MessageIcon::warning);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].text, L"первое");
    EXPECT_EQ(opened[1].text, L"пятое\n\n… и ещё 3 сообщения в журнале");
    for (const Opened& box : opened) EXPECT_EQ(box.boxesOpen, 1) << box.text;
}

}  // namespace
