// Every page of the property panel that writes to its device, tried while its read is held up:
// apply, the page's buttons and its menus take nothing meanwhile, the device hears nothing it was
// not asked, and the page ends usable once the read came.

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "support/DispatcherWait.h"
#include "support/LineControllerEmulator.h"
#include "support/ManualClock.h"
#include "tests/app/window/PropertyActsFixture.h"

namespace {

using Ids = frm::fb::PropertyDevicePanel;

// The device whose page is tried, as the test sets it up.
enum class Device {
    loudspeaker,
    // With a line-control module and end devices.
    loudspeakerWithModule,
    // Bound to a console that no device is: its bindings need repairing.
    loudspeakerBoundToUnknown,
    // A console with a zone and an access key, beside a loudspeaker.
    console,
};

// What the page is tried with.
struct HeldRead {
    const char* name;
    Device device;
    const wchar_t* tab;
    // The operator types a new name before pressing apply.
    bool rename = false;
    // The page's controls clicked, by label, then its menu items chosen, then apply and cancel.
    std::vector<const wchar_t*> clicks;
    std::vector<int> menu;
    // Commands that would change the device: none may reach it.
    std::vector<const char*> writes;
    // The page shows settings that the panel read before, so its read waits on the dispatcher
    // only: that is held instead of the device's answer.
    bool readBefore = false;
    // The page is shown once before, so that the rows and labels its read makes are there.
    bool visitedBefore = false;
};

void PrintTo(const HeldRead& row, std::ostream* out) {
    *out << row.name;
}

const std::vector<const char*> kSettingWrites = {"set ", "reboot"};

class PropertyHeldReadTest : public test::PropertyActsFixture,
                             public ::testing::WithParamInterface<HeldRead> {
protected:
    void selectTab(const wxString& title) {
        for (std::size_t page = 0; page < notebook()->GetPageCount(); ++page) {
            if (notebook()->GetPageText(page) == title) notebook()->SetSelection(page);
        }
    }

    std::optional<test::LineControllerEmulator> module_;
};

TEST_P(PropertyHeldReadTest, NothingActsWhileThePageReadsAndThePageEndsUsable) {
    const HeldRead& row = GetParam();
    loudspeakers_.add(1);
    long index = 0;
    test::EmulatedDevice* emulator = &loudspeakers_.loudspeaker(0);
    switch (row.device) {
        case Device::loudspeaker:
            break;
        case Device::loudspeakerWithModule:
            module_.emplace(loudspeakers_.loudspeaker(0));
            module_->setEndDevice(1, {2, 3, 4, "t"});
            break;
        case Device::loudspeakerBoundToUnknown:
            loudspeakers_.loudspeaker(0).setZoneAddresses({0x999});
            break;
        case Device::console:
            loudspeakers_.addConsole();
            loudspeakers_.console(0).setZones({{1, {1, -1, {1}}}});
            loudspeakers_.console(0).setPasskeys({"0A1B2C"});
            // The loudspeaker's memory refuses its read at once rather than leaving it unanswered,
            // which would count the loudspeaker offline until its next status packet.
            loudspeakers_.loudspeaker(0).answer("voiceMemSize", "ERR[voiceMemSize]: no memory");
            emulator = &loudspeakers_.console(0);
            index = 1;
            break;
    }
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(index) == L"В сети"; }));
    const bool commonPage = std::wstring(row.tab) == L"Общие";
    if (!commonPage) {
        openProperties(index);
        if (row.device == Device::console) {
            settle();
        } else {
            settled(loudspeakers_.loudspeaker(0));
        }
        if (row.visitedBefore) {
            showTab(row.tab);
            showTab(L"Общие");
        }
    }

    // The device holds its answer to the page's read (or the dispatcher holds the read of what the
    // panel read before); while time stands still the read waits and the devices stay online.
    emulator->clearReceived();
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    std::optional<test::DispatcherHold> hold;
    if (row.readBefore) {
        hold.emplace();
        ASSERT_TRUE(pumpUntil([&] { return hold->started(); }));
    } else {
        emulator->holdReplies();
    }
    if (commonPage) {
        openProperties(index);
    } else {
        selectTab(row.tab);
    }
    if (!row.readBefore) {
        ASSERT_TRUE(pumpUntil([&] { return emulator->waitForHeld(1, std::chrono::milliseconds(0)); }));
    }
    ASSERT_TRUE(propertyPanel()->pageWaits());

    // Each control's own event reaches its handler, whose gate is what is tried; so do apply's and
    // cancel's.
    const std::size_t errors = capture_.find(L"", L"ERROR").size();
    if (row.rename) typeName("Hall 2");
    for (const wchar_t* label : row.clicks) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(label)));
        deliver(onPageShownOrNot(label));
    }
    for (const int item : row.menu) EXPECT_NO_THROW(startMenuItem(item)) << item;
    deliver(labelled(L"&Применить"));
    deliver(labelled(L"&Отмена"));
    // All of it while the page still read.
    EXPECT_TRUE(propertyPanel()->pageWaits());
    EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());

    // The read ends on the held clock, so that no deadline passed meanwhile cuts it short.
    if (hold) hold->release();
    emulator->releaseReplies();
    ASSERT_TRUE(pumpUntil([&] { return !propertyPanel()->pageWaits(); }));
    clock.reset();
    settle();
    ASSERT_TRUE(test::waitForDispatcher());
    for (const std::string& command : emulator->received()) {
        for (const char* write : row.writes) EXPECT_NE(command.rfind(write, 0), 0u) << command;
    }
    EXPECT_FALSE(capture_.contains(L"Выполнение операции завершено"));
    // Nor was a write tried that failed.
    EXPECT_EQ(capture_.find(L"", L"ERROR").size(), errors);
    EXPECT_TRUE(pumpUntil([&] { return usable(); }));
    // A name typed meanwhile waits for apply.
    EXPECT_EQ(labelled(L"&Применить")->IsEnabled(), row.rename);
}

