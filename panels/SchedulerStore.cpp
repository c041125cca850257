#include "panels/SchedulerStore.h"

#include <boost/format.hpp>
#include <cstring>
#include <set>
#include <sstream>
#include <string_view>

#include "audio/PlaceFolders.h"
#include "audio/PlaybackTrack.h"
#include "devicelink/DeviceBase.h"
#include "foundation/Crc32.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

using boost::property_tree::wptree;
using scheduler::task::BaseTask;
using scheduler::task::DataVault;

// The summary box lists this many records; the count covers them all.
constexpr std::size_t kListedErrors = 20;
// A file's text quoted in a report is cut to this length.
constexpr std::size_t kQuoted = 64;

std::wstring quoted(const std::wstring& text) {
    return text.size() <= kQuoted ? text : text.substr(0, kQuoted) + L"...";
}

std::wstring badRecord(const std::wstring& reason) {
    return L"Ошибка загрузки заданий планировщика (" + reason + L")";
}

// The text of a child element, which must be there.
std::wstring required(const wptree& element, const wchar_t* name) {
    const auto child = element.get_child_optional(name);
    if (!child) throw std::invalid_argument(base::toUtf8(std::wstring(L"нет элемента '") + name + L"'"));
    return child->data();
}

// Every element below the root is a task and every one in a task's "devices" a device, whatever
// its name; comments and attributes are none.
bool isElement(const std::wstring& name) {
    return !name.empty() && name.front() != L'<';
}

// The root's attribute in which an earlier version kept the fingerprints of the records told once.
constexpr const wchar_t* kAttributes = L"<xmlattr>";
constexpr const wchar_t* kToldAttribute = L"told";

void appendRecordText(const wptree& record, std::wstring& text) {
    text += record.data();
    for (const auto& [name, child] : record) {
        text += L'<' + name + L'>';
        appendRecordText(child, text);
        text += L"</>";
    }
}

// Tells a record by its name and everything it holds.
std::wstring fingerprint(const std::wstring& name, const wptree& record) {
    std::wstring text = L'<' + name + L'>';
    appendRecordText(record, text);
    return (boost::wformat(L"%08x") % base::crc32(base::toUtf8(text))).str();
}

// Adds the fingerprints of the list, separated by blanks.
void addFingerprints(const std::wstring& text, std::set<std::wstring>& told) {
    std::wistringstream list(text);
    for (std::wstring mark; list >> mark;) told.insert(mark);
}

// Adds the fingerprints of the root's attribute "told", if it has one.
void addToldAttribute(const wptree& root, std::set<std::wstring>& told) {
    if (const auto attributes = root.get_child_optional(kAttributes))
        addFingerprints(attributes->get(kToldAttribute, std::wstring()), told);
}

// The attribute "told" goes from the root into the list: the file keeps no attribute of its own.
void takeToldAttribute(wptree& root, std::set<std::wstring>& told) {
    const auto attributes = root.find(kAttributes);
    if (attributes == root.not_found()) return;
    addToldAttribute(root, told);
    attributes->second.erase(kToldAttribute);
    if (attributes->second.empty()) root.erase(root.to_iterator(attributes));
}

// Remembers the fingerprints in the settings, for the loads after a restart.
void keepTold(const std::set<std::wstring>& told) {
    std::wstring list;
    for (const std::wstring& mark : told) list += (list.empty() ? L"" : L" ") + mark;
    pref::setString(setting::schedulerToldRecords.key, base::toUtf8(list));
}

constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);

// Where a task's element goes as boost::property_tree's writer writes toTree's elements: a count of
// its bytes, or the file's text.
struct CountedText {
    std::size_t size = 0;
    void raw(std::string_view bytes) { size += bytes.size(); }
    void text(const std::wstring& text) { size += storage::writtenSize(text); }
};
struct WrittenText {
    std::string& out;
    void raw(std::string_view bytes) { out += bytes; }
    void text(const std::wstring& text) { storage::appendXmlText(out, text); }
};

