#include "propertypanel/pages/SourcePage.h"

#include "app/kit/Questions.h"
#include "devicelink/IAudioControl.h"
#include "devices/PlaybackType.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "foundation/ProgramTables.h"
#include "foundation/SettingKeys.h"
#include "foundation/Settings.h"
#include "propertypanel/ApplyRules.h"
#include "propertypanel/ChoiceData.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "propertypanel/SourceRules.h"

namespace frm {
namespace {

constexpr std::size_t kSettingsSlot = 0;
constexpr std::size_t kScenarioSlot = 1;
constexpr std::size_t kSoundPressureSlot = 2;
constexpr std::uint32_t kSoundPressureCheckMs = 1000;
// The item of an input's choice that stands for the microphone.
const wchar_t* const kMicrophoneItem = L"ГОиЧС / Микрофон";

device::VokarInfo& loudspeakerOf(const PropertyPage::DevicePtr& device) {
    auto* vokar = dynamic_cast<device::VokarInfo*>(device.get());
    debug::throwIfFalse(vokar != nullptr, "frm::SourcePage");
    return *vokar;
}

std::wstring selectedText(const wxChoice* choice) {
    return choice->GetSelection() < 0 ? std::wstring() : choice->GetStringSelection().ToStdWstring();
}

// The scenario an input's choice names: the first item is the microphone.
std::optional<std::int16_t> scenarioOf(const wxChoice* choice) {
    const int selection = choice->GetSelection();
    if (selection < 0) return std::nullopt;
    if (selection == 0) return device::ain::none;
    return selectedData(*choice);
}

// The six priorities in the order of the page's rows.
std::array<std::uint16_t, fill::kPriorityCount> priorityValues(const device::VokarConfig& config) {
    return {config.priVoiceAlert,  config.priAin1,      config.priAin0,
            config.priStreamMCast, config.priZoneInput, config.priStream};
}

// Selects the first item for the microphone, else the item of the scenario; a scenario no item
// carries selects nothing, which apply keeps as it is.
void showInputMode(wxChoice* choice, const source::InputMode& mode, std::int16_t scenario) {
    choice->Enable(mode.enabled);
    if (mode.microphone) {
        choice->SetSelection(0);
        return;
    }
    selectScenario(*choice, scenario);
}

}  // namespace

SourcePage::SourcePage(PropertyDevicePanel& panel) : PropertyPage(panel, pages::source, panel.m_pageSource) {
    if (!pref::getBool(setting::mainWindowAlarmButtons)) {
        // The alarm stream is not offered: its row goes, and the other choices offer the numbers it
        // leaves them once its value is read.
        panel.m_priStreamLabel->Hide();
        panel.m_priStream->Hide();
    }
}

void SourcePage::fill() {
    if (!dynamic_cast<device::VokarInfo*>(device().get())) {
        panel().close();
        return;
    }
    PropertyDevicePanel& p = panel();
    await();
    read<device::VokarConfig>(
        kSettingsSlot, L"read the source settings",
        [](const DevicePtr& device) { return loudspeakerOf(device).getConfig(false); },
        [this, &p](const device::VokarConfig& config) {
            config_ = config;
            p.m_allowOtherStream->SetValue(config.multicastListen);
            p.m_passInput1->SetValue(config.multicastAin0);
            p.m_passInput2->SetValue(config.multicastAin1);

            const std::array<std::uint16_t, fill::kPriorityCount> values = priorityValues(config);
            const std::array<wxChoice*, fill::kPriorityCount> choices = {
                p.m_priVoiceAlert,  p.m_priAin1,      p.m_priAin0,
                p.m_priStreamMCast, p.m_priZoneInput, p.m_priStream};
            const bool alarmStreamShown = pref::getBool(setting::mainWindowAlarmButtons);
            const auto items = fill::priorityItems(values, alarmStreamShown);
            wxArrayString numbers;
            for (const int number : fill::priorityNumbers(values, alarmStreamShown))
                numbers.Add(std::to_wstring(number));
            for (std::size_t source = 0; source < choices.size(); ++source) {
                if (items[source] < 0) continue;
                choices[source]->Set(numbers);
                choices[source]->SetSelection(items[source]);
            }

            // The scenarios come from the memory, read next; until they arrive an input set to a
            // scenario shows no item, which apply keeps as configured.
            for (wxChoice* choice : {p.m_ain0Scenario, p.m_ain1Scenario}) {
                choice->Clear();
                choice->Append(kMicrophoneItem);
            }
            initSource(config.multicastListen, config.multicastAin0, config.multicastAin1, true, true);
            p.m_ain0LineIntegrity->SetValue(config.ain0Arm);
            p.m_ain1LineIntegrity->SetValue(config.ain1Arm);
            ready();
            readScenarios();
            updateSoundPressureButton();
            p.m_pageSource->Layout();
            p.m_pageSource->Refresh();
        });
}

void SourcePage::readScenarios() {
    PropertyDevicePanel& p = panel();
    const std::array<std::int16_t, 2> configured = {config_.ain0ScenarioId, config_.ain1ScenarioId};
    read<std::vector<device::memory::ScenarioEntry>>(
        kScenarioSlot, L"read the scenarios",
        [](const DevicePtr& device) {
            std::vector<device::memory::ScenarioEntry> scenarios;
            if (const auto memory = device->getAudioMemory(false, false)) scenarios = memory->getScenarios();
            return scenarios;
        },
        [&p, configured](const std::vector<device::memory::ScenarioEntry>& scenarios) {
            const std::array<wxChoice*, 2> choices = {p.m_ain0Scenario, p.m_ain1Scenario};
            for (std::size_t input = 0; input < choices.size(); ++input) {
                for (const device::memory::ScenarioEntry& entry : scenarios)
                    choices[input]->Append(entry.name, itemData(entry.id));
                // An input the operator set meanwhile keeps its choice.
                if (choices[input]->GetSelection() == wxNOT_FOUND)
                    selectScenario(*choices[input], configured[input]);
            }
        });
}

void SourcePage::initSource(bool allowOther, bool passInput1, bool passInput2, bool refreshInput1,
                            bool refreshInput2) {
    debug::Place("frm::PropertyDevicePanel::initSource").trace(L"");
    debug::throwIfFalse(device() != nullptr, "frm::PropertyDevicePanel::initSource");
    PropertyDevicePanel& p = panel();
    const DeviceTraits traits = traitsOf(*device());
    const source::Boxes boxes = source::boxes(allowOther, passInput1, passInput2, traits);
    p.m_allowOtherStream->Enable(boxes.allowOtherEnabled);
    p.m_passInput1->Enable(boxes.passInput1Enabled);
    p.m_passInput2->Enable(boxes.passInput2Enabled);
    if (refreshInput1)
        showInputMode(p.m_ain0Scenario, source::inputMode(false, passInput1, config_.ain0ScenarioId, traits),
                      config_.ain0ScenarioId);
    if (refreshInput2)
        showInputMode(p.m_ain1Scenario, source::inputMode(true, passInput2, config_.ain1ScenarioId, traits),
                      config_.ain1ScenarioId);
}

void SourcePage::sourceOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::sourceOnCheckBox").trace(L"");
    event.Skip();
    const PropertyDevicePanel& p = panel();
    initSource(p.m_allowOtherStream->GetValue(), p.m_passInput1->GetValue(), p.m_passInput2->GetValue(),
               false, false);
    panel().enableApplyButtons(true);
}

