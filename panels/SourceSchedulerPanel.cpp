#include "panels/SourceSchedulerPanel.h"

#include <wx/toplevel.h>

#include <algorithm>
#include <unordered_set>

#include "audio/CivilTime.h"
#include "audio/PlaybackTrack.h"
#include "devicelink/DeviceCollection.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Place.h"
#include "foundation/ProgramTables.h"
#include "foundation/SerialJobs.h"
#include "panels/PlaybackDrive.h"
#include "panels/SourcePanelParts.h"

namespace frm {
namespace {

using scheduler::task::BaseTask;
using scheduler::task::DataVault;

// The task rows told in the log by one job, between which the dispatcher runs its other work.
constexpr std::size_t kRowsToldAtOnce = 256;
// Refreshes whose rows may wait to be told.
constexpr std::size_t kRowSharesWaiting = std::size_t(1) << 20;

std::wstring calendarDate(const wxCalendarCtrl* calendar) {
    const wxDateTime date = calendar->GetDate();
    return scheduler::dateText(boost::gregorian::date(static_cast<unsigned short>(date.GetYear()),
                                                      static_cast<unsigned short>(date.GetMonth() + 1),
                                                      static_cast<unsigned short>(date.GetDay())));
}

wxDateTime today() {
    const boost::gregorian::date date = scheduler::civilNow().date();
    return wxDateTime(static_cast<wxDateTime::wxDateTime_t>(date.day()),
                      static_cast<wxDateTime::Month>(date.month() - 1), static_cast<int>(date.year()));
}

}  // namespace

SourceSchedulerPanel::SourceSchedulerPanel(wxWindow* parent, ZoneElement::ZonePtr rootZone,
                                           std::shared_ptr<device::DeviceCollection> deviceCollection)
    : fb::SourceSchedulerPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(1544, 1115), wxTAB_TRAVERSAL),
      self_(std::make_shared<SourceSchedulerPanel*>(this)),
      rootZone_(std::move(rootZone)),
      deviceCollection_(std::move(deviceCollection)),
      tasks_(core_, [self = std::weak_ptr<SourceSchedulerPanel*>(self_)] {
          // Only the list changes: the task the operator is composing stays as it is.
          GuiThreadInvoker::add([self] {
              if (const Self panel = self.lock()) (*panel)->refreshTaskListCtrl();
          });
      }) {
    controls_[L"playlist"] = std::make_unique<SchedulerControl>(store_, L"playlist");
    controls_[L"radio"] = std::make_unique<SchedulerControl>(store_, L"radio");
    controls_[L"serviceMessage"] = std::make_unique<SchedulerControl>(store_, L"serviceMessage");
    // Alarm messages are not scheduled; their panel asks all the same.
    controls_[L"alarmMessage"] = std::make_unique<SchedulerControl>(store_, L"alarmMessage");
    rowLog_ = std::make_shared<base::SerialJobs>(L"scheduler: task rows to the log", kRowSharesWaiting,
                                                 L"scheduler: %1% shares of task rows wait for the log");
}

void SourceSchedulerPanel::buildControls() {
    if (hasControls()) return;
    buildLayout();
    m_stopTime->Enable();
    m_stopTime->SetValue(false);
    m_stopHour->Disable();
    m_stopMinute->Disable();
    m_firstDateCalendar->Disable();
    m_lastDateCalendar->Disable();
    selectTaskType(taskDaily);
    for (std::size_t column = 0; column < kTaskColumnCount; ++column)
        m_taskList->InsertColumn(static_cast<long>(column), kTaskColumnTitles[column]);
    m_taskList->setRows([this](long row, long column) {
        return wxString(taskRows_->texts(static_cast<std::size_t>(row))[static_cast<std::size_t>(column)]);
    });
    // A range of rows selected with Shift or the keys tells no row of it.
    m_taskList->setSelectionCallback([this] { selectTask(m_taskList->GetSelectedItemCount() > 0); });
    m_devices->setRows(
        [this](long row, long) { return wxString(shownDeviceRows_.at(static_cast<std::size_t>(row)).text); },
        [this](long row) {
            fb::VirtualListCtrl::Look look;
            if (!shownDeviceRows_.at(static_cast<std::size_t>(row)).loudspeaker) {
                const base::RgbColour shade = kSchedulerItemBackground;
                look.background = wxColour(shade.red, shade.green, shade.blue);
            }
            return look;
        },
        [this](long row) { return deviceChecks_.at(static_cast<std::size_t>(row)); });
    fitColumns();
    m_noGongLabel->Hide();
    selectTask(false);
    // What the start-up gave the panel meanwhile.
    showPlaces();
    // The filter's device choice is empty: every loudspeaker is offered anew.
    filterDevices_.clear();
    reload();
    fitToWindow();
}

