#pragma once
// The layout of the scheduler page: the device check list beside the task list on top; below
// them the filter box, the source box with the task buttons under it, and the time-plan box.
// The device check list is a report list with check boxes, so that zone rows can be shaded. Both
// lists are virtual: the panel gives them their rows.

#include <wx/button.h>
#include <wx/calctrl.h>
#include <wx/checkbox.h>
#include <wx/checklst.h>
#include <wx/choice.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "layouts/VirtualListCtrl.h"

namespace frm::fb {

class SourceSchedulerPanel : public wxPanel {
public:
    static constexpr wxWindowID kEnableTaskId = 1000;
    // The width of the column of the source box and the task buttons, and the margin of the
    // controls inside the box.
    static constexpr int kSourceColumnWidth = 220;
    static constexpr int kSourceBoxMargin = 3;

    SourceSchedulerPanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                         const wxSize& size = wxSize(1544, 1115), long style = wxTAB_TRAVERSAL,
                         const wxString& name = wxEmptyString);
    ~SourceSchedulerPanel() override;

protected:
    // Makes the controls and binds their events. The panel stands empty until the derived panel
    // calls it, once, when its view is first shown; the control pointers are null until then.
    void buildLayout();

    // The top row (device check list and task list) and the row of the source box.
    wxBoxSizer* m_topRow = nullptr;
    wxBoxSizer* m_sourceRow = nullptr;

    VirtualListCtrl* m_devices = nullptr;
    VirtualListCtrl* m_taskList = nullptr;

    wxCheckBox* m_filterDate = nullptr;
    wxCalendarCtrl* m_filterCalendar = nullptr;
    wxCheckBox* m_filterStartTime = nullptr;
    wxSpinCtrl* m_filterStartHour = nullptr;
    wxSpinCtrl* m_filterStartMinute = nullptr;
    wxCheckBox* m_filterStopTime = nullptr;
    wxSpinCtrl* m_filterStopHour = nullptr;
    wxSpinCtrl* m_filterStopMinute = nullptr;
    wxCheckBox* m_filterEnabled = nullptr;
    wxCheckBox* m_filterDevices = nullptr;
    wxChoice* m_filterDeviceChoice = nullptr;
    wxCheckBox* m_filterZones = nullptr;
    wxChoice* m_filterZoneChoice = nullptr;
    wxButton* m_applyFilter = nullptr;

    wxChoice* m_place = nullptr;
    wxChoice* m_content = nullptr;
    wxStaticText* m_contentNote = nullptr;
    wxStaticText* m_noGongLabel = nullptr;
    wxChoice* m_gong = nullptr;

    wxRadioBox* m_taskType = nullptr;
    wxPanel* m_repeatPanel = nullptr;
    wxSpinCtrl* m_repeatDays = nullptr;
    wxCheckListBox* m_weekdays = nullptr;
    wxPanel* m_firstDatePanel = nullptr;
    wxCheckBox* m_firstDate = nullptr;
    wxCalendarCtrl* m_firstDateCalendar = nullptr;
    wxPanel* m_lastDatePanel = nullptr;
    wxCheckBox* m_lastDate = nullptr;
    wxCalendarCtrl* m_lastDateCalendar = nullptr;
    wxPanel* m_dayPanel = nullptr;
    wxSpinCtrl* m_startHour = nullptr;
    wxSpinCtrl* m_startMinute = nullptr;
    wxPanel* m_stopTimePanel = nullptr;
    wxCheckBox* m_stopTime = nullptr;
    wxSpinCtrl* m_stopHour = nullptr;
    wxSpinCtrl* m_stopMinute = nullptr;
    wxPanel* m_timeStepPanel = nullptr;
    wxTextCtrl* m_timeStep = nullptr;
    wxTextCtrl* m_repeatCount = nullptr;

    wxButton* m_enableTask = nullptr;
    wxButton* m_disableTask = nullptr;
    wxButton* m_edit = nullptr;
    wxButton* m_deleteTask = nullptr;
    wxButton* m_addTask = nullptr;
    wxStaticText* m_taskButtonsNote = nullptr;

    virtual void OnSize(wxSizeEvent& event) { event.Skip(); }
    virtual void devicesOnCheckListBox(wxListEvent& event) { event.Skip(); }
    virtual void taskListOnListItemDeselected(wxListEvent& event) { event.Skip(); }
    virtual void taskListOnListItemSelected(wxListEvent& event) { event.Skip(); }
    virtual void filterDateOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void filterStartTimeOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void filterStopTimeOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void filterDevicesOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void filterZonesOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void applyFilterOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void placeOnChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void selectTaskTypeOnRadioBox(wxCommandEvent& event) { event.Skip(); }
    virtual void firstDateOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void lastDateOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void stopTimeOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void timeStepOnChar(wxKeyEvent& event) { event.Skip(); }
    virtual void enableTaskOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void editOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void deleteTaskOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void addTaskOnButtonClick(wxCommandEvent& event) { event.Skip(); }
};

}  // namespace frm::fb
