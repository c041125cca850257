// The property panel acts only on what a page has read: an apply pressed while a page reads again
// writes nothing, a name typed meanwhile waits for the read, a page whose memory cannot be read
// stays out of use, each zone page's repair ends on its own page, and the debug page's mark and
// history say what happened to the polling.

#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "devicelink/IAudioControl.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "support/AudioFlash.h"
#include "support/ConsoleEmulator.h"
#include "support/DispatcherWait.h"
#include "support/LineControllerEmulator.h"
#include "support/ManualClock.h"
#include "tests/app/window/PropertyActsFixture.h"

namespace {

using Ids = frm::fb::PropertyDevicePanel;

class PropertyReadRuleTest : public test::PropertyActsFixture {
protected:
    bool received(test::EmulatedDevice& device, const std::string& prefix) {
        const auto commands = device.received();
        return std::any_of(commands.begin(), commands.end(),
                           [&](const std::string& command) { return command.rfind(prefix, 0) == 0; });
    }
    std::shared_ptr<device::VokarInfo> vokar(int index) {
        return frame_->getDeviceCollection().getVokars<device::VokarInfo>(false).at(index);
    }
};

TEST_F(PropertyReadRuleTest, ASecondApplyWhileTheZonePageReadsAgainKeepsTheZone) {
    openZonesBesideAPlayingLoudspeaker();
    test::ConsoleEmulator& console = loudspeakers_.console(0);
    wxWindow* zone = onPage(L"1");
    ASSERT_NE(zone, nullptr);
    click(zone, wxRect(zone->GetClientSize()));
    const auto second = [&] { return dynamic_cast<wxCheckBox*>(onPage(L"Устройство 02:7E:41:00:00:02")); };
    ASSERT_NE(second(), nullptr);
    click(second(), wxRect(second()->GetClientSize()));
    ASSERT_TRUE(second()->GetValue());
    // Ticked, the loudspeaker's memory was read, and with it its settings for the first time: it
    // then asks for its modules' versions, which it leaves unanswered until they are given up. One
    // given up only once time stands still would hold up its next requests, the refusal's among them.
    settled(loudspeakers_.loudspeaker(1));

    // The apply is refused, and the page reads the zones again: the first loudspeaker holds its
    // answer to the read of its memory, while time stands still.
    // The refusal needs all three devices answering, which a device whose answering lapsed would
    // not be again while time stands still: they are seen answering once it does, right before
    // the press.
    device::DeviceCollection& registry = frame_->getDeviceCollection();
    const auto allAnswer = [&] {
        return vokar(0)->isOnlineAndResponding() && vokar(1)->isOnlineAndResponding() &&
               registry.getTribels(false).at(0)->isOnlineAndResponding();
    };
    ASSERT_TRUE(pumpUntil(allAnswer));
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    loudspeakers_.loudspeaker(0).holdReplies("voiceMemSize");
    ASSERT_TRUE(allAnswer());
    press(labelled(L"&Применить"));
    EXPECT_TRUE(messageShown(L"Запрещено редактирование во время тревожного вещания на вокарах"));
    ASSERT_TRUE(pumpUntil([&] {
        return loudspeakers_.loudspeaker(0).waitForHeld(1, std::chrono::milliseconds(0)) &&
               propertyPanel()->pageWaits();
    }));

    // Apply's own refusal is what is tried: its event comes while the page reads.
    deliver(labelled(L"&Применить"));
    EXPECT_TRUE(propertyPanel()->pageWaits());
    loudspeakers_.loudspeaker(0).releaseReplies();
    ASSERT_TRUE(pumpUntil([&] { return !propertyPanel()->pageWaits(); }));
    clock.reset();
    settle();
    ASSERT_TRUE(test::waitForDispatcher());
    ASSERT_EQ(console.zones().count(1), 1u);
    EXPECT_EQ(console.zones().at(1).addresses, (std::set<std::uint32_t>{1}));
    EXPECT_FALSE(capture_.contains(L"Выполнение операции завершено"));
    EXPECT_TRUE(pumpUntil([&] { return usable(); }));
}

TEST_F(PropertyReadRuleTest, AZoneApplyWaitsForTheMemoryOfATickedLoudspeaker) {
    loudspeakers_.add(2);
    loudspeakers_.addConsole();
    test::AudioFlash firstFlash(loudspeakers_.loudspeaker(0), 64 * 1024);
    test::AudioFlash secondFlash(loudspeakers_.loudspeaker(1), 64 * 1024);
    test::ConsoleEmulator& console = loudspeakers_.console(0);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] {
        return deviceState(0) == L"В сети" && deviceState(1) == L"В сети" && deviceState(2) == L"В сети";
    }));
    // Each loudspeaker's memory holds a first message of its own.
    for (const auto& [index, text] : {std::make_pair(0, L"Пожар"), std::make_pair(1, L"Эвакуация")}) {
        const auto memory = offWindow([&, index = index, text = text] {
            const auto written = vokar(index)->getAudioMemory(false, true);
            const std::int16_t gong = written->addFragment(std::string(300, 'g'), L"Гонг");
            const std::int16_t message = written->addFragment(std::string(500 + 100 * index, 'm'), text);
            written->addScenario(gong, message, 30, text);
            written->writeChanges(nullptr);
            return written;
        });
        ASSERT_TRUE(pumpUntil([&] { return memory->getWriteProgress() == 100 && !memory->hasChanges(); }));
        ASSERT_TRUE(test::waitForDispatcher());
        // The write's end read the settings again.
        settled(loudspeakers_.loudspeaker(index));
    }
    // The second one's memory is read from the loudspeaker when it is ticked.
    offWindow([&] { vokar(1)->releaseAudioMemory(); });
    // The fire console's zone 1 plays the first loudspeaker's message.
    console.setZones({{1, {1, 1, {1}}}});
    openProperties(2);
    settle();
    showTab(L"Зоны трансляции");
    wxWindow* zone = onPage(L"1");
    ASSERT_NE(zone, nullptr);
    click(zone, wxRect(zone->GetClientSize()));
    wxComboBox* message = pageControls<wxComboBox>().at(0);
    ASSERT_EQ(message->GetCount(), 2u);
    ASSERT_EQ(message->GetSelection(), 1);

    // The second loudspeaker is ticked while its memory's answer is held, and time stands still so
    // that the answer comes late rather than never; apply comes at once.
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    loudspeakers_.loudspeaker(1).holdReplies("voiceMem");
    auto* second = dynamic_cast<wxCheckBox*>(onPage(L"Устройство 02:7E:41:00:00:02"));
    ASSERT_NE(second, nullptr);
    WindowFixture::click(second, wxRect(second->GetClientSize()));
    ASSERT_TRUE(second->GetValue());
    ASSERT_TRUE(
        pumpUntil([&] { return loudspeakers_.loudspeaker(1).waitForHeld(1, std::chrono::milliseconds(0)); }));
    deliver(labelled(L"&Применить"));
    EXPECT_TRUE(propertyPanel()->pageWaits());

    // Once the memories are read the apply has bound nothing, and only the microphone is left to
    // bind the two with.
    loudspeakers_.loudspeaker(1).releaseReplies();
    ASSERT_TRUE(pumpUntil([&] { return !propertyPanel()->pageWaits(); }));
    clock.reset();
    settle();
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(console.zones().at(1).addresses, (std::set<std::uint32_t>{1}));
    EXPECT_FALSE(capture_.contains(L"Выполнение операции завершено"));
    ASSERT_TRUE(pumpUntil([&] { return usable(); }));
    EXPECT_EQ(message->GetCount(), 1u);
    clickLabelled(L"&Применить");
    EXPECT_TRUE(messageShown(L"Выполнение операции завершено"));
    EXPECT_EQ(console.zones().at(1).addresses, (std::set<std::uint32_t>{1, 2}));
    EXPECT_EQ(console.zones().at(1).scenario, -1);
}