SourceSchedulerPanel::~SourceSchedulerPanel() {
    debug::Place("frm::SourceSchedulerPanel::~SourceSchedulerPanel").trace3(L"");
    core_.stop();
    self_.reset();
}

void SourceSchedulerPanel::shutdown() {
    rowLog_->close();
    core_.clear();
    core_.stop();
    tasks_.close();
    rootZone_.reset();
    deviceCollection_.reset();
    sources_.clear();
    shownDeviceRows_.clear();
    deviceChecks_.clear();
}

ISchedulerControl* SourceSchedulerPanel::getSchedulerControl(const std::wstring& kind) {
    const auto found = controls_.find(kind);
    return found == controls_.end() ? nullptr : found->second.get();
}

void SourceSchedulerPanel::fillPlaceChoice(const std::vector<std::shared_ptr<PlaybackCollection>>& sources) {
    sources_ = sources;
    showPlaces();
    // Tasks of a medium that was not mounted when the file was read come back once it is.
    if (store_.takeHeld(PlaybackDrive::kSourceKind, sources_, registryLookup()) > 0) refreshTaskListCtrl();
}

void SourceSchedulerPanel::showPlaces() {
    if (!hasControls()) return;
    // The sources are rebuilt each time the view is shown: what the operator chose stays chosen
    // while it is still offered.
    const std::wstring place = m_place->GetStringSelection().ToStdWstring();
    const std::wstring content = m_content->GetStringSelection().ToStdWstring();
    m_place->Clear();
    m_content->Clear();
    m_gong->Disable();
    std::vector<std::wstring> titles;
    for (const auto& group : sources_) {
        titles.push_back(group ? group->getTitle() : std::wstring());
        m_place->Append(titles.back());
    }
    if (sources_.empty()) return;
    const auto& group = sources_[static_cast<std::size_t>(entryToChoose(titles, place, 0))];
    fillContentChoice(group);
    std::vector<std::wstring> names;
    for (unsigned item = 0; item < m_content->GetCount(); ++item)
        names.push_back(m_content->GetString(item).ToStdWstring());
    if (const int chosen = entryToChoose(names, content, wxNOT_FOUND); chosen != wxNOT_FOUND)
        m_content->SetSelection(chosen);
    showSourceKind(group);
}

void SourceSchedulerPanel::fillContentChoice(const std::shared_ptr<PlaybackCollection>& group) {
    if (!hasControls()) return;
    m_content->Clear();
    if (!group) return;
    m_place->SetStringSelection(group->getTitle());
    for (const auto& playback : group->getPlaybacks()) m_content->Append(playback->getName());
    const bool empty = m_content->IsEmpty();
    m_content->Enable(!empty);
    m_contentNote->SetLabel(empty ? emptyContentNote(group->getKind()) : std::wstring());
    m_contentNote->Wrap(kSourceColumnWidth - 2 * kSourceBoxMargin);
    m_contentNote->Show(empty);
    Layout();
}

void SourceSchedulerPanel::showSourceKind(const std::shared_ptr<PlaybackCollection>& group) {
    const auto playbacks = group ? group->getPlaybacks() : std::vector<std::shared_ptr<IPlayback>>();
    if (playbacks.empty()) return;
    const bool message = std::dynamic_pointer_cast<PlaybackTrack>(playbacks.front()) != nullptr;
    m_gong->Enable(message);
    m_noGongLabel->Show(message);
    m_stopTimePanel->Enable(!message);
    debug::Place("frm::SourceSchedulerPanel::placeOnChoice")
        .debug(L"position: %1%, is enabled gong: %2%", m_place->GetSelection(), message ? L"true" : L"false");
    selectTask(false);
    Layout();
}

