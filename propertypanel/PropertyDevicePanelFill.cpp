// The panel's data flow: updateData fills the current page from the device.

#include <wx/thread.h>

#include "app/kit/GuiFreezer.h"
#include "app/kit/Questions.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/IAudioControl.h"
#include "devicelink/TransferProtocol.h"
#include "devices/TribelInfo.h"
#include "devices/VkaEqualizer.h"
#include "devices/VkbEqualizer.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/SettingKeys.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "propertypanel/ChoiceData.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/EqualizerControls.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

// One fill at a time in the whole program: a handler that a fill sets off does not fill again.
bool s_updating = false;

class UpdateRun {
public:
    UpdateRun() { s_updating = true; }
    ~UpdateRun() { s_updating = false; }
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;
};

std::vector<std::wstring> choiceItems(const wxChoice* choice) {
    std::vector<std::wstring> items;
    for (unsigned index = 0; index < choice->GetCount(); ++index)
        items.push_back(choice->GetString(index).ToStdWstring());
    return items;
}

}  // namespace

void PropertyDevicePanel::updateData() {
    if (m_isShutdown) return;
    if (!wxThread::IsMain()) {
        m_work.onGui([this] { updateData(); });
        return;
    }
    const debug::Place place("frm::PropertyDevicePanel::updateData");
    if (s_updating) {
        place.debug(L"skip the update data for current tab is %1%", m_currentTab);
        return;
    }
    const UpdateRun run;
    if (!m_device) return;
    place.trace(L"update data, current tab %1%", m_currentTab);
    if (!checkOnlineDevice()) return;
    debug::throwIfFalse(m_device && m_transfer, "frm::PropertyDevicePanel::updateData");
    layoutTabs();
    m_deviceName->SetLabel(m_device->getDisplayName());
    listenToDevice();
    try {
        fillPage();
    } catch (const exception::Offline&) {
        // A device that stops answering while its page is filled closes the panel at once.
        if (checkOnlineDevice()) throw;
        return;
    }
    place.trace(L"property data is updated");
}

void PropertyDevicePanel::fillPage() {
    const debug::Place place("frm::PropertyDevicePanel::updateData");
    if (const pages::PageInfo* page = pages::find(m_currentTab))
        place.trace(L"%1%", std::wstring(page->logName));
    switch (m_currentTab) {
        case pages::common:
            fillCommonPage();
            break;
        case pages::audioMemory:
            fillAudioMemoryPage();
            break;
        case pages::network:
            fillNetworkPage();
            break;
        case pages::nerida:
            fillNeridaPage();
            break;
        case pages::source:
            fillSourcePage();
            break;
        case pages::lineControl:
            fillLinePage();
            break;
        case pages::passkey:
            refreshPasskeys();
            break;
        case pages::zoneTargets:
            fillZoneTargets();
            break;
        case pages::linkedConsoles:
            fillLinkedConsoles();
            break;
        case pages::debugMessage:
            fillDebugPage();
            break;
        default:
            break;
    }
}

void PropertyDevicePanel::fillCommonPage() {
    const DevicePtr device = m_device;
    const DeviceTraits traits = traitsOf(*device);
    const fill::CommonPage view = fill::commonPage(traits);
    m_testDevice->Enable(view.deviceTestEnabled);
    m_nameLabel->Enable();
    m_name->Enable();
    m_name->ChangeValue(device->getDisplayName());
    m_equalizerCheck->Show(view.equalizerShown);
    m_equalizerArea->Show(view.equalizerShown);
    m_pageCommon->GetSizer()->Show(m_lineSettingsBox, view.lineSettingsShown, true);
    m_tribelPanel->Show(view.consoleShown);
    if (traits.compatible && traits.loudspeaker) fillLoudspeakerCommon();
    if (traits.compatible && traits.console) fillConsoleCommon();
    m_pageCommon->Layout();
    m_pageCommon->Refresh();
}

