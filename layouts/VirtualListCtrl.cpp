#include "layouts/VirtualListCtrl.h"

namespace frm::fb {

VirtualListCtrl::VirtualListCtrl(wxWindow* parent, long style, const wxSize& size)
    : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, size, style | wxLC_VIRTUAL) {
    Bind(wxEVT_LIST_ITEM_SELECTED, &VirtualListCtrl::onSelectionEvent, this);
    Bind(wxEVT_LIST_ITEM_DESELECTED, &VirtualListCtrl::onSelectionEvent, this);
    Bind(wxEVT_LIST_ITEM_FOCUSED, &VirtualListCtrl::onSelectionEvent, this);
}

VirtualListCtrl::~VirtualListCtrl() {
    // The list tells of the rows it lets go while it is destroyed, when this part of it is gone.
    Unbind(wxEVT_LIST_ITEM_SELECTED, &VirtualListCtrl::onSelectionEvent, this);
    Unbind(wxEVT_LIST_ITEM_DESELECTED, &VirtualListCtrl::onSelectionEvent, this);
    Unbind(wxEVT_LIST_ITEM_FOCUSED, &VirtualListCtrl::onSelectionEvent, this);
}

void VirtualListCtrl::setRows(Text text, Colour colour, Checked checked) {
    text_ = std::move(text);
    colour_ = std::move(colour);
    checked_ = std::move(checked);
}

void VirtualListCtrl::onSelectionEvent(wxListEvent& event) {
    event.Skip();
    selectionChanged();
}

void VirtualListCtrl::selectionChanged() {
    if (selectionReportQueued_) return;
    selectionReportQueued_ = true;
    CallAfter([this] {
        selectionReportQueued_ = false;
        if (selectionCallback_) selectionCallback_();
    });
}

wxString VirtualListCtrl::OnGetItemText(long item, long column) const {
    return text_ ? text_(item, column) : wxString();
}

wxItemAttr* VirtualListCtrl::OnGetItemAttr(long item) const {
    const std::optional<wxColour> colour = colour_ ? colour_(item) : std::nullopt;
    if (!colour) return nullptr;
    attribute_.SetTextColour(*colour);
    return &attribute_;
}

bool VirtualListCtrl::OnGetItemIsChecked(long item) const {
    return checked_ && checked_(item);
}

}  // namespace frm::fb
