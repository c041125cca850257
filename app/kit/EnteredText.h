#pragma once
// The checks of what the operator types for the playlists: names of playlists, titles of items
// and the radio station's URL. A refusal is told to the operator through the log.

#include <cstddef>
#include <string>

namespace debug {
class Place;
}

namespace frm {

// The longest name of a playlist or title of an item the operator may enter.
constexpr std::size_t kLongestEnteredName = 70;

// Whether the entered name fits; a longer one is reported ("Превышено максимальное количество
// символов", NOTICE) under the caller's place.
bool enteredNameFits(const std::wstring& name, const debug::Place& place);

// Whether the URL dialog takes the title and URL: neither empty, the title fitting, the URL one
// that a playlist takes (Playlist::checkItem). The first refusal is reported.
bool urlEntryAccepted(const std::wstring& title, const std::wstring& url);

}  // namespace frm
