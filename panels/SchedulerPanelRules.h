#pragma once
// What the scheduler panel decides, apart from its window: the texts of a task's row, its
// buttons, which device rows a check carries to, the rows of the device check list, which
// time-plan controls a task type shows, the plan of a new task with its refusals, and the keys
// the time-step field takes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/kit/ZoneElement.h"

namespace scheduler::task {
class BaseTask;
}

namespace frm {

constexpr std::size_t kTaskColumnCount = 8;
extern const std::array<const wchar_t*, kTaskColumnCount> kTaskColumnTitles;
// The widths of the task list's columns for a list `listWidth` wide.
std::array<int, kTaskColumnCount> taskColumnWidths(int listWidth);

// What a task's row shows.
struct TaskRowSource {
    bool once = false;
    bool enabled = false;
    std::wstring startDate;
    std::wstring finalDate;
    std::wstring startTime;
    std::wstring stopTime;
    std::int32_t stopTaskId = -1;
    // The title of the playback's collection and the playback's name.
    std::wstring collectionTitle;
    std::wstring playbackName;
    // Of a message playback only.
    std::optional<std::wstring> gongName;
    std::vector<std::wstring> deviceNames;
};
std::array<std::wstring, kTaskColumnCount> taskRowTexts(const TaskRowSource& task);

struct TaskButtons {
    bool enable = false;
    bool disable = false;
    bool remove = false;
    bool add = false;
    bool edit = false;
    // Why adding and deleting are not offered; empty while they are.
    std::wstring note;
};
// `selected` tells whether the panel keeps the selection; the counts are of the selected rows'
// tasks that are enabled and disabled.
TaskButtons taskButtons(bool selected, bool settingsUnlocked, std::size_t selectedRows,
                        std::size_t enabledTasks, std::size_t disabledTasks);

// The end of the rows that a check of `row` carries to: the rows after it nested deeper, up to
// the first at its depth or shallower.
std::size_t nestedRowsEnd(const std::vector<int>& levels, std::size_t row);

// One row of the device check list: a zone (shaded) or one of its loudspeakers.
struct DeviceRow {
    std::wstring text;
    int level = 0;
    // Null on a zone row.
    ZoneElement::DevicePtr loudspeaker;
    // The zone of a zone row, the zone a loudspeaker row is listed in.
    ZoneElement::ZonePtr zone;

    bool operator==(const DeviceRow& other) const {
        return text == other.text && level == other.level && loudspeaker == other.loudspeaker &&
               zone == other.zone;
    }
};
struct DeviceRows {
    std::vector<DeviceRow> rows;
    // The zone names the filter offers: every zone but the root "Все зоны".
    std::vector<std::wstring> zoneNames;
};
// The zones depth first, each followed by its loudspeakers; incomplete zones are left out.
DeviceRows deviceRows(const ZoneElement::ZonePtr& root);
// Three blanks for every level.
std::wstring indentText(int indent);
// The checks of the rows refilled as `after`, for the rows `before` with their checks: a row
// that was there keeps its check, a new one takes the check of the zone row it is nested in.
std::vector<bool> keptChecks(const std::vector<DeviceRow>& before, const std::vector<bool>& checked,
                             const std::vector<DeviceRow>& after);

// Why the "Контент" choice of a source group of that kind is empty, for a group without playbacks.
std::wstring emptyContentNote(const std::wstring& kind);

// The time-plan controls a task type shows; none for an unknown type.
struct TimePlanControls {
    bool repeat = false;
    bool weekdays = false;
    bool firstDate = false;
    bool lastDate = false;
    bool day = false;
    bool timeStep = false;
    bool stopTime = false;
};
std::optional<TimePlanControls> timePlanControls(int type);

enum TaskType { taskOnce = 0, taskDaily = 1, taskLastType = 4 };

// The operator's choices for a new task.
struct NewTaskInput {
    bool settingsUnlocked = false;
    bool sourceChosen = false;
    bool devicesChosen = false;
    // The playback is a message, which plays on the priority channel and so has no stop time.
    bool message = false;
    int type = taskDaily;
    // YYYY-MM-DD; the first and last date while their calendars are enabled.
    std::wstring today;
    std::optional<std::wstring> firstDate;
    std::optional<std::wstring> lastDate;
    int startHour = 0;
    int startMinute = 0;
    bool stopChecked = false;
    int stopHour = 0;
    int stopMinute = 0;
};
struct NewTaskPlan {
    // The notice that refuses the task; empty when it is accepted.
    std::wstring refusal;
    // The attempt reached the choice of the type, which takes a pair of ids also when a date or
    // time check refuses it then.
    bool takesIds = false;
    int type = taskDaily;
    std::wstring startDate;
    std::wstring finalDate;
    std::wstring startTime;
    std::wstring stopTime;
};
NewTaskPlan planNewTask(const NewTaskInput& input);

// The dates of a daily task's stop task: a stop time before the start time falls on the next
// day, so every evening's playback is stopped and no stop comes before the first start.
struct StopDates {
    std::wstring startDate;
    std::wstring finalDate;
};
StopDates stopTaskDates(const std::wstring& startDate, const std::wstring& finalDate,
                        const std::wstring& startTime, const std::wstring& stopTime);

// The task list's filter as the last "Применить" left it, each line only while its box is
// checked. An empty date or time sets no bound.
struct TaskFilter {
    bool enabledOnly = false;
    std::optional<std::wstring> date;
    // The times ("7:5") while either time box is checked; the unchecked side is empty.
    std::optional<std::pair<std::wstring, std::wstring>> times;
    // Absent until a device is chosen: any device passes.
    std::optional<std::uint32_t> deviceId;
    std::optional<std::vector<std::uint32_t>> zoneDeviceIds;

    bool operator==(const TaskFilter& other) const {
        return enabledOnly == other.enabledOnly && date == other.date && times == other.times &&
               deviceId == other.deviceId && zoneDeviceIds == other.zoneDeviceIds;
    }
};
bool taskPasses(const scheduler::task::BaseTask& task, const TaskFilter& filter);
// The ids of the devices of every zone named `name`, at any depth, depth first.
std::vector<std::uint32_t> zoneDeviceIds(const ZoneElement::ZonePtr& root, const std::wstring& name);

// Whether the time-step field takes the key.
bool timeStepKeyPasses(int keyCode, wchar_t character);
// The device check list stands in the top row from this width of the main window on, and
// beside the source box below it.
constexpr int kWideWindow = 1200;

}  // namespace frm
