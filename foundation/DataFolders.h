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
// Every file the program puts in the temp folder has a name that begins so.
inline constexpr const char* kOwnTempPrefix = "melvox_";
// Empties the temp folder, as every start does. A "temp" that is a link (to a RAM disk, a shared
// scratch folder) leads out of the data folder: there only the program's own files (kOwnTempPrefix)
// are removed. Links inside the folder are removed as links. Failures are passed over.
void emptyTempDirectory();
// 0 when a file can be made in the folder, else the system's error number (a read-only file system,
// no rights, no such folder).
int folderWriteError(const std::wstring& folder);
// The user's own folder for what must work whatever the data folder allows (the running mark and
// the stop socket): below "$XDG_RUNTIME_DIR/melvox", else "/tmp/melvox-<uid>", a folder named after
// the data folder's device and inode, so that each data folder has its own. Every level is made
// with mode 0700 and must be a folder of this user that no one else may enter. Empty when none
// such can be had.
std::wstring getRuntimeDirectory();
// The folder that holds the program's own file.
std::wstring getApplicationDirectory();

}  // namespace os
