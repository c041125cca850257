#pragma once
// The layout of the capture-device dialog "Выбор устройства захвата": a choice of the sound
// capture devices above the buttons "OK" and "О&тмена".

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dialog.h>

namespace frm::fb {

class CaptureDeviceDialog : public wxDialog {
public:
    CaptureDeviceDialog(wxWindow* parent, wxWindowID id = wxID_ANY,
                        const wxString& title = wxT("Выбор устройства захвата"),
                        const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxSize(420, -1),
                        long style = wxDEFAULT_DIALOG_STYLE);

protected:
    wxChoice* m_devices;
    wxButton* m_buttonOk;
    // Ends the dialog as cancelled (its identifier is wxID_CANCEL).
    wxButton* m_buttonCancel;

    virtual void okOnButtonClick(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
