#pragma once
// The scheduler page: the scheduled playbacks in a list, one row per task, and the choices from
// which the operator composes a new one (source, loudspeakers and zones, gong, time plan). It
// owns the scheduler core and its thread from construction to shutdown. The task list and the
// device check list draw only the rows on screen (TaskRows, the device rows), and the filter's
// choices of loudspeakers and zones are filled while their boxes are checked, so that showing the
// page at a site of thousands of tasks or zone rows holds the window for milliseconds.
//
// Everything runs on the GUI thread, but for the log's lines of the task rows, told off it in the
// rows' order. The tasks' events run on the thread dispatcher and reach the panel only through
// the GUI-thread invoker, while the panel exists.

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/kit/ZoneElement.h"
#include "audio/PlaybackCollection.h"
#include "audio/SchedulerCore.h"
#include "layouts/SourceSchedulerPanel.h"
#include "panels/SchedulerControl.h"
#include "panels/SchedulerStore.h"
#include "panels/SchedulerTasks.h"
#include "panels/TaskRows.h"

namespace base {
class SerialJobs;
}

namespace device {
class DeviceCollection;
}

namespace frm {

class SourceSchedulerPanel : public fb::SourceSchedulerPanel {
public:
    SourceSchedulerPanel(wxWindow* parent, ZoneElement::ZonePtr rootZone,
                         std::shared_ptr<device::DeviceCollection> deviceCollection);
    ~SourceSchedulerPanel() override;
    SourceSchedulerPanel(const SourceSchedulerPanel&) = delete;
    SourceSchedulerPanel& operator=(const SourceSchedulerPanel&) = delete;

    // Makes the controls and shows in them what the panel holds, as they stood after the start-up;
    // the main window calls it when it first shows the panel. Until then the tasks, the sources
    // and the core work without controls, and the calls that only fill controls do nothing.
    void buildControls();
    bool hasControls() const { return m_taskList != nullptr; }

    // Stops the core's thread first, then lets go of the zones, the registry and the sources.
    void shutdown();

    // The source groups of the "Объект" choice, in its order. The held tasks of a drive that
    // a group offers now are put.
    void fillPlaceChoice(const std::vector<std::shared_ptr<PlaybackCollection>>& sources);
    void fillContentChoice(const std::shared_ptr<PlaybackCollection>& group);
    // Resets the filter, refills the device check list, the zone and gong choices and the tasks.
    void reload();
    void refreshTaskListCtrl();
    // Brings the buttons in step with the selection; without it every row is deselected.
    void selectTask(bool selected);
    void selectTaskType(int type);

    // Reads "scheduler.xml" at the path into the core, with the sources given last to
    // fillPlaceChoice, and shows the tasks; a file whose tasks are skipped leaves the list as it is.
    storage::StateFileRead load(const std::wstring& path);
    // What "scheduler.xml" is to hold now.
    boost::property_tree::wptree saveToTree() const { return store_.toTree(); }
    // What the file keeps, taken as it stands (SchedulerStore::toTree makes its tree).
    SchedulerStore::Kept keep() const { return store_.keep(); }
    // Marked by each change of the tasks.
    const base::ChangeMark& changes() const { return tasks_.changes(); }

    // Whether the operator may add, edit and delete tasks; the buttons follow at once.
    void setSettingsUnlocked(bool unlocked);
    // The control for the panels of that kind of playlist ("playlist" or "radio").
    ISchedulerControl* getSchedulerControl(const std::wstring& kind);
    bool isUsedDevice(const ZoneElement::DevicePtr& device) const { return tasks_.isUsedDevice(device); }
    bool isUsedFile(const std::wstring& path) const { return tasks_.isUsedFile(path); }
    scheduler::Core& getCore() { return core_; }

protected:
    void OnSize(wxSizeEvent& event) override;
    void devicesOnCheckListBox(wxListEvent& event) override;
    void taskListOnListItemDeselected(wxListEvent& event) override;
    void taskListOnListItemSelected(wxListEvent& event) override;
    void placeOnChoice(wxCommandEvent& event) override;
    void selectTaskTypeOnRadioBox(wxCommandEvent& event) override;
    void firstDateOnCheckBox(wxCommandEvent& event) override;
    void lastDateOnCheckBox(wxCommandEvent& event) override;
    void stopTimeOnCheckBox(wxCommandEvent& event) override;
    void timeStepOnChar(wxKeyEvent& event) override;
    void editOnButtonClick(wxCommandEvent& event) override;
    void addTaskOnButtonClick(wxCommandEvent& event) override;
    void enableTaskOnButtonClick(wxCommandEvent& event) override;
    void deleteTaskOnButtonClick(wxCommandEvent& event) override;
    void applyFilterOnButtonClick(wxCommandEvent& event) override;
    void filterDateOnCheckBox(wxCommandEvent& event) override;
    void filterStartTimeOnCheckBox(wxCommandEvent& event) override;
    void filterStopTimeOnCheckBox(wxCommandEvent& event) override;
    void filterDevicesOnCheckBox(wxCommandEvent& event) override;
    void filterZonesOnCheckBox(wxCommandEvent& event) override;

private:
    using Self = std::shared_ptr<SourceSchedulerPanel*>;