void SourceSchedulerPanel::reload() {
    if (!hasControls()) return;
    m_filterCalendar->SetDate(today());
    // The plan's calendars show today while they are not in use.
    if (!m_firstDate->IsChecked()) m_firstDateCalendar->SetDate(today());
    if (!m_lastDate->IsChecked()) m_lastDateCalendar->SetDate(today());
    for (wxCheckBox* box :
         {m_filterDate, m_filterStartTime, m_filterStopTime, m_filterEnabled, m_filterDevices, m_filterZones})
        box->SetValue(false);
    for (wxWindow* input : std::initializer_list<wxWindow*>{
             m_filterCalendar, m_filterStartHour, m_filterStartMinute, m_filterStopHour, m_filterStopMinute,
             m_filterDeviceChoice, m_filterZoneChoice})
        input->Disable();
    const int gong = m_gong->GetSelection();
    const std::wstring gongPath = gong >= 0 && static_cast<std::size_t>(gong) < gongPaths_.size()
                                      ? gongPaths_[static_cast<std::size_t>(gong)]
                                      : std::wstring();
    gongPaths_ = fillGongChoice(*m_gong);
    if (gong != wxNOT_FOUND) m_gong->SetSelection(entryToChoose(gongPaths_, gongPath, wxNOT_FOUND));

    // The rows checked stay checked when the zones are shown again; each row gets its own check,
    // none spreads to the rows below as the operator's would.
    DeviceRows rows = deviceRows(rootZone_);
    filterZoneNames_ = std::move(rows.zoneNames);
    showFilterZones();
    // Mostly the zones are as they were: the rows stay, with their checks.
    if (rows.rows == shownDeviceRows_) {
        refreshTaskListCtrl();
        return;
    }
    deviceChecks_ = keptChecks(shownDeviceRows_, deviceChecks_, rows.rows);
    shownDeviceRows_ = std::move(rows.rows);
    deviceRowLevels_.clear();
    std::wstring longest;
    for (const DeviceRow& row : shownDeviceRows_) {
        deviceRowLevels_.push_back(row.level);
        if (row.text.size() > longest.size()) longest = row.text;
    }
    m_devices->SetItemCount(static_cast<long>(shownDeviceRows_.size()));
    m_devices->Refresh();
    m_devices->SetColumnWidth(0, automaticWidth(*m_devices, longest));
    fitColumnHeaders(*m_devices);
    refreshTaskListCtrl();
}

SchedulerStore::Lookup SourceSchedulerPanel::registryLookup() const {
    return [registry = deviceCollection_](const net::HardwareAddress& address) -> ZoneElement::DevicePtr {
        return registry ? registry->searchFor(address) : nullptr;
    };
}

storage::StateFileRead SourceSchedulerPanel::load(const std::wstring& path) {
    const storage::StateFileRead read = store_.load(path, sources_, registryLookup());
    // A skipped file put no task: the list stays as it stands.
    if (store_.readTasks()) refreshTaskListCtrl();
    return read;
}

bool SourceSchedulerPanel::filtersOff() const {
    return !m_filterDeviceChoice->IsEnabled() && !m_filterEnabled->IsChecked() &&
           !m_filterZones->IsChecked() && !m_filterCalendar->IsEnabled() && !m_filterStartHour->IsEnabled() &&
           !m_filterStopHour->IsEnabled();
}

std::vector<std::uint32_t> SourceSchedulerPanel::collectTargetDeviceIds(const IPlayback& playback) {
    std::vector<std::uint32_t> ids;
    std::vector<FilterDevice> offered = filterDevices_;
    for (const auto& target : playback.getTargets()) {
        const std::uint32_t id = target->getId();
        ids.push_back(id);
        if (std::none_of(offered.begin(), offered.end(),
                         [id](const FilterDevice& device) { return device.first == id; }))
            offered.emplace_back(id, target->getDisplayName());
    }
    offerFilterDevices(std::move(offered));
    return ids;
}

void SourceSchedulerPanel::offerFilterDevices(std::vector<FilterDevice> devices) {
    // Mostly the choice only grows at its end, by the loudspeakers of a task added.
    const bool extended = devices.size() >= filterDevices_.size() &&
                          std::equal(filterDevices_.begin(), filterDevices_.end(), devices.begin());
    filterDevices_ = std::move(devices);
    showFilterDevices(!extended);
}

