// What "&Применить" makes of a write that fails, on each page that writes on apply: the device
// answers an error, or the settings fail the loudspeaker's own check before they are sent. The
// operator sees one box, the page keeps the edits and the program goes on. Also work queued for
// the window that throws, and the sources page applied as read, with the alarm stream's row
// shown or hidden, against the loudspeaker's own check of its priorities.

#include <wx/checkbox.h>
#include <wx/textctrl.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/SettingKeys.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "support/DispatcherWait.h"
#include "support/LineControllerEmulator.h"
#include "tests/app/window/PropertyActsFixture.h"

namespace {

enum class Device {
    loudspeaker,
    // Of a generation that still shows its line settings on the common page.
    firstGenerationLoudspeaker,
    loudspeakerWithModule,
    // A console beside a loudspeaker.
    console,
};

struct FailedApply {
    const char* name;
    Device device;
    const wchar_t* tab;
    // The operator's edit: `text` typed into the field named `field`, or else a click on the check
    // box `box`, after a click on the zone button `zone` when one is named.
    const wchar_t* field;
    const char* text;
    const wchar_t* box;
    const wchar_t* zone;
    // The commands the device answers with an error; none: the program's check refuses the edit.
    const char* refused;
    // What the operator's box says.
    const wchar_t* shown;
};

void PrintTo(const FailedApply& row, std::ostream* out) {
    *out << row.name;
}

class PropertyApplyTest : public test::PropertyActsFixture,
                          public ::testing::WithParamInterface<FailedApply> {
protected:
    std::optional<test::LineControllerEmulator> module_;
};

TEST_P(PropertyApplyTest, AFailedWriteIsShownOnceAndThePageKeepsTheEdits) {
    const FailedApply& row = GetParam();
    long index = 0;
    test::EmulatedDevice* emulator = nullptr;
    switch (row.device) {
        case Device::loudspeaker:
            loudspeakers_.add(1);
            break;
        case Device::firstGenerationLoudspeaker:
            loudspeakers_.add(1, device::vokarA_2_01_72);
            break;
        case Device::loudspeakerWithModule:
            loudspeakers_.add(1);
            module_.emplace(loudspeakers_.loudspeaker(0));
            module_->setEndDevice(1, {2, 3, 4, "t"});
            break;
        case Device::console:
            loudspeakers_.add(1);
            loudspeakers_.addConsole();
            // The loudspeaker's memory refuses its read at once rather than leaving it unanswered.
            loudspeakers_.loudspeaker(0).answer("voiceMemSize", "ERR[voiceMemSize]: no memory");
            index = 1;
            break;
    }
    emulator = index == 0 ? static_cast<test::EmulatedDevice*>(&loudspeakers_.loudspeaker(0))
                          : static_cast<test::EmulatedDevice*>(&loudspeakers_.console(0));
    // A wait of the fixture that runs out ends the test: what comes after acts on the page.
    ASSERT_NO_FATAL_FAILURE(openWindow());
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(index) == L"В сети"; }));
    ASSERT_NO_FATAL_FAILURE(openProperties(index));
    if (row.device == Device::loudspeaker || row.device == Device::loudspeakerWithModule) {
        ASSERT_NO_FATAL_FAILURE(settled(loudspeakers_.loudspeaker(0)));
    } else {
        ASSERT_NO_FATAL_FAILURE(settle());
    }
    ASSERT_NO_FATAL_FAILURE(showTab(row.tab));
    ASSERT_TRUE(pumpUntil([&] { return usable(); }));

    bool ticked = false;
    if (row.field != nullptr) {
        ASSERT_NO_FATAL_FAILURE(type(control<wxTextCtrl>(row.field), row.text));
    } else {
        if (row.zone != nullptr) {
            wxWindow* zone = onPage(row.zone);
            ASSERT_NE(zone, nullptr);
            ASSERT_NO_FATAL_FAILURE(click(zone, wxRect(zone->GetClientSize())));
        }
        // Ticked as the box does when clicked.
        auto* box = dynamic_cast<wxCheckBox*>(onPage(row.box));
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(box->IsEnabled());
        ticked = !box->GetValue();
        box->SetValue(ticked);
        wxCommandEvent tick(wxEVT_CHECKBOX, box->GetId());
        tick.SetEventObject(box);
        tick.SetInt(ticked ? 1 : 0);
        box->GetEventHandler()->ProcessEvent(tick);
        ASSERT_NO_FATAL_FAILURE(settle());
    }
    ASSERT_NE(labelled(L"&Применить"), nullptr);
    ASSERT_TRUE(labelled(L"&Применить")->IsEnabled());
    if (row.refused != nullptr) emulator->faultOn(row.refused, 0, test::EmulatedDevice::Fault::error, 1000);
    const std::size_t boxes = messages().size();

    ASSERT_NO_FATAL_FAILURE(clickLabelled(L"&Применить"));
    ASSERT_TRUE(messageShown(row.shown)) << testing::PrintToString(messages());
    ASSERT_TRUE(test::waitForDispatcher());
    ASSERT_TRUE(handleEvents());
    EXPECT_EQ(messages().size(), boxes + 1) << testing::PrintToString(messages());
    EXPECT_FALSE(capture_.contains(L"Выполнение операции завершено"));

    // The program goes on, the page shows what the operator left, and apply offers it again.
    ASSERT_TRUE(pumpUntil([&] { return usable(); }));
    if (row.field != nullptr) {
        auto* field = control<wxTextCtrl>(row.field);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->GetValue(), row.text);
    } else {
        auto* box = dynamic_cast<wxCheckBox*>(onPage(row.box));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->GetValue(), ticked);
    }
    EXPECT_TRUE(labelled(L"&Применить")->IsEnabled());
    ASSERT_NO_FATAL_FAILURE(clickLabelled(L"&Закрыть"));
    EXPECT_TRUE(pumpUntil([&] { return deviceList()->IsShownOnScreen(); }));
}