// An element of that name holding the text; one without a character to write closes itself.
template <class Out>
void textElement(Out& out, std::string_view name, const std::wstring& text) {
    out.raw("<");
    out.raw(name);
    if (text.find_first_not_of(L'\0') == std::wstring::npos) {
        out.raw("/>");
        return;
    }
    out.raw(">");
    out.text(text);
    out.raw("</");
    out.raw(name);
    out.raw(">");
}

// A start task's element as save puts it in the tree: save and this change together.
template <class Out>
void writeTask(Out& out, const DataVault& record, TaskType type, bool enabled) {
    out.raw("<task>");
    textElement(out, "type", type == taskOnce ? L"once" : L"daily");
    textElement(out, "startDate", record.startDate);
    textElement(out, "finalDate", record.finalDate);
    textElement(out, "startTime", record.startTime);
    textElement(out, "stopTime", record.stopTime);
    textElement(out, "enable", enabled ? L"true" : L"false");
    if (record.playback) {
        out.raw("<playback>");
        const auto collection = record.playback->getCollection();
        textElement(out, "placeName", collection ? collection->getKind() : std::wstring());
        textElement(out, "subPlaceName", record.playback->getName());
        if (const auto track = std::dynamic_pointer_cast<PlaybackTrack>(record.playback)) {
            textElement(out, "messageName", track->getMessageName());
            textElement(out, "messagePath", track->getMessageFullPath());
            textElement(out, "gongName", track->getGongName());
            std::wstring gongPath = track->getGongPath();
            base::fileExistsIn(gongPath, audio::gongFolder());
            textElement(out, "gongPath", gongPath);
        }
        const Targets targets = record.playback->getTargets();
        if (targets.empty() && record.unknownDevices.empty()) {
            out.raw("<devices/>");
        } else {
            out.raw("<devices>");
            for (const auto& target : targets)
                textElement(out, "devices", base::fromUtf8(target->getHardwareAddress().canonicalText()));
            for (const std::wstring& address : record.unknownDevices) textElement(out, "devices", address);
            out.raw("</devices>");
        }
        out.raw("</playback>");
    }
    out.raw("</task>");
}

TaskType typeOf(const BaseTask& task) {
    return dynamic_cast<const scheduler::task::Once*>(&task) ? taskOnce : taskDaily;
}

// A file of the held record alone: a name may hold a '.', which a path would split.
wptree recordTree(const std::wstring& name, const wptree& record) {
    wptree file;
    file.push_back({name, record});
    return file;
}

// What the held record's element takes, as toTree puts it beside the tasks.
std::size_t recordSize(const std::wstring& name, const wptree& record) {
    return storage::xmlText(recordTree(name, record), kUnbounded).size() - storage::xmlText(wptree()).size();
}

bool parseEnable(const std::wstring& text) {
    if (text == L"true" || text == L"1") return true;
    if (text == L"false" || text == L"0") return false;
    throw std::invalid_argument(base::toUtf8(L"enable '" + quoted(text) + L"'"));
}

}  // namespace

SchedulerStore::SchedulerStore(SchedulerTasks& tasks) : tasks_(tasks) {
    tasks_.measureWith(&SchedulerStore::elementSize);
    keepUnread(std::make_shared<const wptree>());
}

