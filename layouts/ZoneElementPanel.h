#pragma once
// The layout of the zone panel: the tree of zones and their devices, the buttons that change it
// and the zone's volume.

#include <wx/button.h>
#include <wx/panel.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/treectrl.h>

namespace frm::fb {

class ZoneElementPanel : public wxPanel {
public:
    ZoneElementPanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                     const wxSize& size = wxDefaultSize, long style = wxTAB_TRAVERSAL,
                     const wxString& name = wxEmptyString);
    ~ZoneElementPanel() override;

protected:
    wxTreeCtrl* m_zoneTree;
    wxButton* m_createZoneButton;
    wxButton* m_renameZoneButton;
    wxButton* m_addDeviceButton;
    wxButton* m_deleteDeviceButton;
    wxButton* m_deleteZoneButton;
    wxStaticText* m_volumeLabel;
    wxSlider* m_volumeSlider;

    virtual void zoneTreeOnTreeSelChanged(wxTreeEvent& event) { event.Skip(); }
    virtual void createZoneOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void renameZoneOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void addDeviceOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void deleteDeviceOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void deleteZoneOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void volumeOnScrollChanged(wxScrollEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
