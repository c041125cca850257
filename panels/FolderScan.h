#pragma once
// Lists the files of a folder tree on a thread of its own, so that the GUI thread can show how
// far a large tree has come and let the operator cancel it. Symbolic links to folders are not
// followed (base::listFiles), so a link loop ends like any other tree.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/Files.h"

namespace frm {

class FolderScan {
public:
    // How a folder tree is listed: base::listFiles with its recursion.
    using Lister = std::function<std::vector<std::wstring>(
        const std::wstring& folder, const std::wstring& extensions, const base::ListingProgress& progress)>;
    static std::vector<std::wstring> listTree(const std::wstring& folder, const std::wstring& extensions,
                                              const base::ListingProgress& progress);

    // Starts listing the files of the folder and of all its subfolders whose extensions are in
    // the ';'-separated list ("*.mp3;*.wav"), hidden files left out.
    FolderScan(const std::wstring& folder, const std::wstring& extensions, const Lister& lister = listTree);
    // Cancels a walk that still runs and waits for its thread.
    ~FolderScan();
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    // Whether the walk has ended; waits for it at most `timeout`.
    bool waitFor(std::chrono::milliseconds timeout);
    std::size_t foldersEntered() const { return entered_.load(); }
    // Stops the walk as it enters the next folder; the listing is then incomplete.
    void cancel() { cancelled_.store(true); }
    bool cancelled() const { return cancelled_.load(); }
    // The listing, in the walk's order, once the walk has ended uncancelled; empty otherwise.
    std::vector<std::wstring> files() const;

private:
    std::atomic<std::size_t> entered_{0};
    std::atomic<bool> cancelled_{false};
    mutable std::mutex lock_;
    std::condition_variable ended_;
    bool done_ = false;
    std::vector<std::wstring> files_;
    std::thread thread_;
};

}  // namespace frm