void PropertyDevicePanel::fillLoudspeakerCommon() {
    const debug::Place place("frm::PropertyDevicePanel::updateData");
    place.trace(L"select a megaphone");
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    const fill::CommonPage view = fill::commonPage(traitsOf(*vokar));
    m_equalizer = vokar->getEqualizer();
    if (view.bandEqualizer) {
        const auto* bands = dynamic_cast<const device::vkb::Equalizer*>(m_equalizer.get());
        if (bands == nullptr) {
            place.error(L"The equalizer is not suitable");
        } else if (m_bandSliders.size() != device::vkb::Equalizer::bandCount) {
            place.error(L"Does not match number of bands and ratios (%1%, %2%)",
                        device::vkb::Equalizer::bandCount, m_bandSliders.size());
        } else {
            for (std::size_t band = 0; band < m_bandSliders.size(); ++band)
                m_bandSliders[band]->SetValue(bands->getBands()[band]);
        }
    } else {
        const auto* tone = dynamic_cast<const device::vka::Equalizer*>(m_equalizer.get());
        SetFullBassVolume(tone ? tone->word() : 0);
    }
    m_bassTreblePanel->Show(!view.bandEqualizer);
    m_bandPanel->Show(view.bandEqualizer);
    for (wxWindow* control : {static_cast<wxWindow*>(m_bassLabel), static_cast<wxWindow*>(m_bassSlider),
                              static_cast<wxWindow*>(m_trebleLabel), static_cast<wxWindow*>(m_trebleSlider)})
        control->Enable();
    const bool equalizerOn = m_equalizer && m_equalizer->isEnabled();
    m_equalizerCheck->SetValue(equalizerOn);
    m_equalizerArea->Enable(equalizerOn);

    m_lineTest->Enable(view.lineSettingsEnabled);
    m_lineMode->Enable(view.lineSettingsEnabled);
    const device::VokarConfig config = vokar->getConfig(false);
    m_lineMode->SetSelection(config.lineDoubleOff ? 0 : 1);
    m_lineTest->SetValue(config.lineTest);
}

void PropertyDevicePanel::SetFullBassVolume(std::uint16_t word) {
    const device::vka::Equalizer equalizer(word);
    const int bass = equalizer.getBands()[1];
    const int treble = equalizer.getBands()[3];
    m_bassSlider->SetValue(bass);
    m_bassSlider->SetToolTip(eq::bassTip(bass, m_bassSlider->GetMax()));
    m_trebleSlider->SetValue(treble);
    m_trebleSlider->SetToolTip(eq::trebleTip(treble, m_trebleSlider->GetMin(), m_trebleSlider->GetMax()));
}

void PropertyDevicePanel::fillConsoleCommon() {
    debug::Place("frm::PropertyDevicePanel::updateData").trace(L"select a microphone console");
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    m_bassTreblePanel->Hide();
    m_bandPanel->Hide();
    const device::TribelConfig config = console->getConfig(false);
    // The gong list comes from the memory, read off the window; until it arrives it is empty and
    // disabled, and apply keeps the configured gong.
    const fill::ConsoleOptions options = fill::consoleOptions(config, console->getVersionId(), 0);

    m_keySound->SetValue(options.keySound);
    m_singlePower->SetValue(options.singlePower);
    m_singlePower->Enable(options.singlePowerEnabled);
    m_analogInput->SetValue(options.analogInput);
    m_analogInput->Enable(options.analogInputEnabled);
    m_faultSound->SetValue(options.faultSound);
    m_faultSound->Enable(options.faultSoundEnabled);
    m_zoneIndication->SetValue(options.zoneIndication);
    m_holdToTalk->SetValue(options.holdToTalk);
    m_holdToTalk->Enable(options.holdToTalkEnabled);
    m_tribelType->SetSelection(options.type);
    m_typePriority->SetValue(options.typePriority);
    m_powerInput1->SetSelection(options.powerInput1);
    m_powerInput2->SetSelection(options.powerInput2);
    m_powerInput2->Enable(options.powerInput2Enabled);

    m_gongCombo->Clear();
    m_gongCombo->Enable(false);
    m_useGong->SetValue(options.useGong);
    m_useGong->Enable(false);
    readConsoleFragments(config, console->getVersionId());
}

