// The zone targets of a console: its twenty zones, the loudspeakers of the zone chosen, the
// zone's message, and deleting and repairing zones.

#include <wx/tglbtn.h>

#include "app/kit/GuiFreezer.h"
#include "app/kit/Questions.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/IAudioControl.h"
#include "devices/PlaybackType.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "propertypanel/ApplyPage.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "propertypanel/ZoneTargets.h"

namespace frm {
namespace {

wxColour colourOf(zones::Colour colour) {
    switch (colour) {
        case zones::Colour::red:
            return wxColour(255, 0, 0);
        case zones::Colour::yellow:
            return wxColour(255, 216, 0);
        case zones::Colour::green:
            return wxColour(34, 208, 9);
        case zones::Colour::lightGreen:
            return wxColour(143, 250, 129);
        case zones::Colour::grey:
            return wxColour(225, 225, 225);
        case zones::Colour::amber:
            return wxColour(238, 202, 0);
        case zones::Colour::plain:
            break;
    }
    return wxNullColour;
}

// The memory of a loudspeaker that answers; none when it does not or its memory cannot be read,
// which then counts as a memory of its own.
std::shared_ptr<device::memory::IAudioControl> memoryOf(device::VokarInfo& loudspeaker) {
    if (!loudspeaker.isOnlineAndResponding()) return nullptr;
    try {
        return loudspeaker.getAudioMemory(false, true);
    } catch (const exception::Base& failure) {
        debug::Place("frm::PropertyDevicePanel::fillZoneTargets")
            .debug(L"No audio memory of '%1%': %2%", loudspeaker.getDisplayName(), failure.message);
        return nullptr;
    }
}

std::optional<std::wstring> stampOf(const std::shared_ptr<device::memory::IAudioControl>& memory) {
    if (!memory) return std::nullopt;
    return memory->getHash();
}

void appendScenarios(wxComboBox* choice, device::memory::IAudioControl& memory) {
    for (const device::memory::ScenarioEntry& scenario : memory.getScenarios())
        choice->Append(wxString::Format(L"%u - %ls", unsigned(scenario.order), scenario.name.c_str()));
}

}  // namespace

void PropertyDevicePanel::fillZoneTargets() {
    const debug::Place place("frm::PropertyDevicePanel::fillZoneTargets");
    GuiFreezer freezer(m_pageZoneTargets);
    m_zoneDeviceRows->Clear(true);
    m_resetZones->Enable();
    m_removeZone->Disable();
    m_zoneMemoryHint->Hide();
    m_allZones->SetValue(false);
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    if (console) {
        const device::TribelState state = console->getState();
        const device::DeviceCollection::BrokenZones broken =
            m_devices->searchForDevicesWithBrokenTranslationZones();
        const auto own = broken.find(m_device);
        const bool consoleBroken = own != broken.end();
        const device::ConsoleZones zoneList = console->getZones();

        for (std::size_t index = 0; index < m_zoneButtons.size(); ++index) {
            wxToggleButton* button = m_zoneButtons[index];
            const int zone = static_cast<int>(index) + 1;
            zones::ZoneState zoneState{state.boundZones, state.connectedZones, state.activatedZones,
                                       consoleBroken && own->second.count(zone) == 1, std::nullopt};
            if (const auto found = zoneList.find(zone); found != zoneList.end())
                zoneState.scenario = found->second.scenario;
            button->SetBackgroundColour(colourOf(zones::zoneColour(zone, zoneState)));
            if (button->GetValue()) m_currentZone = zone;
        }

        device::DeviceCollection::Addresses brokenAddresses;
        if (consoleBroken && m_currentZone) {
            if (const auto found = own->second.find(*m_currentZone); found != own->second.end())
                brokenAddresses = found->second;
        }
        const std::set<int> switchedOff =
            consoleBroken || !state.power2On ? console->getZonesOff() : std::set<int>();
        device::ConsoleZone zone;
        if (m_currentZone) {
            if (const auto found = zoneList.find(*m_currentZone); found != zoneList.end())
                zone = found->second;
        }
        if (!zone.addresses.empty()) m_removeZone->Enable();

        const wxFont font(11, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                          L"Courier New");
        const auto addBox = [&](const wxString& label, bool ticked, const DevicePtr& device,
                                zones::Colour colour) {
            auto* box = new wxCheckBox(m_zoneDeviceList, wxID_ANY, label);
            if (device) box->SetClientObject(new TranslationZoneData(device));
            box->SetFont(font);
            m_zoneDeviceRows->Add(box, 0, wxEXPAND | wxALL, 5);
            box->Bind(wxEVT_CHECKBOX, &PropertyDevicePanel::selectVokarInZoneOnCheckBox, this);
            box->SetValue(ticked);
            box->SetForegroundColour(*wxBLACK);
            if (colour != zones::Colour::plain) box->SetBackgroundColour(colourOf(colour));
        };

        const auto loudspeakers = m_devices->getVokars<device::VokarInfo>(false);
        bool allTicked = true;
        bool anyListed = false;
        zones::MemoryMatch match(loudspeakers.size());
        std::vector<std::shared_ptr<device::memory::IAudioControl>> memories(loudspeakers.size());
        for (std::size_t index = 0; index < loudspeakers.size(); ++index) {
            device::VokarInfo& loudspeaker = *loudspeakers[index];
            const net::HardwareAddress& address = loudspeaker.getHardwareAddress();
            zones::Loudspeaker seen;
            seen.bound = zone.addresses.count(address.getLow()) == 1;
            seen.versionId = loudspeaker.getVersionId();
            seen.answering = loudspeaker.isOnlineAndResponding();
            seen.broken = brokenAddresses.erase(address) == 1;
            seen.lost = switchedOff.count(static_cast<int>(address.getLow())) == 1;
            seen.alarm = loudspeaker.isPlaybackType(device::playback::metaAlarm);
            seen.name = loudspeaker.getDisplayName();
            if (m_debugMode) seen.address = address.canonicalText();
            const zones::Row row = zones::loudspeakerRow(seen, m_debugMode);
            if (!row.listed) continue;
            addBox(row.label, seen.bound, loudspeakers[index], row.background);
            anyListed = true;
            allTicked = allTicked && seen.bound;
            if (!seen.bound) continue;
            memories[index] = memoryOf(loudspeaker);
            match.add(index, seen.answering, stampOf(memories[index]));
        }
        if (match.hint()) m_zoneMemoryHint->Show();
        for (const net::HardwareAddress& address : brokenAddresses) {
            addBox(wxString::FromUTF8(address.canonicalText()) + L" [Неизвестное устройство]", true, nullptr,
                   zones::Colour::grey);
            anyListed = true;
        }
        m_allZones->SetValue(allTicked);

        m_zoneMessage->Clear();
        m_zoneMessage->Append(L"Вещание с микрофона");
        m_zoneMessage->SetSelection(zone.scenario == -1 ? 0 : wxNOT_FOUND);
        m_zoneMessage->Enable(console->getConfig(false).fireConsole);
        if (const auto reference = match.reference()) {
            appendScenarios(m_zoneMessage, *memories[*reference]);
            if (zone.scenario >= 0 && static_cast<unsigned>(zone.scenario) < m_zoneMessage->GetCount())
                m_zoneMessage->SetSelection(zone.scenario);
        }
        if (!anyListed)
            m_zoneDeviceRows->Add(
                new wxStaticText(m_zoneDeviceList, wxID_ANY, L"Нет совместимого устройства в сети"));
        m_fixZones->Show(consoleBroken);
        m_fixZones->Enable();
    }
    m_zoneDeviceList->FitInside();
    m_pageZoneTargets->Layout();
}

void PropertyDevicePanel::selectVokarInZoneOnCheckBox(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::selectVokarInZoneOnCheckBox").trace(L"");
    enableApplyButtons(true);
    m_zoneMemoryHint->Hide();
    bool allTicked = true;
    bool unknownTicked = false;
    std::vector<std::shared_ptr<device::memory::IAudioControl>> memories;
    for (const wxSizerItem* item : m_zoneDeviceRows->GetChildren()) {
        const auto* box = dynamic_cast<const wxCheckBox*>(item->GetWindow());
        if (box == nullptr) continue;
        allTicked = allTicked && box->GetValue();
        if (!box->GetValue() || unknownTicked) continue;
        const auto* data = dynamic_cast<const TranslationZoneData*>(box->GetClientObject());
        if (data == nullptr) {
            unknownTicked = true;
            continue;
        }
        const auto loudspeaker = std::dynamic_pointer_cast<device::VokarInfo>(data->device());
        debug::throwIfFalse(loudspeaker != nullptr, "frm::PropertyDevicePanel::selectVokarInZoneOnCheckBox");
        memories.push_back(memoryOf(*loudspeaker));
    }
    m_allZones->SetValue(allTicked);
    std::vector<std::optional<std::wstring>> stamps;
    for (const auto& memory : memories) stamps.push_back(stampOf(memory));
    const zones::Messages messages = zones::messagesFor(stamps, unknownTicked);
    if (messages.hint) m_zoneMemoryHint->Show();
    if (messages.microphoneOnly) {
        m_zoneMessage->Clear();
        m_zoneMessage->Append(L"Вещание с микрофона");
        m_zoneMessage->SetSelection(0);
    } else if (m_zoneMessage->GetCount() < 2) {
        appendScenarios(m_zoneMessage, *memories.back());
    }
    m_zoneDeviceList->FitInside();
    m_pageZoneTargets->Layout();
}

void PropertyDevicePanel::toggleZoneButton(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::toggleZoneButton").trace(L"");
    auto* pressed = dynamic_cast<wxToggleButton*>(event.GetEventObject());
    debug::throwIfFalse(pressed != nullptr, "frm::PropertyDevicePanel::toggleZoneButton");
    for (wxToggleButton* button : m_zoneButtons) button->SetValue(button == pressed);
    enableApplyButtons(false);
    fillZoneTargets();
}

void PropertyDevicePanel::allZonesOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::allZonesOnCheckBox").trace(L"");
    for (const wxSizerItem* item : m_zoneDeviceRows->GetChildren()) {
        if (auto* box = dynamic_cast<wxCheckBox*>(item->GetWindow())) box->SetValue(m_allZones->GetValue());
    }
    selectVokarInZoneOnCheckBox(event);
}