INSTANTIATE_TEST_SUITE_P(
    EveryPageThatWrites, PropertyApplyTest,
    ::testing::Values(
        // The address the operator typed fails the loudspeaker's check before anything is sent.
        FailedApply{"NetworkAddressOutOfRange", Device::loudspeaker, L"Сеть", L"ip", "10.20.0.300", nullptr,
                    nullptr, nullptr, L"Проверка сетевых настроек"},
        FailedApply{"Network", Device::loudspeaker, L"Сеть", L"multicast", "239.10.0.9", nullptr, nullptr,
                    "set ", L"fault"},
        FailedApply{"LineSettings", Device::firstGenerationLoudspeaker, L"Общие", nullptr, nullptr,
                    L"Контроль линии", nullptr, "set ", L"fault"},
        FailedApply{"Nerida", Device::loudspeaker, L"Нерида", nullptr, nullptr, L"События реле", nullptr,
                    "set ", L"fault"},
        FailedApply{"Sources", Device::loudspeaker, L"Источники", nullptr, nullptr,
                    L"Передавать поток со входа 1 на другие модули", nullptr, "set ", L"fault"},
        FailedApply{"PowerSave", Device::loudspeakerWithModule, L"Линия", nullptr, nullptr,
                    L"Энергосбережение", nullptr, "lsensor power",
                    L"Произошла ошибка в модуле контроля линии"},
        FailedApply{"ConsoleOptions", Device::console, L"Общие", nullptr, nullptr,
                    L"Звуковое сопровождение при нажатии на клавиши и при использовании ключей", nullptr,
                    "set ", L"fault"},
        FailedApply{"ZoneTargets", Device::console, L"Зоны трансляции", nullptr, nullptr,
                    L"Устройство 02:7E:41:00:00:01", L"2", "zoneBind", L"fault"}),
    [](const ::testing::TestParamInfo<FailedApply>& info) { return std::string(info.param.name); });

using PropertyQueuedWorkTest = test::PropertyActsFixture;

// What other threads queue for the window runs outside the toolkit's own event handlers: a fault
// there is the operator's box too, the work after it still runs, and an internal fault that
// asks the program to stop is handed to its stop rather than ending it on the spot.
TEST_F(PropertyQueuedWorkTest, AFaultOfQueuedWorkIsShownAndTheWorkAfterItRuns) {
    openWindow();
    bool ranAfter = false;
    GuiThreadInvoker::add([] { throw exception::InternalError(L"Сбой задания окна"); });
    GuiThreadInvoker::add([] { throw exception::StopProgram(); });
    GuiThreadInvoker::add([&ranAfter] { ranAfter = true; });
    EXPECT_TRUE(pumpUntil([&] { return ranAfter; }));
    EXPECT_TRUE(messageShown(L"Сбой задания окна"));
    EXPECT_TRUE(capture_.contains(L"Stop program", L"IMPOR"));
    EXPECT_TRUE(frame_->IsShownOnScreen());
}

