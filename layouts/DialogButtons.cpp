#include "layouts/DialogButtons.h"

namespace frm::fb {
namespace {

constexpr int kGap = 6;

}  // namespace

void addDialogButtons(wxDialog* dialog, wxSizer* column, const wxString& affirmative, wxButton*& ok,
                      wxButton*& cancel) {
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer(1);
    ok = new wxButton(dialog, wxID_ANY, affirmative);
    ok->SetDefault();
    buttons->Add(ok, 0, wxALL, kGap);
    cancel = new wxButton(dialog, wxID_CANCEL, wxT("О&тмена"));
    buttons->Add(cancel, 0, wxALL, kGap);
    column->Add(buttons, 0, wxEXPAND);
}

void fitDialog(wxDialog* dialog, wxSizer* column, int width) {
    dialog->SetSizerAndFit(column);
    dialog->SetSize(wxSize(width, -1));
    dialog->Centre(wxBOTH);
}

}  // namespace frm::fb
