#pragma once
// The layout of the URL dialog: the fields "Название" and "URL:" (the URL with a list of the
// earlier ones) above the buttons "&Сохранить" and "О&тмена".

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

namespace frm::fb {

class UrlDialog : public wxDialog {
public:
    UrlDialog(wxWindow* parent, wxWindowID id = wxID_ANY, const wxString& title = wxEmptyString,
              const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxSize(520, -1),
              long style = wxDEFAULT_DIALOG_STYLE);

protected:
    wxTextCtrl* m_title;
    wxComboBox* m_url;
    wxButton* m_buttonSave;
    // Ends the dialog as cancelled (its identifier is wxID_CANCEL).
    wxButton* m_buttonCancel;

    virtual void saveOnButtonClick(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
