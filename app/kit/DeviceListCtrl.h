#pragma once
// The main window's device list: a virtual list control that draws the rows of a
// DeviceListModel, so that a change of one device redraws one row.

#include <wx/imaglist.h>

#include <map>
#include <memory>
#include <vector>

#include "app/kit/DeviceListModel.h"
#include "layouts/VirtualListCtrl.h"

namespace frm {

// Its selection callback is called after every change of the list's own selection, whichever
// way the operator made it (a click, a Ctrl-click, a Shift-click range, the keys).
class DeviceListCtrl : public fb::VirtualListCtrl {
public:
    DeviceListCtrl(wxWindow* parent, const DeviceListModel& model);

    // Shows the model's row `index` again; a new row extends the list.
    void refreshRow(std::size_t index, bool inserted);
    // The model dropped row `index`: the list shrinks and the operator's choice stays on the same
    // devices.
    void removeRow(std::size_t index);
    // The rows the operator selected.
    std::vector<std::size_t> selectedRows() const;

protected:
    wxString OnGetItemText(long item, long column) const override;
    int OnGetItemColumnImage(long item, long column) const override;
    wxItemAttr* OnGetItemAttr(long item) const override;

private:
    // The selected items of the control, whether the model still has them or not.
    std::vector<std::size_t> selectedItems() const;

    const DeviceListModel& model_;
    wxImageList images_;
    // Window image number to image-list index.
    std::map<int, int> imageIndexes_;
    mutable wxItemAttr attribute_;
};

}  // namespace frm
