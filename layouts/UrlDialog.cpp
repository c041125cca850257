#include "layouts/UrlDialog.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

#include "layouts/DialogButtons.h"
#include "layouts/LayoutParts.h"

namespace frm::fb {
namespace {

constexpr int kGap = 6;

}  // namespace

UrlDialog::UrlDialog(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos,
                     const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* fields = new wxFlexGridSizer(2, kGap, kGap);
    fields->AddGrowableCol(1);
    m_title = addLabelled(fields, wxT("Название"), new wxTextCtrl(this, wxID_ANY), 1, wxEXPAND);
    m_url = addLabelled(fields, wxT("URL:"), new wxComboBox(this, wxID_ANY), 1, wxEXPAND);
    column->Add(fields, 1, wxEXPAND | wxALL, kGap);

    addDialogButtons(this, column, wxT("&Сохранить"), m_buttonSave, m_buttonCancel);
    fitDialog(this, column, size.GetWidth());

    m_buttonSave->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { saveOnButtonClick(event); });
}

}  // namespace frm::fb
