#pragma once
// Moving a file to a path where nothing may be replaced.

#include <string>
#include <system_error>

namespace base {

// Renames `from` to `to` unless `to` exists (std::errc::file_exists then, both left as they
// are). Where the rename is refused across file systems, the file is copied into a new file,
// flushed to the disk, and only then is `from` removed (a source that cannot be removed stays);
// a copy that fails is removed again.
std::error_code moveToNewFile(const std::wstring& from, const std::wstring& to);

}  // namespace base