// The sources page applied as the loudspeaker's settings were read, and again with a check box
// ticked: what is written passes the loudspeaker's check of its priorities, with the alarm
// stream's row shown or hidden, and every two of the six sources rank as they did, the hidden
// alarm stream among them.
struct SourcesApply {
    const char* name;
    bool alarmButtons;
    // The priorities in the order of the page's rows: Nerida messages, input 2, input 1, the
    // multicast input, the console input, the alarm stream.
    std::array<std::uint32_t, 6> read;
    std::array<std::uint32_t, 6> written;
};

void PrintTo(const SourcesApply& row, std::ostream* out) {
    *out << row.name;
}

class SourcesApplyTest : public test::PropertyActsFixture,
                         public ::testing::WithParamInterface<SourcesApply> {
protected:
    std::array<std::uint32_t, 6> priorities() {
        const test::LoudspeakerEmulator::Settings settings = loudspeakers_.loudspeaker(0).settings();
        return {settings.priVoiceAlert,  settings.priAin[1],    settings.priAin[0],
                settings.priStreamMCast, settings.priZoneInput, settings.priStream};
    }
    void expectRanksKept(const std::array<std::uint32_t, 6>& read) {
        const std::array<std::uint32_t, 6> written = priorities();
        for (std::size_t a = 0; a < read.size(); ++a) {
            for (std::size_t b = 0; b < read.size(); ++b) {
                if (read[a] > read[b]) {
                    EXPECT_GT(written[a], written[b]) << a << " above " << b;
                }
            }
        }
    }
};

TEST_P(SourcesApplyTest, TheShownPrioritiesAreWrittenAndTheLoudspeakerTakesThem) {
    const SourcesApply& row = GetParam();
    pref::setBool(setting::mainWindowAlarmButtons.key, row.alarmButtons);
    loudspeakers_.add(1);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    test::LoudspeakerEmulator::Settings settings = emulator.settings();
    settings.priVoiceAlert = row.read[0];
    settings.priAin = {row.read[2], row.read[1]};
    settings.priStreamMCast = row.read[3];
    settings.priZoneInput = row.read[4];
    settings.priStream = row.read[5];
    emulator.setSettings(settings);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(emulator);
    showTab(L"Источники");
    ASSERT_TRUE(pumpUntil([&] { return usable(); }));

    // Unchanged: the button's event, as the page offers no edit to apply.
    wxWindow* apply = labelled(L"&Применить");
    wxCommandEvent press(wxEVT_BUTTON, apply->GetId());
    press.SetEventObject(apply);
    apply->GetEventHandler()->ProcessEvent(press);
    settle();
    EXPECT_TRUE(messageShown(L"Выполнение операции завершено"));
    EXPECT_EQ(priorities(), row.written);
    expectRanksKept(row.read);

    clickLabelled(L"Передавать поток со входа 1 на другие модули");
    ASSERT_TRUE(labelled(L"&Применить")->IsEnabled());
    clickLabelled(L"&Применить");
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(capture_.find(L"Выполнение операции завершено", L"NOTICE").size(), 2u);
    EXPECT_TRUE(emulator.settings().multicastAin[0]);
    EXPECT_EQ(priorities(), row.written);
    EXPECT_FALSE(capture_.contains(L"Проверка приоритетов"));
    EXPECT_TRUE(usable());
}

INSTANTIATE_TEST_SUITE_P(
    AlarmStreamHiddenAndShown, SourcesApplyTest,
    ::testing::Values(
        // The emulated loudspeaker's own: the alarm stream highest, at 6.
        SourcesApply{"NoAlarmButtons", false, {1, 4, 3, 5, 2, 6}, {2, 5, 4, 6, 3, 7}},
        SourcesApply{"AlarmButtons", true, {1, 4, 3, 5, 2, 6}, {2, 5, 4, 6, 3, 7}},
        SourcesApply{"NoAlarmButtonsAlarmStreamInTheMiddle", false, {1, 2, 3, 5, 6, 4}, {2, 3, 4, 6, 7, 5}},
        SourcesApply{"AlarmButtonsFarApart", true, {10, 20, 30, 40, 50, 60}, {2, 3, 4, 5, 6, 7}}),
    [](const ::testing::TestParamInfo<SourcesApply>& info) { return std::string(info.param.name); });

}  // namespace