void SourceSchedulerPanel::showFilterDevices(bool anew) {
    // A choice takes a tenth of a millisecond for each entry: a site's thousands of loudspeakers
    // would hold the window at every showing of the page.
    if (!m_filterDevices->IsChecked() || anew) {
        if (!m_filterDeviceChoice->IsEmpty()) m_filterDeviceChoice->Clear();
        if (!m_filterDevices->IsChecked()) return;
    }
    for (std::size_t item = m_filterDeviceChoice->GetCount(); item < filterDevices_.size(); ++item)
        m_filterDeviceChoice->Append(
            filterDevices_[item].second,
            reinterpret_cast<void*>(static_cast<std::uintptr_t>(filterDevices_[item].first)));
}

void SourceSchedulerPanel::showFilterZones() {
    if (!m_filterZoneChoice->IsEmpty()) m_filterZoneChoice->Clear();
    if (!m_filterZones->IsChecked()) return;
    wxArrayString names;
    for (const std::wstring& name : filterZoneNames_) names.Add(name);
    m_filterZoneChoice->Append(names);
}

void SourceSchedulerPanel::refreshTaskListCtrl() {
    const debug::Place place("frm::SourceSchedulerPanel::refreshTaskListCtrl");
    const std::optional<TaskFilter> filter = hasControls() ? currentFilter() : std::nullopt;
    if (hasControls()) place.trace(L"Filters for tasks are %1%", filter ? L"enabled" : L"disabled");
    const RowsRead read{tasks_.changes().revision(),
                        deviceCollection_ ? deviceCollection_->changes().revision() : 0, filter};
    if (!(rowsRead_ && *rowsRead_ == read)) {
        rowsRead_ = read;
        readRows(filter);
    }
    tellRows(taskRows_);
    if (!hasControls()) return;
    showTaskRows();
    // With no filter the filter's device choice offers the loudspeakers of the rows, in their order.
    if (filtersOff()) offerFilterDevices(rowDevices_);
    Layout();
}

void SourceSchedulerPanel::readRows(const std::optional<TaskFilter>& filter) {
    // The loudspeakers' names, read once for every row.
    TaskRows::Names names;
    if (deviceCollection_) {
        for (const auto& device : deviceCollection_->getDevices())
            names.emplace(device->getId(), device->getDisplayName());
    }
    rowDevices_.clear();
    std::unordered_set<std::uint32_t> rowDeviceIds;
    std::unordered_map<const BaseTask*, TaskRows::Row> records;
    std::vector<TaskRows::Row> wanted;
    for (auto& task : tasks_.tasks()) {
        const auto known = records_.find(task.get());
        TaskRows::Row row =
            known != records_.end()
                ? std::move(known->second)
                : TaskRows::Row{task, std::make_shared<const DataVault>(task->getClientData())};
        records.emplace(task.get(), row);
        const DataVault& record = *row.record;
        if (record.isStopTask || (filter && !taskPasses(*task, *filter))) continue;
        for (const std::uint32_t id : record.deviceEntries) {
            if (rowDeviceIds.insert(id).second)
                rowDevices_.emplace_back(id, TaskRows::deviceName(names, record, id));
        }
        wanted.push_back(std::move(row));
    }
    records_ = std::move(records);
    taskRows_ = std::make_shared<const TaskRows>(std::move(wanted), std::move(names));
}

void SourceSchedulerPanel::tellRows(const std::shared_ptr<const TaskRows>& rows) {
    // Each share is a job of its own, so that the dispatcher's other work goes on between them.
    for (std::size_t first = 0; first < rows->size(); first += kRowsToldAtOnce) {
        rowLog_->push(
            [rows, first] {
                const std::size_t end = std::min(first + kRowsToldAtOnce, rows->size());
                for (std::size_t row = first; row < end; ++row) {
                    std::wstring joined;
                    for (const std::wstring& text : rows->makeTexts(row)) joined += L" | " + text;
                    debug::Place("frm::SourceSchedulerPanel::fillRow")
                        .info(L"Задание N%1%: %2%", rows->id(row), joined);
                }
            },
            false);
    }
}

