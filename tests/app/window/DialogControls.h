#pragma once
// Controls of a dialog that the main window opens itself, found as the operator sees them.

#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <string>
#include <vector>

namespace test {

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
