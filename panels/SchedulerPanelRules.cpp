#include "panels/SchedulerPanelRules.h"

#include <algorithm>
#include <boost/date_time/gregorian/gregorian.hpp>
#include <cwctype>
#include <unordered_map>
#include <utility>

#include "audio/BaseTask.h"
#include "audio/CivilTime.h"
#include "audio/TaskFilters.h"
#include "devices/VokarInfo.h"
#include "panels/PlaybackDrive.h"

namespace frm {

const std::array<const wchar_t*, kTaskColumnCount> kTaskColumnTitles = {
    L"Дата начала", L"Дата окончания", L"Время запуска", L"Время останова", L"Источник (Объект/Контент)",
    L"Гонг",        L"Устройства",     L"Включено"};

std::array<int, kTaskColumnCount> taskColumnWidths(int listWidth) {
    const int w = listWidth;
    return {w / 7, w / 7, w / 6, w / 7, w / 3, w / 5, w / 3, w / 8};
}

std::array<std::wstring, kTaskColumnCount> taskRowTexts(const TaskRowSource& task) {
    const auto orDash = [](const std::wstring& text) { return text.empty() ? std::wstring(L"-") : text; };
    std::wstring devices;
    for (const std::wstring& name : task.deviceNames) devices += (devices.empty() ? L"" : L", ") + name;
    return {task.startDate,
            task.once ? task.startDate : orDash(task.finalDate),
            task.startTime,
            task.once || task.stopTaskId == -1 ? L"-" : orDash(task.stopTime),
            task.collectionTitle + L": " + task.playbackName,
            task.gongName ? *task.gongName : L"-",
            devices,
            task.enabled ? L"Вкл" : L"Выкл"};
}

TaskButtons taskButtons(bool selected, bool settingsUnlocked, std::size_t selectedRows,
                        std::size_t enabledTasks, std::size_t disabledTasks) {
    TaskButtons buttons;
    buttons.remove = selected && settingsUnlocked;
    buttons.add = !selected && settingsUnlocked;
    // Without the panel's selection every row is deselected.
    const std::size_t rows = selected ? selectedRows : 0;
    buttons.edit = rows == 1;
    buttons.disable = rows > 0 && enabledTasks > 0;
    buttons.enable = rows > 0 && disabledTasks > 0;
    if (!settingsUnlocked)
        buttons.note = L"Добавлять и удалять задания можно только в режиме администратора.";
    return buttons;
}

std::size_t nestedRowsEnd(const std::vector<int>& levels, std::size_t row) {
    if (row >= levels.size()) return row;
    std::size_t end = row + 1;
    while (end < levels.size() && levels[end] > levels[row]) ++end;
    return end;
}

std::wstring indentText(int indent) {
    std::wstring text;
    for (int i = 0; i < indent; ++i) text += L"   ";
    return text;
}

namespace {

void addZoneRows(DeviceRows& result, const ZoneElement::ZonePtr& zone, int level) {
    if (!zone || !zone->built) return;
    result.rows.push_back({indentText(level) + zone->name, level, nullptr, zone});
    if (zone->name != ZoneElement::kRootName) result.zoneNames.push_back(zone->name);
    for (const auto& device : zone->devices) {
        if (std::dynamic_pointer_cast<device::VokarInfo>(device))
            result.rows.push_back(
                {indentText(level + 1) + device->getDisplayName(), level + 1, device, zone});
    }
    for (const auto& nested : zone->zones) addZoneRows(result, nested, level + 1);
}

}  // namespace

DeviceRows deviceRows(const ZoneElement::ZonePtr& root) {
    DeviceRows result;
    addZoneRows(result, root, 0);
    return result;
}

std::vector<bool> keptChecks(const std::vector<DeviceRow>& before, const std::vector<bool>& checked,
                             const std::vector<DeviceRow>& after) {
    // A row is its zone and its loudspeaker; the first row of each before counts.
    using Key = std::pair<const void*, const void*>;
    const auto hash = [](const Key& key) {
        return std::hash<const void*>()(key.first) * 31 + std::hash<const void*>()(key.second);
    };
    std::unordered_map<Key, std::size_t, decltype(hash)> shown(before.size(), hash);
    for (std::size_t index = 0; index < before.size(); ++index)
        shown.emplace(Key(before[index].zone.get(), before[index].loudspeaker.get()), index);
    std::vector<bool> kept(after.size(), false);
    // The zone rows above the row being decided, outermost first.
    std::vector<std::size_t> zones;
    for (std::size_t row = 0; row < after.size(); ++row) {
        const DeviceRow& each = after[row];
        while (!zones.empty() && after[zones.back()].level >= each.level) zones.pop_back();
        const auto found = shown.find(Key(each.zone.get(), each.loudspeaker.get()));
        if (found != shown.end()) {
            kept[row] = found->second < checked.size() && checked[found->second];
        } else {
            kept[row] = !zones.empty() && kept[zones.back()];
        }
        if (!each.loudspeaker) zones.push_back(row);
    }
    return kept;
}

std::wstring emptyContentNote(const std::wstring& kind) {
    if (kind == L"playlist") return L"Плейлистов нет: их составляют в окне «Плейлист».";
    if (kind == L"radio") return L"Радиостанций нет: их добавляют в окне «Радио».";
    if (kind == PlaybackDrive::kSourceKind)
        return L"Носитель не подключён: подключите его и откройте планировщик снова.";
    if (kind == L"serviceMessage") return L"Сообщений нет: их добавляют в окне «Служебные сообщения».";
    if (kind == L"microphone") return L"Записей нет: их делают в окне «Микрофон».";
    return L"Здесь нечего запланировать.";
}

std::optional<TimePlanControls> timePlanControls(int type) {
    TimePlanControls shown;
    shown.stopTime = true;
    switch (type) {
        case 0:
            shown.firstDate = shown.day = true;
            shown.stopTime = false;
            break;
        case 1:
            shown.day = shown.firstDate = shown.lastDate = true;
            break;
        case 2:
            shown.weekdays = shown.firstDate = shown.lastDate = shown.day = true;
            break;
        case 3:
            shown.repeat = shown.firstDate = shown.lastDate = shown.day = true;
            break;
        case 4:
            shown.timeStep = true;
            break;
        default:
            return std::nullopt;
    }
    return shown;
}

NewTaskPlan planNewTask(const NewTaskInput& input) {
    NewTaskPlan plan;
    plan.type = input.type;
    if (!input.settingsUnlocked) {
        plan.refusal = L"Перед добавлением разблокируйте настройки";
        return plan;
    }
    if (!input.sourceChosen) {
        plan.refusal = L"Необходимо выбрать источник воспроизведения";
        return plan;
    }
    if (!input.devicesChosen) {
        plan.refusal = L"Не выбрано ни одного устройства";
        return plan;
    }
    plan.startDate = input.firstDate ? *input.firstDate : input.today;
    plan.startTime = scheduler::timeText(input.startHour, input.startMinute);
    plan.finalDate = input.lastDate ? *input.lastDate : std::wstring();
    // A stop at 00:00 counts as none.
    const bool hasStop =
        !input.message && input.stopChecked && (input.stopHour != 0 || input.stopMinute != 0);
    plan.stopTime = hasStop ? scheduler::timeText(input.stopHour, input.stopMinute) : std::wstring();
    plan.takesIds = input.type >= taskOnce && input.type <= taskLastType;
    if (input.type == taskOnce) {
        plan.finalDate = plan.startDate;
        plan.stopTime.clear();
    } else if (input.type == taskDaily) {
        if (input.lastDate && plan.startDate > plan.finalDate) {
            plan.refusal = L"Неверный порядок дат";
        } else if (hasStop && plan.stopTime == plan.startTime) {
            plan.refusal = L"Неверный порядок времени";
        }
    }
    return plan;
}

StopDates stopTaskDates(const std::wstring& startDate, const std::wstring& finalDate,
                        const std::wstring& startTime, const std::wstring& stopTime) {
    if (stopTime >= startTime) return {startDate, finalDate};
    const auto nextDay = [](const std::wstring& text) {
        const auto date = scheduler::parseDate(text);
        return date ? scheduler::dateText(*date + boost::gregorian::days(1)) : text;
    };
    return {nextDay(startDate), finalDate.empty() ? finalDate : nextDay(finalDate)};
}

bool taskPasses(const scheduler::task::BaseTask& task, const TaskFilter& filter) {
    if (filter.enabledOnly && !task.isEnabled()) return false;
    if (filter.date && !scheduler::task::isInsideDate(task, *filter.date)) return false;
    if (filter.times && !scheduler::task::isInsideTime(task, filter.times->first, filter.times->second))
        return false;
    if (!filter.deviceId && !filter.zoneDeviceIds) return true;
    const std::vector<std::uint32_t> entries = task.getClientData().deviceEntries;
    const auto has = [&](std::uint32_t id) {
        return std::find(entries.begin(), entries.end(), id) != entries.end();
    };
    if (filter.deviceId && !has(*filter.deviceId)) return false;
    return !filter.zoneDeviceIds ||
           std::any_of(filter.zoneDeviceIds->begin(), filter.zoneDeviceIds->end(), has);
}

namespace {

void collectZoneDeviceIds(const ZoneElement& zone, const std::wstring& name,
                          std::vector<std::uint32_t>& ids) {
    if (zone.name == name) {
        for (const auto& device : zone.devices) ids.push_back(device->getId());
    }
    for (const auto& nested : zone.zones) {
        if (nested) collectZoneDeviceIds(*nested, name, ids);
    }
}

}  // namespace

std::vector<std::uint32_t> zoneDeviceIds(const ZoneElement::ZonePtr& root, const std::wstring& name) {
    std::vector<std::uint32_t> ids;
    if (root) collectZoneDeviceIds(*root, name, ids);
    return ids;
}

bool timeStepKeyPasses(int keyCode, wchar_t character) {
    if ((keyCode >= 300 && keyCode <= 308) || keyCode == ':' || keyCode == 8 || keyCode == 9 ||
        keyCode == 13 || keyCode == 27 || keyCode == 127)
        return true;
    const auto code = static_cast<std::wint_t>(character);
    if (code < 0x20 || code == 0x7f) return true;
    // Every printable character beyond ASCII is a letter or a sign in the Russian code page.
    if (code >= 0x80) return false;
    return !(std::iswalpha(code) || std::iswpunct(code) || std::iswblank(code));
}

}  // namespace frm
