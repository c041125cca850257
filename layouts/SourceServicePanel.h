#pragma once
// The layout of the message panel: the tree of groups and messages beside the action box (the
// "Действие" radio box, the name area, the gong and message area and the execute button), the
// play and stop buttons and the information text under them.

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/panel.h>
#include <wx/radiobox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

namespace frm::fb {

class SourceServicePanel : public wxPanel {
public:
    SourceServicePanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                       const wxSize& size = wxSize(937, 579), long style = wxTAB_TRAVERSAL,
                       const wxString& name = wxEmptyString);

protected:
    // Makes the controls and binds their events. The panel stands empty until the derived panel
    // calls it, once, when its view is first shown; the control pointers are null until then.
    void buildLayout();

    wxTreeCtrl* m_tree = nullptr;
    wxRadioBox* m_action = nullptr;
    wxPanel* m_nameArea = nullptr;
    wxTextCtrl* m_name = nullptr;
    wxPanel* m_messageArea = nullptr;
    wxChoice* m_gong = nullptr;
    wxChoice* m_message = nullptr;
    wxButton* m_execute = nullptr;
    wxBitmapButton* m_play = nullptr;
    wxBitmapButton* m_stop = nullptr;
    wxStaticText* m_information = nullptr;

    virtual void onSelectMessage(wxTreeEvent& event) { event.Skip(); }
    virtual void actionOnRadioBox(wxCommandEvent& event) { event.Skip(); }
    virtual void executeOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void playOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void stopOnButtonClick(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
