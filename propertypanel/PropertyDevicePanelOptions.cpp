// The options that keep each other consistent while the operator edits: the console's type and
// power inputs, the source page's boxes and input modes, and the Nerida line reserve.

#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/ChoiceData.h"
#include "propertypanel/ConsoleType.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "propertypanel/SourceRules.h"

namespace frm {
namespace {

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

void PropertyDevicePanel::changeTribelTypeOnChoice(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::changeTribelTypeOnChoice").trace(L"");
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    debug::throwIfFalse(console != nullptr, "frm::PropertyDevicePanel::changeTribelTypeOnChoice");
    const console::TypeOptions options = console::typeChanged(
        m_tribelType->GetSelection() != 0, console->getConfig(false), console->getVersionId());
    m_singlePower->SetValue(options.singlePower);
    m_singlePower->Enable(options.singlePowerEnabled);
    m_faultSound->SetValue(options.faultSound);
    m_faultSound->Enable(options.faultSoundEnabled);
    m_analogInput->SetValue(options.analogInput);
    m_analogInput->Enable(options.analogInputEnabled);
    m_holdToTalk->SetValue(options.holdToTalk);
    m_holdToTalk->Enable(options.holdToTalkEnabled);
    m_powerInput2->Enable(options.powerInput2Enabled);
    enableApplyButtons(true);
    event.Skip();
}

void PropertyDevicePanel::singlePowerOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::singlePowerOnCheckBox").trace(L"");
    m_powerInput2->Enable(!m_singlePower->GetValue());
    enableApplyButtons(true);
    event.Skip();
}

void PropertyDevicePanel::initSource(bool allowOther, bool passInput1, bool passInput2, bool refreshInput1,
                                     bool refreshInput2, const device::VokarConfig* shown) {
    debug::Place("frm::PropertyDevicePanel::initSource").trace(L"");
    debug::throwIfFalse(m_device != nullptr, "frm::PropertyDevicePanel::initSource");
    const DeviceTraits traits = traitsOf(*m_device);
    const source::Boxes boxes = source::boxes(allowOther, passInput1, passInput2, traits);
    m_allowOtherStream->Enable(boxes.allowOtherEnabled);
    m_passInput1->Enable(boxes.passInput1Enabled);
    m_passInput2->Enable(boxes.passInput2Enabled);
    if (!refreshInput1 && !refreshInput2) return;
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    debug::throwIfFalse(vokar != nullptr, "frm::PropertyDevicePanel::initSource");
    const device::VokarConfig config = shown ? *shown : vokar->getConfig(false);
    if (refreshInput1)
        showInputMode(m_ain0Scenario, source::inputMode(false, passInput1, config.ain0ScenarioId, traits),
                      config.ain0ScenarioId);
    if (refreshInput2)
        showInputMode(m_ain1Scenario, source::inputMode(true, passInput2, config.ain1ScenarioId, traits),
                      config.ain1ScenarioId);
}

void PropertyDevicePanel::sourceOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::sourceOnCheckBox").trace(L"");
    event.Skip();
    initSource(m_allowOtherStream->GetValue(), m_passInput1->GetValue(), m_passInput2->GetValue(), false,
               false);
    enableApplyButtons(true);
}

void PropertyDevicePanel::sourcePriorityOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::sourcePriorityOnCheckBox").trace(L"");
    event.Skip();
    initSource(m_allowOtherStream->GetValue(), m_passInput1->GetValue(), m_passInput2->GetValue(),
               event.GetEventObject() == m_passInput1, event.GetEventObject() == m_passInput2);
    enableApplyButtons(true);
}

void PropertyDevicePanel::onCheckBoxIsTestNerida(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::onCheckBoxIsTestNerida").trace(L"");
    event.Skip();
    enableApplyButtons(true);
    debug::throwIfFalse(m_device != nullptr, "frm::PropertyDevicePanel::onCheckBoxIsTestNerida");
    const DeviceTraits traits = traitsOf(*m_device);
    if (!traits.lineRedundancy) return;
    const auto reserve =
        source::lineReserve(m_neridaTest->GetValue(), m_device->getCommonConfig(false).neridaReserve, traits);
    m_neridaReserve->Enable(reserve->enabled);
    m_neridaReserve->SetValue(reserve->checked);
}

}  // namespace frm
