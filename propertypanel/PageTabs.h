#pragma once
// The pages of the property panel and which of them a device gets: every device the common
// page; a compatible device the audio memory and the network, the Nerida page with its interface,
// the line page with line control; a loudspeaker the sources and, when it takes console bindings,
// the linked consoles; a console its keys and zone targets; every device the debug page, which
// is inserted only in debug mode.

#include <set>
#include <vector>

#include "propertypanel/DeviceTraits.h"

namespace frm::pages {

constexpr int common = 1000;
constexpr int audioMemory = 1001;
constexpr int network = 1016;
constexpr int nerida = 1024;
constexpr int source = 1028;
constexpr int lineControl = 1029;
constexpr int passkey = 1030;
constexpr int zoneTargets = 1031;
constexpr int linkedConsoles = 1032;
constexpr int debugMessage = 1033;

struct PageInfo {
    int id;
    const wchar_t* title;
    // The name the log gives the page when it is filled.
    const wchar_t* logName;
};

// The ten pages in notebook order.
const std::vector<PageInfo>& all();
// Null for an id that is no page.
const PageInfo* find(int id);

// The pages a device calls for, the debug page among them.
std::set<int> wanted(const DeviceTraits& traits);

struct TabLayout {
    // The notebook already holds the wanted pages: nothing changes.
    bool relevant = false;
    // The pages to insert, in this order.
    std::vector<int> inserted;
    // The page shown afterwards, and whether it had to fall back to the common page.
    int current = common;
    bool fellBack = false;
};

// How the notebook changes from the pages `shown` to the pages `wanted`.
TabLayout layoutTabs(const std::set<int>& shown, const std::set<int>& wanted, int current, bool debugMode);

}  // namespace frm::pages
