#pragma once
// The message box of a log call's text: the mark of its level, the text and an OK button, which
// Return, Esc and the close box press too. The box fits the screen it opens on, whatever the text:
// a line wider than the screen is broken into lines that fit, and a text taller than the screen
// scrolls, so that no part of it lies beyond the screen's edge.

#include <wx/dialog.h>

#include "foundation/LogCalls.h"

class wxScrolledWindow;

namespace frm {

class MessageBoxDialog : public wxDialog {
public:
    MessageBoxDialog(wxWindow* parent, const wxString& caption, const wxString& text,
                     debug::MessageIcon icon);

    // The text as it was given, before it was broken to fit.
    const wxString& getMessage() const { return message_; }
    debug::MessageIcon getIcon() const { return icon_; }
    // The part of the box that shows the text, scrolled when the text is taller than the screen.
    wxScrolledWindow* textArea() const { return textArea_; }

private:
    const wxString message_;
    const debug::MessageIcon icon_;
    wxScrolledWindow* textArea_ = nullptr;
};

}  // namespace frm
