#pragma once
// What the source panels show alike: the images of their transport buttons, the text colour of a
// list row by whether it plays, headers that are not cut, the gong choice and what a refilled
// choice keeps chosen.

#include <wx/bmpbuttn.h>
#include <wx/choice.h>
#include <wx/listctrl.h>

#include <optional>
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

// The text colour of a row: green while it plays, black otherwise.
wxColour rowColour(bool playing);
// Draws again the rows of a list that draws its rows itself (the playing one was `before` and is
// `now`), those the list has.
void redrawPlayingRows(wxListCtrl& list, std::optional<std::size_t> before, std::optional<std::size_t> now);
// The width of a column that shows the text whole, as the toolkit's automatic width would.
int automaticWidth(wxListCtrl& list, const wxString& text);

// Fills the choice with the names of the gong folder's gongs, after an empty entry (no gong) when
// `noGongEntry`; returns the paths beside the entries, the empty one first.
std::vector<std::wstring> fillGongChoice(wxChoice& choice, bool noGongEntry = true);

// Widens every column whose header text would be cut; a column wide enough already keeps its width.
void fitColumnHeaders(wxListCtrl& list);

// The entry to choose in a choice refilled with `entries`: the one equal to `chosen` (what was
// chosen before, or is stored), else `fallback` (-1: none).
int entryToChoose(const std::vector<std::wstring>& entries, const std::wstring& chosen, int fallback);

}  // namespace frm
