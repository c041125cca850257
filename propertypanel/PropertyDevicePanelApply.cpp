// Apply and cancel: "&Применить" writes the edits of the current page to the device, "&Отмена"
// drops them and refills the page.

#include "app/kit/Questions.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/IAudioControl.h"
#include "devices/LineControl.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/SettingKeys.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "propertypanel/ApplyPage.h"
#include "propertypanel/ChoiceData.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

std::string textOf(const wxTextCtrl* box) {
    return base::narrow(box->GetValue().ToStdWstring());
}

std::optional<std::uint32_t> selectionOf(const wxChoice* choice) {
    const int selection = choice->GetSelection();
    if (selection < 0) return std::nullopt;
    return static_cast<std::uint32_t>(selection);
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

}  // namespace

void PropertyDevicePanel::applyOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::applyOnButtonClick");
    place.trace(L"");
    if (!checkOnlineDevice()) return;
    if (!m_closeCallback || !m_updateCallback) {
        place.warn(L"Internal error. callback doesn't set");
        return;
    }
    ApplyResult result;
    switch (m_currentTab) {
        case pages::common:
            applyCommonPage(result);
            break;
        case pages::audioMemory:
            if (m_audioMemory && m_audioMemory->hasChanges()) result.success = writeAudioMemory();
            break;
        case pages::network:
            applyNetworkPage(result);
            break;
        case pages::nerida:
            applyNeridaPage(result);
            break;
        case pages::source:
            applySourcePage(result);
            break;
        case pages::lineControl:
            applyLinePage(result);
            break;
        case pages::zoneTargets:
            applyZoneTargets(result);
            break;
        default:
            break;
    }
    const apply::ApplyEnding ending =
        apply::applyEnding(result.success, result.stopped, result.closeAfterwards);
    if (ending.reportSuccess) place.notice(L"Выполнение операции завершено");
    if (ending.disableButtons) enableApplyButtons(false);
    if (ending.refill) updateData();
    if (ending.close) m_closeCallback();
}

void PropertyDevicePanel::applyCommonPage(ApplyResult& result) {
    const DevicePtr device = m_device;
    const std::wstring name = m_name->GetValue().ToStdWstring();
    if (name != device->getDisplayName()) {
        debug::Place("frm::PropertyDevicePanel::applyOnButtonClick")
            .info(L"rename device, old name '%1%', new name '%2%'", device->getDisplayName(), name);
        device->setTitle(name);
        m_deviceName->SetLabel(device->getDisplayName());
        m_updateCallback();
    }
    if (const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(device)) {
        const device::VokarConfig config = apply::loudspeakerCommon(
            vokar->getConfig(true), m_lineMode->GetSelection(), m_lineTest->GetValue());
        result.closeAfterwards = vokar->setConfig(config);
    } else if (std::dynamic_pointer_cast<device::TribelInfo>(device)) {
        applyConsoleOptions(result);
    }
}

void PropertyDevicePanel::applyConsoleOptions(ApplyResult& result) {
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    apply::ConsoleControls controls;
    if (const auto gong = selectedData(*m_gongCombo)) controls.gongId = static_cast<std::uint16_t>(*gong);
    controls.gong = m_useGong->GetValue();
    controls.keySound = m_keySound->GetValue();
    controls.faultSound = m_faultSound->GetValue();
    controls.singlePower = m_singlePower->GetValue();
    controls.analogInput = m_analogInput->GetValue();
    controls.zoneIndication = m_zoneIndication->GetValue();
    controls.holdToTalk = m_holdToTalk->GetValue();
    controls.type = m_tribelType->GetSelection();
    controls.typePriority = m_typePriority->GetValue();
    controls.powerInput1 = selectionOf(m_powerInput1);
    controls.powerInput2 = selectionOf(m_powerInput2);
    const device::TribelConfig config = apply::consoleConfig(console->getConfig(false), controls);
    bool written = m_devices->setTribelConfig(console, config, false);
    if (!written &&
        m_questions.askYesNo(
            L"Сообщение",
            L"При переключении на консоль вещания будут удалены зоны с запуском сообщений, продолжить?"))
        written = m_devices->setTribelConfig(console, config, true);
    result.success = written;
    checkTribelConfig(false);
    m_pageCommon->Layout();
    m_pageCommon->Refresh();
}