storage::StateFileRead SchedulerStore::load(const std::wstring& path, const Sources& sources,
                                            const Lookup& lookup) {
    const debug::Place place("frm::SourceSchedulerPanel::load");
    place.info(L"Начало загрузки заданий планировщика...");
    readTasks_ = false;
    keepUnread(std::make_shared<const wptree>());
    bool rooted = false;
    // Read from the parsed text a record at a time, without the tree of the whole file: a file at
    // its bound holds a hundred thousand tasks.
    const storage::StateFileRead read =
        storage::readStateFile(path, kMaximumFileSize, [&](const storage::XmlElement& document) {
            storage::XmlElement root = document.firstChild();
            while (root && !root.named("scheduler_v2")) root = root.next();
            rooted = static_cast<bool>(root);
            if (!rooted) return;
            told_.clear();
            addFingerprints(base::fromUtf8(pref::getString(setting::schedulerToldRecords)), told_);
            storage::XmlElement task = root.firstChild();
            while (task && !task.named("task")) task = task.next();
            // Every child is read as a task once there is one named so; a root without any holds
            // no tasks, and records of some other kind, which a later version may read: a save
            // must not drop them.
            if (!task) {
                auto unread = std::make_shared<wptree>(root.tree());
                takeToldAttribute(*unread, told_);
                keepUnread(std::move(unread));
                keepTold(told_);
                return;
            }
            readTasks_ = true;
            Reading reading =
                beginReading(root.attribute(base::toUtf8(kToldAttribute).c_str()).value_or(L""));
            for (storage::XmlElement record = root.firstChild(); record; record = record.next())
                readRecord(reading, record.name(), record.tree(), sources, lookup);
            endReading(reading);
            keepTold(told_);
        });
    if (read != storage::StateFileRead::loaded) {
        place.external(L"Skip load scheduler settings");
        return read;
    }
    if (!rooted) {
        place.external(L"Skip loading old version of scheduler config");
        const std::wstring aside = base::keepAside(path);
        if (aside.empty()) {
            place.warn(L"Файл '%1%' прежнего формата не может быть переименован; он не будет перезаписан",
                       path);
            return storage::StateFileRead::unreadable;
        }
        place.warn(L"Файл '%1%' прежнего формата сохранён как '%2%'", path, aside);
        return storage::StateFileRead::keptAside;
    }
    if (!readTasks_) {
        place.external(L"Skip load scheduler settings");
        return read;
    }
    place.info(L"Загрузка заданий планировщика завершена.");
    return read;
}

std::vector<std::wstring> SchedulerStore::fromTree(const wptree& tree, const Sources& sources,
                                                   const Lookup& lookup) {
    const auto root = tree.get_child_optional(kRoot);
    if (!root) return {};
    Reading reading = beginReading(std::wstring());
    addToldAttribute(*root, reading.toldBefore);
    for (const auto& [name, element] : *root) {
        if (isElement(name)) readRecord(reading, name, element, sources, lookup);
    }
    return endReading(reading);
}

SchedulerStore::Reading SchedulerStore::beginReading(const std::wstring& told) {
    Reading reading;
    reading.toldBefore = std::move(told_);
    addFingerprints(told, reading.toldBefore);
    told_.clear();
    reading.held = std::make_shared<std::multimap<std::uint32_t, Held>>(*held_);
    return reading;
}

void SchedulerStore::readRecord(Reading& reading, const std::wstring& name, const wptree& element,
                                const Sources& sources, const Lookup& lookup) {
    const std::wstring error = loadRecord(element, sources, lookup);
    if (error.empty()) return;
    reading.errors.push_back(error);
    const std::wstring mark = name == L"task" ? std::wstring() : fingerprint(name, element);
    if (!mark.empty() && reading.toldBefore.count(mark) != 0) {
        debug::Place("frm::SourceSchedulerPanel::load")
            .external(L"Scheduler: record '%1%' kept as read, told at an earlier load (%2%)", quoted(name),
                      error);
    } else {
        reading.toldNow.push_back(error);
    }
    if (!mark.empty()) told_.insert(mark);
    reading.held->emplace(tasks_.lastId(), Held{name, element, recordSize(name, element)});
}

std::vector<std::wstring> SchedulerStore::endReading(Reading& reading) {
    hold(std::move(reading.held));
    if (!reading.toldNow.empty()) {
        std::wstring summary =
            L"Неверный формат данных. Задания планировщика не удалось загрузить, кол-во: " +
            std::to_wstring(reading.toldNow.size());
        for (std::size_t index = 0; index < reading.toldNow.size() && index < kListedErrors; ++index)
            summary += L"\n" + std::to_wstring(index + 1) + L". " + reading.toldNow[index];
        if (reading.toldNow.size() > kListedErrors) summary += L"\n...";
        debug::Place("frm::SourceSchedulerPanel::load").error(L"%1%", summary);
    }
    return std::move(reading.errors);
}