TEST_F(PropertyReadRuleTest, ARenameTypedWhileTheCommonPageReadsIsAppliedWithTheLineSettingsAsRead) {
    loudspeakers_.add(1, device::vokarA_2_01_72);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    ASSERT_TRUE(emulator.settings().lineDouble && emulator.settings().lineTest);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));

    // The page opens while the loudspeaker holds its answer to the page's read; the name can be
    // typed, but apply waits.
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    emulator.holdReplies();
    openProperties(0);
    ASSERT_TRUE(pumpUntil([&] { return emulator.waitForHeld(1, std::chrono::milliseconds(0)); }));
    ASSERT_TRUE(propertyPanel()->pageWaits());
    typeName("Hall 2");
    press(labelled(L"&Применить"));
    EXPECT_TRUE(propertyPanel()->pageWaits());
    EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());
    emulator.releaseReplies();
    ASSERT_TRUE(pumpUntil([&] { return !propertyPanel()->pageWaits(); }));
    clock.reset();
    settle();

    // Once the page shows what it read, the name is applied with the line settings as they are.
    ASSERT_TRUE(pumpUntil([&] { return usable() && labelled(L"&Применить")->IsEnabled(); }));
    clickLabelled(L"&Применить");
    EXPECT_TRUE(messageShown(L"Выполнение операции завершено"));
    EXPECT_EQ(vokar(0)->getDisplayName(), L"Hall 2");
    EXPECT_TRUE(emulator.settings().lineDouble);
    EXPECT_TRUE(emulator.settings().lineTest);
    EXPECT_FALSE(received(emulator, "reboot"));
    EXPECT_TRUE(usable());
}