    void addTask();
    // The source groups in the "Объект" choice, the first one chosen.
    void showPlaces();
    // The columns and the place of the device list after the size of the page.
    void fitToWindow();
    // The registry's loudspeaker of a hardware address, for the store.
    SchedulerStore::Lookup registryLookup() const;
    void fitColumns();
    // Reads the rows of the task list that pass the filter, and their loudspeakers.
    void readRows(const std::optional<TaskFilter>& filter);
    // Tells every row of the task list in the log, "Задание N%1%: %2%" with the row's texts, off
    // the window's thread, after the rows told before.
    void tellRows(const std::shared_ptr<const TaskRows>& rows);
    // Shows the task rows: the list keeps no row selected or focused, as a list filled anew.
    void showTaskRows();
    // A loudspeaker the filter offers: its id and name.
    using FilterDevice = std::pair<std::uint32_t, std::wstring>;
    // The filter's device choice offers these.
    void offerFilterDevices(std::vector<FilterDevice> devices);
    // The filter's device and zone choices hold what they offer while their boxes are checked;
    // they are filled then (`anew`: emptied first).
    void showFilterDevices(bool anew);
    void showFilterZones();
    // The loudspeakers of the checked rows.
    Targets getCheckedDevices() const;
    // The playback's target ids; the targets that the filter's device choice lacks join it.
    std::vector<std::uint32_t> collectTargetDeviceIds(const IPlayback& playback);
    bool filtersOff() const;
    // The filter of the checked boxes with the values of the last "Применить"; none when no box
    // is checked.
    std::optional<TaskFilter> currentFilter() const;
    // The task ids of the selected rows, in list order.
    std::vector<std::uint32_t> getSelectedTaskIds() const;
    // Shows the gong choice for a source of messages and hides the stop time, which they lack.
    void showSourceKind(const std::shared_ptr<PlaybackCollection>& group);
    std::vector<long> selectedRows() const;
    // Enables the buttons for the rows selected now (none unless `selected`), and says why adding
    // and deleting are not offered.
    void showTaskButtons(bool selected);

    Self self_;
    bool settingsUnlocked_ = false;
    // Stored by "Применить".
    std::wstring filterDate_;
    std::wstring filterStartTime_;
    std::wstring filterStopTime_;
    std::optional<std::uint32_t> filterDeviceId_;
    std::optional<std::vector<std::uint32_t>> zoneFilterDeviceIds_;
    ZoneElement::ZonePtr rootZone_;
    std::shared_ptr<device::DeviceCollection> deviceCollection_;
    scheduler::Core core_;
    SchedulerTasks tasks_;
    SchedulerStore store_{tasks_};
    std::map<std::wstring, std::unique_ptr<SchedulerControl>> controls_;
    std::vector<std::wstring> gongPaths_;
    std::vector<std::shared_ptr<PlaybackCollection>> sources_;
    std::vector<int> deviceRowLevels_;
    // The rows of the device check list as they were filled, and their checks.
    std::vector<DeviceRow> shownDeviceRows_;
    std::vector<bool> deviceChecks_;
    // The rows of the task list as they were last shown and told in the log, in their order, and
    // what they were read from: the revisions of the tasks and of the registry (the loudspeakers'
    // names) and the filter. A refresh from the same reads nothing again.
    std::shared_ptr<const TaskRows> taskRows_ = std::make_shared<TaskRows>();
    struct RowsRead {
        std::uint64_t tasks = 0;
        std::uint64_t devices = 0;
        std::optional<TaskFilter> filter;

        bool operator==(const RowsRead& other) const {
            return tasks == other.tasks && devices == other.devices && filter == other.filter;
        }
    };
    std::optional<RowsRead> rowsRead_;
    // The records read, by task: a task's record never changes. Each entry holds its task.
    std::unordered_map<const scheduler::task::BaseTask*, TaskRows::Row> records_;
    // The loudspeakers of the rows read, in their order, which the filter's device choice offers
    // while no filter is set.
    std::vector<std::pair<std::uint32_t, std::wstring>> rowDevices_;
    // The log's lines of the task rows, told in order.
    std::shared_ptr<base::SerialJobs> rowLog_;
    // What the filter's device choice offers, in its order, and the zones its zone choice offers.
    std::vector<FilterDevice> filterDevices_;
    std::vector<std::wstring> filterZoneNames_;
    // What the line over the task buttons says now.
    std::wstring taskButtonsNote_;
    // Set while a handler changes the controls whose events lead back to it.
    bool selecting_ = false;
};

}  // namespace frm