void SourcePage::sourcePriorityOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::sourcePriorityOnCheckBox").trace(L"");
    event.Skip();
    const PropertyDevicePanel& p = panel();
    initSource(p.m_allowOtherStream->GetValue(), p.m_passInput1->GetValue(), p.m_passInput2->GetValue(),
               event.GetEventObject() == p.m_passInput1, event.GetEventObject() == p.m_passInput2);
    panel().enableApplyButtons(true);
}

void SourcePage::apply(AppliedHandler done) {
    if (!dynamic_cast<device::VokarInfo*>(device().get())) {
        done(Applied());
        return;
    }
    const PropertyDevicePanel& p = panel();
    apply::SourceControls controls;
    controls.allowOther = p.m_allowOtherStream->GetValue();
    controls.passInput1 = p.m_passInput1->GetValue();
    controls.passInput2 = p.m_passInput2->GetValue();
    const wxChoice* const priorities[fill::kPriorityCount] = {
        p.m_priVoiceAlert, p.m_priAin1, p.m_priAin0, p.m_priStreamMCast, p.m_priZoneInput, p.m_priStream};
    for (std::size_t source = 0; source < fill::kPriorityCount; ++source)
        controls.priorities[source] = selectedText(priorities[source]);
    controls.scenarios = {scenarioOf(p.m_ain0Scenario), scenarioOf(p.m_ain1Scenario)};
    controls.lineIntegrity = {p.m_ain0LineIntegrity->GetValue(), p.m_ain1LineIntegrity->GetValue()};
    const bool alarmStreamShown = pref::getBool(setting::mainWindowAlarmButtons);
    if (!alarmStreamShown) controls.hiddenPriority = fill::hiddenPriority(priorityValues(config_));
    write<Applied>(
        L"write the source settings",
        [controls, alarmStreamShown](const DevicePtr& device) {
            device::VokarInfo& vokar = loudspeakerOf(device);
            Applied applied;
            applied.closeAfterwards =
                vokar.setConfig(apply::sourceConfig(vokar.getConfig(false), controls, alarmStreamShown));
            return applied;
        },
        [done](const Applied& applied) { done(applied); });
}

