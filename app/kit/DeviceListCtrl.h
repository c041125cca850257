#pragma once
// The main window's device list: a virtual list control that draws the rows of a
// DeviceListModel, so that a change of one device redraws one row.

#include <wx/imaglist.h>
#include <wx/listctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/kit/DeviceListModel.h"

namespace frm {

class DeviceListCtrl : public wxListCtrl {
public:
    DeviceListCtrl(wxWindow* parent, const DeviceListModel& model);
    ~DeviceListCtrl() override;

    // Shows the model's row `index` again; a new row extends the list.
    void refreshRow(std::size_t index, bool inserted);
    // The model dropped row `index`: the list shrinks and the operator's choice stays on the same
    // devices.
    void removeRow(std::size_t index);
    // The rows the operator selected.
    std::vector<std::size_t> selectedRows() const;
    // Called on the window's thread after every change of the list's own selection, whichever
    // way the operator made it (a click, a Ctrl-click, a Shift-click range, the keys).
    void setSelectionCallback(std::function<void()> callback) { selectionCallback_ = std::move(callback); }

protected:
    wxString OnGetItemText(long item, long column) const override;
    int OnGetItemColumnImage(long item, long column) const override;
    wxItemAttr* OnGetItemAttr(long item) const override;

private:
    // The selected items of the control, whether the model still has them or not.
    std::vector<std::size_t> selectedItems() const;
    void onSelectionEvent(wxListEvent& event);

    const DeviceListModel& model_;
    wxImageList images_;
    // Window image number to image-list index.
    std::map<int, int> imageIndexes_;
    mutable wxItemAttr attribute_;
    std::function<void()> selectionCallback_;
    bool selectionReportQueued_ = false;
};

}  // namespace frm
