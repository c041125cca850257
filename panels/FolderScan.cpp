#include "panels/FolderScan.h"

#include "foundation/Files.h"

namespace frm {

FolderScan::FolderScan(const std::wstring& folder, const std::wstring& extensions) {
    thread_ = std::thread([this, folder, extensions] {
        std::vector<std::wstring> files =
            base::listFiles(true, folder, extensions, [this](std::size_t entered) {
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
