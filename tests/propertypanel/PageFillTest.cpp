// What the pages show when they are filled: tables of devices and settings against the values
// the controls get.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/TribelConfig.h"
#include "devices/VokarConfig.h"
#include "devices/VokarVersion.h"
#include "foundation/Exceptions.h"
#include "propertypanel/ApplyRules.h"
#include "propertypanel/PageFill.h"

namespace {

using namespace frm::fill;

frm::DeviceTraits loudspeaker(std::int32_t version) {
    frm::DeviceTraits traits;
    traits.loudspeaker = true;
    traits.versionId = version;
    return traits;
}

TEST(PageFill, CommonPageByKindAndGeneration) {
    struct Case {
        const char* name;
        frm::DeviceTraits traits;
        bool equalizer, bands, lineShown, lineEnabled, console;
    };
    frm::DeviceTraits console;
    console.console = true;
    frm::DeviceTraits incompatible = loudspeaker(16);
    incompatible.compatible = false;
    const Case cases[] = {
        {"first generation", loudspeaker(device::vokarA_1_01_69), true, false, true, false, false},
        {"generation 2", loudspeaker(device::vokarA_1_01_70), true, false, true, true, false},
        {"generation 8", loudspeaker(device::vokarA_2_01_72), true, false, true, true, false},
        {"generation 9", loudspeaker(device::vokarA_3_00_01), true, true, false, false, false},
        {"console", console, false, false, false, false, true},
        {"incompatible", incompatible, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        const CommonPage page = commonPage(c.traits);
        EXPECT_EQ(page.equalizerShown, c.equalizer) << c.name;
        EXPECT_EQ(page.bandEqualizer, c.bands) << c.name;
        EXPECT_EQ(page.lineSettingsShown, c.lineShown) << c.name;
        EXPECT_EQ(page.lineSettingsEnabled, c.lineEnabled) << c.name;
        EXPECT_EQ(page.consoleShown, c.console) << c.name;
    }
}

TEST(PageFill, ConsoleOptionsFollowTypeVersionAndFragments) {
    struct Case {
        const char* name;
        bool fire, singlePower, holdBroadcast;
        std::uint32_t version, powerIn1, powerIn2;
        std::uint16_t gongOrder;
        int fragments;
        // singlePower, analogInput, faultSound, holdToTalk enabled; holdToTalk ticked
        bool singleOn, analogOn, faultOn, holdOn, holdTicked, power2On;
        int power1, power2, gong;
    };
    const Case cases[] = {
        {"announcement console", false, false, false, 2, 1, 2, 2, 3, true, false, true, true, true, true, 1,
         2, 1},
        {"fire console", true, false, true, 3, 0, 3, 1, 1, false, true, false, false, false, true, 0, 3, 0},
        {"version 1 keeps hold-to-talk off", false, true, false, 1, 3, 3, 1, 0, true, false, true, false,
         true, false, 3, 3, -1},
        // Values beyond the choices and a gong beyond the fragments select nothing.
        {"values out of range", false, false, false, 3, 4, 7, 5, 2, true, false, true, true, true, true, -1,
         -1, -1},
        {"gong order 0", false, false, false, 3, 0, 0, 0, 2, true, false, true, true, true, true, 0, 0, -1},
    };
    for (const Case& c : cases) {
        device::TribelConfig config;
        config.fireConsole = c.fire;
        config.singlePower = c.singlePower;
        config.holdBroadcast = c.holdBroadcast;
        config.powerIn1 = c.powerIn1;
        config.powerIn2 = c.powerIn2;
        config.gongOrder = c.gongOrder;
        const ConsoleOptions options = consoleOptions(config, c.version, c.fragments);
        EXPECT_EQ(options.singlePowerEnabled, c.singleOn) << c.name;
        EXPECT_EQ(options.analogInputEnabled, c.analogOn) << c.name;
        EXPECT_EQ(options.faultSoundEnabled, c.faultOn) << c.name;
        EXPECT_EQ(options.holdToTalkEnabled, c.holdOn) << c.name;
        EXPECT_EQ(options.holdToTalk, c.holdTicked) << c.name;
        EXPECT_EQ(options.powerInput2Enabled, c.power2On) << c.name;
        EXPECT_EQ(options.powerInput1, c.power1) << c.name;
        EXPECT_EQ(options.powerInput2, c.power2) << c.name;
        EXPECT_EQ(options.gong, c.gong) << c.name;
        EXPECT_EQ(options.gongEnabled, c.fragments > 0) << c.name;
        EXPECT_EQ(options.type, c.fire ? 1 : 0) << c.name;
    }
}

TEST(PageFill, DhcpShowsTheLeaseButApplyKeepsTheStaticAddresses) {
    device::CommonConfig config;
    config.ip = "10.20.0.31";
    config.mask = "255.255.0.0";
    config.gateway = "10.20.0.1";
    config.currentIp = "192.168.1.40";
    config.currentMask = "255.255.255.0";
    config.currentGateway = "192.168.1.1";
    const AddressFields stored{"10.20.0.31", "255.255.0.0", "10.20.0.1"};
    const AddressFields lease{"192.168.1.40", "255.255.255.0", "192.168.1.1"};
    const AddressFields typed{"10.20.0.99", "255.255.255.0", "10.20.0.254"};
    struct Case {
        bool dhcp;
        AddressFields shown, written;
    };
    const Case cases[] = {{true, lease, stored}, {false, stored, typed}};
    for (const Case& c : cases) {
        EXPECT_TRUE(shownAddresses(config, c.dhcp) == c.shown) << c.dhcp;
        // With DHCP the boxes hold the lease; it never becomes the static address.
        const AddressFields boxes = c.dhcp ? shownAddresses(config, true) : typed;
        EXPECT_TRUE(addressesToWrite(config, c.dhcp, boxes) == c.written) << c.dhcp;
    }
}

TEST(PageFill, NetworkAndNeridaPages) {
    struct Case {
        const char* name;
        frm::DeviceTraits traits;
        std::string serverIp;
        bool switchMode, neridaTest;
        std::uint32_t igmp;
        bool allowIp;
        std::string allowed;
        bool lanEnabled, lan, igmpEnabled, igmpTicked, relayEnabled, reserveEnabled;
    };
    frm::DeviceTraits console;
    console.console = true;
    console.lanRedundancy = true;
    console.lineRedundancy = true;
    frm::DeviceTraits redundant = loudspeaker(16);
    redundant.lineRedundancy = true;
    const Case cases[] = {
        {"allowed address", loudspeaker(16), "10.20.0.5", true, true, 60, true, "10.20.0.5", false, false,
         true, true, true, false},
        {"no allowed address", loudspeaker(15), "0.0.0.0", false, false, 0, false, "0.0.0.0", false, true,
         false, false, true, false},
        {"address never read", redundant, "", true, true, 0, false, "0.0.0.0", false, false, true, false,
         true, true},
        {"console", console, "10.20.0.5", false, true, 125, true, "10.20.0.5", true, true, true, true, false,
         true},
    };
    for (const Case& c : cases) {
        device::CommonConfig config;
        config.serverIp = c.serverIp;
        config.switchMode = c.switchMode;
        config.igmpReport = c.igmp;
        config.neridaTest = c.neridaTest;
        const NetworkPage network = networkPage(config, c.traits);
        EXPECT_EQ(network.allowIp, c.allowIp) << c.name;
        EXPECT_EQ(network.allowedIp, c.allowed) << c.name;
        EXPECT_EQ(network.lanRedundancyEnabled, c.lanEnabled) << c.name;
        EXPECT_EQ(network.lanRedundancy, c.lan) << c.name;
        EXPECT_EQ(network.igmpEnabled, c.igmpEnabled) << c.name;
        EXPECT_EQ(network.igmp, c.igmpTicked) << c.name;
        const NeridaPage nerida = neridaPage(config, c.traits);
        EXPECT_EQ(nerida.relayEnabled, c.relayEnabled) << c.name;
        EXPECT_EQ(nerida.lineReserveEnabled, c.reserveEnabled) << c.name;
    }
}

TEST(PageFill, PrioritiesRankOnlyTheShownSources) {
    struct Case {
        const char* name;
        std::array<std::uint16_t, kPriorityCount> values;
        bool alarmShown;
        std::array<int, kPriorityCount> items;
    };
    const Case cases[] = {
        {"all six, alarm stream shown", {10, 20, 30, 40, 50, 60}, true, {5, 4, 3, 2, 1, 0}},
        {"equal values share an item", {1, 3, 3, 2, 2, 9}, true, {5, 1, 1, 3, 3, 0}},
        // Hidden, the alarm stream's value takes no rank: the lowest shown is the fifth item.
        {"alarm stream hidden", {10, 20, 30, 40, 50, 60}, false, {4, 3, 2, 1, 0, -1}},
        {"hidden highest", {1, 1, 1, 1, 1, 99}, false, {0, 0, 0, 0, 0, -1}},
    };
    for (const Case& c : cases) {
        const auto items = priorityItems(c.values, c.alarmShown);
        EXPECT_EQ(items, c.items) << c.name;
        const int count = c.alarmShown ? 6 : 5;
        for (const int item : items) EXPECT_LT(item, count) << c.name;
    }
}

// The sources page applied as it was filled, with the alarm stream's row shown or not: what is
// written passes the loudspeaker's own check of the priorities, and every two of the six rank as
// they did, the hidden alarm stream among them; it keeps its value where that keeps its rank.
TEST(PageFill, ThePrioritiesShownAreWrittenAndPassTheLoudspeakersCheck) {
    using Values = std::array<std::uint16_t, kPriorityCount>;
    struct Case {
        const char* name;
        Values read;
        bool alarmShown;
        Values written;
    };
    const Case cases[] = {
        {"an emulated loudspeaker, alarm stream shown", {1, 4, 3, 5, 2, 6}, true, {2, 5, 4, 6, 3, 7}},
        // The highest at 6: it takes the highest number, the others the five below.
        {"an emulated loudspeaker, alarm stream hidden", {1, 4, 3, 5, 2, 6}, false, {2, 5, 4, 6, 3, 7}},
        {"as written before, hidden", {2, 5, 4, 6, 3, 7}, false, {2, 5, 4, 6, 3, 7}},
        {"far apart, shown", {10, 20, 30, 40, 50, 60}, true, {2, 3, 4, 5, 6, 7}},
        // Outside the numbers, the hidden value keeps its rank: the highest here, the lowest next.
        {"far apart, hidden highest", {10, 20, 30, 40, 50, 60}, false, {2, 3, 4, 5, 6, 60}},
        {"far apart, hidden lowest", {10, 20, 30, 40, 50, 0}, false, {3, 4, 5, 6, 7, 0}},
        {"hidden lowest among the numbers", {10, 20, 30, 40, 50, 5}, false, {3, 4, 5, 6, 7, 2}},
        {"hidden in the middle", {1, 2, 3, 5, 6, 4}, false, {2, 3, 4, 6, 7, 5}},
        // Above the numbers but not the highest, it takes the number of its rank.
        {"far apart, hidden in the middle", {10, 20, 30, 40, 50, 15}, false, {2, 4, 5, 6, 7, 3}},
        // Of a shown one's value, the hidden one ranks above it: the check takes no equal two.
        {"hidden beside a shown one", {1, 2, 3, 4, 5, 3}, false, {2, 3, 4, 6, 7, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto items = priorityItems(c.read, c.alarmShown);
        const std::vector<int> numbers = priorityNumbers(c.read, c.alarmShown);
        ASSERT_EQ(numbers.size(), c.alarmShown ? 6u : 5u);
        frm::apply::SourceControls controls;
        if (!c.alarmShown) controls.hiddenPriority = hiddenPriority(c.read);
        for (std::size_t source = 0; source < kPriorityCount; ++source) {
            if (items[source] < 0) continue;
            ASSERT_LT(static_cast<std::size_t>(items[source]), numbers.size());
            controls.priorities[source] = std::to_wstring(numbers[static_cast<std::size_t>(items[source])]);
        }
        device::VokarConfig stored;
        stored.ip = "10.20.0.21";
        stored.mask = "255.255.255.0";
        stored.gateway = "10.20.0.1";
        stored.serverIp = "0.0.0.0";
        stored.multicastIp = "239.10.0.1";
        stored.serverPort = 11990;
        std::uint16_t* const fields[] = {&stored.priVoiceAlert,  &stored.priAin1,      &stored.priAin0,
                                         &stored.priStreamMCast, &stored.priZoneInput, &stored.priStream};
        for (std::size_t source = 0; source < kPriorityCount; ++source) *fields[source] = c.read[source];
        const device::VokarConfig written = frm::apply::sourceConfig(stored, controls, c.alarmShown);
        EXPECT_EQ((Values{written.priVoiceAlert, written.priAin1, written.priAin0, written.priStreamMCast,
                          written.priZoneInput, written.priStream}),
                  c.written);
        EXPECT_NO_THROW(device::checkConfig(written, device::vokarA_3_00_01));
        const Values after = {written.priVoiceAlert,  written.priAin1,      written.priAin0,
                              written.priStreamMCast, written.priZoneInput, written.priStream};
        for (std::size_t a = 0; a < kPriorityCount; ++a) {
            for (std::size_t b = 0; b < kPriorityCount; ++b) {
                if (c.read[a] > c.read[b]) {
                    EXPECT_GT(after[a], after[b]) << a << " above " << b;
                }
            }
        }
    }
}

TEST(PageFill, OnlyAnUnknownMemoryLayoutOffersToOverwrite) {
    EXPECT_TRUE(offerOverwrite(exception::UnknownVersionOfAudioMemory()));
    EXPECT_FALSE(offerOverwrite(exception::Offline()));
    EXPECT_FALSE(offerOverwrite(exception::UnexpectedResponseOfDevice("no reply")));
    EXPECT_FALSE(offerOverwrite(exception::ExternalError(L"Нет ответа", L"")));
}

TEST(PageFill, LinkedConsoleRowsMarkTheFirstFaultOfAnAnsweringConsole) {
    const LinkedConsole answering{"02:7E:41:00:01:01", L"Пост 1", true};
    const LinkedConsole silent{"02:7E:41:00:01:02", L"Пост 2", false};
    struct Case {
        const LinkedConsole* console;
        bool broken, lost, debug;
        const wchar_t* text;
        bool live;
    };
    const Case cases[] = {
        {&answering, false, false, false, L"3. Пост 1", true},
        {&answering, false, false, true, L"3. [02:7E:41:00:01:01] Пост 1", true},
        {&answering, true, true, false, L"3. Пост 1 [Ошибка конфигурации]", true},
        {&answering, false, true, false, L"3. Пост 1 [Потерян]", true},
        {&silent, true, true, false, L"3. Пост 2 [Не в сети]", false},
        {nullptr, true, false, false, L"3. [02:7E:41:00:00:09] [Неизвестное устройство]", false},
    };
    for (const Case& c : cases) {
        const LinkedConsoleRow row =
            linkedConsoleRow(3, "02:7E:41:00:00:09", c.console, c.broken, c.lost, c.debug);
        EXPECT_EQ(row.text, c.text);
        EXPECT_EQ(row.live, c.live) << row.text;
    }
}

TEST(PageFill, SmallValues) {
    const std::vector<std::wstring> offered = {L"50", L"700", L"5000"};
    EXPECT_EQ(refreshPeriod(L"50", offered), 50u);
    EXPECT_EQ(refreshPeriod(L"5000", offered), 5000u);
    for (const wchar_t* bad : {L"", L"abc", L"60", L"-5", L"99999999999999999999"})
        EXPECT_EQ(refreshPeriod(bad, offered), kDefaultRefreshMs) << bad;
    EXPECT_EQ(volumeTip(L"Зал", 35), L"Зал 35%");
    EXPECT_EQ(volumeTip(L"Зал", 0x7FFFFFFF), L"Зал");
    EXPECT_EQ(choiceIndex(3, 4), 3);
    EXPECT_EQ(choiceIndex(4, 4), -1);
    EXPECT_EQ(choiceIndex(-1, 4), -1);
}

}  // namespace
