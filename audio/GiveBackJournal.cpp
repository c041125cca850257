#include "audio/GiveBackJournal.h"

#include <pthread.h>

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <filesystem>
#include <limits>

#include "devicelink/DeviceBase.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

using boost::property_tree::wptree;

constexpr const wchar_t* kRoot = L"alarm_give_back";
// The last change the file holds.
constexpr const wchar_t* kChange = L"alarm_give_back.<xmlattr>.change";

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
          {}},
      slots_(path_.empty() ? std::wstring() : slotsPath(path_)) {
    if (path_.empty()) return;
    read();
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

std::wstring GiveBackJournal::slotsPath(const std::wstring& path) {
    const std::wstring extension = L".xml";
    const bool xml = path.size() >= extension.size() &&
                     path.compare(path.size() - extension.size(), extension.size(), extension) == 0;
    return (xml ? path.substr(0, path.size() - extension.size()) : path) + L".slots";
}

std::map<GiveBackJournal::Key, GiveBackJournal::Record> GiveBackJournal::readFile(
    std::optional<std::uint64_t>& change) {
    const debug::Place place("frm::GiveBackJournal::load");
    std::map<Key, Record> records;
    change = 0;
    wptree tree;
    storage::StateFileRead read = storage::readStateFile(path_, tree, kMaximumFileSize);
    if (read == storage::StateFileRead::loaded && !tree.get_child_optional(kRoot)) {
        read = storage::keepAsideDamaged(path_,
                                         L"это не список громкоговорителей, которым не возвращены "
                                         L"канал и громкость после оповещения");
    }
    blocked_ = read == storage::StateFileRead::unreadable;
    if (read != storage::StateFileRead::loaded) return records;
    std::int64_t named = 0;
    const std::string changeText = base::toUtf8(tree.get(kChange, std::wstring()));
    if (device::DeviceBase::parseIntValue(changeText, named, 1, std::numeric_limits<std::int64_t>::max())) {
        change = static_cast<std::uint64_t>(named);
    } else {
        change.reset();
    }
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
        records[keyOf(record->address)] = *record;
    }
    return records;
}

void GiveBackJournal::read() {
    std::lock_guard<std::mutex> guard(lock_);
    std::optional<std::uint64_t> written;
    records_ = readFile(written);
    // A file of an older program is newer than any slot: that program wrote no slots.
    std::uint64_t last = written.value_or(0);
    bool newer = !written && !records_.empty();
    for (const GiveBackSlots::Stored& stored : slots_.found()) {
        last = std::max(last, stored.change);
        if (!written || stored.change <= *written) continue;
        // Stored after the file was written: the program ended before its writer caught up.
        newer = true;
        if (stored.erased) {
            records_.erase(keyOf(stored.record.address));
        } else {
            records_[keyOf(stored.record.address)] = stored.record;
        }
    }
    // The slots hold from now on what the two held together, under a change newer than both.
    first_ = last + 1;
    for (const GiveBackSlots::Stored& stored : slots_.found())
        if (!stored.erased && records_.count(keyOf(stored.record.address)) == 0)
            slots_.erase(stored.record.address, first_);
    for (const auto& [key, record] : records_) {
        slot(record, first_);
        left_.push_back(record);
    }
    // The journal's file is brought up to what the slots held.
    if (newer) ++changes_;
}

void GiveBackJournal::update(const std::vector<Record>& put,
                             const std::vector<net::HardwareAddress>& erased) {
    if (path_.empty()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<net::HardwareAddress> gone;
        for (const net::HardwareAddress& address : erased)
            if (records_.erase(keyOf(address)) > 0) gone.push_back(address);
        if (put.empty() && gone.empty()) return;
        ++changes_;
        // In the slots before the caller goes on to the loudspeaker.
        const std::uint64_t change = first_ + changes_;
        for (const net::HardwareAddress& address : gone) slots_.erase(address, change);
        for (const Record& record : put) {
            records_[keyOf(record.address)] = record;
            slot(record, change);
        }
    }
    changed_.notify_all();
}

void GiveBackJournal::slot(const Record& record, std::uint64_t change) {
    if (slots_.put(record, change) || !slots_.open() || slotsFull_) return;
    slotsFull_ = true;
    debug::Place("frm::GiveBackJournal::update")
        .important(
            L"More loudspeakers are owed a give-back than '%1%' has slots for: those beyond are "
            L"kept in the journal's file alone",
            slotsPath(path_));
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
        const bool ok = write(records, first_ + taken);
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
        // The slots first: a file on disk never names a change that its slots on disk lack.
        const bool ok = slots_.sync() && syncer_(path_);
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

bool GiveBackJournal::write(const std::map<Key, Record>& records, std::uint64_t change) {
    if (records.empty()) return writer_(path_, std::string());
    wptree tree;
    wptree& root = tree.put_child(kRoot, wptree());
    tree.put(kChange, std::to_wstring(change));
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
