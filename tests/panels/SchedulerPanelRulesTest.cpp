// The scheduler panel's decisions as tables: the texts of a row, the buttons, how far a check
// of a device row carries, the device rows of a zone tree, the time-plan controls of a type, the
// plan of a new task with every refusal, the stop task's dates, the time-step keys, the list's
// filter at its bounds and the devices of a zone filter.

#include <gtest/gtest.h>

#include <functional>

#include "audio/BaseTask.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "panels/SchedulerPanelRules.h"
#include "support/DeviceEmulator.h"
#include "support/LogCapture.h"

namespace {

using frm::NewTaskInput;
using frm::TaskRowSource;
using Texts = std::array<std::wstring, frm::kTaskColumnCount>;

TaskRowSource row(bool once, bool enabled, const wchar_t* finalDate, const wchar_t* stopTime, int stopTaskId,
                  std::optional<std::wstring> gong, std::vector<std::wstring> devices) {
    return {once,       enabled,     L"2024-05-02",   finalDate,       L"08:00",          stopTime,
            stopTaskId, L"Плейлист", L"Утро & вечер", std::move(gong), std::move(devices)};
}

TEST(SchedulerPanelRules, RowTexts) {
    const std::pair<TaskRowSource, Texts> cases[] = {
        // A one-time task shows its start date twice and never a stop time.
        {row(true, true, L"2024-05-02", L"09:00", 2, std::nullopt, {L"Зал"}),
         {L"2024-05-02", L"2024-05-02", L"08:00", L"-", L"Плейлист: Утро & вечер", L"-", L"Зал", L"Вкл"}},
        // A daily task without last date or stop time.
        {row(false, false, L"", L"", -1, std::nullopt, {L"Зал", L"Холл"}),
         {L"2024-05-02", L"-", L"08:00", L"-", L"Плейлист: Утро & вечер", L"-", L"Зал, Холл", L"Выкл"}},
        {row(false, true, L"2024-06-01", L"09:30", 4, std::nullopt, {}),
         {L"2024-05-02", L"2024-06-01", L"08:00", L"09:30", L"Плейлист: Утро & вечер", L"-", L"", L"Вкл"}},
        // A stop time without a stop task (a message's) is not shown.
        {row(false, true, L"", L"09:30", -1, std::wstring(L"Гонг 1"), {L"Зал"}),
         {L"2024-05-02", L"-", L"08:00", L"-", L"Плейлист: Утро & вечер", L"Гонг 1", L"Зал", L"Вкл"}},
    };
    for (const auto& [source, texts] : cases) EXPECT_EQ(frm::taskRowTexts(source), texts);
    EXPECT_EQ(frm::taskColumnWidths(840), (std::array<int, 8>{120, 120, 140, 120, 280, 168, 280, 105}));
}

TEST(SchedulerPanelRules, Buttons) {
    // selected, unlocked, rows, enabled, disabled -> enable, disable, remove, add, edit
    const std::tuple<bool, bool, int, int, int, bool, bool, bool, bool, bool> cases[] = {
        {false, false, 0, 0, 0, false, false, false, false, false},
        {false, true, 0, 0, 0, false, false, false, true, false},
        {false, true, 2, 1, 1, false, false, false, true, false},  // deselected by the panel
        {true, false, 1, 1, 0, false, true, false, false, true},
        {true, true, 1, 0, 1, true, false, true, false, true},
        {true, true, 2, 1, 1, true, true, true, false, false},
        {true, true, 2, 2, 0, false, true, true, false, false},
    };
    for (const auto& [selected, unlocked, rows, enabled, disabled, en, dis, rem, add, edit] : cases) {
        const frm::TaskButtons buttons = frm::taskButtons(selected, unlocked, rows, enabled, disabled);
        EXPECT_EQ(
            (std::array<bool, 5>{buttons.enable, buttons.disable, buttons.remove, buttons.add, buttons.edit}),
            (std::array<bool, 5>{en, dis, rem, add, edit}))
            << selected << unlocked << rows << enabled << disabled;
        // Locked, the panel says why adding and deleting are not offered.
        EXPECT_EQ(buttons.note.empty(), unlocked) << selected << unlocked;
    }
    EXPECT_NE(frm::taskButtons(false, false, 0, 0, 0).note.find(L"только в режиме администратора"),
              std::wstring::npos);
}

TEST(SchedulerPanelRules, ChecksStayOnTheRowsShownAgain) {
    test::LogCapture log;
    const auto transport = std::make_shared<device::TransferProtocol>(test::freeUdpPort(), "127.0.0.1");
    const auto loudspeaker = [&](std::uint32_t number) {
        return device::VokarInfo::create(number, device::types::vokarB, net::HardwareAddress(0, number),
                                         net::IpAndPort("127.0.0.2", 1), L"", transport, nullptr);
    };
    const auto one = loudspeaker(1);
    const auto two = loudspeaker(2);
    const auto three = loudspeaker(3);
    auto root = frm::ZoneElement::makeRoot();
    root->addDevices({one});
    auto building = root->createZone(*root, L"Корпус");
    building->addDevices({two});
    const std::vector<frm::DeviceRow> before = frm::deviceRows(root).rows;
    // Все зоны, one, Корпус, two
    ASSERT_EQ(before.size(), 4u);

    // The same rows again; then with a loudspeaker added to "Корпус" and a zone added to the root.
    const std::vector<frm::DeviceRow> same = before;
    building->addDevices({three});
    root->createZone(*root, L"Склад");
    const std::vector<frm::DeviceRow> grown = frm::deviceRows(root).rows;
    // Все зоны, one, Корпус, two, three, Склад
    ASSERT_EQ(grown.size(), 6u);
    const std::tuple<std::vector<bool>, std::vector<frm::DeviceRow>, std::vector<bool>> cases[] = {
        {{true, true, true, true}, same, {true, true, true, true}},
        {{false, true, false, false}, same, {false, true, false, false}},
        {{false, false, false, false}, grown, {false, false, false, false, false, false}},
        // A new row nested in a checked zone is checked with it; one outside stays unchecked.
        {{false, false, true, true}, grown, {false, false, true, true, true, false}},
        {{true, true, true, true}, grown, {true, true, true, true, true, true}},
        // The checks of the placeholder rows (no rows before) carry to nothing.
        {{}, same, {false, false, false, false}},
    };
    for (const auto& [checked, after, kept] : cases) {
        const std::vector<frm::DeviceRow>& previous =
            checked.empty() ? std::vector<frm::DeviceRow>{} : before;
        EXPECT_EQ(frm::keptChecks(previous, checked, after), kept);
    }
    // A loudspeaker moved to another zone is a new row there.
    root->createZone(*root, L"Холл")->addDevices({one});
    const auto moved = frm::deviceRows(root).rows;
    EXPECT_FALSE(frm::keptChecks(before, {false, true, false, false}, moved).back());
}

TEST(SchedulerPanelRules, AnEmptyContentSaysWhy) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"device", L"Носитель не подключён"}, {L"playlist", L"Плейлистов нет"},
        {L"radio", L"Радиостанций нет"},       {L"serviceMessage", L"Сообщений нет"},
        {L"microphone", L"Записей нет"},
    };
    for (const auto& [kind, start] : cases)
        EXPECT_EQ(frm::emptyContentNote(kind).rfind(start, 0), 0u) << kind;
}

