#pragma once
// What a list control of the playlist panel edits: the selection of its rows and the deletion
// and reordering of the entries behind them. Playlist and ListOfPlaylist derive from it and
// guard their entries with their own mutex.

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

class BaseControlList {
public:
    virtual ~BaseControlList() = default;

    virtual void setSelection(const std::vector<long>& selection);
    virtual std::vector<long> getSelection() const;
    // Erases the entries at the selected indices and clears the selection.
    virtual void deleteSelected() = 0;
    // Moves the entry at `from` to `to` and returns its new position; an index out of range
    // moves nothing and returns `from`.
    virtual long moveItem(long from, long to) = 0;

protected:
    // The selected indices that lie inside `count`, each once, in descending order.
    std::vector<std::size_t> selectionWithin(std::size_t count) const;
    void clearSelection();

    // Erases the selected entries of `items` and returns how many of them lay before `position`.
    // One pass over the entries, so that a selection of every row of a long list costs what the
    // list does.
    template <class T>
    std::size_t eraseSelected(std::vector<T>& items, std::size_t position) {
        std::vector<bool> erased(items.size(), false);
        std::size_t before = 0;
        for (std::size_t index : selectionWithin(items.size())) {
            erased[index] = true;
            if (index < position) ++before;
        }
        std::size_t kept = 0;
        for (std::size_t index = 0; index < items.size(); ++index) {
            if (erased[index]) continue;
            if (kept != index) items[kept] = std::move(items[index]);
            ++kept;
        }
        items.erase(items.begin() + static_cast<long>(kept), items.end());
        clearSelection();
        return before;
    }
    // Moves items[from] to `to`; false (logged) when either is out of range.
    template <class T>
    static bool move(std::vector<T>& items, long from, long to) {
        const long count = static_cast<long>(items.size());
        if (from < 0 || to < 0 || from >= count || to >= count) {
            reportOutOfRange();
            return false;
        }
        if (from < to)
            std::rotate(items.begin() + from, items.begin() + from + 1, items.begin() + to + 1);
        else
            std::rotate(items.begin() + to, items.begin() + from, items.begin() + from + 1);
        return true;
    }
    // Where a position ends up when the entry at `from` moves to `to`.
    static std::size_t followMove(std::size_t position, long from, long to);

private:
    static void reportOutOfRange();

    mutable std::mutex selectionLock_;
    std::vector<long> selection_;
};