const std::vector<int> kMemoryMenu = {
    Ids::ID_MEMORY_CLEAR,  Ids::ID_MEMORY_REVERT, Ids::ID_FRAGMENT_DELETE,   Ids::ID_SCENARIO_DELETE,
    Ids::ID_FRAGMENT_PLAY, Ids::ID_SCENARIO_PLAY, Ids::ID_MEMORY_SAVE_IMAGE, Ids::ID_MEMORY_LOAD_IMAGE};
const std::vector<const char*> kMemoryWrites = {"voiceMemProgram", "voiceMemErase", "set ", "reboot"};

INSTANTIATE_TEST_SUITE_P(
    EveryPageThatWrites, PropertyHeldReadTest,
    ::testing::Values(
        HeldRead{"LoudspeakerCommon",
                 Device::loudspeaker,
                 L"Общие",
                 true,
                 {L"Эквалайзер", L"Сбросить настройки эквалайзера", L"Контроль линии"},
                 {},
                 kSettingWrites},
        HeldRead{
            "LoudspeakerMemory", Device::loudspeaker, L"Аудио память", false, {}, kMemoryMenu, kMemoryWrites},
        HeldRead{"Network",
                 Device::loudspeaker,
                 L"Сеть",
                 false,
                 {L"DHCP", L"Разрешить IP", L"Резервирование ЛВС (локальная вычислительная сеть)"},
                 {},
                 kSettingWrites,
                 true},
        HeldRead{"Nerida",
                 Device::loudspeaker,
                 L"Нерида",
                 false,
                 {L"События реле", L"Индикация ошибки интерфейса"},
                 {},
                 kSettingWrites},
        HeldRead{"Sources",
                 Device::loudspeaker,
                 L"Источники",
                 false,
                 {L"Разрешить воспроизводить поток с других модулей",
                  L"Передавать поток со входа 1 на другие модули", L"Тест звукового давления (1 кГц)"},
                 {},
                 {"set ", "reboot", "startSine", "sinus"},
                 true},
        HeldRead{"Line",
                 Device::loudspeakerWithModule,
                 L"Линия",
                 false,
                 {L"Энергосбережение", L"Добавить все", L"Удалить все", L"Добавить"},
                 {},
                 {"lsensor power", "lsensor add", "lsensor del", "lsensor prefReset", "lsensor reboot"},
                 true,
                 true},
        HeldRead{"LinkedConsoles",
                 Device::loudspeakerBoundToUnknown,
                 L"Связанные консоли",
                 false,
                 {L"Исправить целостность связей"},
                 {},
                 {"zoneAnnAdd", "zoneAnnDel", "zoneAddrAdd", "zoneAddrDel"}},
        HeldRead{"ConsoleCommonAndType",
                 Device::console,
                 L"Общие",
                 true,
                 {L"Разрешить один источник питания", L"Звуковое сопровождение при неисправности",
                  L"Индикация зон с сообщениями"},
                 {},
                 {"set ", "reboot", "zoneDel", "zoneBind", "zoneScBind"}},
        HeldRead{"ConsoleMemory", Device::console, L"Аудио память", false, {}, kMemoryMenu, kMemoryWrites, true},
        HeldRead{"AccessKeys",
                 Device::console,
                 L"Ключи",
                 false,
                 {L"Начать добавление", L"Удалить все", L"Удалить", L"Контроль доступа выключен"},
                 {},
                 {"passkeyAdd", "passkeyReset", "passkeyDel", "set "},
                 true,
                 true},
        HeldRead{"ZoneTargets",
                 Device::console,
                 L"Зоны трансляции",
                 false,
                 {L"Удалить все зоны", L"Удалить зону", L"Все", L"1", L"Исправить целостность связей"},
                 {},
                 {"zoneBind", "zoneScBind", "zoneDel"}}),
    [](const ::testing::TestParamInfo<HeldRead>& info) { return std::string(info.param.name); });

}  // namespace
