#include "layouts/SourceDevicePanel.h"

namespace frm::fb {

SourceDevicePanel::SourceDevicePanel(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                                     long style, const wxString& name)
    : wxPanel(parent, id, pos, size, style, name) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    m_drivesSizer = new wxBoxSizer(wxVERTICAL);
    row->Add(m_drivesSizer, 0, wxEXPAND | wxALL, 5);
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_listCtrl = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT);
    column->Add(m_listCtrl, 1, wxEXPAND | wxALL, 5);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    const auto addButton = [&](const wxString& tip) {
        auto* button =
            new wxBitmapButton(this, wxID_ANY, wxNullBitmap, wxDefaultPosition, wxDefaultSize, wxBU_AUTODRAW);
        button->SetToolTip(tip);
        buttons->Add(button, 0, wxALL, 5);
        return button;
    };
    m_buttonPrev = addButton(wxT("Предыдущий элемент"));
    m_buttonPlay = addButton(wxT("Играть"));
    m_buttonStop = addButton(wxT("Стоп"));
    m_buttonNext = addButton(wxT("Следующий элемент"));
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