TEST_F(PropertyReadRuleTest, TheLinkedConsolesRepairEndsOnItsOwnPage) {
    loudspeakers_.add(1);
    loudspeakers_.addConsole();
    // Bound to the console 02:7E:41:00:01:01 and to a console number no device has.
    loudspeakers_.loudspeaker(0).setZoneAddresses({0x101, 0x999});
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(1) == L"В сети"; }));
    openProperties(0);
    settled(loudspeakers_.loudspeaker(0));
    showTab(L"Связанные консоли");
    wxWindow* repair = onPage(L"Исправить целостность связей");
    ASSERT_NE(repair, nullptr);

    click(repair, wxRect(repair->GetClientSize()));
    EXPECT_TRUE(messageShown(L"Выполнение операции завершено"));
    EXPECT_EQ(loudspeakers_.loudspeaker(0).zoneAddresses(), (std::set<std::uint32_t>{0x101}));
    EXPECT_FALSE(repair->IsEnabled());
    EXPECT_TRUE(pumpUntil([&] { return usable(); }));
}

TEST_F(PropertyReadRuleTest, AMemoryPageWhoseReadFailedStaysOutOfUse) {
    loudspeakers_.add(1);
    loudspeakers_.loudspeaker(0).answer("voiceMemSize", "ERR[voiceMemSize]: no memory");
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(loudspeakers_.loudspeaker(0));
    showTab(L"Аудио память");
    EXPECT_TRUE(messageShown(L"no memory"));

    // A device's refusal is no unknown memory: nothing is offered to be written over.
    EXPECT_EQ(questions_.yesNoAsked, 0);
    EXPECT_FALSE(notebook()->GetCurrentPage()->IsEnabled());
    EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());
    expectMemoryUntouched(loudspeakers_.loudspeaker(0), [&] {
        for (const int item : {Ids::ID_MEMORY_CLEAR, Ids::ID_MEMORY_REVERT, Ids::ID_MEMORY_SAVE_IMAGE,
                               Ids::ID_MEMORY_LOAD_IMAGE, Ids::ID_FRAGMENT_ADD, Ids::ID_FRAGMENT_DELETE,
                               Ids::ID_SCENARIO_ADD, Ids::ID_SCENARIO_DELETE})
            EXPECT_NO_THROW(startMenuItem(item)) << item;
    });
    EXPECT_FALSE(capture_.contains(L"Проверяемое условие неверно"));
    EXPECT_TRUE(labelled(L"&Закрыть")->IsEnabled());
}

