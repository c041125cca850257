// Which pages a device gets, by kind, capabilities and debug mode, and how the notebook changes
// from one device's pages to the next one's.

#include <gtest/gtest.h>

#include "propertypanel/PageTabs.h"

namespace {

using namespace frm::pages;

frm::DeviceTraits loudspeaker() {
    frm::DeviceTraits traits;
    traits.loudspeaker = true;
    return traits;
}

frm::DeviceTraits console() {
    frm::DeviceTraits traits;
    traits.console = true;
    return traits;
}

template <class Change>
frm::DeviceTraits with(frm::DeviceTraits traits, Change change) {
    change(traits);
    return traits;
}

TEST(PageTabs, PagesByKindCapabilitiesAndDebugMode) {
    struct Case {
        const char* name;
        frm::DeviceTraits traits;
        bool debugMode;
        std::vector<int> inserted;
    };
    const auto neridaFlag = [](frm::DeviceTraits& t) { t.neridaInterface = true; };
    const auto lineFlag = [](frm::DeviceTraits& t) { t.lineControl = true; };
    const auto bindingsFlag = [](frm::DeviceTraits& t) { t.consoleBindings = true; };
    const auto incompatible = [](frm::DeviceTraits& t) { t.compatible = false; };
    const Case cases[] = {
        {"plain loudspeaker", loudspeaker(), false, {common, audioMemory, network, source}},
        {"loudspeaker with everything, debug",
         with(with(with(loudspeaker(), neridaFlag), lineFlag), bindingsFlag),
         true,
         {common, audioMemory, network, nerida, source, lineControl, linkedConsoles, debugMessage}},
        {"incompatible loudspeaker", with(with(loudspeaker(), neridaFlag), incompatible), false, {common}},
        {"incompatible loudspeaker, debug", with(loudspeaker(), incompatible), true, {common, debugMessage}},
        {"console with Nerida, debug",
         with(console(), neridaFlag),
         true,
         {common, audioMemory, network, nerida, passkey, zoneTargets, debugMessage}},
        // Console bindings are a loudspeaker's: a console never gets the linked consoles.
        {"console with line control and bindings",
         with(with(console(), lineFlag), bindingsFlag),
         false,
         {common, audioMemory, network, lineControl, passkey, zoneTargets}},
    };
    for (const Case& c : cases) {
        const std::set<int> pages = wanted(c.traits);
        EXPECT_EQ(pages.count(debugMessage), 1u) << c.name;
        const TabLayout layout = layoutTabs({}, pages, common, c.debugMode);
        EXPECT_FALSE(layout.relevant) << c.name;
        EXPECT_EQ(layout.inserted, c.inserted) << c.name;
    }
}

TEST(PageTabs, TheNextDeviceKeepsOrLosesTheCurrentPage) {
    const std::set<int> speaker = wanted(loudspeaker());
    const std::set<int> keys = wanted(console());
    struct Case {
        const char* name;
        std::set<int> shown;
        std::set<int> wanted;
        int current;
        bool debugMode;
        bool relevant;
        int after;
        bool fellBack;
    };
    const Case cases[] = {
        {"same pages keep everything", speaker, speaker, source, false, true, source, false},
        {"a page both have stays current", speaker, keys, network, false, false, network, false},
        {"a page the next lacks falls back", speaker, keys, source, false, false, common, true},
        {"the debug page without debug mode falls back", keys, speaker, debugMessage, false, false, common,
         true},
        {"the debug page in debug mode stays", keys, speaker, debugMessage, true, false, debugMessage, false},
    };
    for (const Case& c : cases) {
        const TabLayout layout = layoutTabs(c.shown, c.wanted, c.current, c.debugMode);
        EXPECT_EQ(layout.relevant, c.relevant) << c.name;
        EXPECT_EQ(layout.current, c.after) << c.name;
        EXPECT_EQ(layout.fellBack, c.fellBack) << c.name;
    }
}

}  // namespace
