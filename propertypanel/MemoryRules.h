#pragma once
// What the audio-memory page shows and offers, decided without the window: the items of the two
// popup menus, the rows of the fragment and scenario lists and the free-memory text.

#include <cstdint>
#include <string>
#include <vector>

#include "devicelink/IAudioControl.h"

namespace frm::memorypage {

// The items of the fragment and scenario menus, numbered as the page's layout numbers them.
enum MenuItem : int {
    fragmentPlay = 1002,
    fragmentStop = 1003,
    fragmentAdd = 1004,
    fragmentSave = 1005,
    fragmentDelete = 1006,
    scenarioAdd = 1007,
    scenarioDelete = 1008,
    scenarioPlay = 1009,
    scenarioStop = 1010,
};

struct MenuState {
    bool playing = false;
    bool selected = false;
    // Edits not yet written: the device would play something else than the list shows.
    bool hasChanges = false;
    // Only a loudspeaker plays from its memory on request.
    bool loudspeaker = false;
};
// The items in the order they are shown.
std::vector<int> fragmentMenu(const MenuState& state);
std::vector<int> scenarioMenu(const MenuState& state);

// Decimal digits grouped by three from the right, one blank between groups: 1 234 567.
std::wstring groupedDigits(std::uint64_t value);

inline constexpr const wchar_t* kInDeviceMemory = L"Расположен в памяти устройства";

struct FragmentRow {
    std::int16_t id = 0;
    std::wstring name;
    std::wstring size;
    std::wstring path;
};
// `files` names where each fragment came from, in list order, empty for one already in the
// device; a list out of step with the fragments shows no paths.
std::vector<FragmentRow> fragmentRows(const std::vector<device::memory::FragmentEntry>& fragments,
                                      const std::vector<std::wstring>& files);

// The name a scenario shows for a fragment the memory does not hold.
inline constexpr const wchar_t* kUnknownFragment = L"<нет фрагмента>";

struct ScenarioRow {
    std::int16_t id = 0;
    std::wstring number;
    std::wstring name;
    std::wstring gong;
    std::wstring fragment;
    std::wstring period;
};
std::vector<ScenarioRow> scenarioRows(const std::vector<device::memory::ScenarioEntry>& scenarios,
                                      const std::vector<device::memory::FragmentEntry>& fragments);

// A file name made of a fragment's name: the characters that no file name may hold become '_',
// and a name of nothing but dots or blanks becomes "fragment".
std::wstring exportFileName(const std::wstring& fragmentName);

}  // namespace frm::memorypage
