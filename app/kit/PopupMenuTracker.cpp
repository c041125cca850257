#include "app/kit/PopupMenuTracker.h"

#include <wx/menu.h>

#include <algorithm>

namespace frm {

PopupMenuTracker::PopupMenuTracker() {
    wxEvtHandler::AddFilter(this);
}

PopupMenuTracker::~PopupMenuTracker() {
    wxEvtHandler::RemoveFilter(this);
}

int PopupMenuTracker::FilterEvent(wxEvent& event) {
    const wxEventType type = event.GetEventType();
    if (type != wxEVT_MENU_OPEN && type != wxEVT_MENU_CLOSE) return Event_Skip;
    auto& menuEvent = static_cast<wxMenuEvent&>(event);
    wxMenu* const menu = menuEvent.GetMenu();
    if (menu == nullptr) return Event_Skip;
    open_.erase(std::remove(open_.begin(), open_.end(), menu), open_.end());
    // The closing event of a context menu no longer tells that it was one.
    if (type == wxEVT_MENU_OPEN && menuEvent.IsPopup()) open_.push_back(menu);
    return Event_Skip;
}

void PopupMenuTracker::endAll() {
    // The toolkit's popup loop runs while this flag of the menu is set; the menu's own window
    // goes with the window that owns the menu.
    for (wxMenu* menu : open_) {
        menu->m_popupShown = false;
        ended_.push_back(menu);
    }
    open_.clear();
}

bool PopupMenuTracker::anyRunning() {
    // wxWindow::PopupMenu gives the menu its invoking window until it returns.
    ended_.erase(std::remove_if(ended_.begin(), ended_.end(),
                                [](const wxMenu* menu) { return menu->GetInvokingWindow() == nullptr; }),
                 ended_.end());
    return !ended_.empty();
}

}  // namespace frm