TEST(SchedulerPanelRules, ACheckCarriesToTheRowsNestedBelow) {
    //                           0  1  2  3  4  5  6
    const std::vector<int> levels{0, 1, 1, 2, 3, 2, 1};
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 7}, {1, 2}, {2, 6}, {3, 5},
                                                         {4, 5}, {6, 7}, {9, 9}};
    for (const auto& [row, end] : cases) EXPECT_EQ(frm::nestedRowsEnd(levels, row), end) << row;
}

TEST(SchedulerPanelRules, DeviceRowsOfTheZoneTree) {
    test::LogCapture log;
    const auto transport = std::make_shared<device::TransferProtocol>(test::freeUdpPort(), "127.0.0.1");
    const auto loudspeaker = [&](std::uint32_t number, const wchar_t* title) {
        return device::VokarInfo::create(number, device::types::vokarB, net::HardwareAddress(0, number),
                                         net::IpAndPort("127.0.0.2", 1), title, transport, nullptr);
    };
    const auto hall = loudspeaker(1, L"Зал");
    const auto porch = loudspeaker(2, L"Крыльцо");
    const auto console =
        device::TribelInfo::create(3, device::types::tribelT, net::HardwareAddress(0, 3),
                                   net::IpAndPort("127.0.0.3", 1), L"Пульт", transport, nullptr);
    auto root = frm::ZoneElement::makeRoot();
    root->addDevices({hall, console});
    auto building = root->createZone(*root, L"Корпус");
    building->addDevices({porch});
    root->createZone(*building, L"Все зоны");
    root->createZone(*root, L"Пустая")->built = false;

    const frm::DeviceRows rows = frm::deviceRows(root);
    std::vector<std::pair<std::wstring, int>> shown;
    for (const auto& each : rows.rows) shown.emplace_back(each.text, each.level);
    const std::vector<std::pair<std::wstring, int>> expected = {
        {L"Все зоны", 0}, {L"   Зал", 1}, {L"   Корпус", 1}, {L"      Крыльцо", 2}, {L"      Все зоны", 2}};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(rows.rows[1].loudspeaker, hall);
    EXPECT_EQ(rows.rows[3].loudspeaker, porch);
    EXPECT_EQ(rows.rows[2].loudspeaker, nullptr);
    EXPECT_EQ(rows.zoneNames, std::vector<std::wstring>{L"Корпус"});

    // A zone filter takes every zone of the name at any depth, and a zone's nested zones only
    // when they bear its name too.
    const auto wing = loudspeaker(4, L"Крыло");
    root->createZone(*root->createZone(*building, L"Флигель"), L"Корпус")->addDevices({wing});
    EXPECT_EQ(frm::zoneDeviceIds(root, L"Корпус"), (std::vector<std::uint32_t>{2, 4}));
    EXPECT_TRUE(frm::zoneDeviceIds(root, L"Флигель").empty());
    EXPECT_TRUE(frm::zoneDeviceIds(nullptr, L"Корпус").empty());
}

