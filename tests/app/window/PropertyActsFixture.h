#pragma once
// What the tests of the property panel's rule share (a page acts only on what it has read): the
// current page's controls by label, real clicks that do not wait for the page, which may go on
// reading, and whether the page ended usable.

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/notebook.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>
#include <wx/uiaction.h>

#include <functional>
#include <string>

#include "tests/app/window/PropertyPanelFixture.h"

namespace test {

class PropertyActsFixture : public PropertyPanelFixture {
protected:
    // The shown control of the current page with that label; null for none.
    wxWindow* onPage(const wxString& label) {
        wxWindow* found = nullptr;
        const std::function<void(wxWindow*)> visit = [&](wxWindow* window) {
            if (found == nullptr && window->GetLabel() == label && window->IsShownOnScreen()) found = window;
            for (wxWindow* child : window->GetChildren()) visit(child);
        };
        visit(notebook()->GetCurrentPage());
        return found;
    }
    // The control of the current page with that label, a shown one before a hidden one (a row's
    // template, a button the page shows only when it is needed); null for none.
    wxWindow* onPageShownOrNot(const wxString& label) {
        if (wxWindow* shown = onPage(label)) return shown;
        wxWindow* found = nullptr;
        const std::function<void(wxWindow*)> visit = [&](wxWindow* window) {
            if (found == nullptr && window->GetLabel() == label) found = window;
            for (wxWindow* child : window->GetChildren()) visit(child);
        };
        visit(notebook()->GetCurrentPage());
        return found;
    }
    // A real click on a shown control, whether or not it takes it; the page is not waited for.
    void press(wxWindow* window) {
        if (window != nullptr && window->IsShownOnScreen())
            WindowFixture::click(window, wxRect(window->GetClientSize()));
    }
    // The control's own command event, as its click makes it (pressButton, startMenuItem), whether
    // or not the control is enabled or shown: what the handler's own gate lets through acts. The
    // control must exist.
    void deliver(wxWindow* control) {
        ASSERT_NE(control, nullptr);
        wxEventType type = wxEVT_NULL;
        int value = 0;
        if (auto* toggle = dynamic_cast<wxToggleButton*>(control)) {
            type = wxEVT_TOGGLEBUTTON;
            value = toggle->GetValue() ? 1 : 0;
        } else if (dynamic_cast<wxButton*>(control) != nullptr) {
            type = wxEVT_BUTTON;
        } else if (auto* box = dynamic_cast<wxCheckBox*>(control)) {
            type = wxEVT_CHECKBOX;
            value = box->GetValue() ? 1 : 0;
        }
        ASSERT_NE(type, wxEVT_NULL) << control->GetLabel();
        wxCommandEvent event(type, control->GetId());
        event.SetEventObject(control);
        event.SetInt(value);
        control->GetEventHandler()->ProcessEvent(event);
    }
    // Types the device's new name as the operator does; the name field takes it while the page reads.
    void typeName(const std::string& text) { type(control<wxTextCtrl>(L"name"), text); }
    // The page shows what it read and takes edits, and the panel can be closed.
    bool usable() {
        frm::PropertyDevicePanel* panel = propertyPanel();
        return panel->IsShownOnScreen() && panel->IsThisEnabled() && !panel->pageWaits() &&
               notebook()->GetCurrentPage()->IsEnabled() && labelled(L"&Закрыть")->IsEnabled();
    }
};

}  // namespace test
