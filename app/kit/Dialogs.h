#pragma once
// The program's modal dialogs: the questions to the operator and the message boxes of the log
// calls. Every dialog is drawn by the toolkit itself rather than by the desktop, so that a stop
// request can end the ones that are open (closeAll), and the open context menus with them, before
// the main window closes.

#include <functional>
#include <string>
#include <vector>

#include "app/kit/MessageBoxes.h"
#include "app/kit/PopupMenuTracker.h"
#include "app/kit/Questions.h"
#include "foundation/LogCalls.h"

class wxDialog;
class wxIdleEvent;
class wxWindow;

namespace frm {

class Dialogs : public Questions {
public:
    Dialogs() = default;
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;

    // The parent of the dialogs from now on (the main window once it exists).
    void setParent(wxWindow* parent) { parent_ = parent; }

    bool ask(const Question& question) override;
    bool askYesNo(const std::wstring& caption, const std::wstring& text) override;
    bool confirm(const std::wstring& caption, const std::wstring& text) override;
    std::optional<std::wstring> askText(const std::wstring& caption, const std::wstring& text,
                                        const std::wstring& initial) override;
    std::optional<std::wstring> askPassword(const std::wstring& caption, const std::wstring& text) override;
    std::optional<std::vector<std::wstring>> chooseFiles(const std::wstring& caption,
                                                         const std::wstring& wildcard) override;
    std::optional<std::wstring> chooseFolder(const std::wstring& caption) override;
    int showModal(wxDialog& dialog) override;
    std::optional<std::wstring> askFile(const FileQuestion& question) override;
    std::optional<long> askNumber(const std::wstring& caption, const std::wstring& text,
                                  const std::wstring& prompt, long initial, long minimum,
                                  long maximum) override;
    // A modal message box with an OK button, with no parent (the toolkit keeps it above the active
    // window); the presenter of the log calls. It returns once the operator has closed it, and the
    // boxes after it that waited meanwhile. While a box is open, a text waits and returns at once:
    // the box after the open one shows it, or sums it up.
    void showMessage(const std::wstring& caption, const std::wstring& text, debug::MessageIcon icon);
    debug::MessagePresenter presenter();
    // Called with the text of each message box that the operator closed (not one that closeAll
    // ended), on the GUI thread: the text it showed whole, the line that sums up others too.
    void setClosedHandler(std::function<void(const std::wstring& text)> handler) {
        closedHandler_ = std::move(handler);
    }

    // Ends every open dialog as cancelled and every open context menu, and answers every later
    // question as cancelled; `then` runs from the event loop once the last of them has returned.
    // GUI thread only.
    void closeAll(std::function<void()> then);

private:
    // Where the file and folder choosers open: the folder last chosen in one while it exists,
    // else the operator's home (never the program's working folder).
    std::wstring startFolder() const;
    // Ends the innermost open dialog, or when none is open finishes closing.
    void endInnermost();
    // Runs what closeAll was given once no dialog and no context menu runs any more.
    void finishClosing();
    void onIdle(wxIdleEvent& event);

    PopupMenuTracker popupMenus_;
    wxWindow* parent_ = nullptr;
    std::vector<wxDialog*> open_;
    MessageBoxes boxes_;
    bool closing_ = false;
    std::wstring lastFolder_;
    std::function<void()> afterClosing_;
    std::function<void(const std::wstring&)> closedHandler_;
};

}  // namespace frm
