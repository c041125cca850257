// What apply writes for each page, and how the zone targets' apply is decided and refused.

#include <gtest/gtest.h>

#include "foundation/Exceptions.h"
#include "propertypanel/ApplyRules.h"

namespace {

using namespace frm::apply;

TEST(ApplyRules, CommonAndConsoleOptions) {
    EXPECT_FALSE(loudspeakerCommon({}, 1, true).lineDoubleOff);
    EXPECT_TRUE(loudspeakerCommon({}, 0, false).lineDoubleOff);
    EXPECT_TRUE(loudspeakerCommon({}, -1, true).lineTest);

    device::TribelConfig stored;
    stored.gongId = 7;
    stored.powerIn1 = 2;
    stored.powerIn2 = 3;
    stored.holdBroadcast = false;
    ConsoleControls controls;
    controls.type = 1;
    controls.typePriority = 4;
    controls.holdToTalk = false;
    controls.faultSound = true;
    // Nothing selected in the gong and power choices: the console keeps its values.
    device::TribelConfig written = consoleConfig(stored, controls);
    EXPECT_EQ(written.gongId, 7);
    EXPECT_EQ(written.powerIn1, 2u);
    EXPECT_EQ(written.powerIn2, 3u);
    EXPECT_TRUE(written.fireConsole);
    EXPECT_EQ(written.priorityLevel, 4u);
    EXPECT_TRUE(written.holdBroadcast);
    EXPECT_TRUE(written.faultAlarm);
    controls = {};
    controls.gongId = 3;
    controls.powerInput1 = 0;
    controls.holdToTalk = true;
    written = consoleConfig(stored, controls);
    EXPECT_EQ(written.gongId, 3);
    EXPECT_EQ(written.powerIn1, 0u);
    EXPECT_FALSE(written.fireConsole);
    EXPECT_FALSE(written.holdBroadcast);
}

TEST(ApplyRules, NetworkAndNerida) {
    device::CommonConfig stored;
    stored.ip = "10.0.0.5";
    stored.mask = "255.0.0.0";
    stored.gateway = "10.0.0.1";
    stored.serverIp = "10.0.0.9";
    struct Case {
        const char* name;
        bool allowIp, dhcp, lanRedundancy, igmp;
        const char *serverIp, *ip;
        bool switchMode;
        std::uint32_t igmpReport;
    };
    const Case cases[] = {
        {"allowed address, static", true, false, false, true, "10.0.0.20", "10.0.0.6", true, 60},
        {"any address whatever the box", false, false, true, false, "0.0.0.0", "10.0.0.6", false, 0},
        {"the lease shown is not written", true, true, false, false, "10.0.0.20", "10.0.0.5", true, 0},
    };
    for (const Case& c : cases) {
        NetworkControls controls{"239.1.1.1",     c.allowIp, "10.0.0.20",
                                 12000,           c.dhcp,    {"10.0.0.6", "255.255.0.0", "10.0.0.2"},
                                 c.lanRedundancy, c.igmp};
        const device::CommonConfig written = networkConfig(stored, controls);
        EXPECT_EQ(written.serverIp, c.serverIp) << c.name;
        EXPECT_EQ(written.ip, c.ip) << c.name;
        EXPECT_EQ(written.dhcp, c.dhcp) << c.name;
        EXPECT_EQ(written.switchMode, c.switchMode) << c.name;
        EXPECT_EQ(written.igmpReport, c.igmpReport) << c.name;
        EXPECT_EQ(written.multicastIp, "239.1.1.1") << c.name;
        EXPECT_EQ(written.serverPort, 12000) << c.name;
    }
    const device::CommonConfig nerida = neridaConfig(stored, {33, true, false, true});
    EXPECT_EQ(nerida.neridaAddress, 33);
    EXPECT_TRUE(nerida.neridaRelay);
    EXPECT_FALSE(nerida.neridaTest);
    EXPECT_TRUE(nerida.neridaReserve);
}

TEST(ApplyRules, SourcesWriteTheShownPrioritiesAndKeepWhatNothingSelects) {
    device::VokarConfig stored;
    stored.priVoiceAlert = 10;
    stored.priAin1 = 20;
    stored.priAin0 = 30;
    stored.priStreamMCast = 40;
    stored.priZoneInput = 50;
    stored.priStream = 60;
    stored.ain0ScenarioId = 4;
    stored.ain1ScenarioId = 5;
    SourceControls controls;
    controls.priorities = {L"2", L"3", L"4", L"5", L"6", L"7"};
    controls.scenarios = {device::ain::none, std::nullopt};
    controls.lineIntegrity = {true, false};
    device::VokarConfig written = sourceConfig(stored, controls, true);
    EXPECT_EQ(std::vector<int>({written.priVoiceAlert, written.priAin1, written.priAin0,
                                written.priStreamMCast, written.priZoneInput, written.priStream}),
              std::vector<int>({2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(written.ain0ScenarioId, device::ain::none);
    EXPECT_EQ(written.ain1ScenarioId, 5);
    EXPECT_TRUE(written.ain0Arm);

    // The hidden alarm stream and a choice without a selection keep their values.
    controls.priorities = {L"", L"3", L"4", L"5", L"6", L"7"};
    written = sourceConfig(stored, controls, false);
    EXPECT_EQ(written.priVoiceAlert, 10);
    EXPECT_EQ(written.priStream, 60);
    for (const wchar_t* bad : {L"x", L"70000", L"-1", L"5 "}) {
        controls.priorities[1] = bad;
        EXPECT_THROW(sourceConfig(stored, controls, true), exception::IncorrectFormat) << bad;
    }
}

TEST(ApplyRules, OnlyAWrittenPageReportsSuccessAndAStoppedOneKeepsEverything) {
    struct Case {
        bool written, stopped, closeAfterwards;
        bool report, disable, refill, close;
    };
    const Case cases[] = {
        {true, false, false, true, true, false, false},   {true, false, true, true, true, false, true},
        {false, false, false, false, false, true, false}, {false, false, true, false, false, true, true},
        {true, true, false, false, false, false, false},  {true, true, true, false, false, false, false},
        {false, true, true, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.written << c.stopped << c.closeAfterwards);
        const ApplyEnding ending = applyEnding(c.written, c.stopped, c.closeAfterwards);
        EXPECT_EQ(ending.reportSuccess, c.report);
        EXPECT_EQ(ending.disableButtons, c.disable);
        EXPECT_EQ(ending.refill, c.refill);
        EXPECT_EQ(ending.close, c.close);
    }
}

TEST(ApplyRules, ZoneTargetsNeedAZoneAndAMessageAndRefusalsKeepTheirCode) {
    using Action = ZoneApply::Action;
    struct Case {
        std::optional<int> zone;
        int message;
        std::size_t chosen;
        Action action;
        int scenario;
    };
    const Case cases[] = {
        {std::nullopt, 0, 2, Action::refuse, -1},
        {3, 2, 0, Action::unbind, -1},
        {3, -1, 2, Action::refuse, -1},
        {3, 0, 2, Action::rebind, -1},
        {0, 4, 1, Action::rebind, 4},
    };
    for (const Case& c : cases) {
        const ZoneApply apply = zoneApply(c.zone, c.message, c.chosen);
        EXPECT_EQ(apply.action, c.action) << c.message;
        EXPECT_EQ(apply.scenario, c.scenario) << c.message;
        EXPECT_EQ(apply.refusal.empty(), c.action != Action::refuse) << c.message;
    }
    EXPECT_EQ(refusalText(L"offline"), L"Одно из выбранных устройств не в сети");
    EXPECT_EQ(refusalText(L"internalPlaying"),
              L"Запрещено редактирование во время тревожного вещания на вокарах");
    EXPECT_NE(refusalText(L"partialIntersection").find(L"Частичное пересечение"), std::wstring::npos);
    EXPECT_NE(refusalText(L"unknownZone").find(L"unknownZone"), std::wstring::npos);
}

}  // namespace
