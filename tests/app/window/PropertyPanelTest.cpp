// The property page of one device, opened from the main window's device list with real clicks:
// its pages by kind, the network page's DHCP boxes, the deferred volume, a device that goes
// offline while the notebook is laid out again, memory reads that never hold up the window, work
// that must stop with its page, and a zone apply that stops at a ticked row of no known device.

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>

#include "app/kit/GuiFreezer.h"
#include "devicelink/IAudioControl.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/TextConversion.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/pages/LinePage.h"
#include "propertypanel/pages/PasskeyPage.h"
#include "support/AudioFlash.h"
#include "support/DispatcherWait.h"
#include "support/EmulatorText.h"
#include "support/LineControllerEmulator.h"
#include "support/ManualClock.h"
#include "tests/app/window/PropertyPanelFixture.h"

namespace {

using namespace std::chrono_literals;

class PropertyPanelTest : public test::PropertyPanelFixture {
protected:
    // The controls of the type that the current page shows, depth first.
    template <class Control>
    std::vector<Control*> shownOnPage() {
        std::vector<Control*> found;
        const std::function<void(wxWindow*)> visit = [&](wxWindow* window) {
            if (auto* control = dynamic_cast<Control*>(window); control && control->IsShownOnScreen())
                found.push_back(control);
            for (wxWindow* child : window->GetChildren()) visit(child);
        };
        visit(notebook()->GetCurrentPage());
        return found;
    }

    // The texts of the current page that start with a row number ("1. ").
    std::vector<std::wstring> numberedRows() {
        std::vector<std::wstring> rows;
        for (const wxStaticText* text : shownOnPage<wxStaticText>()) {
            const std::wstring label = text->GetLabel().ToStdWstring();
            if (label.size() > 2 && std::iswdigit(label[0]) && label.find(L". ") != std::wstring::npos)
                rows.push_back(label);
        }
        return rows;
    }

    // One loudspeaker, its page open once it answers.
    test::LoudspeakerEmulator& openLoudspeaker() {
        loudspeakers_.add(1);
        openWindow();
        EXPECT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
        openProperties(0);
        settled(loudspeakers_.loudspeaker(0));
        return loudspeakers_.loudspeaker(0);
    }

    // A loudspeaker and a console with the zones, the console's zone-target page open once both
    // answer. The loudspeaker's memory refuses its read at once rather than leaving it unanswered,
    // which would count the loudspeaker offline until its next status packet.
    test::ConsoleEmulator& openZonePage(const std::map<int, test::ConsoleEmulator::Zone>& zones) {
        loudspeakers_.add(1);
        loudspeakers_.addConsole();
        test::ConsoleEmulator& console = loudspeakers_.console(0);
        console.setZones(zones);
        loudspeakers_.loudspeaker(0).answer("voiceMemSize", "ERR[voiceMemSize]: no memory");
        openWindow();
        EXPECT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(1) == L"В сети"; }));
        openProperties(1);
        showTab(L"Зоны трансляции");
        return console;
    }

    // The shown controls of the type on the current page with that label.
    template <class Control>
    std::vector<Control*> shownLabelled(const wxString& label) {
        std::vector<Control*> found;
        for (Control* control : shownOnPage<Control>()) {
            if (control->GetLabel() == label) found.push_back(control);
        }
        return found;
    }
    template <class Control>
    void clickShown(const wxString& label) {
        const std::vector<Control*> found = shownLabelled<Control>(label);
        ASSERT_FALSE(found.empty()) << label;
        click(found.front(), wxRect(found.front()->GetClientSize()));
    }

    std::size_t lineRequests() {
        std::size_t count = 0;
        for (const std::string& command : loudspeakers_.loudspeaker(0).received())
            count += command.rfind("lsensor", 0) == 0;
        return count;
    }

    std::size_t volumeCommands(test::LoudspeakerEmulator& emulator) {
        std::size_t count = 0;
        for (const std::string& command : emulator.received()) count += command.rfind("set vol", 0) == 0;
        return count;
    }
};

