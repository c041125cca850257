#pragma once
// The mark that a copy of the program runs: a kernel lock on the file "MELVOX_RUNNING" in the
// data folder, or, where the data folder allows no such file (read-only), in the user's runtime
// folder beside it. The kernel drops the lock when the process ends in any way, so a crashed copy
// never keeps the next one from starting.

#include <string>
#include <vector>

namespace app {

class SingleInstance {
public:
    static constexpr const wchar_t* kFileName = L"MELVOX_RUNNING";

    // Takes the lock in the first of the folders where the mark's file can be opened (made, or an
    // existing one read-only), and looks into the others too: a copy that holds the mark in any
    // of them runs.
    explicit SingleInstance(const std::vector<std::wstring>& folders);
    explicit SingleInstance(const std::wstring& folder) : SingleInstance(std::vector<std::wstring>{folder}) {}
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    bool acquired() const { return acquired_; }
    // Another process holds the lock. False also when the lock file cannot be opened at all: a
    // data folder without rights must not look like a running copy.
    bool anotherCopyRuns() const { return held_; }

private:
    int fd_ = -1;
    bool acquired_ = false;
    bool held_ = false;
};

// Where the running mark and the stop socket are: the data folder, then the user's runtime folder
// for it (os::getRuntimeDirectory), when there is one.
std::vector<std::wstring> runFolders(const std::wstring& dataFolder);

}  // namespace app