TEST_F(PropertyReadRuleTest, AMemoryApplyWhileTheMemoryIsReadAgainAfterAFailedWriteWritesNothing) {
    loudspeakers_.add(1);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    test::AudioFlash flash(emulator, 64 * 1024);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    // A fragment in the loudspeaker's memory, which the operator clears.
    const auto memory = offWindow([&] {
        const auto written = vokar(0)->getAudioMemory(false, true);
        written->addFragment(std::string(700, 'g'), L"Гонг");
        written->writeChanges(nullptr);
        return written;
    });
    ASSERT_TRUE(pumpUntil([&] { return memory->getWriteProgress() == 100 && !memory->hasChanges(); }));
    ASSERT_TRUE(test::waitForDispatcher());
    settled(emulator);
    openProperties(0);
    showTab(L"Аудио память");
    ASSERT_TRUE(pumpUntil([&] { return usable(); }));
    chooseMenuItem(Ids::ID_MEMORY_CLEAR);
    ASSERT_TRUE(labelled(L"&Применить")->IsEnabled());

    // The write fails; the page reads the memory again, and that read is held up.
    emulator.faultOn("voiceMemProgram", 0, test::EmulatedDevice::Fault::error, 100);
    std::optional<test::ManualClock> clock;
    std::optional<test::DispatcherHold> hold;
    questions_.modal = [&](wxDialog& dialog) {
        const int ended = dialog.ShowModal();
        clock.emplace();
        clock->holdSteady();
        hold.emplace();
        return ended;
    };
    press(labelled(L"&Применить"));
    EXPECT_TRUE(messageShown(L"Произошла ошибка при обновлении аудио данных"));
    ASSERT_TRUE(pumpUntil([&] { return hold && hold->started() && propertyPanel()->pageWaits(); }));
    emulator.clearReceived();

    press(labelled(L"&Применить"));
    EXPECT_TRUE(propertyPanel()->pageWaits());
    hold->release();
    clock.reset();
    settle();
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_FALSE(capture_.contains(L"Выполнение операции завершено"));
    EXPECT_FALSE(received(emulator, "voiceMemErase"));
    EXPECT_FALSE(received(emulator, "voiceMemProgram"));
    // The edits are still pending, and apply offers them again.
    EXPECT_TRUE(memory->hasChanges());
    EXPECT_TRUE(pumpUntil([&] { return usable() && labelled(L"&Применить")->IsEnabled(); }));
}

TEST_F(PropertyReadRuleTest, TheVolumeSliderActsOnlyOnTheVolumeReadFromTheDeviceShown) {
    loudspeakers_.add(2);
    test::LoudspeakerEmulator& second = loudspeakers_.loudspeaker(1);
    second.setDecibels(-60);
    openWindow(true);
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(1) == L"В сети"; }));
    openProperties(0);
    settled(loudspeakers_.loudspeaker(0));
    showTab(L"Отладочные сообщения");
    wxSlider* slider = control<wxSlider>(L"volume");
    ASSERT_NE(slider, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return slider->IsEnabled() && slider->GetValue() > 0; }));
    clickLabelled(L"&Закрыть");

    // The second loudspeaker's page opens on the same page while the read of its volume waits on
    // the dispatcher, and time stands still: the slider still shows the first one's volume, and a
    // move of it is not taken.
    second.clearReceived();
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    std::optional<test::DispatcherHold> hold(std::in_place);
    ASSERT_TRUE(pumpUntil([&] { return hold->started(); }));
    openProperties(1);
    ASSERT_EQ(propertyPanel()->currentTab(), Ids::ID_PAGE_DEBUG_MESSAGE);
    EXPECT_FALSE(slider->IsEnabled());
    slider->SetValue(slider->GetValue() - 1);
    wxScrollEvent moved(wxEVT_SCROLL_CHANGED, slider->GetId(), slider->GetValue(), wxHORIZONTAL);
    moved.SetEventObject(slider);
    slider->GetEventHandler()->ProcessEvent(moved);
    // A volume the move left pending falls due with the advance, before a mark queued after it.
    hold->release();
    const std::chrono::milliseconds delay(frm::PropertyDevicePanel::kVolumeDelayMs);
    const test::DispatcherMark delayed(delay);
    clock->advance(delay);
    ASSERT_TRUE(pumpUntil([&] { return delayed.passed(); }));
    ASSERT_TRUE(test::waitForDispatcher());
    clock.reset();
    EXPECT_FALSE(received(second, "set vol"));
    // Once read, the slider shows this loudspeaker's volume and takes moves.
    ASSERT_TRUE(pumpUntil([&] { return slider->IsEnabled(); }));
    EXPECT_EQ(slider->GetValue(), vokar(1)->volume.load());
}

