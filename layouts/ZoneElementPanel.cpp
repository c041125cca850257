#include "layouts/ZoneElementPanel.h"

#include <wx/sizer.h>

namespace frm::fb {

ZoneElementPanel::ZoneElementPanel(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                                   long style, const wxString& name)
    : wxPanel(parent, id, pos, size, style, name) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_zoneTree = new wxTreeCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 200),
                                wxTR_DEFAULT_STYLE | wxTR_MULTIPLE | wxTR_HAS_BUTTONS);
    column->Add(m_zoneTree, 1, wxEXPAND | wxALL, 2);

    auto* buttons = new wxGridSizer(2, 4, 4);
    const auto addButton = [&](const wxString& label) {
        auto* button = new wxButton(this, wxID_ANY, label);
        buttons->Add(button, 0, wxEXPAND);
        return button;
    };
    m_createZoneButton = addButton(wxT("Создать зону"));
    m_renameZoneButton = addButton(wxT("Переименовать"));
    m_addDeviceButton = addButton(wxT("Добавить устройства"));
    m_deleteDeviceButton = addButton(wxT("Удалить устройства"));
    m_deleteZoneButton = addButton(wxT("Удалить зону"));
    column->Add(buttons, 0, wxEXPAND | wxALL, 4);

    m_volumeLabel = new wxStaticText(this, wxID_ANY, wxT("Громкость зоны"));
    column->Add(m_volumeLabel, 0, wxLEFT | wxRIGHT | wxTOP, 6);
    m_volumeSlider =
        new wxSlider(this, wxID_ANY, 50, 0, 100, wxDefaultPosition, wxDefaultSize, wxSL_HORIZONTAL);
    column->Add(m_volumeSlider, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 4);
    // Sized to its controls from the start: laid out at the default size of a panel, the
    // buttons would be given less than their borders need.
    SetSizerAndFit(column);

    m_zoneTree->Bind(wxEVT_TREE_SEL_CHANGED, &ZoneElementPanel::zoneTreeOnTreeSelChanged, this);
    const std::pair<wxButton*, void (ZoneElementPanel::*)(wxCommandEvent&)> handlers[] = {
        {m_createZoneButton, &ZoneElementPanel::createZoneOnButtonClick},
        {m_renameZoneButton, &ZoneElementPanel::renameZoneOnButtonClick},
        {m_addDeviceButton, &ZoneElementPanel::addDeviceOnButtonClick},
        {m_deleteDeviceButton, &ZoneElementPanel::deleteDeviceOnButtonClick},
        {m_deleteZoneButton, &ZoneElementPanel::deleteZoneOnButtonClick},
    };
    for (const auto& [button, handler] : handlers) {
        button->Bind(wxEVT_BUTTON,
                     [this, handler = handler](wxCommandEvent& event) { (this->*handler)(event); });
    }
    m_volumeSlider->Bind(wxEVT_SCROLL_CHANGED, &ZoneElementPanel::volumeOnScrollChanged, this);
}

ZoneElementPanel::~ZoneElementPanel() = default;

}  // namespace frm::fb
