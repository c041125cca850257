#include "app/StateSaver.h"

#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

// The file's bytes, or none when it is missing or cannot be read: it is then written.
std::optional<std::string> bytesOnDisk(const std::wstring& path) {
    if (!base::pathExists(path)) return std::nullopt;
    try {
        return base::readFile(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

StateSaver::StateSaver(std::chrono::milliseconds period, Request request, Writer writer)
    : request_(std::move(request)),
      writer_(std::move(writer)),
      thread_("state saver", period, [this] { round(); }) {}

void StateSaver::start() {
    thread_.start();
}

bool StateSaver::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopped_ = true;
        offered_.reset();
    }
    thread_.stop();
    return !failing();
}

void StateSaver::offer(Snapshot snapshot) {
    std::lock_guard<std::mutex> guard(lock_);
    requested_ = false;
    if (!stopped_) offered_ = std::move(snapshot);
}

bool StateSaver::failing() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !failing_.empty();
}

void StateSaver::round() {
    std::optional<Snapshot> snapshot;
    bool request = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        snapshot.swap(offered_);
        request = !requested_ && !stopped_;
        requested_ = requested_ || request;
    }
    if (snapshot) {
        for (const File& file : *snapshot) write(file);
    }
    if (request) request_();
}

void StateSaver::write(const File& file) {
    std::string bytes;
    try {
        bytes = file.text();
    } catch (const std::exception& error) {
        failed(file.path, exception::textOf(error));
        return;
    }
    auto known = onDisk_.find(file.path);
    if (known == onDisk_.end()) known = onDisk_.emplace(file.path, bytesOnDisk(file.path)).first;
    if (known->second != bytes) {
        const base::AtomicWriteResult result = writer_(file.path, bytes);
        if (!result.ok()) {
            failed(file.path, base::widen(os::errorText(result.systemError)));
            return;
        }
        known->second = std::move(bytes);
    }
    settled(file.path);
}

void StateSaver::failed(const std::wstring& path, const std::wstring& why) {
    const debug::Place place("frm::StateSaver::write");
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        first = failing_.insert(path).second;
    }
    // Told once: the file is tried again at every round while the failure lasts.
    if (first) {
        place.error(L"Файл '%1%' не сохранён: %2%", path, why);
    } else {
        place.debug(L"Файл '%1%' не сохранён: %2%", path, why);
    }
}

void StateSaver::settled(const std::wstring& path) {
    bool recovered = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        recovered = failing_.erase(path) > 0;
    }
    if (recovered) debug::Place("frm::StateSaver::write").info(L"Файл '%1%' сохранён", path);
}

}  // namespace frm
