#pragma once
// The main window's device list: a virtual list control that draws the rows of a
// DeviceListModel, so that a change of one device redraws one row.

#include <wx/imaglist.h>
#include <wx/listctrl.h>

#include <map>
#include <memory>
#include <vector>

#include "app/kit/DeviceListModel.h"

namespace frm {

class DeviceListCtrl : public wxListCtrl {
public:
    DeviceListCtrl(wxWindow* parent, const DeviceListModel& model);

    // Shows the model's row `index` again; a new row extends the list.
    void refreshRow(std::size_t index, bool inserted);
    // The rows the operator selected.
    std::vector<std::size_t> selectedRows() const;

protected:
    wxString OnGetItemText(long item, long column) const override;
    int OnGetItemColumnImage(long item, long column) const override;
    wxItemAttr* OnGetItemAttr(long item) const override;

private:
    const DeviceListModel& model_;
    wxImageList images_;
    // Window image number to image-list index.
    std::map<int, int> imageIndexes_;
    mutable wxItemAttr attribute_;
};

}  // namespace frm
