#include "propertypanel/MemoryRules.h"

#include <algorithm>

namespace frm::memorypage {

std::vector<int> fragmentMenu(const MenuState& state) {
    if (state.playing) return state.loudspeaker ? std::vector<int>{fragmentStop} : std::vector<int>{};
    if (!state.selected) return {fragmentAdd};
    std::vector<int> items;
    if (!state.hasChanges && state.loudspeaker) items.push_back(fragmentPlay);
    items.insert(items.end(), {fragmentAdd, fragmentSave, fragmentDelete});
    return items;
}

std::vector<int> scenarioMenu(const MenuState& state) {
    if (state.playing) return state.loudspeaker ? std::vector<int>{scenarioStop} : std::vector<int>{};
    std::vector<int> items;
    if (state.selected) {
        if (!state.hasChanges && state.loudspeaker) items.push_back(scenarioPlay);
        items.push_back(scenarioDelete);
    }
    items.push_back(scenarioAdd);
    return items;
}

std::wstring groupedDigits(std::uint64_t value) {
    const std::wstring digits = std::to_wstring(value);
    std::wstring grouped;
    for (std::size_t index = 0; index < digits.size(); ++index) {
        if (index > 0 && (digits.size() - index) % 3 == 0) grouped += L' ';
        grouped += digits[index];
    }
    return grouped;
}

std::vector<FragmentRow> fragmentRows(const std::vector<device::memory::FragmentEntry>& fragments,
                                      const std::vector<std::wstring>& files) {
    const bool inStep = files.size() == fragments.size();
    std::vector<FragmentRow> rows;
    for (std::size_t index = 0; index < fragments.size(); ++index) {
        const device::memory::FragmentEntry& fragment = fragments[index];
        FragmentRow row{fragment.id, fragment.name, std::to_wstring(fragment.size), L""};
        if (inStep) row.path = files[index].empty() ? kInDeviceMemory : files[index];
        rows.push_back(row);
    }
    return rows;
}

std::vector<ScenarioRow> scenarioRows(const std::vector<device::memory::ScenarioEntry>& scenarios,
                                      const std::vector<device::memory::FragmentEntry>& fragments) {
    const auto nameOf = [&](std::uint16_t id) -> std::wstring {
        const auto found = std::find_if(fragments.begin(), fragments.end(), [&](const auto& fragment) {
            return static_cast<std::uint16_t>(fragment.id) == id;
        });
        return found == fragments.end() ? kUnknownFragment : found->name;
    };
    std::vector<ScenarioRow> rows;
    for (const device::memory::ScenarioEntry& scenario : scenarios) {
        rows.push_back({scenario.id, std::to_wstring(scenario.order), scenario.name, nameOf(scenario.gongId),
                        nameOf(scenario.fragmentId), std::to_wstring(scenario.repeatPeriod)});
    }
    return rows;
}

std::wstring exportFileName(const std::wstring& fragmentName) {
    std::wstring name;
    for (const wchar_t c : fragmentName)
        name += (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) ? L'_' : c;
    if (name.find_first_not_of(L". ") == std::wstring::npos) return L"fragment";
    return name;
}

}  // namespace frm::memorypage
