#pragma once
// The layout of the drive panel: a column for the drive buttons at the left, the file list and
// the row of transport buttons under it.

#include <wx/bmpbuttn.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/sizer.h>

namespace frm::fb {

class SourceDevicePanel : public wxPanel {
public:
    SourceDevicePanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                      const wxSize& size = wxSize(700, 500), long style = wxTAB_TRAVERSAL,
                      const wxString& name = wxEmptyString);

protected:
    wxBoxSizer* m_drivesSizer;
    wxListCtrl* m_listCtrl;
    wxBitmapButton* m_buttonPrev;
    wxBitmapButton* m_buttonPlay;
    wxBitmapButton* m_buttonStop;
    wxBitmapButton* m_buttonNext;

    virtual void listCtrlLeftDoubleClick(wxMouseEvent& event) { event.Skip(); }
    virtual void buttonPrev(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonPlay(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonStop(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonNext(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
