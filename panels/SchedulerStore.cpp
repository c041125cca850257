#include "panels/SchedulerStore.h"

#include <boost/format.hpp>
#include <set>
#include <sstream>

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

bool parseEnable(const std::wstring& text) {
    if (text == L"true" || text == L"1") return true;
    if (text == L"false" || text == L"0") return false;
    throw std::invalid_argument(base::toUtf8(L"enable '" + quoted(text) + L"'"));
}

}  // namespace

storage::StateFileRead SchedulerStore::load(const std::wstring& path, const Sources& sources,
                                            const Lookup& lookup) {
    const debug::Place place("frm::SourceSchedulerPanel::load");
    place.info(L"Начало загрузки заданий планировщика...");
    readTasks_ = false;
    unread_ = std::make_shared<const wptree>();
    wptree tree;
    const storage::StateFileRead read = storage::readStateFile(path, tree, kMaximumFileSize);
    if (read != storage::StateFileRead::loaded) {
        place.external(L"Skip load scheduler settings");
        return read;
    }
    const auto root = tree.get_child_optional(kRoot);
    if (!root) {
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
    told_.clear();
    addFingerprints(base::fromUtf8(pref::getString(setting::schedulerToldRecords)), told_);
    // Every child is read as a task once there is one named so; a root without any holds no tasks.
    if (root->count(L"task") == 0) {
        place.external(L"Skip load scheduler settings");
        // Records of some other kind, which a later version may read: a save must not drop them.
        auto unread = std::make_shared<wptree>(*root);
        takeToldAttribute(*unread, told_);
        unread_ = std::move(unread);
        keepTold(told_);
        return read;
    }
    readTasks_ = true;
    fromTree(tree, sources, lookup);
    keepTold(told_);
    place.info(L"Загрузка заданий планировщика завершена.");
    return read;
}

std::vector<std::wstring> SchedulerStore::fromTree(const wptree& tree, const Sources& sources,
                                                   const Lookup& lookup) {
    const debug::Place place("frm::SourceSchedulerPanel::load");
    std::vector<std::wstring> errors;
    const auto root = tree.get_child_optional(kRoot);
    if (!root) return errors;
    std::set<std::wstring> toldBefore = std::move(told_);
    addToldAttribute(*root, toldBefore);
    told_.clear();
    std::vector<std::wstring> toldNow;
    auto held = std::make_shared<std::multimap<std::uint32_t, Held>>(*held_);
    for (const auto& [name, element] : *root) {
        if (!isElement(name)) continue;
        const std::wstring error = loadRecord(element, sources, lookup);
        if (error.empty()) continue;
        errors.push_back(error);
        const std::wstring mark = name == L"task" ? std::wstring() : fingerprint(name, element);
        if (!mark.empty() && toldBefore.count(mark) != 0) {
            place.external(L"Scheduler: record '%1%' kept as read, told at an earlier load (%2%)",
                           quoted(name), error);
        } else {
            toldNow.push_back(error);
        }
        if (!mark.empty()) told_.insert(mark);
        held->emplace(tasks_.lastId(), Held{name, element});
    }
    held_ = std::move(held);
    if (!toldNow.empty()) {
        std::wstring summary =
            L"Неверный формат данных. Задания планировщика не удалось загрузить, кол-во: " +
            std::to_wstring(toldNow.size());
        for (std::size_t index = 0; index < toldNow.size() && index < kListedErrors; ++index)
            summary += L"\n" + std::to_wstring(index + 1) + L". " + toldNow[index];
        if (toldNow.size() > kListedErrors) summary += L"\n...";
        place.error(L"%1%", summary);
    }
    return errors;
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
    if (taken != 0) held_ = std::move(left);
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

bool SchedulerStore::takes(const DataVault& record) const {
    // Written as the longer of the two types, its flag as the longer of its two values.
    wptree task;
    wptree& element = task.add_child(L"task", wptree());
    element.add(L"type", std::wstring(L"daily"));
    save(record, false, 0, element);
    constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);
    const std::size_t size = storage::xmlText(toTree(), kUnbounded).size() + storage::xmlText(task).size() -
                             storage::xmlText(wptree()).size();
    return storage::withinBound(size, kMaximumFileSize, L"Задание не добавлено", L"файл заданий",
                                L"Удалите ненужные задания или громкоговорители из них");
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
