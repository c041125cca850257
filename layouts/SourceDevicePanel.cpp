#include "layouts/SourceDevicePanel.h"

#include "layouts/LayoutParts.h"

namespace frm::fb {

SourceDevicePanel::SourceDevicePanel(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                                     long style, const wxString& name)
    : wxPanel(parent, id, pos, size, style, name) {}

void SourceDevicePanel::buildLayout() {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    m_drivesSizer = new wxBoxSizer(wxVERTICAL);
    row->Add(m_drivesSizer, 0, wxEXPAND | wxALL, 5);
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_listCtrl = new VirtualListCtrl(this, wxLC_REPORT);
    column->Add(m_listCtrl, 1, wxEXPAND | wxALL, 5);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    addTransportButtons(this, buttons, 5, m_buttonPrev, m_buttonPlay, m_buttonStop, m_buttonNext);
    column->Add(buttons, 0, wxEXPAND);
    row->Add(column, 1, wxEXPAND);
    SetSizer(row);
    Layout();

    m_listCtrl->Bind(wxEVT_LEFT_DCLICK, &SourceDevicePanel::listCtrlLeftDoubleClick, this);
    m_buttonPrev->Bind(wxEVT_BUTTON, &SourceDevicePanel::buttonPrev, this);
    m_buttonPlay->Bind(wxEVT_BUTTON, &SourceDevicePanel::buttonPlay, this);
    m_buttonStop->Bind(wxEVT_BUTTON, &SourceDevicePanel::buttonStop, this);
    m_buttonNext->Bind(wxEVT_BUTTON, &SourceDevicePanel::buttonNext, this);
}

}  // namespace frm::fb
