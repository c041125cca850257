#include "layouts/SourceSchedulerPanel.h"

#include <wx/statbox.h>

namespace frm::fb {
namespace {

wxSpinCtrl* spin(wxWindow* parent, int maximum) {
    return new wxSpinCtrl(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                          wxSP_ARROW_KEYS | wxALIGN_RIGHT, 0, maximum, 0);
}

// Hour and minute spins with a colon between them, appended to the row.
void hourAndMinute(wxWindow* parent, wxSizer* row, wxSpinCtrl*& hour, wxSpinCtrl*& minute) {
    hour = spin(parent, 23);
    row->Add(hour, 0, wxALIGN_CENTER_VERTICAL);
    row->Add(new wxStaticText(parent, wxID_ANY, wxT(":")), 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 3);
    minute = spin(parent, 59);
    row->Add(minute, 0, wxALIGN_CENTER_VERTICAL);
}

// A check box with a calendar under it, on a panel of its own.
wxPanel* datePanel(wxWindow* parent, const wxString& label, wxCheckBox*& check, wxCalendarCtrl*& calendar) {
    auto* panel = new wxPanel(parent, wxID_ANY);
    auto* column = new wxBoxSizer(wxVERTICAL);
    check = new wxCheckBox(panel, wxID_ANY, label);
    column->Add(check, 0, wxBOTTOM, 3);
    calendar = new wxCalendarCtrl(panel, wxID_ANY, wxDefaultDateTime, wxDefaultPosition, wxDefaultSize,
                                  wxCAL_MONDAY_FIRST | wxCAL_SHOW_HOLIDAYS);
    column->Add(calendar, 0);
    panel->SetSizer(column);
    return panel;
}

}  // namespace

SourceSchedulerPanel::SourceSchedulerPanel(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                           const wxSize& size, long style, const wxString& name)
    : wxPanel(parent, id, pos, size, style, name) {}

void SourceSchedulerPanel::buildLayout() {
    auto* column = new wxBoxSizer(wxVERTICAL);

    m_topRow = new wxBoxSizer(wxHORIZONTAL);
    // The derived panel gives the device check list its rows before the page is shown.
    m_devices = new VirtualListCtrl(this, wxLC_REPORT | wxLC_NO_HEADER | wxLC_SINGLE_SEL, wxSize(280, -1));
    m_devices->EnableCheckBoxes(true);
    m_devices->InsertColumn(0, wxEmptyString, wxLIST_FORMAT_LEFT, 220);
    m_topRow->Add(m_devices, 0, wxEXPAND | wxBOTTOM, 5);
    m_taskList = new VirtualListCtrl(this, wxLC_REPORT | wxLC_NO_SORT_HEADER);
    m_topRow->Add(m_taskList, 1, wxEXPAND | wxLEFT | wxBOTTOM, 5);
    column->Add(m_topRow, 1, wxEXPAND | wxALL, 4);

    m_sourceRow = new wxBoxSizer(wxHORIZONTAL);

    // The filter of the task list.
    auto* filter = new wxStaticBoxSizer(wxVERTICAL, this, wxT("Фильтр"));
    wxWindow* const filterBox = filter->GetStaticBox();
    m_filterDate = new wxCheckBox(filterBox, wxID_ANY, wxT("Дата"));
    filter->Add(m_filterDate, 0, wxALL, 3);
    m_filterCalendar = new wxCalendarCtrl(filterBox, wxID_ANY, wxDefaultDateTime, wxDefaultPosition,
                                          wxDefaultSize, wxCAL_MONDAY_FIRST | wxCAL_SHOW_HOLIDAYS);
    filter->Add(m_filterCalendar, 0, wxLEFT | wxRIGHT | wxBOTTOM, 3);
    // Each time filter has its spins on the line under its check box.
    const auto timeRow = [&](const wxString& label, wxCheckBox*& check, wxSpinCtrl*& hour,
                             wxSpinCtrl*& minute) {
        check = new wxCheckBox(filterBox, wxID_ANY, label);
        filter->Add(check, 0, wxLEFT | wxRIGHT | wxTOP, 3);
        auto* spins = new wxBoxSizer(wxHORIZONTAL);
        spins->AddSpacer(21);
        hourAndMinute(filterBox, spins, hour, minute);
        // Indented under the check box, and as the other rows kept off the box's frame on the
        // right, which they alone would touch.
        filter->Add(spins, 0, wxLEFT | wxRIGHT, 3);
    };
    timeRow(wxT("Время начала"), m_filterStartTime, m_filterStartHour, m_filterStartMinute);
    timeRow(wxT("Время останова"), m_filterStopTime, m_filterStopHour, m_filterStopMinute);
    m_filterEnabled = new wxCheckBox(filterBox, wxID_ANY, wxT("Включенные задания"));
    filter->Add(m_filterEnabled, 0, wxALL, 3);
    auto* choices = new wxFlexGridSizer(2, 3, 3);
    m_filterDevices = new wxCheckBox(filterBox, wxID_ANY, wxT("Устройства"));
    choices->Add(m_filterDevices, 0, wxALIGN_CENTER_VERTICAL);
    m_filterDeviceChoice = new wxChoice(filterBox, wxID_ANY);
    choices->Add(m_filterDeviceChoice, 0, wxEXPAND);
    m_filterZones = new wxCheckBox(filterBox, wxID_ANY, wxT("Зоны"));
    choices->Add(m_filterZones, 0, wxALIGN_CENTER_VERTICAL);
    m_filterZoneChoice = new wxChoice(filterBox, wxID_ANY);
    choices->Add(m_filterZoneChoice, 0, wxEXPAND);
    choices->AddGrowableCol(1);
    filter->Add(choices, 0, wxEXPAND | wxALL, 3);
    m_applyFilter = new wxButton(filterBox, wxID_ANY, wxT("Применить"));
    filter->Add(m_applyFilter, 0, wxALIGN_RIGHT | wxALL, 3);
    m_sourceRow->Add(filter, 0, wxEXPAND | wxRIGHT, 5);

    // What to play, and the task buttons under it.
    auto* sourceColumn = new wxBoxSizer(wxVERTICAL);
    auto* source = new wxStaticBoxSizer(wxVERTICAL, this, wxT("Источник воспроизведения"));
    wxWindow* const sourceBox = source->GetStaticBox();
    source->Add(new wxStaticText(sourceBox, wxID_ANY, wxT("Объект")), 0, wxLEFT | wxRIGHT | wxTOP, 3);
    m_place = new wxChoice(sourceBox, wxID_ANY);
    source->Add(m_place, 0, wxEXPAND | wxALL, 3);
    source->Add(new wxStaticText(sourceBox, wxID_ANY, wxT("Контент")), 0, wxLEFT | wxRIGHT | wxTOP, 3);
    m_content = new wxChoice(sourceBox, wxID_ANY);
    source->Add(m_content, 0, wxEXPAND | wxALL, 3);
    // Why the content is empty, while it is.
    m_contentNote = new wxStaticText(sourceBox, wxID_ANY, wxEmptyString);
    m_contentNote->Hide();
    source->Add(m_contentNote, 0, wxLEFT | wxRIGHT | wxBOTTOM, kSourceBoxMargin);
    m_noGongLabel = new wxStaticText(sourceBox, wxID_ANY, wxT("(Контент без гонга)"));
    source->Add(m_noGongLabel, 0, wxLEFT | wxRIGHT, 3);
    source->Add(new wxStaticLine(sourceBox, wxID_ANY), 0, wxEXPAND | wxALL, 5);
    source->Add(new wxStaticText(sourceBox, wxID_ANY, wxT("Гонг")), 0, wxLEFT | wxRIGHT, 3);
    m_gong = new wxChoice(sourceBox, wxID_ANY);
    source->Add(m_gong, 0, wxEXPAND | wxALL, 3);
    sourceColumn->Add(source, 0, wxEXPAND);
    sourceColumn->AddStretchSpacer(1);
    // Why the buttons that change the tasks are disabled, while they are.
    m_taskButtonsNote = new wxStaticText(this, wxID_ANY, wxEmptyString);
    m_taskButtonsNote->Hide();
    sourceColumn->Add(m_taskButtonsNote, 0, wxTOP, 4);
    const auto button = [&](wxWindowID buttonId, const wxString& label) {
        auto* created = new wxButton(this, buttonId, label);
        sourceColumn->Add(created, 0, wxEXPAND | wxTOP, 4);
        return created;
    };
    m_enableTask = button(kEnableTaskId, wxT("Вкл задание"));
    m_disableTask = button(wxID_ANY, wxT("Выкл задание"));
    m_edit = button(wxID_ANY, wxT("Редактировать"));
    m_edit->Hide();
    m_deleteTask = button(wxID_ANY, wxT("Удалить"));
    m_addTask = button(wxID_ANY, wxT("Добавить"));
    sourceColumn->SetMinSize(wxSize(kSourceColumnWidth, -1));
    m_sourceRow->Add(sourceColumn, 0, wxEXPAND | wxRIGHT, 5);

    // The time plan.
    auto* time = new wxStaticBoxSizer(wxVERTICAL, this, wxT("Время"));
    wxWindow* const timeBox = time->GetStaticBox();
    const wxString types[] = {wxT("Однократно"), wxT("Ежедневно")};
    m_taskType = new wxRadioBox(timeBox, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 2, types,
                                1, wxRA_SPECIFY_COLS);
    time->Add(m_taskType, 0, wxALL, 3);
    m_repeatPanel = new wxPanel(timeBox, wxID_ANY);
    auto* repeat = new wxBoxSizer(wxHORIZONTAL);
    repeat->Add(new wxStaticText(m_repeatPanel, wxID_ANY, wxT("Повторять каждый")), 0,
                wxALIGN_CENTER_VERTICAL | wxRIGHT, 5);
    m_repeatDays = new wxSpinCtrl(m_repeatPanel, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxSP_ARROW_KEYS, 1, 365, 1);
    repeat->Add(m_repeatDays, 0, wxALIGN_CENTER_VERTICAL);
    repeat->Add(new wxStaticText(m_repeatPanel, wxID_ANY, wxT("(день)")), 0, wxALIGN_CENTER_VERTICAL | wxLEFT,
                5);
    m_repeatPanel->SetSizer(repeat);
    time->Add(m_repeatPanel, 0, wxALL, 3);
    const wxString days[] = {wxT("Понедельник"), wxT("Вторник"), wxT("Среда"),      wxT("Четверг"),
                             wxT("Пятница"),     wxT("Суббота"), wxT("Воскресенье")};
    m_weekdays = new wxCheckListBox(timeBox, wxID_ANY, wxDefaultPosition, wxDefaultSize, 7, days);
    time->Add(m_weekdays, 0, wxALL, 3);
    auto* dates = new wxBoxSizer(wxHORIZONTAL);
    m_firstDatePanel = datePanel(timeBox, wxT("Дата первого запуска"), m_firstDate, m_firstDateCalendar);
    dates->Add(m_firstDatePanel, 0, wxRIGHT, 8);
    m_lastDatePanel = datePanel(timeBox, wxT("Дата последнего запуска"), m_lastDate, m_lastDateCalendar);
    dates->Add(m_lastDatePanel, 0);
    time->Add(dates, 0, wxALL, 3);

    m_dayPanel = new wxPanel(timeBox, wxID_ANY);
    auto* day = new wxStaticBoxSizer(wxVERTICAL, m_dayPanel, wxT("В течение дня"));
    wxWindow* const dayBox = day->GetStaticBox();
    auto* startRow = new wxBoxSizer(wxHORIZONTAL);
    startRow->Add(new wxStaticText(dayBox, wxID_ANY, wxT("Время запуска (ч:м)")), 0,
                  wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    hourAndMinute(dayBox, startRow, m_startHour, m_startMinute);
    day->Add(startRow, 0, wxALL, 3);
    m_stopTimePanel = new wxPanel(dayBox, wxID_ANY);
    auto* stopRow = new wxBoxSizer(wxHORIZONTAL);
    m_stopTime = new wxCheckBox(m_stopTimePanel, wxID_ANY, wxT("Время останова (ч:м)"));
    stopRow->Add(m_stopTime, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    hourAndMinute(m_stopTimePanel, stopRow, m_stopHour, m_stopMinute);
    m_stopTimePanel->SetSizer(stopRow);
    day->Add(m_stopTimePanel, 0, wxALL, 3);
    m_dayPanel->SetSizer(day);
    time->Add(m_dayPanel, 0, wxEXPAND | wxALL, 3);

    m_timeStepPanel = new wxPanel(timeBox, wxID_ANY);
    auto* step = new wxBoxSizer(wxHORIZONTAL);
    step->Add(new wxStaticText(m_timeStepPanel, wxID_ANY, wxT("Шаг времени")), 0,
              wxALIGN_CENTER_VERTICAL | wxRIGHT, 5);
    m_timeStep = new wxTextCtrl(m_timeStepPanel, wxID_ANY, wxT("00:00"));
    step->Add(m_timeStep, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 10);
    step->Add(new wxStaticText(m_timeStepPanel, wxID_ANY, wxT("Кол-во раз")), 0,
              wxALIGN_CENTER_VERTICAL | wxRIGHT, 5);
    m_repeatCount = new wxTextCtrl(m_timeStepPanel, wxID_ANY, wxEmptyString);
    step->Add(m_repeatCount, 0, wxALIGN_CENTER_VERTICAL);
    m_timeStepPanel->SetSizer(step);
    time->Add(m_timeStepPanel, 0, wxALL, 3);
    m_sourceRow->Add(time, 1, wxEXPAND);

    column->Add(m_sourceRow, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 4);
    SetSizer(column);

    // Names by which the controls that carry no label of their own are found.
    const std::pair<wxWindow*, const char*> names[] = {
        {m_devices, "devices"},
        {m_taskList, "tasks"},
        {m_filterCalendar, "filterCalendar"},
        {m_filterStartHour, "filterStartHour"},
        {m_filterStartMinute, "filterStartMinute"},
        {m_filterStopHour, "filterStopHour"},
        {m_filterStopMinute, "filterStopMinute"},
        {m_filterDeviceChoice, "filterDevice"},
        {m_filterZoneChoice, "filterZone"},
        {m_place, "place"},
        {m_content, "content"},
        {m_contentNote, "contentNote"},
        {m_taskButtonsNote, "taskButtonsNote"},
        {m_gong, "gong"},
        {m_taskType, "taskType"},
        {m_firstDateCalendar, "firstDateCalendar"},
        {m_lastDateCalendar, "lastDateCalendar"},
        {m_startHour, "startHour"},
        {m_startMinute, "startMinute"},
        {m_stopHour, "stopHour"},
        {m_stopMinute, "stopMinute"},
    };
    for (const auto& [window, windowName] : names) window->SetName(windowName);
    Layout();

    Bind(wxEVT_SIZE, &SourceSchedulerPanel::OnSize, this);
    m_devices->Bind(wxEVT_LIST_ITEM_CHECKED, &SourceSchedulerPanel::devicesOnCheckListBox, this);
    m_devices->Bind(wxEVT_LIST_ITEM_UNCHECKED, &SourceSchedulerPanel::devicesOnCheckListBox, this);
    m_taskList->Bind(wxEVT_LIST_ITEM_DESELECTED, &SourceSchedulerPanel::taskListOnListItemDeselected, this);
    m_taskList->Bind(wxEVT_LIST_ITEM_SELECTED, &SourceSchedulerPanel::taskListOnListItemSelected, this);
    const std::pair<wxCheckBox*, void (SourceSchedulerPanel::*)(wxCommandEvent&)> checks[] = {
        {m_filterDate, &SourceSchedulerPanel::filterDateOnCheckBox},
        {m_filterStartTime, &SourceSchedulerPanel::filterStartTimeOnCheckBox},
        {m_filterStopTime, &SourceSchedulerPanel::filterStopTimeOnCheckBox},
        {m_filterDevices, &SourceSchedulerPanel::filterDevicesOnCheckBox},
        {m_filterZones, &SourceSchedulerPanel::filterZonesOnCheckBox},
        {m_firstDate, &SourceSchedulerPanel::firstDateOnCheckBox},
        {m_lastDate, &SourceSchedulerPanel::lastDateOnCheckBox},
        {m_stopTime, &SourceSchedulerPanel::stopTimeOnCheckBox},
    };
    for (const auto& [check, handler] : checks) {
        check->Bind(wxEVT_CHECKBOX,
                    [this, handler = handler](wxCommandEvent& event) { (this->*handler)(event); });
    }
    const std::pair<wxButton*, void (SourceSchedulerPanel::*)(wxCommandEvent&)> clicks[] = {
        {m_applyFilter, &SourceSchedulerPanel::applyFilterOnButtonClick},
        {m_enableTask, &SourceSchedulerPanel::enableTaskOnButtonClick},
        {m_disableTask, &SourceSchedulerPanel::enableTaskOnButtonClick},
        {m_edit, &SourceSchedulerPanel::editOnButtonClick},
        {m_deleteTask, &SourceSchedulerPanel::deleteTaskOnButtonClick},
        {m_addTask, &SourceSchedulerPanel::addTaskOnButtonClick},
    };
    for (const auto& [clicked, handler] : clicks) {
        clicked->Bind(wxEVT_BUTTON,
                      [this, handler = handler](wxCommandEvent& event) { (this->*handler)(event); });
    }
    m_place->Bind(wxEVT_CHOICE, &SourceSchedulerPanel::placeOnChoice, this);
    m_taskType->Bind(wxEVT_RADIOBOX, &SourceSchedulerPanel::selectTaskTypeOnRadioBox, this);
    m_timeStep->Bind(wxEVT_CHAR, &SourceSchedulerPanel::timeStepOnChar, this);
}

SourceSchedulerPanel::~SourceSchedulerPanel() = default;

}  // namespace frm::fb
