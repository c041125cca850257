#pragma once
// What the source panels show alike: the images of their transport buttons, the text colour of a
// list row by whether it plays, and the gong choice.

#include <wx/bmpbuttn.h>
#include <wx/choice.h>
#include <wx/listctrl.h>

#include <string>
#include <vector>

namespace frm {

// The buttons of a panel's transport row; those a panel lacks are null.
struct TransportButtons {
    wxBitmapButton* previous = nullptr;
    wxBitmapButton* play = nullptr;
    wxBitmapButton* stop = nullptr;
    wxBitmapButton* next = nullptr;
    wxBitmapButton* playlists = nullptr;
};
// Gives each button its image from the window's image table.
void setTransportImages(const TransportButtons& buttons);

// Draws the row's text green while it plays, black otherwise.
void colourRow(wxListCtrl& list, long row, bool playing);

// Fills the choice with an empty entry (no gong) and the names of the gong folder's gongs;
// returns the paths beside the entries, the empty one first.
std::vector<std::wstring> fillGongChoice(wxChoice& choice);

}  // namespace frm