TEST(SchedulerPanelRules, TheFilterAtItsBounds) {
    test::LogCapture log;
    using scheduler::task::DataVault;
    scheduler::task::Daily daily(1, L"2024-05-02", L"08:00", L"2024-05-10", {});
    daily.setClientData(
        DataVault(nullptr, L"2024-05-02", L"2024-05-10", L"08:00", L"09:30", {1, 2}, 2, false));
    scheduler::task::Once once(3, L"2024-05-05", L"07:05", {});
    once.setClientData(DataVault(nullptr, L"2024-05-05", L"2024-05-05", L"07:05", L"", {3}, -1, false));
    once.enable(false);

    using Times = std::pair<std::wstring, std::wstring>;
    using Ids = std::vector<std::uint32_t>;
    const auto with = [](const std::function<void(frm::TaskFilter&)>& set) {
        frm::TaskFilter filter;
        set(filter);
        return filter;
    };
    const auto date = [&](const wchar_t* text) { return with([&](auto& f) { f.date = text; }); };
    const auto times = [&](const wchar_t* from, const wchar_t* to) {
        return with([&](auto& f) { f.times = Times(from, to); });
    };
    const struct {
        const char* name;
        frm::TaskFilter filter;
        bool daily, once;
    } cases[] = {
        {"first day", date(L"2024-5-2"), true, false},
        {"last day", date(L"2024-5-10"), true, false},
        {"after the last day", date(L"2024-5-11"), false, false},
        {"before the first day", date(L"2024-5-1"), false, false},
        {"the one day", date(L"2024-5-5"), true, true},
        {"no date", date(L""), true, true},
        {"garbage date", date(L"5-мая"), false, false},
        {"from 7:5", times(L"7:5", L""), true, true},
        {"from 7:6", times(L"7:6", L""), true, false},
        {"up to 9:29", times(L"", L"9:29"), false, true},
        {"up to 9:30", times(L"", L"9:30"), true, true},
        {"no times", times(L"", L""), true, true},
        {"enabled only", with([](auto& f) { f.enabledOnly = true; }), true, false},
        // The device box checked before a device was chosen.
        {"any device", frm::TaskFilter(), true, true},
        {"device 3", with([](auto& f) { f.deviceId = 3; }), false, true},
        {"a zone", with([](auto& f) {
             f.zoneDeviceIds = Ids{9, 2};
         }),
         true, false},
        {"an empty zone", with([](auto& f) { f.zoneDeviceIds = Ids{}; }), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frm::taskPasses(daily, c.filter), c.daily) << c.name;
        EXPECT_EQ(frm::taskPasses(once, c.filter), c.once) << c.name;
    }
}

NewTaskInput input(int type, std::optional<std::wstring> first, std::optional<std::wstring> last,
                   int startHour, bool stop, int stopHour, int stopMinute = 0) {
    NewTaskInput in;
    in.settingsUnlocked = in.sourceChosen = in.devicesChosen = true;
    in.type = type;
    in.today = L"2024-05-01";
    in.firstDate = std::move(first);
    in.lastDate = std::move(last);
    in.startHour = startHour;
    in.startMinute = 5;
    in.stopChecked = stop;
    in.stopHour = stopHour;
    in.stopMinute = stopMinute;
    return in;
}