TEST_F(PropertyReadRuleTest, TheDebugMarkShowsThePollingStoppedAndANewNumberingIsLogged) {
    loudspeakers_.add(1);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    emulator.answer("get dbg", "!50 first\r\n");
    openWindow(true);
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(emulator);
    showTab(L"Отладочные сообщения");
    wxStaticText* mark = nullptr;
    for (wxStaticText* text : pageControls<wxStaticText>()) {
        if (text->GetLabel() == L"⚪" || text->GetLabel() == L"⚫") mark = text;
    }
    ASSERT_NE(mark, nullptr);
    wxCheckBox* request = pageControls<wxCheckBox>().at(0);
    click(request, wxRect(request->GetClientSize()));
    wxTextCtrl* history = pageControls<wxTextCtrl>().at(2);
    ASSERT_TRUE(pumpUntil([&] { return history->GetValue() == L"first"; }));
    EXPECT_EQ(mark->GetForegroundColour(), wxColour(3, 192, 60));

    // The device counts its messages from the start again.
    emulator.answer("get dbg", "!5 again\r\n");
    ASSERT_TRUE(pumpUntil([&] { return history->GetValue() == L"first\nagain"; }));
    EXPECT_TRUE(capture_.contains(L"clear debug history data.", L"DEBUG"));

    showTab(L"Общие");
    EXPECT_EQ(mark->GetLabel(), L"⚪");
    EXPECT_EQ(mark->GetForegroundColour(), wxColour(255, 0, 0));
}

// The panel shows a device of the other kind after a page of the first: the pages are laid out
// again, and the notebook shows the page that the panel fills for the second device and acts on.
// A name typed on its common page renames that device, and the first device shows its own again.
struct KindSwitch {
    const char* name;
    // From a console's page to a loudspeaker's, else the other way.
    bool fromConsole;
    const wchar_t* tab;
};

void PrintTo(const KindSwitch& row, std::ostream* out) {
    *out << row.name;
}

class PropertyKindSwitchTest : public PropertyReadRuleTest, public ::testing::WithParamInterface<KindSwitch> {
protected:
    // Opens the device's page; a loudspeaker whose settings were not read yet first reads its
    // modules' versions.
    void open(long row, bool firstRead) {
        openProperties(row);
        if (firstRead) {
            settled(loudspeakers_.loudspeaker(0));
        } else {
            settle();
        }
    }
    void closePanel() {
        clickLabelled(L"&Закрыть");
        ASSERT_TRUE(pumpUntil([&] { return deviceList()->IsShownOnScreen(); }));
    }
    // The notebook shows the page the panel fills and acts on, as read for the device shown.
    void expectShowing(const std::shared_ptr<device::DeviceBase>& device) {
        ASSERT_TRUE(pumpUntil([&] { return usable(); }));
        EXPECT_EQ(notebook()->GetCurrentPage()->GetId(), propertyPanel()->currentTab());
        // The bar below the notebook names the device.
        wxString named;
        for (wxWindow* child : propertyPanel()->GetChildren()) {
            if (auto* text = dynamic_cast<wxStaticText*>(child)) named = text->GetLabel();
        }
        EXPECT_EQ(named, device->getDisplayName());
        if (propertyPanel()->currentTab() == Ids::ID_PAGE_COMMON) {
            EXPECT_EQ(control<wxTextCtrl>(L"name")->GetValue(), device->getDisplayName());
        }
    }