TEST_F(PropertyPanelTest, ALoudspeakersPageShowsItsPagesAndTheNetworkBoxesFollowDhcp) {
    loudspeakers_.add(1);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    auto settings = emulator.settings();
    settings.currentIp = "192.168.5.21";
    settings.currentMask = "255.255.255.0";
    settings.currentGateway = "192.168.5.1";
    emulator.setSettings(settings);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));

    openProperties(0);
    EXPECT_EQ(tabs(), (std::vector<std::wstring>{L"Общие", L"Аудио память", L"Сеть", L"Нерида", L"Источники",
                                                 L"Линия", L"Связанные консоли"}));
    EXPECT_EQ(control<wxTextCtrl>(L"name")->GetValue(), L"Устройство 02:7E:41:00:00:01");
    EXPECT_TRUE(screenshot("property_loudspeaker"));

    settled(emulator);
    showTab(L"Сеть");
    EXPECT_EQ(propertyPanel()->currentTab(), 1016);
    wxTextCtrl* ip = control<wxTextCtrl>(L"ip");
    EXPECT_EQ(ip->GetValue(), L"10.20.0.21");
    EXPECT_TRUE(ip->IsEnabled());
    EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());

    clickLabelled(L"DHCP");
    EXPECT_EQ(ip->GetValue(), L"192.168.5.21");
    EXPECT_EQ(control<wxTextCtrl>(L"gateway")->GetValue(), L"192.168.5.1");
    EXPECT_FALSE(ip->IsEnabled());
    EXPECT_TRUE(labelled(L"&Применить")->IsEnabled());
    EXPECT_TRUE(labelled(L"&Отмена")->IsEnabled());
    clickLabelled(L"DHCP");
    EXPECT_EQ(ip->GetValue(), L"10.20.0.21");
    EXPECT_TRUE(ip->IsEnabled());
    showTab(L"Нерида");
    EXPECT_TRUE(screenshot("property_nerida"));

    clickLabelled(L"&Закрыть");
    EXPECT_TRUE(pumpUntil([&] { return deviceList()->IsShownOnScreen(); }));
}

TEST_F(PropertyPanelTest, AConsolesPageShowsItsOptionsWhileItsFragmentsAreStillRead) {
    loudspeakers_.addConsole();
    test::ConsoleEmulator& emulator = loudspeakers_.console(0);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    // A gong in the console's memory, which is then read anew; the read waits for the test.
    const auto console = frame_->getDeviceCollection().getTribels(false).at(0);
    const auto memory = offWindow([&] {
        const auto written = console->getAudioMemory(false, true);
        written->addFragment(std::string(700, 'g'), L"Гонг");
        written->writeChanges(nullptr);
        return written;
    });
    ASSERT_TRUE(pumpUntil([&] { return memory->getWriteProgress() == 100; }));
    ASSERT_TRUE(test::waitForDispatcher());
    offWindow([&] { console->releaseAudioMemory(); });
    const auto held = std::make_shared<std::atomic<bool>>(true);
    emulator.on("voiceMemSize", [held, &emulator](const std::string& command) -> std::optional<std::string> {
        if (*held) return std::nullopt;
        return test::okReply(command, std::to_string(emulator.audioFlash().flash().size()));
    });

    // The page shows at once, its gong list empty and disabled until the fragments arrive.
    openProperties(0);
    const auto gongs = pageControls<wxComboBox>();
    ASSERT_EQ(gongs.size(), 1u);
    EXPECT_EQ(gongs[0]->GetCount(), 0u);
    EXPECT_FALSE(gongs[0]->IsEnabled());
    *held = false;
    EXPECT_TRUE(pumpUntil([&] { return gongs[0]->GetCount() == 1 && gongs[0]->IsEnabled(); }));
    EXPECT_EQ(tabs(), (std::vector<std::wstring>{L"Общие", L"Аудио память", L"Сеть", L"Нерида", L"Линия",
                                                 L"Ключи", L"Зоны трансляции"}));
    // The emulated console is a fire console without access control.
    EXPECT_TRUE(labelled(L"Разрешить один источник питания")->IsShown());
    EXPECT_FALSE(labelled(L"Разрешить один источник питания")->IsEnabled());
    EXPECT_TRUE(labelled(L"Включить аналоговый вход ГОиЧС")->IsEnabled());
    EXPECT_FALSE(labelled(L"Эквалайзер")->IsShown());
    EXPECT_TRUE(screenshot("property_console"));
}

