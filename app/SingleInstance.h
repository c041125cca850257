#pragma once
// The mark that a copy of the program runs: a kernel lock on the file "MELVOX_RUNNING" in the
// data folder. The kernel drops the lock when the process ends in any way, so a crashed copy
// never keeps the next one from starting.

#include <string>

namespace app {

class SingleInstance {
public:
    static constexpr const wchar_t* kFileName = L"MELVOX_RUNNING";

    // Tries to take the lock in `folder`.
    explicit SingleInstance(const std::wstring& folder);
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

}  // namespace app
