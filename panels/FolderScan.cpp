#include "panels/FolderScan.h"

namespace frm {

std::vector<std::wstring> FolderScan::listTree(const std::wstring& folder, const std::wstring& extensions,
                                               const base::ListingProgress& progress) {
    return base::listFiles(true, folder, extensions, progress);
}

FolderScan::FolderScan(const std::wstring& folder, const std::wstring& extensions, const Lister& lister) {
    thread_ = std::thread([this, folder, extensions, lister] {
        std::vector<std::wstring> files = lister(folder, extensions, [this](std::size_t entered) {
            entered_.store(entered);
            return !cancelled_.load();
        });
        std::lock_guard<std::mutex> guard(lock_);
        if (!cancelled_.load()) files_ = std::move(files);
        done_ = true;
        ended_.notify_all();
    });
}

FolderScan::~FolderScan() {
    cancel();
    thread_.join();
}

bool FolderScan::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    return ended_.wait_for(guard, timeout, [this] { return done_; });
}

std::vector<std::wstring> FolderScan::files() const {
    std::lock_guard<std::mutex> guard(lock_);
    return done_ && !cancelled_.load() ? files_ : std::vector<std::wstring>();
}

}  // namespace frm