void SourceSchedulerPanel::showTaskRows() {
    // As a list filled anew, the list keeps no row selected or focused; its events lead nowhere.
    const bool selecting = selecting_;
    selecting_ = true;
    m_taskList->SetItemState(-1, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    m_taskList->SetItemCount(static_cast<long>(taskRows_->size()));
    m_taskList->Refresh();
    selecting_ = selecting;
}

std::optional<TaskFilter> SourceSchedulerPanel::currentFilter() const {
    bool anyChecked = false;
    for (const wxCheckBox* box :
         {m_filterDate, m_filterStartTime, m_filterStopTime, m_filterEnabled, m_filterDevices, m_filterZones})
        anyChecked = anyChecked || box->IsChecked();
    if (!anyChecked) return std::nullopt;
    TaskFilter filter;
    filter.enabledOnly = m_filterEnabled->IsChecked();
    if (m_filterDate->IsChecked()) filter.date = filterDate_;
    if (m_filterStartTime->IsChecked() || m_filterStopTime->IsChecked())
        filter.times = std::make_pair(m_filterStartTime->IsChecked() ? filterStartTime_ : std::wstring(),
                                      m_filterStopTime->IsChecked() ? filterStopTime_ : std::wstring());
    if (m_filterDevices->IsChecked()) filter.deviceId = filterDeviceId_;
    if (m_filterZones->IsChecked()) filter.zoneDeviceIds = zoneFilterDeviceIds_;
    return filter;
}

std::vector<std::uint32_t> SourceSchedulerPanel::getSelectedTaskIds() const {
    std::vector<std::uint32_t> ids;
    for (const long row : selectedRows()) ids.push_back(taskRows_->id(static_cast<std::size_t>(row)));
    return ids;
}

std::vector<long> SourceSchedulerPanel::selectedRows() const {
    std::vector<long> rows;
    for (long row = m_taskList->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
         row = m_taskList->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        rows.push_back(row);
    return rows;
}

void SourceSchedulerPanel::setSettingsUnlocked(bool unlocked) {
    settingsUnlocked_ = unlocked;
    // The selection stays as it is; only the buttons follow.
    if (hasControls() && !selecting_) showTaskButtons(!selectedRows().empty());
}

void SourceSchedulerPanel::selectTask(bool selected) {
    // Deselecting rows here sends deselection events that lead back here.
    if (selecting_ || !hasControls()) return;
    selecting_ = true;
    if (!selected) m_taskList->SetItemState(-1, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    showTaskButtons(selected);
    selecting_ = false;
}

void SourceSchedulerPanel::showTaskButtons(bool selected) {
    std::size_t enabled = 0;
    std::size_t disabled = 0;
    const std::vector<long> rows = selectedRows();
    for (const long row : rows) {
        const auto task = core_.getTask(taskRows_->id(static_cast<std::size_t>(row)));
        if (!task) {
            debug::Place("frm::SourceSchedulerPanel::selectTask").warn(L"Internal error. Task not found.");
            continue;
        }
        ++(task->isEnabled() ? enabled : disabled);
    }
    const TaskButtons buttons = taskButtons(selected, settingsUnlocked_, rows.size(), enabled, disabled);
    m_enableTask->Enable(buttons.enable);
    m_disableTask->Enable(buttons.disable);
    m_deleteTask->Enable(buttons.remove);
    m_addTask->Enable(buttons.add);
    m_edit->Enable(buttons.edit);
    if (buttons.note == taskButtonsNote_) return;
    taskButtonsNote_ = buttons.note;
    m_taskButtonsNote->SetLabel(buttons.note);
    m_taskButtonsNote->Wrap(kSourceColumnWidth);
    m_taskButtonsNote->Show(!buttons.note.empty());
    Layout();
}

void SourceSchedulerPanel::selectTaskType(int type) {
    if (!hasControls()) return;
    const auto shown = timePlanControls(type);
    if (!shown) {
        debug::Place("frm::SourceSchedulerPanel::selectTaskType").warn(L"Unknown type task '%1%'", type);
        return;
    }
    if (type < static_cast<int>(m_taskType->GetCount())) m_taskType->SetSelection(type);
    m_repeatPanel->Show(shown->repeat);
    m_weekdays->Show(shown->weekdays);
    m_firstDatePanel->Show(shown->firstDate);
    m_lastDatePanel->Show(shown->lastDate);
    m_dayPanel->Show(shown->day);
    m_timeStepPanel->Show(shown->timeStep);
    m_stopTimePanel->Show(shown->stopTime);
    Layout();
    Refresh();
}

Targets SourceSchedulerPanel::getCheckedDevices() const {
    Targets targets;
    for (std::size_t row = 0; row < shownDeviceRows_.size(); ++row) {
        if (deviceChecks_[row] && shownDeviceRows_[row].loudspeaker)
            targets.insert(shownDeviceRows_[row].loudspeaker);
    }
    return targets;
}

void SourceSchedulerPanel::fitColumns() {
    const std::array<int, kTaskColumnCount> widths = taskColumnWidths(m_taskList->GetSize().x);
    for (std::size_t column = 0; column < kTaskColumnCount; ++column)
        m_taskList->SetColumnWidth(static_cast<long>(column), widths[column]);
    fitColumnHeaders(*m_taskList);
}

void SourceSchedulerPanel::OnSize(wxSizeEvent& event) {
    event.Skip();
    fitToWindow();
}

void SourceSchedulerPanel::fitToWindow() {
    // The columns follow the list's width until the page is first shown; then they are the
    // operator's.
    if (!IsShownOnScreen()) {
        Layout();
        fitColumns();
    }
    const wxWindow* top = wxGetTopLevelParent(this);
    if (top == nullptr) return;
    const bool wide = top->GetSize().x >= kWideWindow;
    if (!wide && m_topRow->GetItem(m_devices) != nullptr) {
        m_topRow->Detach(m_devices);
        m_sourceRow->Insert(0, m_devices, 0, wxEXPAND | wxLEFT | wxBOTTOM, 5);
    } else if (wide && m_sourceRow->GetItem(m_devices) != nullptr) {
        m_sourceRow->Detach(m_devices);
        m_topRow->Insert(0, m_devices, 0, wxEXPAND | wxBOTTOM, 5);
    }
    Layout();
}

void SourceSchedulerPanel::devicesOnCheckListBox(wxListEvent& event) {
    event.Skip();
    const long row = event.GetIndex();
    if (row < 0 || static_cast<std::size_t>(row) >= deviceChecks_.size()) return;
    // The list holds no checks of its own: the event tells what the row's check became.
    const bool checked = event.GetEventType() == wxEVT_LIST_ITEM_CHECKED;
    const std::size_t end = nestedRowsEnd(deviceRowLevels_, static_cast<std::size_t>(row));
    for (std::size_t each = static_cast<std::size_t>(row); each < end; ++each) deviceChecks_[each] = checked;
    m_devices->RefreshItems(row, static_cast<long>(end) - 1);
    selectTask(false);
}

void SourceSchedulerPanel::taskListOnListItemSelected(wxListEvent& event) {
    debug::Place("frm::SourceSchedulerPanel::taskListOnListItemSelected").trace(L"");
    event.Skip();
    selectTask(true);
}

void SourceSchedulerPanel::taskListOnListItemDeselected(wxListEvent& event) {
    debug::Place("frm::SourceSchedulerPanel::taskListOnListItemDeselected").trace(L"");
    event.Skip();
    selectTask(false);
}

void SourceSchedulerPanel::placeOnChoice(wxCommandEvent& event) {
    const debug::Place place("frm::SourceSchedulerPanel::placeOnChoice");
    place.trace(L"");
    event.Skip();
    const int selection = m_place->GetSelection();
    if (selection < 0 || static_cast<std::size_t>(selection) >= sources_.size()) {
        place.error(L"Internal error. Not found source. Selection %1%", selection);
        return;
    }
    fillContentChoice(sources_[static_cast<std::size_t>(selection)]);
    showSourceKind(sources_[static_cast<std::size_t>(selection)]);
}

void SourceSchedulerPanel::selectTaskTypeOnRadioBox(wxCommandEvent& event) {
    const debug::Place place("frm::SourceSchedulerPanel::selectTaskTypeOnRadioBox");
    place.trace(L"");
    event.Skip();
    const int selection = m_taskType->GetSelection();
    if (selection >= 5) {
        place.warn(L"Unknown type task '%1%'.", selection);
    } else {
        selectTaskType(selection);
    }
    selectTask(false);
}

void SourceSchedulerPanel::firstDateOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::SourceSchedulerPanel::firstDateOnCheckBox").trace(L"");
    event.Skip();
    selectTask(false);
    m_firstDateCalendar->Enable(m_firstDate->IsChecked());
}

void SourceSchedulerPanel::lastDateOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::SourceSchedulerPanel::lastDateOnCheckBox").trace(L"");
    event.Skip();
    selectTask(false);
    m_lastDateCalendar->Enable(m_lastDate->IsChecked());
}

void SourceSchedulerPanel::stopTimeOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::SourceSchedulerPanel::stopTimeOnCheckBox").trace(L"");
    event.Skip();
    m_stopHour->Enable(m_stopTime->IsChecked());
    m_stopMinute->Enable(m_stopTime->IsChecked());
}

