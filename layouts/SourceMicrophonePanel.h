#pragma once
// The layout of the microphone panel: the list of recorded messages above the options (the
// source, the ways of passing the sound with the title of a recording and its save button, the
// gong) and the start and delete buttons.

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/radiobox.h>
#include <wx/textctrl.h>

namespace frm::fb {

class SourceMicrophonePanel : public wxPanel {
public:
    SourceMicrophonePanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                          const wxSize& size = wxSize(1200, 640), long style = wxTAB_TRAVERSAL,
                          const wxString& name = wxEmptyString);

protected:
    // Makes the controls and binds their events. The panel stands empty until the derived panel
    // calls it, once, when its view is first shown; the control pointers are null until then.
    void buildLayout();

    wxListCtrl* m_listCtrlRecord = nullptr;
    wxPanel* m_panelOptions = nullptr;
    wxRadioBox* m_radioBoxRecordSource = nullptr;
    wxCheckBox* m_checkBoxList = nullptr;
    wxCheckBox* m_checkBoxRecord = nullptr;
    wxTextCtrl* m_textCtrlRecordName = nullptr;
    wxButton* m_buttonRecordSave = nullptr;
    wxCheckBox* m_checkBoxGong = nullptr;
    wxChoice* m_choiceGong = nullptr;
    wxButton* m_buttonStartAndStop = nullptr;
    wxButton* m_buttonDelete = nullptr;

    virtual void listCtrlRecordKeyUp(wxKeyEvent& event) { event.Skip(); }
    virtual void listCtrlRecordOnListItemDeselected(wxListEvent& event) { event.Skip(); }
    virtual void listCtrlRecordOnListItemSelected(wxListEvent& event) { event.Skip(); }
    virtual void radioBoxRecordSourceOnRadioBox(wxCommandEvent& event) { event.Skip(); }
    virtual void checkBoxListOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void checkBoxRecordOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonRecordSaveOnClick(wxCommandEvent& event) { event.Skip(); }
    virtual void checkBoxGongOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonStartAndStopOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void deleteOnButtonClick(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
