#pragma once
// Whole-file reading and writing, folder listings filtered by extension and file-name
// operations. Paths are wide texts; on disk they are UTF-8.

#include <cstddef>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace base {

// Files larger than this are refused, so that a wrong choice in a file dialog cannot load
// a huge file into memory.
constexpr long long kMaximumReadFileSize = 10 * 1024 * 1024;

// The whole file as bytes. Throws exception::ExternalError when the file cannot be opened
// or read, is no regular file or is larger than kMaximumReadFileSize.
std::string readFile(const std::wstring& path);

enum class RegularFileRead {
    read,
    // errno tells why.
    cannotOpen,
    // A pipe, a device, a socket or a folder: not read, and nothing waited for it.
    notRegular,
    // Larger than the bound, when opened or while read: not read further.
    tooLarge,
    // errno tells why.
    failed,
};

// The bytes of a regular file (a link to one counts) of at most `maximumSize` bytes, into
// `bytes`. What stands at the path is opened without waiting and checked on the opened file, so
// that a pipe or a device in its place never blocks the reader nor feeds it without end.
RegularFileRead readRegularFile(const std::wstring& path, std::size_t maximumSize, std::string& bytes);
// The same, handed to `take` a piece at a time as they are read, without the whole file in memory;
// a file that grows past the bound while it is read is tooLarge after some of its pieces.
RegularFileRead readRegularFilePieces(const std::wstring& path, std::size_t maximumSize,
                                      const std::function<void(const char* bytes, std::size_t count)>& take);

// Replaces the file with the bytes (see writeFileAtomically). Returns true; every failure
// throws exception::ExternalError.
bool writeFile(const std::wstring& path, const std::string& bytes);

struct AtomicWriteResult {
    enum Failure {
        none,
        // The file cannot be created or replaced at that path (no such folder, no rights,
        // a folder of that name).
        cannotOpen,
        // Writing or flushing the data failed (disk full, file size limit).
        cannotWrite,
    };
    Failure failure = none;
    int systemError = 0;

    bool ok() const { return failure == none; }
};

// Writes the bytes to a hidden temporary file beside `path`, flushes it to the disk and
// renames it over `path`, so that a crash or a power cut during the write leaves either the
// old file or the new one, never a truncated one. An existing file keeps its permissions.
// Never throws for a file-system failure; the result tells what failed.
AtomicWriteResult writeFileAtomically(const std::wstring& path, const std::string& bytes);
// The same without the flush: the new file stands in place at once, whole, even while the disk's
// flushes stall, so that a crash leaves it; syncFile then makes it durable, and a power cut
// before that may lose it.
AtomicWriteResult replaceFileUnsynced(const std::wstring& path, const std::string& bytes);
// Flushes the file (when it exists) and its folder to the disk; false when that failed.
bool syncFile(const std::wstring& path);
// Removes the temporaries that saves killed halfway left in `folder`: the hidden
// ".<name>.<pid>-<n>.tmp" files of processes that no longer run.
void removeStaleTemporaries(const std::wstring& folder);
// For saves of their own: creates such a temporary beside `target` (a UTF-8 path), open for
// writing, and names it in `temporary`; -1 (errno set) when it cannot be made.
int createTemporaryBeside(const std::string& target, std::string& temporary);
// Makes a rename or a link in the folder durable; a folder that cannot be synced only loses
// that guarantee.
void syncFolder(const std::string& folder);

// Renames the file to "<path>.broken-YYYYMMDD-HHMMSS" (local time; "-2", "-3", ... added
// when that name is taken), so that a file the program cannot read is kept for repair and
// never overwritten by the next save. The new path, or empty when the rename failed.
std::wstring keepAside(const std::wstring& path);

// True when the file-system status of the path is neither an error nor "not found".
bool pathExists(const std::wstring& path);
bool isFolder(const std::wstring& path);
// Creates the folder and its missing parents; an existing folder is no error.
std::error_code createFolders(const std::wstring& path);
// Copies the file to a new file; an existing target is an error and stays as it is.
std::error_code copyToNewFile(const std::wstring& from, const std::wstring& to);

// The full paths of the folder's files (not hidden ones) whose names end with one of the
// extensions of the ';'-separated list ("*.mp3;*.wav"), compared without regard to case.
// An empty list or "*" keeps every file. With `recursive` the non-hidden subfolders are
// listed too, each folder's subfolders before its own files, every folder in name order.
std::vector<std::wstring> listFiles(bool recursive, const std::wstring& folder,
                                    const std::wstring& extensions);
// Told as the walk enters each folder, with the number of folders entered so far; false stops
// the walk, and the listing then holds what was found up to there.
using ListingProgress = std::function<bool(std::size_t foldersEntered)>;
std::vector<std::wstring> listFiles(bool recursive, const std::wstring& folder,
                                    const std::wstring& extensions, const ListingProgress& progress);

// The part after the last '\' and the last '/'; with `dropExtension` cut at its last '.'.
std::wstring getFileName(const std::wstring& path, bool dropExtension);

// True when `path` exists. Otherwise, when a file of the same name exists in `folder`,
// `path` is changed to it and the result is true; else false with `path` unchanged.
bool fileExistsIn(std::wstring& path, const std::wstring& folder);

}  // namespace base
