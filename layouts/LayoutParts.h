#pragma once
// Small builders the window layouts share: a control placed in its sizer in the statement that
// makes it, and the row of transport buttons of the drive and playlist panels.

#include <wx/bmpbuttn.h>
#include <wx/sizer.h>

namespace frm::fb {

// Adds the control to the sizer as wxSizer::Add does and returns it.
template <class Control>
Control* place(wxSizer* sizer, Control* control, int proportion, int flags, int border = 0) {
    sizer->Add(control, proportion, flags, border);
    return control;
}

// Appends to the row the flat, still imageless buttons "Предыдущий элемент", "Играть", "Стоп"
// and "Следующий элемент" (their tool tips), each with the border all round.
void addTransportButtons(wxWindow* parent, wxSizer* row, int border, wxBitmapButton*& previous,
                         wxBitmapButton*& play, wxBitmapButton*& stop, wxBitmapButton*& next);
// One such button, with its tool tip unless the tip is empty.
wxBitmapButton* addBitmapButton(wxWindow* parent, wxSizer* row, int border, const wxString& tip);

}  // namespace frm::fb
