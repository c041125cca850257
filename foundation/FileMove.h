#pragma once
// Moving a file to a path where nothing may be replaced.

#include <string>
#include <system_error>

namespace base {

// Renames `from` to `to` unless `to` exists (std::errc::file_exists then, both left as they
// are). Where the rename is refused across file systems, the file is copied into a hidden
// temporary beside `to`, flushed to the disk and only then given the name `to`, again without
// replacing anything; then `from` is removed (a source that cannot be removed stays). A move
// killed at any point leaves no file at `to` or the whole one, and at most a temporary that
// removeStaleTemporaries takes away.
std::error_code moveToNewFile(const std::wstring& from, const std::wstring& to);

}  // namespace base