void PropertyDevicePanel::readConsoleFragments(const device::TribelConfig& config, std::uint32_t versionId) {
    const PageTicket ticket = m_work.ticket(m_device, pages::common);
    const std::uint64_t read = ++m_memoryRead;
    ticket.queue(kMemoryReadSlot, L"read the console's fragments", 0,
                 [this, ticket, read, config, versionId](const DevicePtr& device) {
                     std::vector<device::memory::FragmentEntry> fragments;
                     if (const auto memory = device->getAudioMemory(false, false))
                         fragments = memory->getFragments();
                     ticket.show([this, read, fragments, config, versionId] {
                         if (read != m_memoryRead) return;
                         const fill::ConsoleOptions options =
                             fill::consoleOptions(config, versionId, static_cast<int>(fragments.size()));
                         for (const device::memory::FragmentEntry& fragment : fragments)
                             m_gongCombo->Append(wxString::Format(L"%u - %ls", unsigned(fragment.order),
                                                                  fragment.name.c_str()),
                                                 itemData(fragment.id));
                         m_gongCombo->SetSelection(options.gong);
                         m_gongCombo->Enable(options.gongEnabled);
                         m_useGong->Enable(options.gongEnabled);
                     });
                 });
}

void PropertyDevicePanel::fillAudioMemoryPage() {
    const DevicePtr device = m_device;
    const int fragmentWidth = m_fragmentList->GetClientSize().GetWidth();
    const double fragmentShares[] = {18, 1.8, 10, 3.5};
    for (int column = 0; column < 4; ++column)
        m_fragmentList->SetColumnWidth(column, static_cast<int>(fragmentWidth / fragmentShares[column]));
    const int scenarioWidth = m_scenarioList->GetClientSize().GetWidth();
    const double scenarioShares[] = {18, 2.2, 9, 4.5, 6.5};
    for (int column = 0; column < 5; ++column)
        m_scenarioList->SetColumnWidth(column, static_cast<int>(scenarioWidth / scenarioShares[column]));
    m_pageAudioMemory->GetSizer()->Show(m_scenarioBox, traitsOf(*device).loudspeaker, true);

    awaitAudioMemory(false);
}

void PropertyDevicePanel::awaitAudioMemory(bool dropEdits) {
    // The memory is read off the window: until it arrives the page shows nothing and takes no edits.
    m_pageAudioMemory->Disable();
    m_freeMemory->Clear();
    m_audioMemory.reset();
    showAudioMemory();
    readAudioMemory(false, dropEdits);
}

void PropertyDevicePanel::readAudioMemory(bool overwrite, bool dropEdits) {
    const PageTicket ticket = m_work.ticket(m_device, pages::audioMemory);
    const std::uint64_t read = ++m_memoryRead;
    ticket.queue(kMemoryReadSlot, L"read the audio memory", 0,
                 [this, ticket, read, overwrite, dropEdits](const DevicePtr& device) {
                     std::shared_ptr<device::memory::IAudioControl> memory;
                     std::exception_ptr failure;
                     try {
                         memory = device->getAudioMemory(overwrite, true);
                         if (memory && dropEdits) memory->reload();
                     } catch (const exception::Base&) {
                         failure = std::current_exception();
                     }
                     ticket.show([this, read, memory, failure] {
                         if (read == m_memoryRead) showReadAudioMemory(memory, failure);
                     });
                 });
}

