#pragma once
// The identifier a choice or combo item of the property panel carries as its client data: a
// fragment's or a scenario's id.

#include <wx/ctrlsub.h>

#include <cstdint>
#include <optional>

namespace frm {

inline void* itemData(std::int16_t id) {
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(id));
}

inline std::int16_t dataOf(const wxItemContainer& items, unsigned index) {
    return static_cast<std::int16_t>(reinterpret_cast<std::intptr_t>(items.GetClientData(index)));
}

// The data of the selected item; none without a selection.
inline std::optional<std::int16_t> selectedData(const wxItemContainer& items) {
    const int selection = items.GetSelection();
    if (selection < 0) return std::nullopt;
    return dataOf(items, static_cast<unsigned>(selection));
}

// Selects the item that carries the scenario, from the second on (the first is the microphone);
// nothing when no item carries it.
inline void selectScenario(wxItemContainer& items, std::int16_t scenario) {
    items.SetSelection(wxNOT_FOUND);
    for (unsigned item = 1; item < items.GetCount(); ++item) {
        if (dataOf(items, item) == scenario) items.SetSelection(static_cast<int>(item));
    }
}

}  // namespace frm
