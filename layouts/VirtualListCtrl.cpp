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

void VirtualListCtrl::setRows(Text text, Colours colours, Checked checked) {
    text_ = std::move(text);
    colours_ = std::move(colours);
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
    const Look look = colours_ ? colours_(item) : Look();
    if (!look.text && !look.background) return nullptr;
    attribute_ = wxItemAttr();
    if (look.text) attribute_.SetTextColour(*look.text);
    if (look.background) attribute_.SetBackgroundColour(*look.background);
    return &attribute_;
}

bool VirtualListCtrl::OnGetItemIsChecked(long item) const {
    return checked_ && checked_(item);
}

}  // namespace frm::fb
