#include "app/StateSaver.h"

#include <malloc.h>
#include <pthread.h>

#include <algorithm>

#include "foundation/Crc32.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

constexpr const char* kPlace = "frm::StateSaver::write";

}  // namespace

StateSaver::StateSaver(OnOwner onOwner, Writer writer, std::chrono::milliseconds settle,
                       std::chrono::milliseconds retry)
    : onOwner_(std::move(onOwner)), writer_(std::move(writer)), settle_(settle), retry_(retry) {
    watch_ = std::thread([this] { watchWrites(); });
}

StateSaver::~StateSaver() {
    stop();
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
    }
    writes_.notify_all();
    watch_.join();
}

void StateSaver::watch(base::ChangeMark mark, Take take) {
    const std::uint64_t now = mark.revision();
    kinds_.push_back({std::move(mark), std::move(take), now});
}

void StateSaver::keepAsIs(const std::wstring& path) {
    keptAsIs_.insert(path);
}

void StateSaver::start() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (thread_.joinable() || stopping_) return;
    }
    for (Kind& kind : kinds_) kind.mark.watch([this] { wake(); });
    {
        // What changed since it was told of the kinds is taken at once.
        std::lock_guard<std::mutex> guard(lock_);
        woken_ = true;
    }
    thread_ = std::thread([this] { run(); });
}

void StateSaver::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        taken_.reset();
    }
    changed_.notify_all();
    for (const Kind& kind : kinds_) kind.mark.watch(nullptr);
    if (thread_.joinable()) thread_.join();
}

void StateSaver::wake() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        woken_ = true;
    }
    changed_.notify_all();
}

bool StateSaver::failing() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !failing_.empty();
}

void StateSaver::run() {
    pthread_setname_np(pthread_self(), "state saver");
    // The task given to the owner takes nothing once the saver is gone.
    const auto alive = std::make_shared<bool>(true);
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        // A mark wakes it; a write that failed is tried again each second.
        const auto due = [this] { return stopping_ || woken_; };
        const bool retrying = std::any_of(failing_.begin(), failing_.end(),
                                          [](const auto& entry) { return entry.second.has_value(); });
        if (!retrying) {
            changed_.wait(guard, due);
        } else {
            changed_.wait_for(guard, retry_, due);
        }
        // The rest of a burst comes within the settle, and is written with its start.
        if (woken_ && changed_.wait_for(guard, settle_, [this] { return stopping_; })) break;
        if (stopping_) break;
        woken_ = false;
        std::vector<std::size_t> changed;
        for (std::size_t index = 0; index < kinds_.size(); ++index) {
            // Counted before it is taken: a change made while it is taken is taken once more.
            const std::uint64_t revision = kinds_[index].mark.revision();
            if (revision == kinds_[index].taken) continue;
            kinds_[index].taken = revision;
            changed.push_back(index);
        }
        Snapshot files;
        if (!changed.empty()) {
            taken_.reset();
            guard.unlock();
            onOwner_([this, changed, living = std::weak_ptr<bool>(alive)] {
                if (living.expired()) return;
                Snapshot taken;
                for (const std::size_t index : changed) {
                    try {
                        for (File& file : kinds_[index].take()) taken.push_back(std::move(file));
                    } catch (const std::exception& error) {
                        debug::Place(kPlace).error(L"Состояние не сохранено: %1%", exception::textOf(error));
                    }
                }
                {
                    std::lock_guard<std::mutex> taking(lock_);
                    if (!stopping_) taken_ = std::move(taken);
                }
                changed_.notify_all();
            });
            guard.lock();
            changed_.wait(guard, [this] { return stopping_ || taken_.has_value(); });
            if (stopping_) break;
            files = std::move(*taken_);
            taken_.reset();
        }
        for (const auto& entry : failing_) {
            const std::optional<File>& file = entry.second;
            if (!file) continue;
            const bool replaced = std::any_of(files.begin(), files.end(),
                                              [&](const File& newer) { return newer.path == entry.first; });
            if (!replaced) files.push_back(*file);
        }
        guard.unlock();
        for (const File& file : files) {
            if (keptAsIs_.count(file.path) == 0) write(file);
        }
        // The trees and texts of a large site take tens of megabytes for a moment: given back, so
        // that the program at rest holds what it held before.
        files.clear();
        if (!changed.empty()) malloc_trim(0);
        guard.lock();
    }
}

