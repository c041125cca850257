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

// What of a record does not read.
struct Unread {
    bool switched = false;
    bool level = false;
};

// The record, or none when its address is missing or does not read. A switch that does not read
// is owed (`unread.switched`): the loudspeaker may be on the alarm channel. A level that does not
// read is left out (`unread.level`): the switch back is still owed.
std::optional<GiveBackJournal::Record> fromTree(const wptree& element, Unread& unread) {
    GiveBackJournal::Record record;
    record.address = net::HardwareAddress(base::toUtf8(element.get(L"hardwareAddress", std::wstring())));
    if (!record.address.isValid()) return std::nullopt;
    const std::wstring switched = element.get(L"switched", std::wstring());
    unread.switched = switched != L"true" && switched != L"false";
    record.switched = switched != L"false";
    record.told = element.get(L"told", std::wstring()) == L"true";
    const auto scale = element.get_optional<std::wstring>(L"scale");
    if (!scale) return record;
    record.level = levelFromTree(element, *scale);
    unread.level = !record.level;
    return record;
}

}  // namespace

bool GiveBackJournal::writeFile(const std::wstring& path, const std::string& text) {
    if (text.empty()) {
        std::error_code error;
        std::filesystem::remove(std::filesystem::path(path), error);
        return !error;
    }
    // In place before the flush: a program killed while the disk stalls still leaves it.
    return base::replaceFileUnsynced(path, text).ok();
}

bool GiveBackJournal::syncFile(const std::wstring& path) {
    return base::syncFile(path);
}

GiveBackJournal::GiveBackJournal(std::wstring path, Writer writer, Syncer syncer)
    : path_(std::move(path)),
      writer_(std::move(writer)),
      syncer_(std::move(syncer)),
      writeStep_{
          L"The loudspeakers to give back after an alarm could not be written to '%1%': a program "
          L"that ends now does not give them back at its next start",
          L"The loudspeakers to give back after an alarm are written to '%1%' again",
          L"The loudspeakers to give back after an alarm are written slowly to '%1%': a program "
          L"that ends during a write does not give back what it holds",
          L"The loudspeakers to give back after an alarm are written quickly to '%1%' again",
          false,
          {}},
      syncStep_{
          L"The loudspeakers to give back after an alarm could not be flushed to the disk of "
          L"'%1%': a power cut now loses them",
          L"The loudspeakers to give back after an alarm are flushed to the disk of '%1%' again",
          L"The loudspeakers to give back after an alarm are flushed slowly to the disk of '%1%': "
          L"a power cut during a flush loses what it holds",
          L"The loudspeakers to give back after an alarm are flushed quickly to the disk of '%1%' "
          L"again",
          false,
          {}} {
    if (path_.empty()) return;
    writerThread_ = std::thread([this] { writeLoop(); });
    syncThread_ = std::thread([this] { syncLoop(); });
    watchThread_ = std::thread([this] { watchLoop(); });
}

GiveBackJournal::~GiveBackJournal() {
    bool busy = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
        busy = writeStep_.busy || syncStep_.busy;
    }
    changed_.notify_all();
    if (busy) {
        debug::Place("frm::GiveBackJournal::~GiveBackJournal")
            .info(L"The end waits for the write or the flush of '%1%' under way", path_);
    }
    for (std::thread* thread : {&writerThread_, &syncThread_, &watchThread_})
        if (thread->joinable()) thread->join();
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
        Unread unread;
        const std::optional<Record> record = fromTree(element, unread);
        if (!record) {
            place.error(
                L"Запись о громкоговорителе, которому не возвращены канал и громкость после "
                L"оповещения, не прочитана и пропущена: '%1%'",
                element.get(L"hardwareAddress", std::wstring()));
            continue;
        }
        if (unread.switched) {
            place.error(
                L"Отметка о переключении в записи о громкоговорителе '%1%', которому не возвращены канал и "
                L"громкость после оповещения, не прочитана: громкоговоритель будет возвращён на общий канал",
                base::widen(record->address.canonicalText()));
        }
        if (unread.level) {
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

void GiveBackJournal::tell(std::unique_lock<std::mutex>& guard, const wchar_t* text) {
    // Told without the lock, so that an alarm's changes never wait for the log.
    guard.unlock();
    debug::Place("frm::GiveBackJournal::write").important(text, path_);
    guard.lock();
}

void GiveBackJournal::begin(Step& step) {
    step.busy = true;
    step.since = std::chrono::steady_clock::now();
    changed_.notify_all();
}

void GiveBackJournal::end(std::unique_lock<std::mutex>& guard, Step& step, bool ok) {
    step.busy = false;
    // The watch may have told it slow already.
    const bool slow = std::chrono::steady_clock::now() - step.since >= kSlowWrite;
    const bool failedNow = ok == step.failing;
    const bool slowNow = slow != step.slow;
    step.failing = !ok;
    step.slow = slow;
    changed_.notify_all();
    if (failedNow) tell(guard, ok ? step.again : step.failed);
    if (slowNow) tell(guard, slow ? step.slowly : step.quickly);
}

void GiveBackJournal::writeLoop() {
    pthread_setname_np(pthread_self(), "alarm journal");
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return ending_ || (written_ < changes_ && !blocked_); });
        if (blocked_ || written_ == changes_) break;
        // A disk that stalls holds the program's end only for the write it is in.
        if (ending_ && (writeStep_.failing || writeStep_.slow)) {
            tell(guard,
                 L"The last changes of the loudspeakers to give back after an alarm are not "
                 L"written to '%1%': its writes are slow or fail");
            break;
        }
        const std::map<Key, Record> records = records_;
        const std::uint64_t taken = changes_;
        begin(writeStep_);
        guard.unlock();
        const bool ok = write(records);
        guard.lock();
        written_ = taken;
        if (ok) ++writes_;
        end(guard, writeStep_, ok);
    }
    writerDone_ = true;
    changed_.notify_all();
}

void GiveBackJournal::syncLoop() {
    pthread_setname_np(pthread_self(), "journal flush");
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        // The writes go on while a flush stalls; the next flush takes every write done until then.
        changed_.wait(guard, [this] { return writerDone_ || synced_ < writes_; });
        if (synced_ == writes_) break;
        if (writerDone_ && (syncStep_.failing || syncStep_.slow)) {
            tell(guard,
                 L"The last changes of the loudspeakers to give back after an alarm are not "
                 L"flushed to the disk of '%1%': its flushes are slow or fail");
            break;
        }
        const std::uint64_t taken = writes_;
        begin(syncStep_);
        guard.unlock();
        const bool ok = syncer_(path_);
        guard.lock();
        synced_ = taken;
        end(guard, syncStep_, ok);
    }
    syncerDone_ = true;
    changed_.notify_all();
}

void GiveBackJournal::watchLoop() {
    pthread_setname_np(pthread_self(), "journal watch");
    std::unique_lock<std::mutex> guard(lock_);
    while (!writerDone_ || !syncerDone_) {
        // The step under way longest that is not told slow yet.
        Step* late = nullptr;
        for (Step* step : {&writeStep_, &syncStep_}) {
            if (step->busy && !step->slow && (!late || step->since < late->since)) late = step;
        }
        if (!late) {
            changed_.wait(guard);
            continue;
        }
        const auto due = late->since + kSlowWrite;
        if (std::chrono::steady_clock::now() < due) {
            changed_.wait_until(guard, due);
            continue;
        }
        late->slow = true;
        tell(guard, late->slowly);
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