void PropertyDevicePanel::applyNetworkPage(ApplyResult& result) {
    apply::NetworkControls controls;
    controls.multicast = textOf(m_multicast);
    controls.allowIp = m_allowIp->GetValue();
    controls.allowedIp = textOf(m_allowedIp);
    controls.basePort = m_basePort->GetValue();
    controls.dhcp = m_dhcp->GetValue();
    controls.addresses = {textOf(m_ip), textOf(m_mask), textOf(m_gateway)};
    controls.lanRedundancy = m_lanRedundancy->GetValue();
    controls.igmp = m_igmp->GetValue();
    result.closeAfterwards =
        m_device->setCommonConfig(apply::networkConfig(m_device->getCommonConfig(true), controls));
}

void PropertyDevicePanel::applyNeridaPage(ApplyResult& result) {
    const apply::NeridaControls controls{m_neridaAddress->GetValue(), m_neridaRelay->GetValue(),
                                         m_neridaTest->GetValue(), m_neridaReserve->GetValue()};
    result.closeAfterwards =
        m_device->setCommonConfig(apply::neridaConfig(m_device->getCommonConfig(true), controls));
}

void PropertyDevicePanel::applySourcePage(ApplyResult& result) {
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    if (!vokar) return;
    apply::SourceControls controls;
    controls.allowOther = m_allowOtherStream->GetValue();
    controls.passInput1 = m_passInput1->GetValue();
    controls.passInput2 = m_passInput2->GetValue();
    const wxChoice* const priorities[fill::kPriorityCount] = {m_priVoiceAlert,  m_priAin1,      m_priAin0,
                                                              m_priStreamMCast, m_priZoneInput, m_priStream};
    for (std::size_t source = 0; source < fill::kPriorityCount; ++source)
        controls.priorities[source] = selectedText(priorities[source]);
    controls.scenarios = {scenarioOf(m_ain0Scenario), scenarioOf(m_ain1Scenario)};
    controls.lineIntegrity = {m_ain0LineIntegrity->GetValue(), m_ain1LineIntegrity->GetValue()};
    const device::VokarConfig config = apply::sourceConfig(vokar->getConfig(false), controls,
                                                           pref::getBool(setting::mainWindowAlarmButtons));
    result.closeAfterwards = vokar->setConfig(config);
}

void PropertyDevicePanel::applyLinePage(ApplyResult& result) {
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    if (!vokar) return;
    result.success = vokar->getLineControl()->setPowerSaveMode(m_powerSave->GetValue() ? 1 : 0);
}

void PropertyDevicePanel::applyZoneTargets(ApplyResult& result) {
    const debug::Place place("frm::PropertyDevicePanel::applyOnButtonClick");
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    if (!console) return;
    device::DeviceCollection::Loudspeakers chosen;
    for (const wxSizerItem* row : m_zoneDeviceRows->GetChildren()) {
        const auto* box = dynamic_cast<const wxCheckBox*>(row->GetWindow());
        if (box == nullptr || !box->GetValue()) continue;
        const auto* data = dynamic_cast<const TranslationZoneData*>(box->GetClientObject());
        if (data == nullptr || !data->device()) {
            place.warn(L"Выбрано неизвестное устройство (не в сети)");
            result.stopped = true;
            return;
        }
        const auto loudspeaker =
            m_devices->searchFor<device::VokarInfo>(data->device()->getHardwareAddress());
        debug::throwIfFalse(loudspeaker != nullptr, "frm::PropertyDevicePanel::applyOnButtonClick");
        chosen.insert(loudspeaker);
    }
    const apply::ZoneApply zone =
        apply::zoneApply(m_currentZone, m_zoneMessage->GetSelection(), chosen.size());
    try {
        switch (zone.action) {
            case apply::ZoneApply::Action::refuse:
                place.notice(L"%1%", zone.refusal);
                result.success = false;
                return;
            case apply::ZoneApply::Action::unbind:
                m_devices->unbindDevices(console, *m_currentZone);
                break;
            case apply::ZoneApply::Action::rebind:
                m_devices->rebindDevices(console, *m_currentZone, zone.scenario, chosen);
                break;
        }
    } catch (const exception::UserResponse& refusal) {
        place.notice(L"%1%", apply::refusalText(refusal.message));
        result.success = false;
    }
    fillZoneTargets();
}

void PropertyDevicePanel::cancelOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::cancelOnButtonClick").trace(L"");
    // The page shows the device's values again: nothing is left to apply.
    enableApplyButtons(false);
    updateData();
    // The memory page's pending edits go as the memory is read again.
    if (m_device && m_currentTab == pages::audioMemory) awaitAudioMemory(true);
    if (const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device)) {
        if (console->requestPasskeys()) {
            console->finishPasskey();
            refreshPasskeys();
        }
        m_allZones->SetValue(false);
    }
}

}  // namespace frm
