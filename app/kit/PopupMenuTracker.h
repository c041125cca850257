#pragma once
// The context menus that are open. Each runs a loop of its own inside the handler that opened it
// (wxWindow::PopupMenu), so the window that owns it may not be destroyed until that handler has
// returned. A stop request ends their loops (endAll) and waits until none runs (anyRunning)
// before the main window closes.

#include <wx/eventfilter.h>

#include <vector>

class wxMenu;

namespace frm {

class PopupMenuTracker : public wxEventFilter {
public:
    PopupMenuTracker();
    ~PopupMenuTracker() override;
    PopupMenuTracker(const PopupMenuTracker&) = delete;
    PopupMenuTracker& operator=(const PopupMenuTracker&) = delete;

    int FilterEvent(wxEvent& event) override;

    // Makes the loop of every open context menu end after the event being handled now. GUI
    // thread only.
    void endAll();
    // Whether the call that showed an ended menu has not returned yet.
    bool anyRunning();

private:
    std::vector<wxMenu*> open_;
    std::vector<wxMenu*> ended_;
};

}  // namespace frm