std::size_t SchedulerStore::takeHeld(const std::wstring& kind, const Sources& sources, const Lookup& lookup) {
    std::size_t taken = 0;
    auto left = std::make_shared<std::multimap<std::uint32_t, Held>>(*held_);
    for (auto held = left->begin(); held != left->end();) {
        if (held->second.record.get(L"playback.placeName", std::wstring()) == kind &&
            loadRecord(held->second.record, sources, lookup).empty()) {
            held = left->erase(held);
            ++taken;
        } else {
            ++held;
        }
    }
    if (taken != 0) hold(std::move(left));
    return taken;
}

std::wstring SchedulerStore::loadRecord(const wptree& element, const Sources& sources, const Lookup& lookup) {
    try {
        return loadTask(element, sources, lookup);
    } catch (const exception::StopProgram&) {
        throw;
    } catch (const std::exception& failure) {
        return badRecord(quoted(exception::textOf(failure)));
    }
}

std::wstring SchedulerStore::loadTask(const wptree& element, const Sources& sources, const Lookup& lookup) {
    const debug::Place place("frm::SourceSchedulerPanel::load");
    place.info(L"Получение заданий из настроек...");
    const std::wstring type = required(element, L"type");
    const std::wstring startDate = required(element, L"startDate");
    const std::wstring startTime = required(element, L"startTime");
    const std::wstring finalDate = required(element, L"finalDate");
    const std::wstring stopTime = required(element, L"stopTime");
    const bool enabled = parseEnable(required(element, L"enable"));

    const auto playbackNode = element.get_child_optional(L"playback");
    if (!playbackNode) {
        place.external(L"Scheduler: Skip loading task (type '%1%')", quoted(type));
        return L"Playback section not found";
    }
    const std::wstring placeName = playbackNode->get(L"placeName", std::wstring());
    const std::wstring subPlaceName = playbackNode->get(L"subPlaceName", std::wstring());
    place.info(L"Применение полученных заданий...");
    const auto errorText = [&](const std::wstring& where) {
        return L"Ошибка загрузки настроек. Объект '" + quoted(where) + L"', контент '" +
               quoted(subPlaceName) + L"'";
    };
    std::shared_ptr<PlaybackCollection> collection;
    for (const auto& source : sources) {
        if (source && source->getKind() == placeName) {
            collection = source;
            break;
        }
    }
    if (!collection) {
        place.external(L"Scheduler: Error search place name, '%1%'", errorText(placeName));
        return errorText(placeName);
    }
    std::shared_ptr<IPlayback> found;
    for (const auto& playback : collection->getPlaybacks()) {
        if (playback && playback->getName() == subPlaceName) {
            found = playback;
            break;
        }
    }
    if (!found) {
        place.external(L"Scheduler: Error search sub place name '%1%'", errorText(collection->getTitle()));
        return errorText(collection->getTitle());
    }
    const std::shared_ptr<IPlayback> playback = found->clone();

    if (const auto track = std::dynamic_pointer_cast<PlaybackTrack>(playback)) {
        std::wstring messagePath = playbackNode->get(L"messagePath", std::wstring());
        std::wstring gongPath = playbackNode->get(L"gongPath", std::wstring());
        const bool message = base::fileExistsIn(
            messagePath, track->isAlarm() ? audio::alarmMessageFolder() : audio::serviceMessageFolder());
        if (!message || (!gongPath.empty() && !base::fileExistsIn(gongPath, audio::gongFolder()))) {
            place.external(L"Scheduler: Skip loading task (type '%1%', message '%2%', gong '%3%')",
                           quoted(type), messagePath, gongPath);
            return errorText(collection->getTitle());
        }
        track->setMessage(playbackNode->get(L"messageName", std::wstring()), messagePath);
        track->setGong(playbackNode->get(L"gongName", std::wstring()), gongPath);
    }

    const auto devices = playbackNode->get_child_optional(L"devices");
    if (!devices) return badRecord(L"нет элемента 'devices'");
    Targets targets;
    std::vector<std::wstring> unknown;
    for (const auto& [name, device] : *devices) {
        // Comments and attributes are no devices.
        if (!isElement(name)) continue;
        const net::HardwareAddress address = net::HardwareAddress::parse(base::toUtf8(device.data()));
        if (!address.isValid()) {
            place.external(L"Scheduler: skip adding device. hardware address isn't valid");
            continue;
        }
        if (auto loudspeaker = lookup ? lookup(address) : nullptr) {
            targets.insert(std::move(loudspeaker));
        } else {
            place.external(L"Scheduler: skip adding device. device not found into collection");
            unknown.push_back(base::fromUtf8(address.canonicalText()));
        }
    }

    const SchedulerTasks::Ids ids = tasks_.takeIds();
    const bool once = type == L"once";
    if (!once && type != L"daily") {
        place.error(L"Internal error. Unknown task. Failed load the task");
        return errorText(collection->getTitle());
    }
    playback->setTargets(targets);
    DataVault record(playback, startDate, once ? startDate : finalDate, startTime, once ? L"" : stopTime,
                     SchedulerTasks::targetIds(*playback), -1, false);
    record.unknownDevices = std::move(unknown);
    const bool stopped = tasks_.put(once ? taskOnce : taskDaily, ids, std::move(record), enabled);
    place.info(L"Загружено задание N%1%", ids.start);
    if (stopped) place.debug(L"Загружено задание окончания N%1%", ids.stop);
    return std::wstring();
}