void SourceSchedulerPanel::timeStepOnChar(wxKeyEvent& event) {
    if (timeStepKeyPasses(event.GetKeyCode(), static_cast<wchar_t>(event.GetUnicodeKey()))) event.Skip();
}

void SourceSchedulerPanel::editOnButtonClick(wxCommandEvent& event) {
    const debug::Place place("frm::SourceSchedulerPanel::editOnButtonClick");
    place.trace(L"");
    event.Skip();
    const std::vector<long> rows = selectedRows();
    if (rows.empty()) return;
    if (!settingsUnlocked_) {
        place.notice(L"Перед редактированием разблокируйте настройки");
        return;
    }
    const auto id = taskRows_->id(static_cast<std::size_t>(rows.front()));
    const auto task = core_.getTask(id);
    if (!task) {
        place.warn(L"Задание не найдено %1%", id);
    } else if (!std::dynamic_pointer_cast<BaseTask>(task)) {
        place.warn(L"Internal error. Unknown task.");
    }
}

void SourceSchedulerPanel::addTaskOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::SourceSchedulerPanel::addTaskOnButtonClick").trace(L"");
    event.Skip();
    try {
        addTask();
    } catch (const exception::StopProgram&) {
        throw;
    } catch (const std::exception& error) {
        debug::Place("frm::SourceSchedulerPanel::addTaskOnButtonClick")
            .error(L"Задание не добавлено: %1%", exception::textOf(error));
    }
}

