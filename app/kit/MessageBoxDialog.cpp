#include "app/kit/MessageBoxDialog.h"

#include <wx/artprov.h>
#include <wx/display.h>
#include <wx/scrolwin.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>

#include "app/kit/MessageBoxes.h"

namespace frm {
namespace {

constexpr int kBorder = 10;
constexpr int kIconGap = 20;
// What a window manager adds around the box: its title bar and frame.
constexpr int kFrameAllowance = 48;

long iconStyle(debug::MessageIcon icon) {
    switch (icon) {
        case debug::MessageIcon::information:
            return wxICON_INFORMATION;
        case debug::MessageIcon::warning:
            return wxICON_WARNING;
        case debug::MessageIcon::error:
            break;
    }
    return wxICON_ERROR;
}

}  // namespace

MessageBoxDialog::MessageBoxDialog(wxWindow* parent, const wxString& caption, const wxString& text,
                                   debug::MessageIcon icon)
    : wxDialog(parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE),
      message_(text),
      icon_(icon) {
    // The screen of the window the box opens above (the toolkit's choice when it has no parent), or
    // the first screen.
    const wxWindow* above = GetParentForModalDialog(parent, GetWindowStyle());
    const int display = above ? wxDisplay::GetFromWindow(above) : wxNOT_FOUND;
    const wxRect screen =
        wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display)).GetClientArea();
    auto* mark = new wxStaticBitmap(this, wxID_ANY, wxArtProvider::GetMessageBoxIcon(iconStyle(icon)));
    textArea_ = new wxScrolledWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL);
    auto* label = new wxStaticText(textArea_, wxID_ANY, wxEmptyString);
    const int scrollBar = wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this);
    const int widest = screen.width - mark->GetBestSize().x - kIconGap - 4 * kBorder - scrollBar;
    // Shown as written: an '&' is no mnemonic.
    label->SetLabelText(fitToWidth(text.ToStdWstring(), widest, [label](const std::wstring& line) {
        return label->GetTextExtent(line).x;
    }));
    auto* labelSizer = new wxBoxSizer(wxVERTICAL);
    labelSizer->Add(label);
    textArea_->SetSizer(labelSizer);
    const wxSize textSize = label->GetBestSize();
    textArea_->SetMinSize(textSize);

    auto* markAndText = new wxBoxSizer(wxHORIZONTAL);
    markAndText->Add(mark, wxSizerFlags().Top().Border(wxRIGHT, kIconGap));
    markAndText->Add(textArea_, wxSizerFlags(1).Expand());
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(markAndText, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT | wxTOP, kBorder));
    top->Add(CreateSeparatedButtonSizer(wxOK), wxSizerFlags().Expand().Border(wxALL, kBorder));
    SetSizer(top);

    // A text taller than what the screen leaves it scrolls.
    const int around = top->GetMinSize().y - textSize.y;
    const int tallest = std::max(screen.height - around - kFrameAllowance, label->GetCharHeight());
    if (textSize.y > tallest) {
        textArea_->SetMinSize(wxSize(textSize.x + scrollBar, tallest));
        textArea_->SetScrollRate(0, label->GetCharHeight());
    }
    textArea_->FitInside();
    // Sized to the text and told to the window manager as the least size: the first window of a
    // process (the box of a start that ends before the main window) is sized before the toolkit
    // knows the manager's frame, and without the hint the manager shrinks it to a corner of the
    // screen, cutting the text.
    top->SetSizeHints(this);
    Centre(wxBOTH);
    if (wxWindow* ok = FindWindow(wxID_OK)) ok->SetFocus();
}

}  // namespace frm
