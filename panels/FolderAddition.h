#pragma once
// Adds the playable files of a folder tree to a playlist off the window's thread, for "Добавить
// каталог...": the tree is listed (FolderScan), then the listing is handed to the addition (the
// editor's addListed: the check against the list's file bound, then the items a share at a time).
// The window reads how far it has come at any time; `told` is called on the addition's thread as it
// moves on, at most every tenth of a second, and once at its end. The operator may cancel it: a
// listing cancelled adds nothing, an addition cancelled keeps the items added so far.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "panels/FolderScan.h"
#include "panels/PlaylistPanelRules.h"

namespace frm {

class FolderAddition {
public:
    using Progress = FolderProgress;
    // Adds the files listed, telling `going` the files handled after each share; false from it
    // stops the addition.
    using Add = std::function<void(const std::vector<std::wstring>& files,
                                   const std::function<bool(std::size_t handled)>& going)>;

    FolderAddition(const std::wstring& folder, const std::wstring& extensions,
                   const FolderScan::Lister& lister, Add add, std::function<void()> told);
    // Cancels what still runs and waits for its thread.
    ~FolderAddition();
    FolderAddition(const FolderAddition&) = delete;
    FolderAddition& operator=(const FolderAddition&) = delete;

    Progress progress() const;
    void cancel() { cancelled_.store(true); }

private:
    // Sets the progress, and tells it when the last time was a tenth of a second ago or `now`.
    void update(const std::function<void(Progress&)>& change, bool now = false);

    std::function<void()> told_;
    std::atomic<bool> cancelled_{false};
    mutable std::mutex lock_;
    Progress progress_;
    std::chrono::steady_clock::time_point lastTold_;
    std::thread thread_;
};

}  // namespace frm
