// The handler slots of the layout, each forwarded to the page or the area of a page that serves
// it.

#include "propertypanel/PropertyDevicePanel.h"
#include "propertypanel/pages/AudioMemoryPage.h"
#include "propertypanel/pages/CommandExchange.h"
#include "propertypanel/pages/CommonPage.h"
#include "propertypanel/pages/DebugPage.h"
#include "propertypanel/pages/DeviceActionArea.h"
#include "propertypanel/pages/EqualizerArea.h"
#include "propertypanel/pages/LinePage.h"
#include "propertypanel/pages/NeridaPage.h"
#include "propertypanel/pages/NetworkPage.h"
#include "propertypanel/pages/PasskeyPage.h"
#include "propertypanel/pages/SourcePage.h"
#include "propertypanel/pages/ZoneTargetsPage.h"

namespace frm {

void PropertyDevicePanel::OnSize(wxSizeEvent& event) {
    if (m_commandExchange) m_commandExchange->OnSize(event);
}
void PropertyDevicePanel::textDebugExchangeOnPress(wxCommandEvent& event) {
    m_commandExchange->textDebugExchangeOnPress(event);
}
void PropertyDevicePanel::buttonDebugExchangeOnClick(wxCommandEvent& event) {
    m_commandExchange->buttonDebugExchangeOnClick(event);
}
void PropertyDevicePanel::addCommandOnButtonClick(wxCommandEvent& event) {
    m_commandExchange->addCommandOnButtonClick(event);
}
void PropertyDevicePanel::commandSuiteOnButtonClick(wxCommandEvent& event) {
    m_commandExchange->commandSuiteOnButtonClick(event);
}
void PropertyDevicePanel::removeStrSizerOnClick(wxCommandEvent& event) {
    m_commandExchange->removeStrSizerOnClick(event);
}

void PropertyDevicePanel::updateFirmwareOnButtonClick(wxCommandEvent& event) {
    m_actions->updateFirmwareOnButtonClick(event);
}
void PropertyDevicePanel::rebootOnClick(wxCommandEvent& event) {
    m_actions->rebootOnClick(event);
}
void PropertyDevicePanel::testDeviceOnButtonClick(wxCommandEvent& event) {
    m_actions->testDeviceOnButtonClick(event);
}
void PropertyDevicePanel::buttonSetLineOnClick(wxCommandEvent& event) {
    m_actions->buttonSetLineOnClick(event);
}

void PropertyDevicePanel::onCheckBoxEqualizer(wxCommandEvent& event) {
    m_equalizer->onCheckBoxEqualizer(event);
}
void PropertyDevicePanel::onBandSlider(wxEvent& event) {
    m_equalizer->onBandSlider(event);
}
void PropertyDevicePanel::resetEqOnButtonClick(wxCommandEvent& event) {
    m_equalizer->resetEqOnButtonClick(event);
}

void PropertyDevicePanel::changeTribelTypeOnChoice(wxCommandEvent& event) {
    m_common->changeTribelTypeOnChoice(event);
}
void PropertyDevicePanel::singlePowerOnCheckBox(wxCommandEvent& event) {
    m_common->singlePowerOnCheckBox(event);
}

void PropertyDevicePanel::listCtrlAudioFragmentOnRightDown(wxMouseEvent& event) {
    m_memory->listCtrlAudioFragmentOnRightDown(event);
}
void PropertyDevicePanel::listCtrlAudioFragmentOnListItemDeselected(wxListEvent& event) {
    m_memory->listCtrlAudioFragmentOnListItemDeselected(event);
}
void PropertyDevicePanel::listCtrlAudioFragmentOnListItemSelected(wxListEvent& event) {
    m_memory->listCtrlAudioFragmentOnListItemSelected(event);
}
void PropertyDevicePanel::listCtrlAudioFragmentOnRightUp(wxMouseEvent& event) {
    m_memory->listCtrlAudioFragmentOnRightUp(event);
}
void PropertyDevicePanel::menuFragmentPlayOnSelection(wxCommandEvent& event) {
    m_memory->menuFragmentPlayOnSelection(event);
}
void PropertyDevicePanel::menuAudioStopOnSelection(wxCommandEvent& event) {
    m_memory->menuAudioStopOnSelection(event);
}
void PropertyDevicePanel::menuFragmentAddOnSelection(wxCommandEvent& event) {
    m_memory->menuFragmentAddOnSelection(event);
}
void PropertyDevicePanel::menuFragmentSaveOnSelection(wxCommandEvent& event) {
    m_memory->menuFragmentSaveOnSelection(event);
}
void PropertyDevicePanel::menuFragmentDeleteOnSelection(wxCommandEvent& event) {
    m_memory->menuFragmentDeleteOnSelection(event);
}
void PropertyDevicePanel::listCtrlAudioScenarioOnListItemDeselected(wxListEvent& event) {
    m_memory->listCtrlAudioScenarioOnListItemDeselected(event);
}
void PropertyDevicePanel::listCtrlAudioScenarioOnListItemSelected(wxListEvent& event) {
    m_memory->listCtrlAudioScenarioOnListItemSelected(event);
}
void PropertyDevicePanel::listCtrlAudioScenarioOnRightDown(wxMouseEvent& event) {
    m_memory->listCtrlAudioScenarioOnRightDown(event);
}
void PropertyDevicePanel::listCtrlAudioScenarioOnRightUp(wxMouseEvent& event) {
    m_memory->listCtrlAudioScenarioOnRightUp(event);
}
void PropertyDevicePanel::menuScenarioAddOnSelection(wxCommandEvent& event) {
    m_memory->menuScenarioAddOnSelection(event);
}
void PropertyDevicePanel::menuScenarioDeleteOnSelection(wxCommandEvent& event) {
    m_memory->menuScenarioDeleteOnSelection(event);
}
void PropertyDevicePanel::menuScenarioPlayOnSelection(wxCommandEvent& event) {
    m_memory->menuScenarioPlayOnSelection(event);
}
void PropertyDevicePanel::audioMemoryOnButtonClick(wxCommandEvent& event) {
    m_memory->audioMemoryOnButtonClick(event);
}
void PropertyDevicePanel::clearMemory(wxCommandEvent& event) {
    m_memory->clearMemory(event);
}
void PropertyDevicePanel::revertChanges(wxCommandEvent& event) {
    m_memory->revertChanges(event);
}
void PropertyDevicePanel::saveImageMemory(wxCommandEvent& event) {
    m_memory->saveImageMemory(event);
}
void PropertyDevicePanel::saveRawImageMemory(wxCommandEvent& event) {
    m_memory->saveRawImageMemory(event);
}
void PropertyDevicePanel::loadImageMemory(wxCommandEvent& event) {
    m_memory->loadImageMemory(event);
}

void PropertyDevicePanel::dhcpOnCheckBox(wxCommandEvent& event) {
    m_network->dhcpOnCheckBox(event);
}
void PropertyDevicePanel::allowIpOnCheckBox(wxCommandEvent& event) {
    m_network->allowIpOnCheckBox(event);
}

void PropertyDevicePanel::onCheckBoxIsTestNerida(wxCommandEvent& event) {
    m_nerida->onCheckBoxIsTestNerida(event);
}

void PropertyDevicePanel::sourceOnCheckBox(wxCommandEvent& event) {
    m_source->sourceOnCheckBox(event);
}
void PropertyDevicePanel::sourcePriorityOnCheckBox(wxCommandEvent& event) {
    m_source->sourcePriorityOnCheckBox(event);
}
void PropertyDevicePanel::testSoundPressureOnButtonClick(wxCommandEvent& event) {
    m_source->testSoundPressureOnButtonClick(event);
}

void PropertyDevicePanel::tipDevicesOnCheckBox(wxCommandEvent& event) {
    m_line->tipDevicesOnCheckBox(event);
}
void PropertyDevicePanel::rebootMasterOfTipDevices(wxCommandEvent& event) {
    m_line->rebootMasterOfTipDevices(event);
}
void PropertyDevicePanel::addAllTipDevices_onButtonClick(wxCommandEvent& event) {
    m_line->addAllTipDevices_onButtonClick(event);
}
void PropertyDevicePanel::resetPrefOnButtonClick(wxCommandEvent& event) {
    m_line->resetPrefOnButtonClick(event);
}

void PropertyDevicePanel::accessControlOnToggleButton(wxCommandEvent& event) {
    m_passkeys->accessControlOnToggleButton(event);
}
void PropertyDevicePanel::addPasskeyOnButtonClick(wxCommandEvent& event) {
    m_passkeys->addPasskeyOnButtonClick(event);
}
void PropertyDevicePanel::resetPasskeysOnButtonClick(wxCommandEvent& event) {
    m_passkeys->resetPasskeysOnButtonClick(event);
}

void PropertyDevicePanel::toggleZoneButton(wxCommandEvent& event) {
    m_zoneTargets->toggleZoneButton(event);
}
void PropertyDevicePanel::removeZoneOnButtonClick(wxCommandEvent& event) {
    m_zoneTargets->removeZoneOnButtonClick(event);
}
void PropertyDevicePanel::resetZonesOnButtonClick(wxCommandEvent& event) {
    m_zoneTargets->resetZonesOnButtonClick(event);
}
void PropertyDevicePanel::fixZoneIntegrityOnButtonClick(wxCommandEvent& event) {
    m_zoneTargets->fixZoneIntegrityOnButtonClick(event);
}
void PropertyDevicePanel::allZonesOnCheckBox(wxCommandEvent& event) {
    m_zoneTargets->allZonesOnCheckBox(event);
}

void PropertyDevicePanel::debugTargetOnToggleButton(wxCommandEvent& event) {
    m_debug->debugTargetOnToggleButton(event);
}
void PropertyDevicePanel::debugMessagesOnCheckBox(wxCommandEvent& event) {
    m_debug->debugMessagesOnCheckBox(event);
}
void PropertyDevicePanel::refreshTimeOnChoice(wxCommandEvent& event) {
    m_debug->refreshTimeOnChoice(event);
}
void PropertyDevicePanel::copyOnButtonClick(wxCommandEvent& event) {
    m_debug->copyOnButtonClick(event);
}
void PropertyDevicePanel::clearOnButtonClick(wxCommandEvent& event) {
    m_debug->clearOnButtonClick(event);
}
void PropertyDevicePanel::setVolumeOnScrollChanged(wxScrollEvent& event) {
    m_debug->setVolumeOnScrollChanged(event);
}
void PropertyDevicePanel::chartOnCheckBox(wxCommandEvent& event) {
    m_debug->chartOnCheckBox(event);
}
void PropertyDevicePanel::paintTextOnPanel(wxPaintEvent& event) {
    m_debug->paintTextOnPanel(event);
}

}  // namespace frm
