#include "app/kit/DeviceListCtrl.h"

#include "resources/EmbeddedResources.h"
#include "resources/ResourceLoader.h"
#include "resources/ResourceTable.h"

namespace frm {
namespace {

constexpr int kImageSize = 24;
constexpr int kDeviceImages[] = {10, 11, 15, 19, 20, 22};
constexpr int kColumnWidths[] = {240, 95, 80, 80, 95, 80};

}  // namespace

DeviceListCtrl::DeviceListCtrl(wxWindow* parent, const DeviceListModel& model)
    : fb::VirtualListCtrl(parent, wxLC_REPORT | wxLC_HRULES),
      model_(model),
      images_(kImageSize, kImageSize, true) {
    for (const int number : kDeviceImages) {
        const auto info = base::findInTable(ResourceTable, number);
        const auto data = info ? loadResourceData(info->name) : std::nullopt;
        const wxBitmap bitmap = data ? bitmapFromSvg(*data, wxSize(kImageSize, kImageSize)) : wxBitmap();
        if (bitmap.IsOk()) imageIndexes_[number] = images_.Add(bitmap);
    }
    SetImageList(&images_, wxIMAGE_LIST_SMALL);
    SetMinSize(wxSize(300, 200));
    for (int column = 0; column < DeviceListModel::columnCount; ++column) {
        AppendColumn(DeviceListModel::columnTitles[column], wxLIST_FORMAT_LEFT, kColumnWidths[column]);
    }
}

void DeviceListCtrl::refreshRow(std::size_t index, bool inserted) {
    if (inserted || static_cast<long>(index) >= GetItemCount()) {
        SetItemCount(static_cast<long>(model_.size()));
        Refresh();
    } else {
        RefreshItem(static_cast<long>(index));
    }
}

void DeviceListCtrl::removeRow(std::size_t index) {
    // Read before the list shrinks; the model has one row fewer already.
    const std::vector<std::size_t> chosen = DeviceListModel::chosenAfterRemoval(selectedItems(), index);
    const long focused = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    // The choice is held by row number: every row below the removed one changes its device.
    SetItemState(-1, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    SetItemCount(static_cast<long>(model_.size()));
    for (const std::size_t row : chosen)
        SetItemState(static_cast<long>(row), wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    if (focused >= 0 && static_cast<std::size_t>(focused) != index) {
        const long moved = static_cast<std::size_t>(focused) < index ? focused : focused - 1;
        SetItemState(moved, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    }
    Refresh();
}

std::vector<std::size_t> DeviceListCtrl::selectedItems() const {
    std::vector<std::size_t> items;
    for (long item = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); item != -1;
         item = GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        items.push_back(static_cast<std::size_t>(item));
    return items;
}

std::vector<std::size_t> DeviceListCtrl::selectedRows() const {
    std::vector<std::size_t> rows;
    for (const std::size_t item : selectedItems()) {
        if (item < model_.size()) rows.push_back(item);
    }
    return rows;
}

wxString DeviceListCtrl::OnGetItemText(long item, long column) const {
    if (item < 0 || static_cast<std::size_t>(item) >= model_.size() || column < 0 ||
        column >= DeviceListModel::columnCount) {
        return wxString();
    }
    return model_.row(static_cast<std::size_t>(item)).texts[static_cast<std::size_t>(column)];
}

int DeviceListCtrl::OnGetItemColumnImage(long item, long column) const {
    if (column != 0 || item < 0 || static_cast<std::size_t>(item) >= model_.size()) return -1;
    const auto found = imageIndexes_.find(model_.row(static_cast<std::size_t>(item)).image);
    return found == imageIndexes_.end() ? -1 : found->second;
}

wxItemAttr* DeviceListCtrl::OnGetItemAttr(long item) const {
    if (item < 0 || static_cast<std::size_t>(item) >= model_.size()) return nullptr;
    const base::RgbColour colour = model_.row(static_cast<std::size_t>(item)).colour;
    attribute_.SetTextColour(wxColour(colour.red, colour.green, colour.blue));
    return &attribute_;
}

}  // namespace frm
