// The handler slots of the layout, each forwarded to the page or the area of a page that serves
// it. A control that edits a page or changes the device is served only while the panel shows its
// page as read from the device (acts); the others, which show or select, always.

#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "propertypanel/pages/AudioMemoryPage.h"
#include "propertypanel/pages/CommandExchange.h"
#include "propertypanel/pages/CommonPage.h"
#include "propertypanel/pages/DebugPage.h"
#include "propertypanel/pages/DeviceActionArea.h"
#include "propertypanel/pages/EqualizerArea.h"
#include "propertypanel/pages/LinePage.h"
#include "propertypanel/pages/LinkedConsolesPage.h"
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
    if (acts(pages::common)) m_equalizer->onCheckBoxEqualizer(event);
}
void PropertyDevicePanel::onBandSlider(wxEvent& event) {
    if (acts(pages::common)) m_equalizer->onBandSlider(event);
}
void PropertyDevicePanel::resetEqOnButtonClick(wxCommandEvent& event) {
    if (acts(pages::common)) m_equalizer->resetEqOnButtonClick(event);
}

void PropertyDevicePanel::changeTribelTypeOnChoice(wxCommandEvent& event) {
    if (acts(pages::common)) m_common->changeTribelTypeOnChoice(event);
}
void PropertyDevicePanel::singlePowerOnCheckBox(wxCommandEvent& event) {
    if (acts(pages::common)) m_common->singlePowerOnCheckBox(event);
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
    if (acts(pages::audioMemory)) m_memory->listCtrlAudioFragmentOnRightUp(event);
}
void PropertyDevicePanel::menuFragmentPlayOnSelection(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->menuFragmentPlayOnSelection(event);
}
void PropertyDevicePanel::menuAudioStopOnSelection(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->menuAudioStopOnSelection(event);
}
void PropertyDevicePanel::menuFragmentAddOnSelection(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->menuFragmentAddOnSelection(event);
}
void PropertyDevicePanel::menuFragmentSaveOnSelection(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->menuFragmentSaveOnSelection(event);
}
void PropertyDevicePanel::menuFragmentDeleteOnSelection(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->menuFragmentDeleteOnSelection(event);
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
    if (acts(pages::audioMemory)) m_memory->listCtrlAudioScenarioOnRightUp(event);
}
void PropertyDevicePanel::menuScenarioAddOnSelection(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->menuScenarioAddOnSelection(event);
}
void PropertyDevicePanel::menuScenarioDeleteOnSelection(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->menuScenarioDeleteOnSelection(event);
}
void PropertyDevicePanel::menuScenarioPlayOnSelection(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->menuScenarioPlayOnSelection(event);
}
void PropertyDevicePanel::audioMemoryOnButtonClick(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->audioMemoryOnButtonClick(event);
}
void PropertyDevicePanel::clearMemory(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->clearMemory(event);
}
void PropertyDevicePanel::revertChanges(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->revertChanges(event);
}
void PropertyDevicePanel::saveImageMemory(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->saveImageMemory(event);
}
void PropertyDevicePanel::saveRawImageMemory(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->saveRawImageMemory(event);
}
void PropertyDevicePanel::loadImageMemory(wxCommandEvent& event) {
    if (acts(pages::audioMemory)) m_memory->loadImageMemory(event);
}

void PropertyDevicePanel::dhcpOnCheckBox(wxCommandEvent& event) {
    if (acts(pages::network)) m_network->dhcpOnCheckBox(event);
}
void PropertyDevicePanel::allowIpOnCheckBox(wxCommandEvent& event) {
    if (acts(pages::network)) m_network->allowIpOnCheckBox(event);
}

void PropertyDevicePanel::onCheckBoxIsTestNerida(wxCommandEvent& event) {
    if (acts(pages::nerida)) m_nerida->onCheckBoxIsTestNerida(event);
}

void PropertyDevicePanel::sourceOnCheckBox(wxCommandEvent& event) {
    if (acts(pages::source)) m_source->sourceOnCheckBox(event);
}
void PropertyDevicePanel::sourcePriorityOnCheckBox(wxCommandEvent& event) {
    if (acts(pages::source)) m_source->sourcePriorityOnCheckBox(event);
}
void PropertyDevicePanel::testSoundPressureOnButtonClick(wxCommandEvent& event) {
    if (acts(pages::source)) m_source->testSoundPressureOnButtonClick(event);
}

void PropertyDevicePanel::tipDevicesOnCheckBox(wxCommandEvent& event) {
    if (acts(pages::lineControl)) m_line->tipDevicesOnCheckBox(event);
}
void PropertyDevicePanel::rebootMasterOfTipDevices(wxCommandEvent& event) {
    if (acts(pages::lineControl)) m_line->rebootMasterOfTipDevices(event);
}
void PropertyDevicePanel::addAllTipDevices_onButtonClick(wxCommandEvent& event) {
    if (acts(pages::lineControl)) m_line->addAllTipDevices_onButtonClick(event);
}
void PropertyDevicePanel::resetPrefOnButtonClick(wxCommandEvent& event) {
    if (acts(pages::lineControl)) m_line->resetPrefOnButtonClick(event);
}

void PropertyDevicePanel::accessControlOnToggleButton(wxCommandEvent& event) {
    if (acts(pages::passkey)) m_passkeys->accessControlOnToggleButton(event);
}
void PropertyDevicePanel::addPasskeyOnButtonClick(wxCommandEvent& event) {
    if (acts(pages::passkey)) m_passkeys->addPasskeyOnButtonClick(event);
}
void PropertyDevicePanel::resetPasskeysOnButtonClick(wxCommandEvent& event) {
    if (acts(pages::passkey)) m_passkeys->resetPasskeysOnButtonClick(event);
}

void PropertyDevicePanel::toggleZoneButton(wxCommandEvent& event) {
    if (acts(pages::zoneTargets)) m_zoneTargets->toggleZoneButton(event);
}
void PropertyDevicePanel::removeZoneOnButtonClick(wxCommandEvent& event) {
    if (acts(pages::zoneTargets)) m_zoneTargets->removeZoneOnButtonClick(event);
}
void PropertyDevicePanel::resetZonesOnButtonClick(wxCommandEvent& event) {
    if (acts(pages::zoneTargets)) m_zoneTargets->resetZonesOnButtonClick(event);
}
void PropertyDevicePanel::fixZoneIntegrityOnButtonClick(wxCommandEvent& event) {
    // Both zone pages have the button; each serves its own.
    if (event.GetEventObject() == m_fixLinks) {
        if (acts(pages::linkedConsoles)) m_linkedConsoles->fixZoneIntegrityOnButtonClick(event);
    } else if (acts(pages::zoneTargets)) {
        m_zoneTargets->fixZoneIntegrityOnButtonClick(event);
    }
}
void PropertyDevicePanel::allZonesOnCheckBox(wxCommandEvent& event) {
    if (acts(pages::zoneTargets)) m_zoneTargets->allZonesOnCheckBox(event);
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
    if (acts(pages::debugMessage)) m_debug->setVolumeOnScrollChanged(event);
}
void PropertyDevicePanel::chartOnCheckBox(wxCommandEvent& event) {
    m_debug->chartOnCheckBox(event);
}
void PropertyDevicePanel::paintTextOnPanel(wxPaintEvent& event) {
    m_debug->paintTextOnPanel(event);
}

}  // namespace frm
