#pragma once
// The per-user data folder with its "log" and "temp" folders, and the program's own folder.

#include <string>

namespace os {

// The separator of every path the program builds.
const std::wstring& pathSeparator();
std::wstring joinPath(const std::wstring& a, const std::wstring& b);

// $LOCALAPPDATA, else $XDG_DATA_HOME, else ~/.local/share, followed by the maker's,
// the product's and the version folder; created when missing. Cached after the first call.
std::wstring getApplicationDataDirectory();
// Empties the cache, so that the next call computes the folder again.
void resetApplicationDataDirectory();
std::wstring getLogDirectory();
std::wstring getTempDirectory();
// The folder that holds the program's own file.
std::wstring getApplicationDirectory();

}  // namespace os