void SourcePage::testSoundPressureOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::testSoundPressureOnButtonClick");
    place.trace(L"");
    if (!dynamic_cast<device::VokarInfo*>(device().get())) return;
    PropertyDevicePanel& p = panel();
    std::uint32_t seconds = 0;
    if (p.m_soundPressure->GetLabel() == wxString(kSoundPressureTestLabel.data())) {
        if (!p.questions().ask(
                {L"Внимание!", L"Запустить тест звукового давления?\nБудет подан очень громкий сигнал!",
                 Questions::Question::Buttons::okCancel, Questions::Question::Icon::exclamation}))
            return;
        const std::optional<long> asked = p.questions().askNumber(
            L"Продолжительность теста", L"Введите время, в течение которого будет запущен тест",
            L"Время, 1-300 сек.", 15, 1, 300);
        if (!asked) return;
        seconds = static_cast<std::uint32_t>(*asked);
    }
    write<bool>(
        seconds > 0 ? L"start the sound-pressure test" : L"end the sound-pressure test",
        [seconds](const DevicePtr& device) { return loudspeakerOf(device).testSoundPressure(seconds); },
        [this, seconds](const bool& done) {
            if (!done)
                debug::Place("frm::PropertyDevicePanel::testSoundPressureOnButtonClick")
                    .warn(seconds > 0 ? L"Тест не был запущен" : L"Тест не был остановлен");
            updateSoundPressureButton();
        });
}

void SourcePage::updateSoundPressureButton() {
    const auto* vokar = dynamic_cast<const device::VokarInfo*>(device().get());
    if (panel().isShutdown() || vokar == nullptr) return;
    PropertyDevicePanel& p = panel();
    const bool running = vokar->isPlaybackType(device::playback::sine);
    if (running) {
        // Only the label follows the test: the page's other controls may hold unapplied edits.
        const PageTicket ticket = this->ticket();
        ticket.queue(
            kSoundPressureSlot, L"GUI Sound pressure checker", kSoundPressureCheckMs,
            [this, ticket](const DevicePtr&) { ticket.show([this] { updateSoundPressureButton(); }); });
    }
    const wxString label(running ? kSoundPressureTestRunningLabel.data() : kSoundPressureTestLabel.data());
    if (p.m_soundPressure->GetLabel() == label) return;
    p.m_soundPressure->SetLabel(label);
    p.m_pageSource->Layout();
    p.m_pageSource->Refresh();
}

}  // namespace frm