TEST_F(PropertyPanelTest, ALoudspeakersLinkedConsolesNameTheirConsolesAndMarkTheUnknownOnes) {
    loudspeakers_.add(1);
    loudspeakers_.addConsole();
    // Bound to the console 02:7E:41:00:01:01 and to a console number no device has.
    loudspeakers_.loudspeaker(0).setZoneAddresses({0x101, 0x999});
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(1) == L"В сети"; }));
    openProperties(0);
    settled(loudspeakers_.loudspeaker(0));
    showTab(L"Связанные консоли");
    ASSERT_EQ(propertyPanel()->currentTab(), 1032);
    EXPECT_EQ(numberedRows(),
              (std::vector<std::wstring>{L"1. Устройство 02:7E:41:00:01:01",
                                         L"2. [02:7E:41:00:09:99] [Неизвестное устройство]"}));
    EXPECT_TRUE(screenshot("property_linked_consoles"));
}

TEST_F(PropertyPanelTest, ApplyRenamesAndRestartsWithTheNewNetworkAndCancelRestoresThePage) {
    test::LoudspeakerEmulator& emulator = openLoudspeaker();

    type(control<wxTextCtrl>(L"name"), "Hall 2");
    clickLabelled(L"&Применить");
    EXPECT_TRUE(messageShown(L"Выполнение операции завершено"));
    EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());
    const auto vokar = frame_->getDeviceCollection().getVokars<device::VokarInfo>(false).at(0);
    EXPECT_EQ(vokar->getDisplayName(), L"Hall 2");
    EXPECT_TRUE(onDisk("device_collection.xml", "title=\"Hall 2\""));

    showTab(L"Сеть");
    wxTextCtrl* multicast = control<wxTextCtrl>(L"multicast");
    type(multicast, "239.10.0.77");
    EXPECT_TRUE(labelled(L"&Отмена")->IsEnabled());
    EXPECT_TRUE(screenshot("property_network"));
    clickLabelled(L"&Отмена");
    EXPECT_EQ(multicast->GetValue(), L"239.10.0.1");
    EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());

    emulator.clearReceived();
    type(multicast, "239.10.0.9");
    clickLabelled(L"&Применить");
    // Restarted to take the address, the loudspeaker's page closes.
    EXPECT_TRUE(pumpUntil([&] { return deviceList()->IsShownOnScreen(); }));
    EXPECT_EQ(emulator.settings().multicastIp, "239.10.0.9");
    const auto received = emulator.received();
    EXPECT_NE(std::find(received.begin(), received.end(), "reboot"), received.end());
}

TEST_F(PropertyPanelTest, AnEqualizerBandMovedByKeyReachesTheLoudspeakerAtOnce) {
    test::LoudspeakerEmulator& emulator = openLoudspeaker();
    const std::vector<wxSlider*> bands = shownOnPage<wxSlider>();
    ASSERT_EQ(bands.size(), 6u);
    ASSERT_EQ(bands[1]->GetValue(), -4);

    bands[1]->SetFocus();
    wxUIActionSimulator().Char(WXK_DOWN);
    ASSERT_TRUE(pumpUntil([&] { return emulator.equalizerBands() != "-2:-4:0:-1:-3:-5"; }));
    EXPECT_EQ(emulator.equalizerBands(), "-2:" + std::to_string(bands[1]->GetValue()) + ":0:-1:-3:-5");
    EXPECT_EQ(bands[1]->GetToolTipText(), std::to_wstring(bands[1]->GetValue()) + L" дБ");
    EXPECT_TRUE(screenshot("property_equalizer"));
}

// "Сбросить настройки эквалайзера" on the six bands of each generation: flat, on and without the
// older firmware's limit, which pads the bands with four more values of its own.
struct EqualizerReset {
    const char* name;
    device::VokarVersion generation;
    const char* command;
};

void PrintTo(const EqualizerReset& row, std::ostream* out) {
    *out << row.name;
}

class EqualizerResetTest : public PropertyPanelTest, public ::testing::WithParamInterface<EqualizerReset> {};

