#pragma once
// Controls of a dialog that the main window opens itself, found as the operator sees them, and the
// dialogs of a kind acted on as they open.

#include <wx/app.h>
#include <wx/eventfilter.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace test {

// Acts on every dialog of the kind as it opens, from the dialog's own (modal) event loop.
template <class Dialog>
class DialogWatch : public wxEventFilter {
public:
    explicit DialogWatch(std::function<void(Dialog&)> onOpen) : onOpen_(std::move(onOpen)) {
        wxEvtHandler::AddFilter(this);
    }
    ~DialogWatch() override { wxEvtHandler::RemoveFilter(this); }
    DialogWatch(const DialogWatch&) = delete;
    DialogWatch& operator=(const DialogWatch&) = delete;
    int FilterEvent(wxEvent& event) override {
        auto* dialog = dynamic_cast<Dialog*>(event.GetEventObject());
        if (event.GetEventType() == wxEVT_INIT_DIALOG && dialog != nullptr)
            wxTheApp->CallAfter([this, dialog] { onOpen_(*dialog); });
        return Event_Skip;
    }

private:
    const std::function<void(Dialog&)> onOpen_;
};

// The password fields below the window, in their order: in the settings dialog the
// administrator, alarm-playback and unlock passwords, each typed and repeated.
inline std::vector<wxTextCtrl*> passwordFields(wxWindow* window) {
    std::vector<wxTextCtrl*> fields;
    if (auto* field = dynamic_cast<wxTextCtrl*>(window); field && field->HasFlag(wxTE_PASSWORD))
        fields.push_back(field);
    for (wxWindow* child : window->GetChildren()) {
        for (wxTextCtrl* found : passwordFields(child)) fields.push_back(found);
    }
    return fields;
}

// The settings dialog's idle time below the window (the spin control whose range ends at 1000), or
// null.
inline wxSpinCtrl* idleTimeField(wxWindow* window) {
    if (auto* spin = dynamic_cast<wxSpinCtrl*>(window); spin && spin->GetMax() == 1000) return spin;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* found = idleTimeField(child)) return found;
    }
    return nullptr;
}

// The label below the window whose text begins with `start`, or null.
inline wxStaticText* labelStarting(wxWindow* window, const std::wstring& start) {
    auto* text = dynamic_cast<wxStaticText*>(window);
    if (text != nullptr && text->GetLabel().ToStdWstring().rfind(start, 0) == 0) return text;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* found = labelStarting(child, start)) return found;
    }
    return nullptr;
}

}  // namespace test