void PropertyDevicePanel::showReadAudioMemory(const std::shared_ptr<device::memory::IAudioControl>& memory,
                                              const std::exception_ptr& failure) {
    // The page is usable whatever a read leaves behind, unless the operator declines to overwrite
    // a memory the program cannot read.
    m_pageAudioMemory->Enable();
    m_audioMemory = memory;
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const exception::Base& error) {
            debug::Place("frm::PropertyDevicePanel::updateData")
                .warn(L"%1%", error.description.empty() ? error.message : error.description);
            if (fill::offerOverwrite(error)) {
                if (!m_questions.askYesNo(L"Сообщение", L"Разрешить перезапись аудио памяти?")) {
                    m_pageAudioMemory->Disable();
                    showAudioMemory();
                    return;
                }
                m_pageAudioMemory->Disable();
                readAudioMemory(true, false);
                return;
            }
        }
    }
    showAudioMemory();
    if (m_audioMemory && m_audioMemory->hasChanges()) enableApplyButtons(true);
    m_pageAudioMemory->Layout();
}

void PropertyDevicePanel::fillNetworkPage() {
    const DeviceTraits traits = traitsOf(*m_device);
    const fill::NetworkPage view = fill::networkPage(m_device->getCommonConfig(false), traits);
    enableDhcp(view.dhcp);
    m_multicast->ChangeValue(base::widen(view.multicast));
    m_allowIp->SetValue(view.allowIp);
    m_allowedIp->Enable(view.allowIp);
    m_allowedIp->ChangeValue(base::widen(view.allowedIp));
    m_basePort->SetValue(view.basePort);
    m_lanRedundancy->Enable(view.lanRedundancyEnabled);
    m_lanRedundancy->SetValue(view.lanRedundancy);
    m_igmp->Enable(view.igmpEnabled);
    m_igmp->SetValue(view.igmp);
    m_pageNetwork->Layout();
}

void PropertyDevicePanel::fillNeridaPage() {
    const fill::NeridaPage view = fill::neridaPage(m_device->getCommonConfig(true), traitsOf(*m_device));
    m_neridaAddress->SetValue(view.address);
    m_neridaRelay->SetValue(view.relay);
    m_neridaRelay->Enable(view.relayEnabled);
    m_neridaTest->SetValue(view.interfaceError);
    m_neridaReserve->SetValue(view.lineReserve);
    m_neridaReserve->Enable(view.lineReserveEnabled);
    m_pageNerida->Layout();
}

void PropertyDevicePanel::fillSourcePage() {
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    if (!vokar) {
        if (m_closeCallback) m_closeCallback();
        return;
    }
    const device::VokarConfig config = vokar->getConfig(false);
    m_allowOtherStream->SetValue(config.multicastListen);
    m_passInput1->SetValue(config.multicastAin0);
    m_passInput2->SetValue(config.multicastAin1);

    const std::array<std::uint16_t, fill::kPriorityCount> values = {
        config.priVoiceAlert,  config.priAin1,      config.priAin0,
        config.priStreamMCast, config.priZoneInput, config.priStream};
    const std::array<wxChoice*, fill::kPriorityCount> choices = {
        m_priVoiceAlert, m_priAin1, m_priAin0, m_priStreamMCast, m_priZoneInput, m_priStream};
    const auto items = fill::priorityItems(values, pref::getBool(setting::mainWindowAlarmButtons));
    for (std::size_t source = 0; source < choices.size(); ++source) {
        if (items[source] >= 0) choices[source]->SetSelection(items[source]);
    }

    // The scenarios come from the memory, read off the window; until they arrive an input set to
    // a scenario shows no item, which apply keeps as configured.
    for (wxChoice* choice : {m_ain0Scenario, m_ain1Scenario}) {
        choice->Clear();
        choice->Append(L"ГОиЧС / Микрофон");
    }
    initSource(config.multicastListen, config.multicastAin0, config.multicastAin1, true, true, &config);
    readSourceScenarios({config.ain0ScenarioId, config.ain1ScenarioId});
    m_ain0LineIntegrity->SetValue(config.ain0Arm);
    m_ain1LineIntegrity->SetValue(config.ain1Arm);
    updateSoundPressureButton();
    m_pageSource->Layout();
    m_pageSource->Refresh();
}

