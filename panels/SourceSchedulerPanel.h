#pragma once
// The scheduler page: the scheduled playbacks in a list, one row per task, and the choices from
// which the operator composes a new one (source, loudspeakers and zones, gong, time plan). It
// owns the scheduler core and its thread from construction to shutdown.
//
// Everything runs on the GUI thread. The tasks' events run on the thread dispatcher and reach
// the panel only through the GUI-thread invoker, while the panel exists.

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/kit/RowEdits.h"
#include "app/kit/ZoneElement.h"
#include "audio/PlaybackCollection.h"
#include "audio/SchedulerCore.h"
#include "layouts/SourceSchedulerPanel.h"
#include "panels/SchedulerControl.h"
#include "panels/SchedulerStore.h"
#include "panels/SchedulerTasks.h"

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
    // The texts of a task's row, from its record and its playback's targets.
    std::array<std::wstring, kTaskColumnCount> fillRow(const scheduler::task::BaseTask& task,
                                                       const scheduler::task::DataVault& record,
                                                       const Targets& targets);
    // A row of the task list: the task's id and texts.
    struct TaskListRow {
        std::uint32_t id = 0;
        std::array<std::wstring, kTaskColumnCount> texts;
    };
    // Makes the edits in the task list, whose rows were shownTasks_.
    void showTaskRows(const std::vector<RowEdit>& edits, const std::vector<TaskListRow>& wanted);
    // A loudspeaker the filter offers: its id and name.
    using FilterDevice = std::pair<std::uint32_t, std::wstring>;
    // The filter's device choice offers these.
    void offerFilterDevices(std::vector<FilterDevice> devices);
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
    // The rows of the device check list as they were filled.
    std::vector<DeviceRow> shownDeviceRows_;
    // The rows of the task list as they were last shown and told in the log, in their order.
    std::vector<TaskListRow> shownTasks_;
    // What the filter's device choice offers, in its order.
    std::vector<FilterDevice> filterDevices_;
    // What the line over the task buttons says now.
    std::wstring taskButtonsNote_;
    std::map<unsigned, ZoneElement::DevicePtr> deviceRows_;
    // Set while a handler changes the controls whose events lead back to it.
    bool selecting_ = false;
    bool propagating_ = false;
};

}  // namespace frm
