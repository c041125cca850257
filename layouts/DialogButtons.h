#pragma once
// The bottom of the small dialogs: their two buttons at the right, and their size.

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/sizer.h>

namespace frm::fb {

// Appends to the dialog's column the row of its affirmative button (the default one, whose
// click the dialog handles) and "О&тмена" (wxID_CANCEL: it ends the dialog as cancelled).
void addDialogButtons(wxDialog* dialog, wxSizer* column, const wxString& affirmative, wxButton*& ok,
                      wxButton*& cancel);
// Gives the dialog its column, as wide as asked and as high as the controls need, and centres it.
void fitDialog(wxDialog* dialog, wxSizer* column, int width);

}  // namespace frm::fb