void SourceSchedulerPanel::addTask() {
    const debug::Place place("frm::SourceSchedulerPanel::addTaskOnButtonClick");
    NewTaskInput input;
    input.settingsUnlocked = settingsUnlocked_;
    input.sourceChosen = m_place->GetSelection() != wxNOT_FOUND && m_content->GetSelection() != wxNOT_FOUND;
    const Targets targets = getCheckedDevices();
    input.devicesChosen = !targets.empty();
    std::shared_ptr<IPlayback> playback;
    if (input.settingsUnlocked && input.sourceChosen) {
        const auto placeIndex = static_cast<std::uint32_t>(m_place->GetSelection());
        debug::terminateIfOutOfRange(sources_, placeIndex, "frm::SourceSchedulerPanel::addTaskOnButtonClick");
        const auto group = sources_[placeIndex];
        debug::terminateIfNull(group, "frm::SourceSchedulerPanel::addTaskOnButtonClick");
        const auto playbacks = group->getPlaybacks();
        const auto contentIndex = static_cast<std::uint32_t>(m_content->GetSelection());
        debug::terminateIfOutOfRange(playbacks, contentIndex,
                                     "frm::SourceSchedulerPanel::addTaskOnButtonClick");
        playback = playbacks[contentIndex]->clone();
    }
    const auto track = std::dynamic_pointer_cast<PlaybackTrack>(playback);
    input.message = track != nullptr;
    input.type = m_taskType->GetSelection();
    input.today = scheduler::dateText(scheduler::civilNow().date());
    if (m_firstDateCalendar->IsEnabled()) input.firstDate = calendarDate(m_firstDateCalendar);
    if (m_lastDateCalendar->IsEnabled()) input.lastDate = calendarDate(m_lastDateCalendar);
    input.startHour = m_startHour->GetValue();
    input.startMinute = m_startMinute->GetValue();
    input.stopChecked = m_stopTime->IsChecked();
    input.stopHour = m_stopHour->GetValue();
    input.stopMinute = m_stopMinute->GetValue();

    const NewTaskPlan plan = planNewTask(input);
    if (!plan.takesIds && plan.refusal.empty())
        debug::terminateIfOutOfRange(taskLastType + 1, plan.type,
                                     "frm::SourceSchedulerPanel::addTaskOnButtonClick");
    if (!plan.takesIds) {
        place.notice(plan.refusal.c_str());
        return;
    }
    const SchedulerTasks::Ids ids = tasks_.takeIds();
    if (!plan.refusal.empty()) {
        place.notice(plan.refusal.c_str());
        return;
    }
    if (plan.type != taskOnce && plan.type != taskDaily) throw exception::NotImplemented();

    playback->setTargets(targets);
    if (track) {
        const int gong = m_gong->GetSelection();
        std::wstring path;
        if (gong != wxNOT_FOUND) {
            debug::terminateIfOutOfRange(gongPaths_, static_cast<std::uint32_t>(gong),
                                         "frm::SourceSchedulerPanel::addTaskOnButtonClick");
            path = gongPaths_[static_cast<std::size_t>(gong)];
        }
        track->setGong(base::getFileName(path, true), path);
    }
    const DataVault record(playback, plan.startDate, plan.finalDate, plan.startTime, plan.stopTime,
                           collectTargetDeviceIds(*playback), -1, false);
    if (!store_.takes(record, static_cast<TaskType>(plan.type))) return;
    const bool stopped = tasks_.put(static_cast<TaskType>(plan.type), ids, record, true);
    place.info(L"Добавлено задание N%1%", ids.start);
    if (stopped) place.debug(L"Добавлено задание окончания N%1%", ids.stop);
    refreshTaskListCtrl();
}