TEST_P(EqualizerResetTest, TheResetSendsFlatBandsInTheGenerationsForm) {
    const EqualizerReset& row = GetParam();
    loudspeakers_.add(1, row.generation);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(emulator);
    ASSERT_EQ(shownOnPage<wxSlider>().size(), 6u);
    emulator.clearReceived();

    clickShown<wxButton>(L"Сбросить настройки эквалайзера");
    ASSERT_TRUE(pumpUntil([&] { return emulator.equalizerBands() != "-2:-4:0:-1:-3:-5"; }));
    const auto received = emulator.received();
    EXPECT_EQ(std::count(received.begin(), received.end(), row.command), 1)
        << testing::PrintToString(received);
    EXPECT_TRUE(emulator.equalizerOn());
    ASSERT_TRUE(pumpUntil([&] { return pageSettled(); }));
    for (const wxSlider* band : shownOnPage<wxSlider>()) EXPECT_EQ(band->GetValue(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    SixBands, EqualizerResetTest,
    ::testing::Values(EqualizerReset{"Generation10", device::vokarB_1_00_56, "set eqd 0:0:0:0:0:0:0:0:0:0"},
                      EqualizerReset{"Generation16", device::vokarV3_A110, "set eqd 0:0:0:0:0:0"}),
    [](const ::testing::TestParamInfo<EqualizerReset>& info) { return std::string(info.param.name); });

TEST_F(PropertyPanelTest, FiveSliderMovesSendOneVolumeAndLeavingThePageDropsAPendingOne) {
    loudspeakers_.add(1);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    openWindow(true);
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(emulator);
    EXPECT_EQ(tabs().back(), L"Отладочные сообщения");
    showTab(L"Отладочные сообщения");
    wxSlider* slider = control<wxSlider>(L"volume");
    ASSERT_NE(slider, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return slider->GetValue() > 0; }));
    const int start = slider->GetValue();
    emulator.clearReceived();

    // Time stands still while the slider moves and the page is left, so that however slowly a
    // loaded machine delivers the moves, the delay of the pending volume runs only when moved on.
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    slider->SetFocus();
    wxUIActionSimulator simulator;
    for (int move = 0; move < 5; ++move) simulator.Char(WXK_LEFT);
    ASSERT_TRUE(pumpUntil([&] { return slider->GetValue() == start - 5; }));
    const std::chrono::milliseconds delay(frm::PropertyDevicePanel::kVolumeDelayMs);
    // Whatever the moves left pending falls due with the advance, and runs before a mark queued
    // after it.
    std::optional<test::DispatcherMark> mark(std::in_place, delay);
    clock->advance(delay);
    ASSERT_TRUE(pumpUntil([&] { return mark->passed(); }));
    EXPECT_EQ(volumeCommands(emulator), 1u);
    const auto vokar = frame_->getDeviceCollection().getVokars<device::VokarInfo>(false).at(0);
    EXPECT_EQ(vokar->volume.load(), start - 5);
    // Once sent, the volume is read back into the slider; a move before that would be overwritten.
    ASSERT_TRUE(pumpUntil([&] {
        return slider->GetToolTipText() == frm::fill::volumeTip(vokar->getDisplayName(), start - 5);
    }));
    EXPECT_EQ(slider->GetValue(), start - 5);

    // A move whose volume is still pending when the page is left is never sent.
    emulator.clearReceived();
    simulator.Char(WXK_LEFT);
    ASSERT_TRUE(pumpUntil([&] { return slider->GetValue() == start - 6; }));
    showTab(L"Общие");
    EXPECT_EQ(propertyPanel()->currentTab(), 1000);
    mark.emplace(delay);
    clock->advance(delay);
    ASSERT_TRUE(pumpUntil([&] { return mark->passed(); }));
    EXPECT_EQ(volumeCommands(emulator), 0u);
    EXPECT_EQ(vokar->volume.load(), start - 5);
    clock.reset();

    // A sound-pressure test's restore is no item of the page: leaving the page keeps it.
    ASSERT_TRUE(offWindow([&] { return vokar->testSoundPressure(1); }));
    ASSERT_TRUE(emulator.tonePlaying());
    showTab(L"Отладочные сообщения");
    showTab(L"Общие");
    EXPECT_TRUE(pumpUntil([&] { return !emulator.tonePlaying() && vokar->volume.load() == start - 5; }));
}