TEST(SchedulerPanelRules, PlanOfANewTask) {
    NewTaskInput locked = input(1, std::nullopt, std::nullopt, 8, false, 0);
    locked.settingsUnlocked = locked.sourceChosen = locked.devicesChosen = false;
    NewTaskInput noSource = locked;
    noSource.settingsUnlocked = true;
    NewTaskInput noDevices = noSource;
    noDevices.sourceChosen = true;
    NewTaskInput message = input(1, std::nullopt, std::nullopt, 8, true, 9);
    message.message = true;
    NewTaskInput badType = input(7, std::nullopt, std::nullopt, 8, false, 0);

    struct Case {
        NewTaskInput in;
        std::wstring refusal;
        bool takesIds;
        // Start date, final date, start time and stop time, joined by "|"; empty when not planned.
        std::wstring texts;
    };
    const Case cases[] = {
        // The refusals before the type, in their order, take no ids.
        {locked, L"Перед добавлением разблокируйте настройки", false, L""},
        {noSource, L"Необходимо выбрать источник воспроизведения", false, L""},
        {noDevices, L"Не выбрано ни одного устройства", false, L""},
        {badType, L"", false, L"2024-05-01||08:05|"},
        // A one-time task: today unless a first date is chosen, no final date, no stop.
        {input(0, std::nullopt, L"2024-06-01", 8, true, 9), L"", true, L"2024-05-01|2024-05-01|08:05|"},
        {input(0, L"2024-05-03", std::nullopt, 23, false, 0), L"", true, L"2024-05-03|2024-05-03|23:05|"},
        // Daily: a stop at 00:00 is none; a message has none.
        {input(1, std::nullopt, std::nullopt, 8, true, 0), L"", true, L"2024-05-01||08:05|"},
        {input(1, std::nullopt, std::nullopt, 8, true, 0, 1), L"", true, L"2024-05-01||08:05|00:01"},
        {message, L"", true, L"2024-05-01||08:05|"},
        // The date order counts only with a last date; refused tasks took their ids.
        {input(1, L"2024-05-02", L"2024-05-01", 8, false, 0), L"Неверный порядок дат", true,
         L"2024-05-02|2024-05-01|08:05|"},
        {input(1, L"2024-05-02", std::nullopt, 8, false, 0), L"", true, L"2024-05-02||08:05|"},
        // A stop at the start time is refused whatever the dates; a stop before it is the night's.
        {input(1, L"2024-05-02", L"2024-05-02", 8, true, 8, 5), L"Неверный порядок времени", true,
         L"2024-05-02|2024-05-02|08:05|08:05"},
        {input(1, L"2024-05-02", L"2024-05-09", 8, true, 8, 5), L"Неверный порядок времени", true,
         L"2024-05-02|2024-05-09|08:05|08:05"},
        {input(1, L"2024-05-02", L"2024-05-02", 22, true, 2), L"", true,
         L"2024-05-02|2024-05-02|22:05|02:00"},
        // The plans the panel does not build.
        {input(3, std::nullopt, std::nullopt, 8, false, 0), L"", true, L"2024-05-01||08:05|"},
    };
    for (const Case& each : cases) {
        const frm::NewTaskPlan plan = frm::planNewTask(each.in);
        EXPECT_EQ(plan.refusal, each.refusal) << each.in.type << each.in.startHour;
        EXPECT_EQ(plan.takesIds, each.takesIds) << each.in.type << each.in.startHour;
        if (each.texts.empty()) continue;
        EXPECT_EQ(plan.startDate + L"|" + plan.finalDate + L"|" + plan.startTime + L"|" + plan.stopTime,
                  each.texts);
    }
}

TEST(SchedulerPanelRules, StopTaskDates) {
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, frm::StopDates> cases[] =
        {
            {L"2024-05-02", L"2024-05-09", L"08:00", L"09:00", {L"2024-05-02", L"2024-05-09"}},
            {L"2024-05-02", L"", L"22:00", L"02:00", {L"2024-05-03", L""}},
            {L"2024-02-28", L"2024-02-29", L"23:30", L"00:30", {L"2024-02-29", L"2024-03-01"}},
            {L"2024-12-31", L"2024-12-31", L"22:00", L"06:00", {L"2025-01-01", L"2025-01-01"}},
        };
    for (const auto& [start, final, startTime, stopTime, dates] : cases) {
        const frm::StopDates got = frm::stopTaskDates(start, final, startTime, stopTime);
        EXPECT_EQ(got.startDate, dates.startDate);
        EXPECT_EQ(got.finalDate, dates.finalDate);
    }
}

TEST(SchedulerPanelRules, TimeStepKeys) {
    const std::tuple<int, wchar_t, bool> cases[] = {
        {'5', L'5', true},  {':', L':', true},  {8, 0, true},         {127, 0, true},
        {300, 0, true},     {308, 0, true},     {309, 0, true},       {'a', L'a', false},
        {'-', L'-', false}, {' ', L' ', false}, {0x44f, L'я', false},
    };
    for (const auto& [key, character, passes] : cases)
        EXPECT_EQ(frm::timeStepKeyPasses(key, character), passes) << key;
}

}  // namespace
