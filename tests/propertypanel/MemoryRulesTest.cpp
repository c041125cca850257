// The audio-memory page's decisions: the items of its two menus, its list rows and its texts.

#include <gtest/gtest.h>

#include "propertypanel/MemoryRules.h"

namespace {

using namespace frm::memorypage;

TEST(MemoryRules, MenuItemsByState) {
    struct Case {
        const char* name;
        MenuState state;
        std::vector<int> fragment;
        std::vector<int> scenario;
    };
    const Case cases[] = {
        {"empty selection", {false, false, false, true}, {fragmentAdd}, {scenarioAdd}},
        {"selected",
         {false, true, false, true},
         {fragmentPlay, fragmentAdd, fragmentSave, fragmentDelete},
         {scenarioPlay, scenarioDelete, scenarioAdd}},
        {"selected with edits pending",
         {false, true, true, true},
         {fragmentAdd, fragmentSave, fragmentDelete},
         {scenarioDelete, scenarioAdd}},
        {"console selected",
         {false, true, false, false},
         {fragmentAdd, fragmentSave, fragmentDelete},
         {scenarioDelete, scenarioAdd}},
        {"playing", {true, true, false, true}, {fragmentStop}, {scenarioStop}},
        {"console playing", {true, false, false, false}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fragmentMenu(c.state), c.fragment);
        EXPECT_EQ(scenarioMenu(c.state), c.scenario);
    }
}

TEST(MemoryRules, FreeMemoryIsGroupedByThousands) {
    const std::pair<std::uint64_t, const wchar_t*> cases[] = {
        {0, L"0"}, {999, L"999"}, {1000, L"1 000"}, {123456, L"123 456"}, {1234567, L"1 234 567"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(groupedDigits(value), text);
}

TEST(MemoryRules, FragmentRowsShowWhereEachFragmentCameFrom) {
    const std::vector<device::memory::FragmentEntry> fragments = {{3, 1, L"Гонг", 1200, 0},
                                                                  {5, 2, L"Пожар", 64, 0}};
    const auto rows = fragmentRows(fragments, {L"", L"/tmp/fire.mp3"});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, 3);
    EXPECT_EQ(rows[0].size, L"1200");
    EXPECT_EQ(rows[0].path, kInDeviceMemory);
    EXPECT_EQ(rows[1].path, L"/tmp/fire.mp3");
    // Paths out of step with the fragments are not shown at all.
    EXPECT_EQ(fragmentRows(fragments, {L""})[0].path, L"");
}

TEST(MemoryRules, AScenarioOfAnUnknownFragmentShowsAPlaceholder) {
    const std::vector<device::memory::FragmentEntry> fragments = {{1, 1, L"Гонг", 10, 0}};
    device::memory::ScenarioEntry scenario;
    scenario.id = 4;
    scenario.order = 2;
    scenario.name = L"Тревога";
    scenario.gongId = 1;
    scenario.fragmentId = 9;
    scenario.repeatPeriod = 30;
    const auto rows = scenarioRows({scenario}, fragments);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].number, L"2");
    EXPECT_EQ(rows[0].gong, L"Гонг");
    EXPECT_EQ(rows[0].fragment, kUnknownFragment);
    EXPECT_EQ(rows[0].period, L"30");
}

TEST(MemoryRules, ExportNamesAreSafeFileNames) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"Пожар", L"Пожар"}, {L"a/b\\c:d*e?f\"g<h>i|j", L"a_b_c_d_e_f_g_h_i_j"},
        {L"..", L"fragment"}, {L" ", L"fragment"},
        {L"", L"fragment"},   {L"line\nbreak", L"line_break"}};
    for (const auto& [name, file] : cases) EXPECT_EQ(exportFileName(name), file);
}

}  // namespace
