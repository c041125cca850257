#include "audio/GiveBackJournal.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <filesystem>
#include <sstream>

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
    return element;
}

// The record, or none when an element is missing or does not read.
std::optional<GiveBackJournal::Record> fromTree(const wptree& element) {
    GiveBackJournal::Record record;
    record.address = net::HardwareAddress(base::toUtf8(element.get(L"hardwareAddress", std::wstring())));
    const std::wstring switched = element.get(L"switched", std::wstring());
    if (!record.address.isValid() || (switched != L"true" && switched != L"false")) return std::nullopt;
    record.switched = switched == L"true";
    const auto scale = element.get_optional<std::wstring>(L"scale");
    if (!scale) return record;
    if (*scale != L"dB" && *scale != L"channels") return std::nullopt;
    std::int32_t percent = -1;
    try {
        percent = std::stoi(element.get(L"percent", std::wstring()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    record.level = device::VokarInfo::Level::fromText(
        *scale == L"channels", base::toUtf8(element.get(L"level", std::wstring())), percent);
    if (!record.level) return std::nullopt;
    return record;
}

}  // namespace

GiveBackJournal::GiveBackJournal(std::wstring path) : path_(std::move(path)) {}

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
        std::lock_guard<std::mutex> guard(writeLock_);
        blocked_ = true;
    }
    if (read != storage::StateFileRead::loaded) return loaded;
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [name, element] : tree.get_child(kRoot)) {
        if (name.empty() || name.front() == L'<') continue;
        const std::optional<Record> record = fromTree(element);
        if (!record) {
            place.error(
                L"Запись о громкоговорителе, которому не возвращены канал и громкость после "
                L"оповещения, не прочитана и пропущена: '%1%'",
                element.get(L"hardwareAddress", std::wstring()));
            continue;
        }
        records_[keyOf(record->address)] = *record;
        loaded.push_back(*record);
    }
    return loaded;
}

void GiveBackJournal::put(const Record& record) {
    if (path_.empty()) return;
    std::uint64_t change = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        records_[keyOf(record.address)] = record;
        change = ++changes_;
    }
    writeUntil(change);
}

void GiveBackJournal::erase(const net::HardwareAddress& address) {
    if (path_.empty()) return;
    std::uint64_t change = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (records_.erase(keyOf(address)) == 0) return;
        change = ++changes_;
    }
    writeUntil(change);
}

void GiveBackJournal::writeUntil(std::uint64_t change) {
    std::lock_guard<std::mutex> writing(writeLock_);
    if (written_ >= change || blocked_) return;
    std::map<Key, Record> records;
    std::uint64_t taken = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        records = records_;
        taken = changes_;
    }
    const bool ok = write(records);
    // Told once while the writes fail, and once when they work again.
    if (ok == failing_) {
        debug::Place("frm::GiveBackJournal::writeUntil")
            .important(ok ? L"The loudspeakers to give back after an alarm are written to '%1%' again"
                          : L"The loudspeakers to give back after an alarm could not be written to '%1%': a "
                            L"program that "
                            L"ends now does not give them back at its next start",
                       path_);
    }
    failing_ = !ok;
    written_ = taken;
}

bool GiveBackJournal::write(const std::map<Key, Record>& records) {
    if (records.empty()) {
        std::error_code error;
        std::filesystem::remove(std::filesystem::path(path_), error);
        return !error;
    }
    wptree tree;
    wptree& root = tree.put_child(kRoot, wptree());
    for (const auto& entry : records) root.add_child(L"loudspeaker", toTree(entry.second));
    // Written by hand rather than by storage::save, which shows every failure to the operator:
    // during an alarm that is a box a loudspeaker.
    std::wostringstream text;
    boost::property_tree::write_xml(
        text, tree, boost::property_tree::xml_writer_make_settings<std::wstring>(L' ', 0, L"utf-8"));
    return base::writeFileAtomically(path_, base::toUtf8(text.str())).failure ==
           base::AtomicWriteResult::none;
}

}  // namespace frm
