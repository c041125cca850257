#pragma once
// The layout of the drive panel: a column for the drive buttons at the left, the file list and
// the row of transport buttons under it.

#include <wx/bmpbuttn.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include "layouts/VirtualListCtrl.h"

namespace frm::fb {

class SourceDevicePanel : public wxPanel {
public:
    SourceDevicePanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                      const wxSize& size = wxSize(700, 500), long style = wxTAB_TRAVERSAL,
                      const wxString& name = wxEmptyString);

protected:
    // Makes the controls and binds their events. The panel stands empty until the derived panel
    // calls it, once, when its view is first shown; the control pointers are null until then.
    void buildLayout();

    wxBoxSizer* m_drivesSizer = nullptr;
    VirtualListCtrl* m_listCtrl = nullptr;
    wxBitmapButton* m_buttonPrev = nullptr;
    wxBitmapButton* m_buttonPlay = nullptr;
    wxBitmapButton* m_buttonStop = nullptr;
    wxBitmapButton* m_buttonNext = nullptr;

    virtual void listCtrlLeftDoubleClick(wxMouseEvent& event) { event.Skip(); }
    virtual void buttonPrev(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonPlay(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonStop(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonNext(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
