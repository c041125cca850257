#include "audio/BaseControlList.h"

#include <algorithm>
#include <functional>

#include "foundation/Place.h"

void BaseControlList::setSelection(const std::vector<long>& selection) {
    std::lock_guard<std::mutex> guard(selectionLock_);
    selection_ = selection;
}

std::vector<long> BaseControlList::getSelection() const {
    std::lock_guard<std::mutex> guard(selectionLock_);
    return selection_;
}

std::vector<std::size_t> BaseControlList::selectionWithin(std::size_t count) const {
    std::vector<std::size_t> indices;
    for (long index : getSelection())
        if (index >= 0 && static_cast<std::size_t>(index) < count)
            indices.push_back(static_cast<std::size_t>(index));
    std::sort(indices.begin(), indices.end(), std::greater<std::size_t>());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}

void BaseControlList::clearSelection() {
    std::lock_guard<std::mutex> guard(selectionLock_);
    selection_.clear();
}

std::size_t BaseControlList::followMove(std::size_t position, long from, long to) {
    const auto at = static_cast<long>(position);
    if (at == from) return static_cast<std::size_t>(to);
    if (from < at && at <= to) return position - 1;
    if (to <= at && at < from) return position + 1;
    return position;
}

void BaseControlList::reportOutOfRange() {
    debug::Place("BaseControlList::moveItem").error(L"Internal error. list index out of bounds");
}
