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
    wxListCtrl* m_listCtrlRecord;
    wxPanel* m_panelOptions;
    wxRadioBox* m_radioBoxRecordSource;
    wxCheckBox* m_checkBoxList;
    wxCheckBox* m_checkBoxRecord;
    wxTextCtrl* m_textCtrlRecordName;
    wxButton* m_buttonRecordSave;
    wxCheckBox* m_checkBoxGong;
    wxChoice* m_choiceGong;
    wxButton* m_buttonStartAndStop;
    wxButton* m_buttonDelete;

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
