#pragma once
// How a list of rows shown becomes the list wanted, by the keys of the rows, so that a view
// changes only the rows that changed: a row whose key is no longer wanted goes, a wanted row not
// shown at its place comes in, and a row both shown and wanted stays where it is (whether its
// texts changed is the caller's to see). A rename or a change of one task at a large site then
// touches one row of thousands.

#include <cstddef>
#include <set>
#include <vector>

namespace frm {

struct RowEdit {
    enum Kind { erase, insert, keep };
    Kind kind;
    // The row's index in the list as it stands when the edit is made, the edits before it done.
    std::size_t row;
    // The index in the wanted list of the row inserted or kept.
    std::size_t wanted;
};

// The edits in the order they are made; after them the list holds the wanted rows in their order.
template <class Key>
std::vector<RowEdit> rowEdits(const std::vector<Key>& shown, const std::vector<Key>& wanted) {
    std::vector<RowEdit> edits;
    // Most often every row stays: no look-up is needed.
    if (shown == wanted) {
        for (std::size_t row = 0; row < wanted.size(); ++row) edits.push_back({RowEdit::keep, row, row});
        return edits;
    }
    const std::set<Key> wantedKeys(wanted.begin(), wanted.end());
    std::size_t from = 0;
    std::size_t row = 0;
    for (std::size_t next = 0; next < wanted.size(); ++next) {
        while (from < shown.size() && wantedKeys.count(shown[from]) == 0) {
            edits.push_back({RowEdit::erase, row, 0});
            ++from;
        }
        if (from < shown.size() && shown[from] == wanted[next]) {
            edits.push_back({RowEdit::keep, row, next});
            ++from;
        } else {
            edits.push_back({RowEdit::insert, row, next});
        }
        ++row;
    }
    for (; from < shown.size(); ++from) edits.push_back({RowEdit::erase, row, 0});
    return edits;
}

}  // namespace frm
