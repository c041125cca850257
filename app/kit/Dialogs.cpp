#include "app/kit/Dialogs.h"

#include <wx/app.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/numdlg.h>
#include <wx/textdlg.h>
#include <wx/utils.h>
// After its base class, which the header does not include itself.
#include <wx/generic/msgdlgg.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "app/kit/MessageBoxDialog.h"

namespace frm {
namespace {

// The log calls name their level as the caption.
std::wstring captionOf(const std::wstring& caption) {
    static const std::pair<const wchar_t*, const wchar_t*> levels[] = {{L"NOTICE", L"Сообщение"},
                                                                       {L"WARN", L"Предупреждение"},
                                                                       {L"ERROR", L"Ошибка"},
                                                                       {L"FATAL", L"Ошибка"}};
    for (const auto& [level, title] : levels) {
        if (caption == level) return title;
    }
    return caption;
}

// Puts the working folder back when the scope ends, whatever a dialog of the desktop did to it:
// the program reads its data folder's files by relative paths.
class WorkingFolderKeeper {
public:
    WorkingFolderKeeper() : folder_(std::filesystem::current_path(error_)) {}
    ~WorkingFolderKeeper() {
        std::error_code error;
        if (!error_ && std::filesystem::current_path(error) != folder_)
            std::filesystem::current_path(folder_, error);
    }
    WorkingFolderKeeper(const WorkingFolderKeeper&) = delete;
    WorkingFolderKeeper& operator=(const WorkingFolderKeeper&) = delete;

private:
    std::error_code error_;
    const std::filesystem::path folder_;
};

}  // namespace

int Dialogs::showModal(wxDialog& dialog) {
    if (closing_) return wxID_CANCEL;
    open_.push_back(&dialog);
    const int result = dialog.ShowModal();
    open_.erase(std::remove(open_.begin(), open_.end(), &dialog), open_.end());
    if (closing_) endInnermost();
    return result;
}

void Dialogs::closeAll(std::function<void()> then) {
    closing_ = true;
    popupMenus_.endAll();
    afterClosing_ = std::move(then);
    endInnermost();
}

void Dialogs::endInnermost() {
    if (open_.empty()) {
        finishClosing();
        return;
    }
    // One at a time: ending a modal loop ends the innermost one running, so the dialog around it
    // is ended once that one has returned (showModal).
    if (open_.back()->IsModal()) open_.back()->EndModal(wxID_CANCEL);
}

void Dialogs::finishClosing() {
    if (!afterClosing_) return;
    if (!popupMenus_.anyRunning()) {
        wxTheApp->CallAfter(std::exchange(afterClosing_, nullptr));
        return;
    }
    // An ended menu's loop makes one last pass, in which this runs, and the call that showed the
    // menu returns after it: a call queued at the idle time of that pass runs in the next pass
    // of the loop around it.
    wxTheApp->Bind(wxEVT_IDLE, &Dialogs::onIdle, this);
}

void Dialogs::onIdle(wxIdleEvent& event) {
    event.Skip();
    wxTheApp->Unbind(wxEVT_IDLE, &Dialogs::onIdle, this);
    wxTheApp->CallAfter([this] { finishClosing(); });
}

bool Dialogs::ask(const Question& question) {
    const bool okCancel = question.buttons == Question::Buttons::okCancel;
    const long buttons = okCancel ? wxOK | wxCANCEL | wxCANCEL_DEFAULT : wxYES_NO | wxNO_DEFAULT;
    const long icon = question.icon == Question::Icon::exclamation ? wxICON_EXCLAMATION : wxICON_QUESTION;
    wxGenericMessageDialog dialog(parent_, question.text, question.caption, buttons | icon | wxCENTRE);
    if (okCancel) {
        dialog.SetOKCancelLabels(L"OK", L"Отмена");
    } else {
        dialog.SetYesNoLabels(L"Да", L"Нет");
    }
    return showModal(dialog) == (okCancel ? wxID_OK : wxID_YES);
}

bool Dialogs::askYesNo(const std::wstring& caption, const std::wstring& text) {
    return ask({caption, text});
}

bool Dialogs::confirm(const std::wstring& caption, const std::wstring& text) {
    wxGenericMessageDialog dialog(parent_, text, caption,
                                  wxYES_NO | wxYES_DEFAULT | wxICON_QUESTION | wxCENTRE);
    dialog.SetYesNoLabels(L"Да", L"Нет");
    return showModal(dialog) == wxID_YES;
}

std::optional<std::vector<std::wstring>> Dialogs::chooseFiles(const std::wstring& caption,
                                                              const std::wstring& wildcard) {
    const WorkingFolderKeeper keeper;
    wxFileDialog dialog(parent_, caption, startFolder(), wxEmptyString, wildcard,
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_MULTIPLE);
    if (showModal(dialog) != wxID_OK) return std::nullopt;
    lastFolder_ = dialog.GetDirectory().ToStdWstring();
    wxArrayString paths;
    dialog.GetPaths(paths);
    std::vector<std::wstring> chosen;
    for (const wxString& path : paths) chosen.push_back(path.ToStdWstring());
    return chosen;
}

std::optional<std::wstring> Dialogs::chooseFolder(const std::wstring& caption) {
    const WorkingFolderKeeper keeper;
    wxDirDialog dialog(parent_, caption, startFolder(), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (showModal(dialog) != wxID_OK) return std::nullopt;
    lastFolder_ = dialog.GetPath().ToStdWstring();
    return lastFolder_;
}

std::wstring Dialogs::startFolder() const {
    std::error_code error;
    if (!lastFolder_.empty() && std::filesystem::is_directory(std::filesystem::path(lastFolder_), error))
        return lastFolder_;
    return wxGetHomeDir().ToStdWstring();
}

std::optional<std::wstring> Dialogs::askText(const std::wstring& caption, const std::wstring& text,
                                             const std::wstring& initial) {
    wxTextEntryDialog dialog(parent_, text, caption, initial);
    if (showModal(dialog) != wxID_OK) return std::nullopt;
    return dialog.GetValue().ToStdWstring();
}

std::optional<std::wstring> Dialogs::askPassword(const std::wstring& caption, const std::wstring& text) {
    wxPasswordEntryDialog dialog(parent_, text, caption);
    if (showModal(dialog) != wxID_OK) return std::nullopt;
    return dialog.GetValue().ToStdWstring();
}

std::optional<std::wstring> Dialogs::askFile(const FileQuestion& question) {
    const WorkingFolderKeeper keeper;
    const long style = question.save ? wxFD_SAVE | wxFD_OVERWRITE_PROMPT : wxFD_OPEN | wxFD_FILE_MUST_EXIST;
    wxFileDialog dialog(parent_, question.message, wxEmptyString, question.defaultName, question.filter,
                        style);
    if (showModal(dialog) != wxID_OK) return std::nullopt;
    return dialog.GetPath().ToStdWstring();
}

std::optional<long> Dialogs::askNumber(const std::wstring& caption, const std::wstring& text,
                                       const std::wstring& prompt, long initial, long minimum, long maximum) {
    wxNumberEntryDialog dialog(parent_, text, prompt, caption, initial, minimum, maximum);
    if (showModal(dialog) != wxID_OK) return std::nullopt;
    return dialog.GetValue();
}

void Dialogs::showMessage(const std::wstring& caption, const std::wstring& text, debug::MessageIcon icon) {
    if (closing_) return;
    // A text that comes while a box is open, from that box's own event loop (or from a dialog's
    // above it), waits for the box after it: the loop that opened the first box opens the next one
    // once it has closed.
    for (std::optional<MessageBoxes::Box> box = boxes_.offer({caption, text, icon}); box;
         box = boxes_.closed()) {
        // With no parent: the toolkit keeps it above the window or the dialog that is active.
        MessageBoxDialog dialog(nullptr, captionOf(box->caption), box->text, box->icon);
        showModal(dialog);
        if (closing_) {
            boxes_.dropAll();
            return;
        }
        if (closedHandler_) closedHandler_(box->text);
    }
}

debug::MessagePresenter Dialogs::presenter() {
    return [this](const std::wstring& caption, const std::wstring& text, debug::MessageIcon icon) {
        showMessage(caption, text, icon);
    };
}

}  // namespace frm