TEST_F(PropertyPanelTest, OnlyAnUnknownMemoryLayoutAsksToOverwriteAndAFailedReadLeavesThePageDisabled) {
    questions_.yes = false;
    loudspeakers_.add(2);
    // The first one's memory is of a layout the program does not know; the second one's memory
    // does not answer.
    test::AudioFlash flash(loudspeakers_.loudspeaker(0), 4096);
    flash.flash().load(0, std::string("\x03\x00", 2));
    loudspeakers_.loudspeaker(1).faultOn("voiceMemSize", 0, test::EmulatedDevice::Fault::silence, 1000);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(1) == L"В сети"; }));

    openProperties(0);
    settled(loudspeakers_.loudspeaker(0));
    showTab(L"Аудио память");
    EXPECT_TRUE(messageShown(L"неизвестную версию аудио памяти"));
    EXPECT_EQ(questions_.yesNoAsked, 1);
    EXPECT_EQ(questions_.questions.back().buttons, frm::Questions::Question::Buttons::okCancel);
    // Declined: the memory stays as it is and the page is not to be used.
    EXPECT_FALSE(notebook()->GetCurrentPage()->IsEnabled());
    clickLabelled(L"&Закрыть");

    // The next device opens on the same page. Its memory is read off the window: while time
    // stands still the unanswered read never gives up, and the page waits for it without content.
    ASSERT_TRUE(pumpUntil([&] { return deviceState(1) == L"В сети"; }));
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    openProperties(1);
    ASSERT_EQ(propertyPanel()->currentTab(), 1001);
    EXPECT_FALSE(notebook()->GetCurrentPage()->IsEnabled());
    EXPECT_EQ(pageControls<wxListCtrl>().at(0)->GetItemCount(), 0);
    clock.reset();
    EXPECT_TRUE(messageShown(L"offline"));
    EXPECT_EQ(questions_.yesNoAsked, 1);
    // Without a memory to edit the page stays out of use, and its menu takes nothing.
    EXPECT_FALSE(notebook()->GetCurrentPage()->IsEnabled());
    expectMemoryUntouched(loudspeakers_.loudspeaker(1), [&] {
        EXPECT_NO_THROW(startMenuItem(frm::fb::PropertyDevicePanel::ID_MEMORY_CLEAR));
    });
    EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());
}

TEST_F(PropertyPanelTest, ADeviceThatGoesOfflineWhilePagesAreRemovedClosesThePageOnlyAfterwards) {
    openLoudspeaker();
    showTab(L"Источники");
    ASSERT_EQ(propertyPanel()->currentTab(), 1028);
    EXPECT_TRUE(screenshot("property_sources"));

    loudspeakers_.silence(0, true);
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"Не в сети"; }));
    {
        // As the notebook is laid out again: the page shown goes and the notebook moves on.
        frm::GuiFreezer freezer(notebook());
        notebook()->RemovePage(static_cast<std::size_t>(notebook()->GetSelection()));
        // What the removal set off, a closing of the page too, is handled.
        ASSERT_TRUE(handleEvents());
        EXPECT_TRUE(propertyPanel()->IsShownOnScreen());
        EXPECT_EQ(propertyPanel()->currentTab(), 1028);
    }
    showTab(L"Общие");
    EXPECT_TRUE(messageShown(L"Устройство не в сети"));
    EXPECT_TRUE(pumpUntil([&] { return deviceList()->IsShownOnScreen(); }));
}

