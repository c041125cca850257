#pragma once
// The layout of the main window: the column of view buttons, the book of views (the device
// view with the device list and the zones, later the panels, and the lock view) and the status
// bar. The derived window puts its device list and zone panel into the two areas.

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/simplebook.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/tglbtn.h>

namespace frm::fb {

class MainFrame : public wxFrame {
public:
    MainFrame(wxWindow* parent, wxWindowID id = wxID_ANY, const wxString& title = wxT("Melvox"),
              const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxSize(1280, 720),
              long style = wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
    ~MainFrame() override;

    // The pages of the book.
    enum Page { pageDevices = 0, pageLock = 1 };

protected:
    wxPanel* m_viewPanel;
    wxStaticBitmap* m_logo;
    wxButton* m_devicesButton;
    wxButton* m_playlistButton;
    wxButton* m_radioButton;
    wxButton* m_schedulerButton;
    wxButton* m_microphoneButton;
    wxButton* m_serviceButton;
    wxButton* m_alarmButton;
    wxButton* m_drivesButton;
    wxButton* m_settingsButton;
    wxToggleButton* m_administratorButton;
    wxSimplebook* m_book;
    wxPanel* m_mainView;
    wxPanel* m_deviceListArea;
    wxPanel* m_zoneArea;
    wxPanel* m_lockView;
    wxStaticText* m_lockText;
    wxButton* m_unlockButton;
    wxStatusBar* m_statusBar;

    virtual void OnClose(wxCloseEvent& event) { event.Skip(); }
    virtual void devicesOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void playlistOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void radioOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void schedulerOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void microphoneOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void serviceOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void alarmOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void drivesOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void settingsOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void administratorOnToggleButton(wxCommandEvent& event) { event.Skip(); }
    virtual void unlockOnButtonClick(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