wptree SchedulerStore::toTree(const Kept& kept) {
    wptree tree;
    wptree& root = tree.add_child(kRoot, *kept.unread);
    auto held = kept.held->begin();
    // A held record goes back under its own name, which may hold a '.' that a path would split.
    const auto putHeld = [&] {
        root.push_back({held->second.name, held->second.record});
        ++held;
    };
    for (const auto& task : kept.tasks) {
        if (task->getClientData().isStopTask) continue;
        while (held != kept.held->end() && held->first < task->getId()) putHeld();
        wptree& element = root.add_child(L"task", wptree());
        element.add(L"type", std::wstring(dynamic_cast<const scheduler::task::Once*>(task.get()) ? L"once"
                                                                                                 : L"daily"));
        save(task->getClientData(), task->isEnabled(), task->getId(), element);
    }
    while (held != kept.held->end()) putHeld();
    return tree;
}

void SchedulerStore::hold(std::shared_ptr<const std::multimap<std::uint32_t, Held>> held) {
    heldBytes_ = 0;
    for (const auto& [id, record] : *held) heldBytes_ += record.bytes;
    held_ = std::move(held);
}

void SchedulerStore::keepUnread(std::shared_ptr<const wptree> unread) {
    unread_ = std::move(unread);
    wptree file;
    wptree& root = file.add_child(kRoot, *unread_);
    emptyFileBytes_ = storage::xmlText(file, kUnbounded).size();
    root.add_child(L"x", wptree());
    openFileBytes_ = storage::xmlText(file, kUnbounded).size() - std::strlen("<x/>");
}

std::size_t SchedulerStore::fileSize(std::size_t records) const {
    return records == 0 ? emptyFileBytes_ : openFileBytes_ + records;
}

std::size_t SchedulerStore::writtenSize() const {
    return fileSize(heldBytes_ + tasks_.writtenSize());
}

bool SchedulerStore::withinBound(std::size_t records, const wchar_t* refused) const {
    return storage::withinBound(fileSize(heldBytes_ + records), kMaximumFileSize, refused, L"файл заданий",
                                L"Удалите ненужные задания или громкоговорители из них");
}

bool SchedulerStore::takes(const DataVault& record, TaskType type) const {
    return withinBound(tasks_.writtenSize() + elementSize(record, type, true), L"Задание не добавлено");
}