TEST_F(PropertyPanelTest, TheSourcesPageOffersTheMemorysScenariosToAnInputAndAppliesOne) {
    loudspeakers_.add(1);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    // Priorities as the page shows them, so that applying the page keeps them.
    auto settings = emulator.settings();
    settings.priStreamMCast = 7;
    settings.priAin = {5, 6};
    settings.priZoneInput = 4;
    settings.priVoiceAlert = 3;
    settings.priStream = 2;
    emulator.setSettings(settings);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    // Three scenarios, the first removed again: the memory plays scenario 3 as its second. The
    // write tells its end through its progress, once: 100, or -1 when it failed.
    const auto end = std::make_shared<std::atomic<int>>(0);
    const auto vokar = frame_->getDeviceCollection().getVokars<device::VokarInfo>(false).at(0);
    const auto memory = offWindow([&] {
        const auto written = vokar->getAudioMemory(false, true);
        const std::int16_t gong = written->addFragment(std::string(300, 'g'), L"Гонг");
        const std::int16_t message = written->addFragment(std::string(500, 'm'), L"Сообщение");
        const std::int16_t first = written->addScenario(gong, message, 30, L"Сценарий 1");
        written->addScenario(gong, message, 30, L"Сценарий 2");
        written->addScenario(gong, message, 30, L"Сценарий 3");
        written->removeScenario(first);
        written->writeChanges([end](int percent) {
            if (percent == 100 || percent < 0) *end = percent;
        });
        return written;
    });
    ASSERT_TRUE(pumpUntil([&] { return *end != 0; }));
    // A failed write is told by its warnings and errors, and the transport's time-outs.
    ASSERT_EQ(*end, 100) << [&] {
        std::string told;
        for (const test::LogLine& line : capture_.lines()) {
            if (line.level == L"WARN" || line.level == L"ERROR" || line.level == L"IMPOR")
                told += base::toUtf8(line.raw) + "\n";
        }
        return told;
    }();
    EXPECT_FALSE(memory->hasChanges());
    ASSERT_TRUE(test::waitForDispatcher());

    // The write's end read the settings for the first time.
    settled(emulator);

    openProperties(0);
    showTab(L"Источники");
    // The input rows, the second input's first; it passes its signal on and has no scenario.
    std::vector<wxChoice*> inputs;
    for (wxChoice* choice : pageControls<wxChoice>()) {
        if (choice->GetString(0) == L"ГОиЧС / Микрофон") inputs.push_back(choice);
    }
    ASSERT_EQ(inputs.size(), 2u);
    wxChoice* input1 = inputs[1];
    EXPECT_FALSE(inputs[0]->IsEnabled());
    ASSERT_TRUE(pumpUntil([&] { return input1->GetCount() == 3; }));
    EXPECT_EQ(input1->GetString(1), L"Сценарий 2");
    EXPECT_EQ(input1->GetString(2), L"Сценарий 3");
    EXPECT_EQ(input1->GetSelection(), 0);
    ASSERT_TRUE(input1->IsEnabled());
    EXPECT_TRUE(screenshot("property_sources_scenarios"));

    // Chosen as the choice's list does, then applied with a click.
    input1->SetSelection(2);
    wxCommandEvent chosen(wxEVT_CHOICE, input1->GetId());
    chosen.SetEventObject(input1);
    chosen.SetInt(2);
    input1->GetEventHandler()->ProcessEvent(chosen);
    ASSERT_TRUE(labelled(L"&Применить")->IsEnabled());
    emulator.clearReceived();
    clickLabelled(L"&Применить");
    // The loudspeaker restarts to take it, and the page closes; it starts the scenario by its order.
    EXPECT_TRUE(pumpUntil([&] { return deviceList()->IsShownOnScreen(); }));
    EXPECT_EQ(emulator.settings().scenarioOrder[0], 2);
    const auto received = emulator.received();
    EXPECT_NE(std::find(received.begin(), received.end(), "set scAIN1 2"), received.end());
}

TEST_F(PropertyPanelTest, DeletingAllZonesShowsARefusalAndAZoneIsBoundByApply) {
    openZonesBesideAPlayingLoudspeaker();
    test::ConsoleEmulator& console = loudspeakers_.console(0);
    // No zone chosen yet: nothing to delete or to apply.
    EXPECT_FALSE(labelled(L"Удалить зону")->IsEnabled());

    clickLabelled(L"Удалить все зоны");
    ASSERT_EQ(questions_.questions.size(), 1u);
    EXPECT_EQ(questions_.questions[0].buttons, frm::Questions::Question::Buttons::yesNo);
    EXPECT_EQ(questions_.questions[0].icon, frm::Questions::Question::Icon::exclamation);
    EXPECT_TRUE(messageShown(L"Запрещено редактирование во время тревожного вещания на вокарах"));
    EXPECT_EQ(console.zones().count(1), 0u);
    EXPECT_EQ(console.zones().count(2), 1u);
    EXPECT_TRUE(labelled(L"Удалить все зоны")->IsEnabled());

    clickShown<wxToggleButton>(L"3");
    clickShown<wxCheckBox>(L"Устройство 02:7E:41:00:00:01");
    EXPECT_TRUE(labelled(L"&Применить")->IsEnabled());
    EXPECT_TRUE(screenshot("property_zone_targets"));
    clickLabelled(L"&Применить");
    EXPECT_TRUE(messageShown(L"Выполнение операции завершено"));
    ASSERT_EQ(console.zones().count(3), 1u);
    EXPECT_EQ(console.zones().at(3).addresses, (std::set<std::uint32_t>{1}));
    EXPECT_EQ(loudspeakers_.loudspeaker(0).zoneAddresses(), (std::set<std::uint32_t>{0x101}));
    EXPECT_TRUE(labelled(L"Удалить зону")->IsEnabled());
}

