#include "panels/FolderAddition.h"

namespace frm {
namespace {

constexpr auto kToldEvery = std::chrono::milliseconds(100);

}  // namespace

FolderAddition::FolderAddition(const std::wstring& folder, const std::wstring& extensions,
                               const FolderScan::Lister& lister, Add add, std::function<void()> told)
    : told_(std::move(told)), lastTold_(std::chrono::steady_clock::now()) {
    thread_ = std::thread([this, folder, extensions, lister, add = std::move(add)] {
        std::vector<std::wstring> files;
        {
            FolderScan scan(folder, extensions, lister);
            while (!scan.waitFor(kToldEvery)) {
                if (cancelled_.load()) scan.cancel();
                update([&](Progress& progress) { progress.folders = scan.foldersEntered(); }, true);
            }
            files = scan.files();
            update([&](Progress& progress) {
                progress.folders = scan.foldersEntered();
                progress.files = files.size();
                progress.stage = Progress::adding;
            });
        }
        if (!cancelled_.load() && !files.empty()) {
            add(files, [this](std::size_t handled) {
                update([handled](Progress& progress) { progress.added = handled; });
                return !cancelled_.load();
            });
        }
        update([](Progress& progress) { progress.stage = Progress::ended; }, true);
    });
}

FolderAddition::~FolderAddition() {
    cancel();
    thread_.join();
}

FolderAddition::Progress FolderAddition::progress() const {
    std::lock_guard<std::mutex> guard(lock_);
    return progress_;
}

void FolderAddition::update(const std::function<void(Progress&)>& change, bool now) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        change(progress_);
        const auto time = std::chrono::steady_clock::now();
        if (!now && time - lastTold_ < kToldEvery) return;
        lastTold_ = time;
    }
    if (told_) told_();
}

}  // namespace frm
