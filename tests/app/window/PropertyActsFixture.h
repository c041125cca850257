#pragma once
// What the tests of the property panel's rule share (a page acts only on what it has read): the
// current page's controls by label, real clicks that do not wait for the page, which may go on
// reading, and whether the page ended usable.

#include <wx/notebook.h>
#include <wx/textctrl.h>
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
    // A real click on a shown control, whether or not it takes it; the page is not waited for.
    void press(wxWindow* window) {
        if (window != nullptr && window->IsShownOnScreen())
            WindowFixture::click(window, wxRect(window->GetClientSize()));
    }
    // Types the device's new name as the operator does; the name field takes it while the page reads.
    void typeName(const std::string& text) {
        wxTextCtrl* name = control<wxTextCtrl>(L"name");
        name->SetFocus();
        name->SelectAll();
        wxUIActionSimulator().Text(text.c_str());
        ASSERT_TRUE(pumpUntil([&] { return name->GetValue() == text; }));
    }
    // The page shows what it read and takes edits, and the panel can be closed.
    bool usable() {
        frm::PropertyDevicePanel* panel = propertyPanel();
        return panel->IsShownOnScreen() && panel->IsThisEnabled() && !panel->pageWaits() &&
               notebook()->GetCurrentPage()->IsEnabled() && labelled(L"&Закрыть")->IsEnabled();
    }
};

}  // namespace test