void PropertyDevicePanel::removeZoneOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::removeZoneOnButtonClick").trace(L"");
    if (!m_currentZone || !m_questions.askYesNo(L"Внимание!", L"Удалить текущую зону?")) return;
    m_removeZone->Disable();
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    debug::throwIfFalse(console != nullptr, "frm::PropertyDevicePanel::removeZoneOnButtonClick");
    m_devices->unbindDevices(console, *m_currentZone);
    updateData();
}

void PropertyDevicePanel::resetZonesOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::resetZonesOnButtonClick").trace(L"");
    if (!m_questions.askYesNo(L"Внимание!", L"Удалить все зоны?")) return;
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    debug::throwIfFalse(console != nullptr, "frm::PropertyDevicePanel::resetZonesOnButtonClick");
    m_resetZones->Disable();
    // Whatever a zone's unbinding ends in, the page shows the zones as they are now and its
    // button works again.
    const auto refill = [this] {
        m_resetZones->Enable();
        updateData();
    };
    try {
        // A zone the registry refuses to change is reported and stays; the others go.
        for (const auto& [number, zone] : console->getZones()) {
            try {
                m_devices->unbindDevices(console, number);
            } catch (const exception::UserResponse& refusal) {
                debug::Place("frm::PropertyDevicePanel::resetZonesOnButtonClick")
                    .notice(L"%1%", apply::refusalText(refusal.message));
            }
        }
    } catch (...) {
        refill();
        throw;
    }
    refill();
}

void PropertyDevicePanel::fixZoneIntegrityOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::fixZoneIntegrityOnButtonClick").trace(L"");
    if (!m_device) return;
    try {
        m_devices->fixIntegrity(m_device);
    } catch (const exception::Offline&) {
        if (m_closeCallback) m_closeCallback();
        throw;
    }
    debug::Place("frm::PropertyDevicePanel::fixZoneIntegrityOnButtonClick")
        .notice(L"Выполнение операции завершено");
    if (auto* button = dynamic_cast<wxWindow*>(event.GetEventObject())) button->Disable();
}

}  // namespace frm
