#include "audio/GiveBackJournal.h"

#include <pthread.h>

#include <boost/property_tree/ptree.hpp>
#include <filesystem>

#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

using boost::property_tree::wptree;

constexpr const wchar_t* kRoot = L"alarm_give_back";

wptree toTree(const GiveBackJournal::Record& record) {
    wptree element;
    element.put(L"hardwareAddress", base::widen(record.address.canonicalText()));
    element.put(L"switched", record.switched ? L"true" : L"false");
    if (record.level) {
        element.put(L"scale", record.level->perChannel ? L"channels" : L"dB");
        element.put(L"level", base::widen(record.level->text()));
        element.put(L"percent", std::to_wstring(record.level->percent));
    }
    if (record.told) element.put(L"told", L"true");
    return element;
}

// The level of a record's element; none when it does not read.
std::optional<device::VokarInfo::Level> levelFromTree(const wptree& element, const std::wstring& scale) {
    if (scale != L"dB" && scale != L"channels") return std::nullopt;
    std::int32_t percent = -1;
    try {
        percent = std::stoi(element.get(L"percent", std::wstring()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return device::VokarInfo::Level::fromText(scale == L"channels",
                                              base::toUtf8(element.get(L"level", std::wstring())), percent);
}

// The record, or none when its address or switch is missing or does not read. A level that does
// not read is left out (`levelUnread`): the switch back is still owed.
std::optional<GiveBackJournal::Record> fromTree(const wptree& element, bool& levelUnread) {
    GiveBackJournal::Record record;
    record.address = net::HardwareAddress(base::toUtf8(element.get(L"hardwareAddress", std::wstring())));
    const std::wstring switched = element.get(L"switched", std::wstring());
    if (!record.address.isValid() || (switched != L"true" && switched != L"false")) return std::nullopt;
    record.switched = switched == L"true";
    record.told = element.get(L"told", std::wstring()) == L"true";
    const auto scale = element.get_optional<std::wstring>(L"scale");
    if (!scale) return record;
    record.level = levelFromTree(element, *scale);
    levelUnread = !record.level;
    return record;
}

}  // namespace

bool GiveBackJournal::writeFile(const std::wstring& path, const std::string& text) {
    if (text.empty()) {
        std::error_code error;
        std::filesystem::remove(std::filesystem::path(path), error);
        return !error;
    }
    return base::writeFileAtomically(path, text).failure == base::AtomicWriteResult::none;
}

GiveBackJournal::GiveBackJournal(std::wstring path, Writer writer)
    : path_(std::move(path)), writer_(std::move(writer)) {
    if (!path_.empty()) writerThread_ = std::thread([this] { writeLoop(); });
}

GiveBackJournal::~GiveBackJournal() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
    }
    changed_.notify_all();
    if (writerThread_.joinable()) writerThread_.join();
}

std::vector<GiveBackJournal::Record> GiveBackJournal::load() {
    const debug::Place place("frm::GiveBackJournal::load");
    std::vector<Record> loaded;
    if (path_.empty()) return loaded;
    wptree tree;
    storage::StateFileRead read = storage::readStateFile(path_, tree, kMaximumFileSize);
    if (read == storage::StateFileRead::loaded && !tree.get_child_optional(kRoot)) {
        read = storage::keepAsideDamaged(path_,
                                         L"это не список громкоговорителей, которым не возвращены "
                                         L"канал и громкость после оповещения");
    }
    if (read == storage::StateFileRead::unreadable) {
        std::lock_guard<std::mutex> guard(lock_);
        blocked_ = true;
    }
    if (read != storage::StateFileRead::loaded) return loaded;
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [name, element] : tree.get_child(kRoot)) {
        if (name.empty() || name.front() == L'<') continue;
        bool levelUnread = false;
        const std::optional<Record> record = fromTree(element, levelUnread);
        if (!record) {
            place.error(
                L"Запись о громкоговорителе, которому не возвращены канал и громкость после "
                L"оповещения, не прочитана и пропущена: '%1%'",
                element.get(L"hardwareAddress", std::wstring()));
            continue;
        }
        if (levelUnread) {
            place.error(
                L"Уровень громкости в записи о громкоговорителе '%1%', которому не возвращены канал и "
                L"громкость после оповещения, не прочитан: громкоговоритель сохранит нынешний уровень",
                base::widen(record->address.canonicalText()));
        }
        records_[keyOf(record->address)] = *record;
        loaded.push_back(*record);
    }
    return loaded;
}

void GiveBackJournal::update(const std::vector<Record>& put,
                             const std::vector<net::HardwareAddress>& erased) {
    if (path_.empty()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        bool changed = !put.empty();
        for (const Record& record : put) records_[keyOf(record.address)] = record;
        for (const net::HardwareAddress& address : erased)
            changed = records_.erase(keyOf(address)) > 0 || changed;
        if (!changed) return;
        ++changes_;
    }
    changed_.notify_all();
}

void GiveBackJournal::writeLoop() {
    pthread_setname_np(pthread_self(), "alarm journal");
    const debug::Place place("frm::GiveBackJournal::write");
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return ending_ || (written_ < changes_ && !blocked_); });
        if (blocked_ || written_ == changes_) return;
        // A disk that stalls holds the program's end only for the write it is in.
        if (ending_ && (failing_ || slow_)) {
            guard.unlock();
            place.important(
                L"The last changes of the loudspeakers to give back after an alarm are not "
                L"written to '%1%': its writes are slow or fail",
                path_);
            return;
        }
        const std::map<Key, Record> records = records_;
        const std::uint64_t taken = changes_;
        guard.unlock();
        const auto start = std::chrono::steady_clock::now();
        const bool ok = write(records);
        const bool slow = std::chrono::steady_clock::now() - start > kSlowWrite;
        // This thread alone changes failing_ and slow_: they are read without the lock, so that an
        // alarm's changes never wait for the log. Told once while the writes fail, and once when they work
        // again; likewise while slow.
        if (ok == failing_) {
            place.important(ok ? L"The loudspeakers to give back after an alarm are written to '%1%' again"
                               : L"The loudspeakers to give back after an alarm could not be written to "
                                 L"'%1%': a program that ends now does not give them back at its next start",
                            path_);
        }
        if (slow != slow_) {
            place.important(
                slow ? L"The loudspeakers to give back after an alarm are written slowly to '%1%': "
                       L"a program that ends during a write does not give back what it holds"
                     : L"The loudspeakers to give back after an alarm are written quickly to '%1%' "
                       L"again",
                path_);
        }
        guard.lock();
        failing_ = !ok;
        slow_ = slow;
        written_ = taken;
    }
}

bool GiveBackJournal::write(const std::map<Key, Record>& records) {
    if (records.empty()) return writer_(path_, std::string());
    wptree tree;
    wptree& root = tree.put_child(kRoot, wptree());
    for (const auto& entry : records) root.add_child(L"loudspeaker", toTree(entry.second));
    // Written through the journal's own writer rather than storage::save, which shows every
    // failure to the operator: during an alarm that is a box a loudspeaker.
    try {
        return writer_(path_, storage::xmlText(tree, kMaximumFileSize));
    } catch (const storage::TooLarge&) {
        // Told as any write that failed; the file keeps the records it held, which the next start reads.
        return false;
    }
}

}  // namespace frm