void SourceSchedulerPanel::enableTaskOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::SourceSchedulerPanel::enableTaskOnButtonClick").trace(L"");
    const std::vector<std::uint32_t> ids = getSelectedTaskIds();
    if (!store_.takesEnabling(ids, event.GetId() == kEnableTaskId)) return;
    tasks_.enable(ids, event.GetId() == kEnableTaskId);
    m_enableTask->Disable();
    m_disableTask->Disable();
    refreshTaskListCtrl();
}

void SourceSchedulerPanel::deleteTaskOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::SourceSchedulerPanel::deleteTaskOnButtonClick");
    place.trace(L"");
    const std::vector<std::uint32_t> ids = getSelectedTaskIds();
    if (ids.empty()) {
        place.notice(L"Нет выбранных задач");
        return;
    }
    if (!settingsUnlocked_) {
        place.notice(L"Перед удалением разблокируйте настройки");
        return;
    }
    tasks_.erase(ids);
    refreshTaskListCtrl();
    selectTask(false);
}

void SourceSchedulerPanel::applyFilterOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::SourceSchedulerPanel::applyFilterOnButtonClick");
    place.trace(L"");
    filterDate_ = m_filterDate->IsChecked() ? calendarDate(m_filterCalendar) : std::wstring();
    const auto time = [](const wxSpinCtrl* hour, const wxSpinCtrl* minute) {
        return std::to_wstring(hour->GetValue()) + L":" + std::to_wstring(minute->GetValue());
    };
    filterStartTime_ = m_filterStartTime->IsChecked() ? time(m_filterStartHour, m_filterStartMinute) : L"";
    filterStopTime_ = m_filterStopTime->IsChecked() ? time(m_filterStopHour, m_filterStopMinute) : L"";
    if (m_filterDevices->IsChecked()) {
        const int device = m_filterDeviceChoice->GetSelection();
        if (device == wxNOT_FOUND) {
            place.notice(L"Не выбрано ни одного устройства");
            return;
        }
        filterDeviceId_ = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(
            m_filterDeviceChoice->GetClientData(static_cast<unsigned>(device))));
    }
    if (m_filterZones->IsChecked()) {
        const int zone = m_filterZoneChoice->GetSelection();
        if (zone == wxNOT_FOUND) {
            place.notice(L"Не выбрано ни одной зоны");
            return;
        }
        zoneFilterDeviceIds_ = zoneDeviceIds(rootZone_, m_filterZoneChoice->GetString(zone).ToStdWstring());
    }
    refreshTaskListCtrl();
}

void SourceSchedulerPanel::filterDateOnCheckBox(wxCommandEvent&) {
    m_filterCalendar->Enable(m_filterDate->IsChecked());
}

void SourceSchedulerPanel::filterStartTimeOnCheckBox(wxCommandEvent&) {
    m_filterStartHour->Enable(m_filterStartTime->IsChecked());
    m_filterStartMinute->Enable(m_filterStartTime->IsChecked());
}

void SourceSchedulerPanel::filterStopTimeOnCheckBox(wxCommandEvent&) {
    m_filterStopHour->Enable(m_filterStopTime->IsChecked());
    m_filterStopMinute->Enable(m_filterStopTime->IsChecked());
}

void SourceSchedulerPanel::filterDevicesOnCheckBox(wxCommandEvent&) {
    m_filterDeviceChoice->Enable(m_filterDevices->IsChecked());
    showFilterDevices(false);
}

void SourceSchedulerPanel::filterZonesOnCheckBox(wxCommandEvent&) {
    m_filterZoneChoice->Enable(m_filterZones->IsChecked());
    showFilterZones();
}

}  // namespace frm