bool StateSaver::writeChanged(const Snapshot& files) {
    // Its writes end before these, which it must not follow with an older state.
    stop();
    bool written = true;
    for (const File& file : files) {
        if (keptAsIs_.count(file.path) != 0) {
            debug::Place("frm::StateSaver::writeChanged")
                .warn(L"Файл '%1%' не сохранён: прочитать его не удалось, и он оставлен как есть", file.path);
            written = false;
            continue;
        }
        if (!write(file)) written = false;
    }
    // A file the saver could not write and the stop did not write since is not saved either.
    return written && !failing();
}

bool StateSaver::write(const File& file) {
    std::string bytes;
    try {
        bytes = file.text();
    } catch (const std::exception& error) {
        // The same state makes the same text: tried again at its next change, not each second.
        failed(file, exception::textOf(error), false);
        return false;
    }
    const Digest digest{bytes.size(), base::crc32(bytes)};
    auto known = onDisk_.find(file.path);
    if (known == onDisk_.end()) {
        // The first look reads the whole file, as its kind's reader would take it, a piece at a
        // time: tens of megabytes are not held for a digest.
        Digest onDisk;
        std::optional<Digest> found;
        if (base::pathExists(file.path) &&
            base::readRegularFilePieces(file.path, file.bound, [&](const char* piece, std::size_t count) {
                onDisk.size += count;
                onDisk.crc = base::crc32(piece, count, onDisk.crc);
            }) == base::RegularFileRead::read)
            found = onDisk;
        known = onDisk_.emplace(file.path, found).first;
    }
    if (!(known->second == digest)) {
        if (!writeBytes(file, bytes)) return false;
        known->second = digest;
    }
    settled(file.path);
    return true;
}

bool StateSaver::writeBytes(const File& file, const std::string& bytes) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        writing_ = file.path;
        ++writeCount_;
    }
    writes_.notify_all();
    const auto started = std::chrono::steady_clock::now();
    const base::AtomicWriteResult result = writer_(file.path, bytes);
    bool told = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        writing_.reset();
        told = slowTold_;
        slowTold_ = false;
    }
    writes_.notify_all();
    if (told) {
        const auto held =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        debug::Place(kPlace).info(L"Запись файла '%1%' закончилась через %2% мс", file.path, held.count());
    }
    if (result.ok()) return true;
    failed(file, base::widen(os::errorText(result.systemError)));
    return false;
}

void StateSaver::watchWrites() {
    pthread_setname_np(pthread_self(), "state watch");
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        writes_.wait(guard, [this] { return ending_ || writing_.has_value(); });
        if (ending_) return;
        const std::uint64_t count = writeCount_;
        const auto over = [&] { return ending_ || !writing_ || writeCount_ != count; };
        if (writes_.wait_for(guard, kSlowWrite, over)) continue;
        // Told once while it is held: a stalled disk shows before the write gives up.
        slowTold_ = true;
        const std::wstring path = *writing_;
        guard.unlock();
        debug::Place(kPlace).warn(L"Запись файла '%1%' длится больше секунды: диск не отвечает", path);
        guard.lock();
        writes_.wait(guard, over);
    }
}

void StateSaver::failed(const File& file, const std::wstring& why, bool retry) {
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        first = failing_.count(file.path) == 0;
        failing_.insert_or_assign(file.path, retry ? std::optional<File>(file) : std::nullopt);
    }
    // Told once: the file is tried again each second while the failure lasts.
    const debug::Place place(kPlace);
    if (first) {
        place.error(L"Файл '%1%' не сохранён: %2%", file.path, why);
    } else {
        place.debug(L"Файл '%1%' не сохранён: %2%", file.path, why);
    }
}

void StateSaver::settled(const std::wstring& path) {
    bool recovered = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        recovered = failing_.erase(path) > 0;
    }
    if (recovered) debug::Place(kPlace).info(L"Файл '%1%' сохранён", path);
}

}  // namespace frm
