#pragma once
// Small builders the window layouts share: a control placed in its sizer in the statement that
// makes it, a labelled row of a grid, and the row of transport buttons of the drive and playlist
// panels.

#include <wx/bmpbuttn.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace frm::fb {

// Adds the control to the sizer as wxSizer::Add does and returns it.
template <class Control>
Control* place(wxSizer* sizer, Control* control, int proportion, int flags, int border = 0) {
    sizer->Add(control, proportion, flags, border);
    return control;
}

// Appends to a grid of two columns a label, centred on its row, and the control after it; the label
// has the control's parent.
template <class Control>
Control* addLabelled(wxSizer* grid, const wxString& label, Control* control, int proportion = 0,
                     int flags = 0) {
    grid->Add(new wxStaticText(control->GetParent(), wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    return place(grid, control, proportion, flags);
}

// Appends to the row the flat, still imageless buttons "Предыдущий элемент", "Играть", "Стоп"
// and "Следующий элемент" (their tool tips), each with the border all round.
void addTransportButtons(wxWindow* parent, wxSizer* row, int border, wxBitmapButton*& previous,
                         wxBitmapButton*& play, wxBitmapButton*& stop, wxBitmapButton*& next);
// One such button, with its tool tip unless the tip is empty.
wxBitmapButton* addBitmapButton(wxWindow* parent, wxSizer* row, int border, const wxString& tip);

}  // namespace frm::fb