TEST_F(PropertyPanelTest, AZoneApplyWithAnUnknownTickedRowStopsAndKeepsTheEdits) {
    // Zone 1 holds a loudspeaker that the registry does not know.
    test::ConsoleEmulator& console = openZonePage({{1, {1, -1, {9}}}});
    ASSERT_EQ(propertyPanel()->currentTab(), 1031);
    clickShown<wxToggleButton>(L"1");
    const std::vector<wxCheckBox*> unknown =
        shownLabelled<wxCheckBox>(L"02:7E:41:00:00:09 [Неизвестное устройство]");
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_TRUE(unknown.front()->GetValue());
    clickShown<wxCheckBox>(L"Устройство 02:7E:41:00:00:01");
    ASSERT_TRUE(labelled(L"&Применить")->IsEnabled());

    clickLabelled(L"&Применить");
    EXPECT_TRUE(messageShown(L"Выбрано неизвестное устройство (не в сети)"));
    EXPECT_FALSE(capture_.contains(L"Выполнение операции завершено"));
    EXPECT_TRUE(labelled(L"&Применить")->IsEnabled());
    EXPECT_TRUE(shownLabelled<wxCheckBox>(L"Устройство 02:7E:41:00:00:01").front()->GetValue());
    EXPECT_EQ(console.zones().at(1).addresses, (std::set<std::uint32_t>{9}));
}

TEST_F(PropertyPanelTest, TheWindowGoesOnWhileTheZonePageWaitsForAConsoleThatStoppedAnswering) {
    test::ConsoleEmulator& console = openZonePage({{1, {1, -1, {1}}}});
    ASSERT_EQ(propertyPanel()->currentTab(), 1031);

    // The console stops answering: the read that choosing a zone sets off waits for it until the
    // request gives up, and the page then reports the console.
    console.setSilent(true);
    const std::vector<wxToggleButton*> zone = shownLabelled<wxToggleButton>(L"1");
    ASSERT_EQ(zone.size(), 1u);
    WindowFixture::click(zone.front(), wxRect(zone.front()->GetClientSize()));
    // Meanwhile the window takes its events: the page is seen waiting and the clock goes on.
    const wxStatusBar* status = frame_->GetStatusBar();
    std::set<wxString> clockWhileWaiting;
    EXPECT_TRUE(pumpUntil([&] {
        if (propertyPanel()->IsShownOnScreen() && propertyPanel()->pageWaits())
            clockWhileWaiting.insert(status->GetStatusText(1));
        return deviceList()->IsShownOnScreen();
    }));
    EXPECT_GE(clockWhileWaiting.size(), 2u);
    EXPECT_TRUE(messageShown(L"Устройство не в сети"));
}