bool SchedulerStore::takesEnabling(const std::vector<std::uint32_t>& ids, bool enabled) const {
    return withinBound(tasks_.writtenSizeEnabled(ids, enabled),
                       enabled ? L"Задания не включены" : L"Задания не выключены");
}

bool SchedulerStore::takesRename(const std::wstring& kind, const std::wstring& oldName,
                                 const std::wstring& newName) const {
    return withinBound(tasks_.writtenSizeRenamed(kind, oldName, newName), L"Плейлист не переименован");
}

std::size_t SchedulerStore::elementSize(const DataVault& record, TaskType type, bool enabled) {
    CountedText counted;
    writeTask(counted, record, type, enabled);
    return counted.size;
}

std::string SchedulerStore::xmlText(const Kept& kept) {
    const std::string end = "</" + base::toUtf8(kRoot) + ">";
    // Only the root's own text is made through its tree, what else it held when read: the text is
    // cut before an element put last in it.
    wptree file;
    wptree& root = file.add_child(kRoot, *kept.unread);
    root.add_child(L"x", wptree());
    std::string out = storage::xmlText(file, kUnbounded);
    out.resize(out.size() - std::strlen("<x/>") - end.size());
    const std::size_t opened = out.size();
    WrittenText writing{out};
    auto held = kept.held->begin();
    const auto putHeld = [&] {
        out += storage::xmlText(recordTree(held->second.name, held->second.record), kUnbounded)
                   .substr(storage::xmlText(wptree()).size());
        ++held;
    };
    for (const auto& task : kept.tasks) {
        const DataVault record = task->getClientData();
        if (record.isStopTask) continue;
        while (held != kept.held->end() && held->first < task->getId()) putHeld();
        if (!record.playback) {
            debug::Place("frm::SourceSchedulerPanel::save")
                .error(L"Возникла ошибка во время сохранения задания N%1%", task->getId());
        }
        writeTask(writing, record, typeOf(*task), task->isEnabled());
    }
    while (held != kept.held->end()) putHeld();
    if (out.size() == opened) {
        // A root without records is written as its tree writes it: one that holds nothing closes
        // itself.
        root.pop_back();
        return storage::xmlText(file, kMaximumFileSize);
    }
    out += end;
    if (out.size() > kMaximumFileSize) throw storage::TooLarge(out.size(), kMaximumFileSize);
    return out;
}

void SchedulerStore::save(const DataVault& record, bool enabled, std::uint32_t id, wptree& element) {
    element.add(L"startDate", record.startDate);
    element.add(L"finalDate", record.finalDate);
    element.add(L"startTime", record.startTime);
    element.add(L"stopTime", record.stopTime);
    element.add(L"enable", std::wstring(enabled ? L"true" : L"false"));
    if (!record.playback) {
        debug::Place("frm::SourceSchedulerPanel::save")
            .error(L"Возникла ошибка во время сохранения задания N%1%", id);
        return;
    }
    wptree& playback = element.add_child(L"playback", wptree());
    const auto collection = record.playback->getCollection();
    playback.add(L"placeName", collection ? collection->getKind() : std::wstring());
    playback.add(L"subPlaceName", record.playback->getName());
    if (const auto track = std::dynamic_pointer_cast<PlaybackTrack>(record.playback)) {
        playback.add(L"messageName", track->getMessageName());
        playback.add(L"messagePath", track->getMessageFullPath());
        playback.add(L"gongName", track->getGongName());
        // A copy: the track is the scheduler thread's to read.
        std::wstring gongPath = track->getGongPath();
        base::fileExistsIn(gongPath, audio::gongFolder());
        playback.add(L"gongPath", gongPath);
    }
    wptree& devices = playback.add_child(L"devices", wptree());
    for (const auto& target : record.playback->getTargets())
        devices.add(L"devices", base::fromUtf8(target->getHardwareAddress().canonicalText()));
    for (const std::wstring& address : record.unknownDevices) devices.add(L"devices", address);
}

}  // namespace frm
