#pragma once
// The layout of the scheduler page: the device check list beside the task list on top; below
// them the filter box, the source box with the task buttons under it, and the time-plan box.
// The device check list is a report list with check boxes, so that zone rows can be shaded.

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

namespace frm::fb {

class SourceSchedulerPanel : public wxPanel {
public:
    static constexpr wxWindowID kEnableTaskId = 1000;

    SourceSchedulerPanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                         const wxSize& size = wxSize(1544, 1115), long style = wxTAB_TRAVERSAL,
                         const wxString& name = wxEmptyString);
    ~SourceSchedulerPanel() override;

protected:
    // The top row (device check list and task list) and the row of the source box.
    wxBoxSizer* m_topRow;
    wxBoxSizer* m_sourceRow;

    wxListCtrl* m_devices;
    wxListCtrl* m_taskList;

    wxCheckBox* m_filterDate;
    wxCalendarCtrl* m_filterCalendar;
    wxCheckBox* m_filterStartTime;
    wxSpinCtrl* m_filterStartHour;
    wxSpinCtrl* m_filterStartMinute;
    wxCheckBox* m_filterStopTime;
    wxSpinCtrl* m_filterStopHour;
    wxSpinCtrl* m_filterStopMinute;
    wxCheckBox* m_filterEnabled;
    wxCheckBox* m_filterDevices;
    wxChoice* m_filterDeviceChoice;
    wxCheckBox* m_filterZones;
    wxChoice* m_filterZoneChoice;
    wxButton* m_applyFilter;

    wxChoice* m_place;
    wxChoice* m_content;
    wxStaticText* m_noGongLabel;
    wxChoice* m_gong;

    wxRadioBox* m_taskType;
    wxPanel* m_repeatPanel;
    wxSpinCtrl* m_repeatDays;
    wxCheckListBox* m_weekdays;
    wxPanel* m_firstDatePanel;
    wxCheckBox* m_firstDate;
    wxCalendarCtrl* m_firstDateCalendar;
    wxPanel* m_lastDatePanel;
    wxCheckBox* m_lastDate;
    wxCalendarCtrl* m_lastDateCalendar;
    wxPanel* m_dayPanel;
    wxSpinCtrl* m_startHour;
    wxSpinCtrl* m_startMinute;
    wxPanel* m_stopTimePanel;
    wxCheckBox* m_stopTime;
    wxSpinCtrl* m_stopHour;
    wxSpinCtrl* m_stopMinute;
    wxPanel* m_timeStepPanel;
    wxTextCtrl* m_timeStep;
    wxTextCtrl* m_repeatCount;

    wxButton* m_enableTask;
    wxButton* m_disableTask;
    wxButton* m_edit;
    wxButton* m_deleteTask;
    wxButton* m_addTask;

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