TEST_F(PropertyPanelTest, EndDevicesAreAddedAndRemovedByTheirRowsAndLeavingThePageEndsTheRefresh) {
    loudspeakers_.add(1);
    test::LineControllerEmulator module(loudspeakers_.loudspeaker(0));
    module.setEndDevice(1, {2, 3, 4, "t"});
    module.setEndDevice(2, {3, 5, 5, "u"});
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(loudspeakers_.loudspeaker(0));
    showTab(L"Линия");
    ASSERT_TRUE(pumpUntil([&] { return !shownLabelled<wxButton>(L"Добавить").empty(); }));
    EXPECT_TRUE(screenshot("property_line"));

    // Clicking a row's button rebuilds the row it sits in.
    clickShown<wxButton>(L"Добавить");
    ASSERT_TRUE(pumpUntil([&] { return module.endDevices().at(1).flags == 3; }));
    ASSERT_TRUE(pumpUntil([&] { return shownLabelled<wxButton>(L"Удалить").size() == 2; }));
    clickShown<wxButton>(L"Удалить");
    ASSERT_TRUE(pumpUntil([&] { return module.endDevices().at(1).flags == 2; }));
    ASSERT_TRUE(pumpUntil([&] { return shownLabelled<wxButton>(L"Добавить").size() == 1; }));
    clickLabelled(L"Добавить все");
    EXPECT_TRUE(pumpUntil([&] { return module.endDevices().at(1).flags == 3; }));

    // The page refreshes itself while shown, and not once it is left.
    loudspeakers_.loudspeaker(0).clearReceived();
    EXPECT_TRUE(pumpUntil([&] { return lineRequests() > 0; }));
    showTab(L"Общие");
    // A refresh under way when the page was left ends first.
    ASSERT_TRUE(test::waitForDispatcher());
    loudspeakers_.loudspeaker(0).clearReceived();
    // A refresh still queued would run before a mark queued a period later.
    const test::DispatcherMark refreshed(std::chrono::milliseconds(frm::LinePage::kRefreshMs));
    ASSERT_TRUE(pumpUntil([&] { return refreshed.passed(); }));
    EXPECT_EQ(lineRequests(), 0u);
}

// A module that does not answer is asked once by a read of the line page: each further query would
// wait for it in vain, and hold up its loudspeaker's other requests meanwhile.
TEST_F(PropertyPanelTest, TheLinePageAsksASilentModuleOncePerRead) {
    openLoudspeaker();
    loudspeakers_.loudspeaker(0).clearReceived();
    // Time moves only as the test moves it, so the page's next read never comes before the test
    // looked.
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    for (std::size_t page = 0; page < notebook()->GetPageCount(); ++page) {
        if (notebook()->GetPageText(page) == L"Линия") notebook()->SetSelection(page);
    }
    ASSERT_TRUE(handleEvents());
    const auto shown = [&] {
        for (const wxStaticText* text : shownOnPage<wxStaticText>())
            if (text->GetLabel().StartsWith(L"Инициализация")) return true;
        return false;
    };
    ASSERT_TRUE(pumpUntil([&] {
        clock->advance(100ms);
        return pageSettled() && shown();
    }));
    // One query, sent again once as every request left unanswered is.
    EXPECT_LE(lineRequests(), 2u);
    clock.reset();
}

TEST_F(PropertyPanelTest, AKeyIsLearnedFromTheReaderAndLeavingThePageEndsTheLearning) {
    loudspeakers_.addConsole();
    test::ConsoleEmulator& console = loudspeakers_.console(0);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    showTab(L"Ключи");
    ASSERT_EQ(propertyPanel()->currentTab(), 1030);
    EXPECT_FALSE(shownLabelled<wxButton>(L"Удалить все").front()->IsEnabled());

    clickLabelled(L"Начать добавление");
    ASSERT_TRUE(pumpUntil([&] { return console.learning(); }));
    EXPECT_TRUE(labelled(L"Прислоните ключ к считывателю для добавления")->IsShown());
    console.presentKey("0A1B2C");
    ASSERT_TRUE(pumpUntil([&] { return !shownLabelled<wxStaticText>(L"0A1B2C").empty(); }));
    EXPECT_FALSE(labelled(L"Прислоните ключ к считывателю для добавления")->IsShown());
    EXPECT_TRUE(shownLabelled<wxButton>(L"Удалить все").front()->IsEnabled());
    EXPECT_TRUE(screenshot("property_passkeys"));

    clickLabelled(L"Начать добавление");
    ASSERT_TRUE(pumpUntil([&] { return console.learning(); }));
    showTab(L"Общие");
    EXPECT_TRUE(pumpUntil([&] { return !console.learning(); }));
    ASSERT_TRUE(test::waitForDispatcher());
    console.clearReceived();
    // A check still queued would run before a mark queued a period later.
    const test::DispatcherMark checked(std::chrono::milliseconds(frm::PasskeyPage::kCheckMs));
    ASSERT_TRUE(pumpUntil([&] { return checked.passed(); }));
    for (const std::string& command : console.received()) EXPECT_NE(command, "passkeyList");
}

}  // namespace
