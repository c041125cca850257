#pragma once
// The dialog that names a new audio fragment and chooses its MP3 file; it ends with OK only for
// a file that exists, and then the name and the path are in the two strings it was given.

#include <wx/dialog.h>

#include <string>

class wxFilePickerCtrl;
class wxTextCtrl;

namespace frm {

class FragmentDialog : public wxDialog {
public:
    FragmentDialog(wxWindow* parent, const wxString& title, std::wstring& name, std::wstring& path);

private:
    void saveOnButtonClick(wxCommandEvent& event);

    std::wstring& name_;
    std::wstring& path_;
    wxTextCtrl* nameField_;
    wxFilePickerCtrl* file_;
};

}  // namespace frm