void PropertyDevicePanel::readSourceScenarios(const std::array<std::int16_t, 2>& configured) {
    const PageTicket ticket = m_work.ticket(m_device, pages::source);
    const std::uint64_t read = ++m_memoryRead;
    ticket.queue(kScenarioReadSlot, L"read the scenarios", 0,
                 [this, ticket, read, configured](const DevicePtr& device) {
                     std::vector<device::memory::ScenarioEntry> scenarios;
                     if (const auto memory = device->getAudioMemory(false, false))
                         scenarios = memory->getScenarios();
                     ticket.show([this, read, scenarios, configured] {
                         if (read != m_memoryRead) return;
                         const std::array<wxChoice*, 2> choices = {m_ain0Scenario, m_ain1Scenario};
                         for (std::size_t input = 0; input < choices.size(); ++input) {
                             for (const device::memory::ScenarioEntry& entry : scenarios)
                                 choices[input]->Append(entry.name, itemData(entry.id));
                             // An input the operator set meanwhile keeps its choice.
                             if (choices[input]->GetSelection() == wxNOT_FOUND)
                                 selectScenario(*choices[input], configured[input]);
                         }
                     });
                 });
}

void PropertyDevicePanel::fillLinePage() {
    if (const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device))
        m_powerSave->SetValue(vokar->getLineControl()->isPowerSaveMode());
    refreshTipDevices(false);
}

void PropertyDevicePanel::fillLinkedConsoles() {
    GuiFreezer freezer(m_pageLinkedConsoles);
    m_linkedConsoleRows->Clear(true);
    bool broken = false;
    if (const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device)) {
        const device::DeviceCollection::BrokenZones brokenZones =
            m_devices->searchForDevicesWithBrokenTranslationZones();
        const auto own = brokenZones.find(m_device);
        broken = own != brokenZones.end();
        const std::set<std::uint32_t> switchedOff = vokar->readZoneAddressesOff();
        const std::set<std::uint32_t> zones = vokar->readZoneAddresses();
        const wxFont font(11, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                          L"Courier New");
        int number = 0;
        for (const std::uint32_t zone : zones) {
            const net::HardwareAddress address(0, zone);
            const DevicePtr console = m_devices->searchForFamily(address, device::types::console);
            fill::LinkedConsole seen;
            if (console) {
                seen.address = console->getHardwareAddress().toCharArray();
                seen.name = console->getDisplayName();
                seen.onlineAndResponding = console->isOnlineAndResponding();
            }
            const bool zoneBroken = broken && own->second.count(static_cast<std::int32_t>(zone)) == 1;
            const fill::LinkedConsoleRow row = fill::linkedConsoleRow(
                ++number, address.isValid() ? address.toCharArray() : "", console ? &seen : nullptr,
                zoneBroken, switchedOff.count(zone) == 1, m_debugMode);
            auto* text = new wxStaticText(m_linkedConsoleList, wxID_ANY, row.text);
            text->SetClientObject(new TranslationZoneData(console));
            text->SetFont(font);
            text->SetForegroundColour(*wxBLACK);
            text->SetBackgroundColour(row.live ? wxColour(143, 250, 129) : wxColour(225, 225, 225));
            m_linkedConsoleRows->Add(text, 0, wxEXPAND | wxALL, 2);
        }
    }
    m_fixLinks->Show(broken);
    m_fixLinks->Enable();
    m_linkedConsoleList->FitInside();
    m_pageLinkedConsoles->Layout();
}

void PropertyDevicePanel::fillDebugPage() {
    const int mainSash = pref::getInt(setting::debugMainSplitter);
    if (mainSash != -1) m_mainSplitter->SetSashPosition(mainSash);
    m_historySplitter->SetSashPosition(pref::getInt(setting::debugHistorySplitter));
    const std::wstring period = base::widen(pref::getString(setting::debugRefreshTime));
    m_refreshTime->SetStringSelection(period);
    m_refreshPeriod = fill::refreshPeriod(period, choiceItems(m_refreshTime));
    m_debugLine->Enable(traitsOf(*m_device).lineControl);
    startDebugPage();
    initVolumeSlider();
}

}  // namespace frm
