#pragma once
// The layout of the settings dialog: a notebook of six pages ("Расположение", "Громкость",
// "Сеть", "Запись", "Безопасность", "События") above the buttons "&Сохранить" and "Отмена".

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace frm::fb {

class SettingsDialog : public wxDialog {
public:
    SettingsDialog(wxWindow* parent, wxWindowID id = wxID_ANY, const wxString& title = wxEmptyString,
                   const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxSize(862, 680),
                   long style = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER);
    ~SettingsDialog() override;

protected:
    wxNotebook* m_notebook;

    wxPanel* m_placePage;
    wxStaticText* m_placeNotice;
    wxTextCtrl* m_dirGong;
    wxButton* m_buttonDirGong;
    wxTextCtrl* m_dirService;
    wxButton* m_buttonDirService;
    wxStaticBoxSizer* m_alarmDirBox;
    wxTextCtrl* m_dirAlarm;
    wxButton* m_buttonDirAlarm;
    wxTextCtrl* m_dirRecord;
    wxButton* m_buttonDirRecord;
    wxStaticBoxSizer* m_gongBox;
    wxChoice* m_gongChoice;

    wxPanel* m_volumePage;
    wxSlider* m_serviceVolume;
    wxSlider* m_microphoneVolume;

    wxPanel* m_networkPage;
    wxStaticText* m_networkNotice;
    wxChoice* m_interfaceChoice;
    wxTextCtrl* m_multicastAddress;
    wxSpinCtrl* m_ttl;
    wxSpinCtrl* m_basePort;

    wxPanel* m_recordPage;
    wxChoice* m_captureDevice;
    wxButton* m_buttonPlay;

    wxPanel* m_securityPage;
    wxStaticText* m_passwordsNote;
    wxTextCtrl* m_administratorPassword;
    wxTextCtrl* m_administratorRepeat;
    wxStaticBoxSizer* m_alarmPasswordBox;
    wxTextCtrl* m_alarmPassword;
    wxTextCtrl* m_alarmRepeat;
    wxTextCtrl* m_interfacePassword;
    wxTextCtrl* m_interfaceRepeat;
    wxSpinCtrl* m_idleTime;

    wxPanel* m_eventsPage;
    wxChoice* m_logDate;
    wxStaticText* m_logLevelLabel;
    wxChoice* m_logLevel;
    wxTextCtrl* m_logView;

    wxButton* m_buttonOk;
    wxButton* m_buttonCancel;

    virtual void onNotebookPageChanged(wxNotebookEvent& event) { event.Skip(); }
    virtual void buttonDirGongOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonDirServiceOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonDirAlarmOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonDirRecordOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void volumeOnScroll(wxScrollEvent& event) { event.Skip(); }
    virtual void buttonPlayOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void logOnChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonOkOnClick(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonCancelOnClick(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
