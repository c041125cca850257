#include "layouts/CaptureDeviceDialog.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

#include "layouts/DialogButtons.h"

namespace frm::fb {
namespace {

constexpr int kGap = 6;

}  // namespace

CaptureDeviceDialog::CaptureDeviceDialog(wxWindow* parent, wxWindowID id, const wxString& title,
                                         const wxPoint& pos, const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY, wxT("Устройство захвата:")), 0, wxLEFT | wxRIGHT | wxTOP,
                kGap);
    m_devices = new wxChoice(this, wxID_ANY);
    column->Add(m_devices, 0, wxEXPAND | wxALL, kGap);

    addDialogButtons(this, column, wxT("OK"), m_buttonOk, m_buttonCancel);
    fitDialog(this, column, size.GetWidth());

    m_buttonOk->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { okOnButtonClick(event); });
}

}  // namespace frm::fb
