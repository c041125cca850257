#pragma once
// A report list that keeps no rows of its own (wxLC_VIRTUAL): it asks its owner for the texts, the
// colours and the check of the rows it draws, so that a list of a hundred thousand rows costs
// what the rows on screen cost. The owner sets the number of rows (SetItemCount) and refreshes the
// rows that changed.
//
// A range selected with Shift or the keys sends no event for its rows (only the focus moving to
// its end is told, before the range is selected), and a selection changed by the program for all
// rows at once sends none at all; the selection callback is called once the input or the change
// that selected has been handled whole, whichever way it came.

#include <wx/listctrl.h>

#include <functional>
#include <optional>

namespace frm::fb {

class VirtualListCtrl : public wxListCtrl {
public:
    using Text = std::function<wxString(long row, long column)>;
    // The row's text and background colours; none leaves the list's own.
    struct Look {
        std::optional<wxColour> text;
        std::optional<wxColour> background;
    };
    using Colours = std::function<Look(long row)>;
    using Checked = std::function<bool(long row)>;

    // wxLC_VIRTUAL is added to the style.
    VirtualListCtrl(wxWindow* parent, long style, const wxSize& size = wxDefaultSize);
    ~VirtualListCtrl() override;

    // What the rows show; a row outside the rows the owner knows shows nothing.
    void setRows(Text text, Colours colours = {}, Checked checked = {});
    void setSelectionCallback(std::function<void()> callback) { selectionCallback_ = std::move(callback); }
    // Tells the selection callback of a change the program made, once the change is handled.
    void selectionChanged();

protected:
    wxString OnGetItemText(long item, long column) const override;
    wxItemAttr* OnGetItemAttr(long item) const override;
    bool OnGetItemIsChecked(long item) const override;

private:
    void onSelectionEvent(wxListEvent& event);

    Text text_;
    Colours colours_;
    Checked checked_;
    mutable wxItemAttr attribute_;
    std::function<void()> selectionCallback_;
    bool selectionReportQueued_ = false;
};

}  // namespace frm::fb
