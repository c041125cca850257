#include "layouts/LayoutParts.h"

namespace frm::fb {

wxBitmapButton* addBitmapButton(wxWindow* parent, wxSizer* row, int border, const wxString& tip) {
    auto* button =
        new wxBitmapButton(parent, wxID_ANY, wxNullBitmap, wxDefaultPosition, wxDefaultSize, wxBU_AUTODRAW);
    if (!tip.empty()) button->SetToolTip(tip);
    return place(row, button, 0, wxALL, border);
}

void addTransportButtons(wxWindow* parent, wxSizer* row, int border, wxBitmapButton*& previous,
                         wxBitmapButton*& play, wxBitmapButton*& stop, wxBitmapButton*& next) {
    previous = addBitmapButton(parent, row, border, wxT("Предыдущий элемент"));
    play = addBitmapButton(parent, row, border, wxT("Играть"));
    stop = addBitmapButton(parent, row, border, wxT("Стоп"));
    next = addBitmapButton(parent, row, border, wxT("Следующий элемент"));
}

}  // namespace frm::fb