    std::optional<test::LineControllerEmulator> loudspeakerModule_;
    std::optional<test::LineControllerEmulator> consoleModule_;
};

TEST_P(PropertyKindSwitchTest, TheNotebookShowsThePageThePanelFillsForTheDeviceShown) {
    const KindSwitch& row = GetParam();
    loudspeakers_.add(1);
    loudspeakers_.addConsole();
    loudspeakerModule_.emplace(loudspeakers_.loudspeaker(0));
    consoleModule_.emplace(loudspeakers_.console(0));
    const bool debugPage = std::wstring(row.tab) == L"Отладочные сообщения";
    openWindow(debugPage);
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(1) == L"В сети"; }));
    const long first = row.fromConsole ? 1 : 0;
    const long second = 1 - first;
    device::DeviceCollection& registry = frame_->getDeviceCollection();
    const std::shared_ptr<device::DeviceBase> firstDevice =
        row.fromConsole ? std::shared_ptr<device::DeviceBase>(registry.getTribels(false).at(0)) : vokar(0);
    const std::shared_ptr<device::DeviceBase> secondDevice =
        row.fromConsole ? std::shared_ptr<device::DeviceBase>(vokar(0)) : registry.getTribels(false).at(0);

    open(first, !row.fromConsole);
    showTab(row.tab);
    ASSERT_EQ(notebook()->GetPageText(static_cast<std::size_t>(notebook()->GetSelection())), row.tab);
    expectShowing(firstDevice);
    closePanel();

    open(second, false);
    expectShowing(secondDevice);
    showTab(L"Общие");
    expectShowing(secondDevice);
    typeName("Pult-1");
    clickLabelled(L"&Применить");
    EXPECT_TRUE(messageShown(L"Выполнение операции завершено"));
    EXPECT_EQ(secondDevice->getDisplayName(), L"Pult-1");
    closePanel();

    open(first, false);
    expectShowing(firstDevice);
    EXPECT_NE(firstDevice->getDisplayName(), L"Pult-1");
}

INSTANTIATE_TEST_SUITE_P(
    FromEveryPage, PropertyKindSwitchTest,
    ::testing::Values(
        KindSwitch{"LoudspeakerCommon", false, L"Общие"},
        KindSwitch{"LoudspeakerMemory", false, L"Аудио память"},
        KindSwitch{"LoudspeakerNetwork", false, L"Сеть"}, KindSwitch{"LoudspeakerNerida", false, L"Нерида"},
        KindSwitch{"LoudspeakerSources", false, L"Источники"}, KindSwitch{"LoudspeakerLine", false, L"Линия"},
        KindSwitch{"LoudspeakerLinkedConsoles", false, L"Связанные консоли"},
        KindSwitch{"LoudspeakerDebug", false, L"Отладочные сообщения"},
        KindSwitch{"ConsoleCommon", true, L"Общие"}, KindSwitch{"ConsoleMemory", true, L"Аудио память"},
        KindSwitch{"ConsoleNetwork", true, L"Сеть"}, KindSwitch{"ConsoleNerida", true, L"Нерида"},
        KindSwitch{"ConsoleLine", true, L"Линия"}, KindSwitch{"ConsoleAccessKeys", true, L"Ключи"},
        KindSwitch{"ConsoleZoneTargets", true, L"Зоны трансляции"},
        KindSwitch{"ConsoleDebug", true, L"Отладочные сообщения"}),
    [](const ::testing::TestParamInfo<KindSwitch>& info) { return std::string(info.param.name); });

}  // namespace
