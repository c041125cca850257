#include "propertypanel/pages/ZoneTargetsPage.h"

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
#include "propertypanel/ApplyRules.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

constexpr std::size_t kZonesSlot = 0;
constexpr std::size_t kMessagesSlot = 1;

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

// A loudspeaker's memory as the page compares it: its stamp and its scenarios.
struct Memory {
    std::optional<std::wstring> stamp;
    std::vector<device::memory::ScenarioEntry> scenarios;
};
Memory readMemory(device::VokarInfo& loudspeaker) {
    Memory read;
    if (const auto memory = memoryOf(loudspeaker)) {
        read.stamp = memory->getHash();
        read.scenarios = memory->getScenarios();
    }
    return read;
}

ZoneTargetsPage::Read readTargets(device::DeviceCollection& registry, const PropertyPage::DevicePtr& device,
                                  std::optional<int> zone) {
    auto* console = dynamic_cast<device::TribelInfo*>(device.get());
    debug::throwIfFalse(console != nullptr, "frm::PropertyDevicePanel::fillZoneTargets");
    ZoneTargetsPage::Read read;
    zones::TargetsRead& targets = read.targets;
    const device::TribelState state = console->getState();
    targets.bound = state.boundZones;
    targets.connected = state.connectedZones;
    targets.activated = state.activatedZones;
    const device::DeviceCollection::BrokenZones broken =
        registry.searchForDevicesWithBrokenTranslationZones();
    const auto own = broken.find(device);
    targets.consoleBroken = own != broken.end();
    if (targets.consoleBroken) {
        for (const auto& [number, addresses] : own->second) {
            std::vector<std::string>& texts = targets.broken[number];
            for (const net::HardwareAddress& address : addresses) texts.push_back(address.canonicalText());
        }
    }
    targets.zones = console->getZones();
    if (targets.consoleBroken || !state.power2On) targets.switchedOff = console->getZonesOff();
    std::set<std::uint32_t> members;
    if (zone) {
        if (const auto found = targets.zones.find(*zone); found != targets.zones.end())
            members = found->second.addresses;
    }
    for (const auto& loudspeaker : registry.getVokars<device::VokarInfo>(false)) {
        const net::HardwareAddress& address = loudspeaker->getHardwareAddress();
        zones::Listed listed;
        listed.low = address.getLow();
        listed.address = address.canonicalText();
        listed.name = loudspeaker->getDisplayName();
        listed.versionId = loudspeaker->getVersionId();
        listed.answering = loudspeaker->isOnlineAndResponding();
        listed.alarm = loudspeaker->isPlaybackType(device::playback::metaAlarm);
        if (members.count(listed.low) == 1) {
            Memory memory = readMemory(*loudspeaker);
            listed.stamp = std::move(memory.stamp);
            listed.scenarios = std::move(memory.scenarios);
        }
        targets.loudspeakers.push_back(std::move(listed));
        read.loudspeakers.push_back(loudspeaker);
    }
    targets.fire = console->getConfig(false).fireConsole;
    return read;
}

}  // namespace

ZoneTargetsPage::ZoneTargetsPage(PropertyDevicePanel& panel)
    : PropertyPage(panel, pages::zoneTargets, panel.m_pageZoneTargets),
      repair_(panel, pages::zoneTargets, panel.m_pageZoneTargets) {}

void ZoneTargetsPage::clear() {
    PropertyDevicePanel& p = panel();
    p.m_zoneDeviceRows->Clear(true);
    p.m_resetZones->Enable();
    p.m_removeZone->Disable();
    p.m_zoneMemoryHint->Hide();
    p.m_allZones->SetValue(false);
}

void ZoneTargetsPage::fill() {
    PropertyDevicePanel& p = panel();
    // The message choice is built anew: what the ticks read for it is of no use any more.
    drop(kMessagesSlot);
    {
        GuiFreezer freezer(p.m_pageZoneTargets);
        clear();
        p.m_zoneDeviceList->FitInside();
        p.m_pageZoneTargets->Layout();
    }
    fillZoneTargets(false);
}

void ZoneTargetsPage::refresh() {
    // Ticks not yet applied stay: the page is shown anew only while it has no edits.
    if (!panel().pageEdited()) fillZoneTargets(true);
}

void ZoneTargetsPage::fillZoneTargets(bool quiet) {
    if (!dynamic_cast<device::TribelInfo*>(device().get())) return;
    PropertyDevicePanel& p = panel();
    for (std::size_t index = 0; index < p.m_zoneButtons.size(); ++index) {
        if (p.m_zoneButtons[index]->GetValue()) zone_ = static_cast<int>(index) + 1;
    }
    if (!quiet) await();
    device::DeviceCollection& registry = p.registry();
    PropertyPage::read<Read>(
        kZonesSlot, L"read the zone targets",
        [&registry, zone = zone_](const DevicePtr& device) { return readTargets(registry, device, zone); },
        [this, quiet](const Read& read) {
            // A refresh that arrives after the operator began to edit leaves the edits.
            if (quiet && panel().pageEdited()) return;
            show(read);
        });
}

void ZoneTargetsPage::show(const Read& read) {
    PropertyDevicePanel& p = panel();
    const zones::TargetsView view = zones::targetsView(read.targets, zone_, p.debugMode());
    GuiFreezer freezer(p.m_pageZoneTargets);
    clear();
    ready();
    for (std::size_t index = 0; index < p.m_zoneButtons.size(); ++index)
        p.m_zoneButtons[index]->SetBackgroundColour(colourOf(view.buttons[index]));
    p.m_removeZone->Enable(view.removeZoneEnabled);
    const wxFont font(11, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                      L"Courier New");
    for (const zones::Box& row : view.boxes) {
        auto* box = new wxCheckBox(p.m_zoneDeviceList, wxID_ANY, row.label);
        if (row.loudspeaker)
            box->SetClientObject(
                new PropertyDevicePanel::TranslationZoneData(read.loudspeakers[*row.loudspeaker]));
        box->SetFont(font);
        p.m_zoneDeviceRows->Add(box, 0, wxEXPAND | wxALL, 5);
        box->Bind(wxEVT_CHECKBOX, &ZoneTargetsPage::selectVokarInZoneOnCheckBox, this);
        box->SetValue(row.ticked);
        box->SetForegroundColour(*wxBLACK);
        if (row.background != zones::Colour::plain) box->SetBackgroundColour(colourOf(row.background));
    }
    p.m_zoneMemoryHint->Show(view.hint);
    p.m_allZones->SetValue(view.allTicked && !untickAll_);
    untickAll_ = false;
    p.m_zoneMessage->Clear();
    for (const std::wstring& message : view.messages) p.m_zoneMessage->Append(message);
    p.m_zoneMessage->SetSelection(view.message);
    p.m_zoneMessage->Enable(view.messageEnabled);
    if (!view.anyListed)
        p.m_zoneDeviceRows->Add(
            new wxStaticText(p.m_zoneDeviceList, wxID_ANY, L"Нет совместимого устройства в сети"));
    p.m_fixZones->Show(view.fixShown);
    p.m_fixZones->Enable();
    p.m_zoneDeviceList->FitInside();
    p.m_pageZoneTargets->Layout();
}

void ZoneTargetsPage::deviceChanged() {
    // No zone of another console is chosen yet.
    zone_.reset();
    for (wxToggleButton* zone : panel().m_zoneButtons) zone->SetValue(false);
}

void ZoneTargetsPage::cancel() {
    // The page is being read again: "Все" is unticked once it shows.
    if (!waits()) {
        panel().m_allZones->SetValue(false);
    } else {
        untickAll_ = true;
    }
}

void ZoneTargetsPage::selectVokarInZoneOnCheckBox(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::selectVokarInZoneOnCheckBox").trace(L"");
    if (!acts()) return;
    PropertyDevicePanel& p = panel();
    p.enableApplyButtons(true);
    p.m_zoneMemoryHint->Hide();
    bool allTicked = true;
    bool unknownTicked = false;
    std::vector<std::shared_ptr<device::VokarInfo>> ticked;
    for (const wxSizerItem* item : p.m_zoneDeviceRows->GetChildren()) {
        const auto* box = dynamic_cast<const wxCheckBox*>(item->GetWindow());
        if (box == nullptr) continue;
        allTicked = allTicked && box->GetValue();
        if (!box->GetValue() || unknownTicked) continue;
        const auto* data =
            dynamic_cast<const PropertyDevicePanel::TranslationZoneData*>(box->GetClientObject());
        if (data == nullptr) {
            unknownTicked = true;
            continue;
        }
        const auto loudspeaker = std::dynamic_pointer_cast<device::VokarInfo>(data->device());
        debug::throwIfFalse(loudspeaker != nullptr, "frm::PropertyDevicePanel::selectVokarInZoneOnCheckBox");
        ticked.push_back(loudspeaker);
    }
    p.m_allZones->SetValue(allTicked);
    // The ticked loudspeakers' memories are read off the window; the choice follows once they are,
    // and until then the page takes nothing: apply would bind the zone with a message the ticked
    // loudspeakers may not share.
    await();
    PropertyPage::read<std::vector<Memory>>(
        kMessagesSlot, L"read the ticked loudspeakers' memories",
        [ticked](const DevicePtr&) {
            std::vector<Memory> memories;
            for (const auto& loudspeaker : ticked) memories.push_back(readMemory(*loudspeaker));
            return memories;
        },
        [this, unknownTicked](const std::vector<Memory>& memories) {
            ready();
            std::vector<std::optional<std::wstring>> stamps;
            for (const Memory& memory : memories) stamps.push_back(memory.stamp);
            showMessages(
                zones::messagesFor(stamps, unknownTicked),
                memories.empty() ? std::vector<device::memory::ScenarioEntry>() : memories.back().scenarios);
        });
    p.m_zoneDeviceList->FitInside();
    p.m_pageZoneTargets->Layout();
}

void ZoneTargetsPage::showMessages(const zones::Messages& messages,
                                   const std::vector<device::memory::ScenarioEntry>& last) {
    PropertyDevicePanel& p = panel();
    if (messages.hint) p.m_zoneMemoryHint->Show();
    if (messages.microphoneOnly) {
        p.m_zoneMessage->Clear();
        p.m_zoneMessage->Append(L"Вещание с микрофона");
        p.m_zoneMessage->SetSelection(0);
    } else if (p.m_zoneMessage->GetCount() < 2) {
        for (const device::memory::ScenarioEntry& scenario : last)
            p.m_zoneMessage->Append(zones::scenarioItem(scenario));
    }
    p.m_pageZoneTargets->Layout();
}

void ZoneTargetsPage::toggleZoneButton(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::toggleZoneButton").trace(L"");
    auto* pressed = dynamic_cast<wxToggleButton*>(event.GetEventObject());
    debug::throwIfFalse(pressed != nullptr, "frm::PropertyDevicePanel::toggleZoneButton");
    for (wxToggleButton* button : panel().m_zoneButtons) button->SetValue(button == pressed);
    panel().enableApplyButtons(false);
    fill();
}

void ZoneTargetsPage::allZonesOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::allZonesOnCheckBox").trace(L"");
    PropertyDevicePanel& p = panel();
    for (const wxSizerItem* item : p.m_zoneDeviceRows->GetChildren()) {
        if (auto* box = dynamic_cast<wxCheckBox*>(item->GetWindow())) box->SetValue(p.m_allZones->GetValue());
    }
    selectVokarInZoneOnCheckBox(event);
}

void ZoneTargetsPage::removeZoneOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::removeZoneOnButtonClick").trace(L"");
    PropertyDevicePanel& p = panel();
    if (!zone_ ||
        !p.questions().ask({L"Внимание!", L"Удалить текущую зону?", Questions::Question::Buttons::yesNo,
                            Questions::Question::Icon::exclamation}))
        return;
    p.m_removeZone->Disable();
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(device());
    debug::throwIfFalse(console != nullptr, "frm::PropertyDevicePanel::removeZoneOnButtonClick");
    device::DeviceCollection& registry = p.registry();
    write<bool>(
        L"delete a zone",
        [&registry, console, zone = *zone_](const DevicePtr&) {
            registry.unbindDevices(console, zone);
            return true;
        },
        [this](const bool&) { panel().updateData(); });
}

void ZoneTargetsPage::resetZonesOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::resetZonesOnButtonClick").trace(L"");
    PropertyDevicePanel& p = panel();
    if (!p.questions().ask({L"Внимание!", L"Удалить все зоны?", Questions::Question::Buttons::yesNo,
                            Questions::Question::Icon::exclamation}))
        return;
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(device());
    debug::throwIfFalse(console != nullptr, "frm::PropertyDevicePanel::resetZonesOnButtonClick");
    p.m_resetZones->Disable();
    device::DeviceCollection& registry = p.registry();
    // Whatever a zone's unbinding ends in, the page shows the zones as they are now and its button
    // works again. A zone the registry refuses to change is reported and stays; the others go.
    const auto refill = [this] {
        panel().m_resetZones->Enable();
        panel().updateData();
    };
    struct Unbound {
        std::vector<std::wstring> refusals;
        std::exception_ptr failure;
    };
    write<Unbound>(
        L"delete every zone",
        [&registry, console](const DevicePtr&) {
            Unbound unbound;
            try {
                for (const auto& [number, zone] : console->getZones()) {
                    try {
                        registry.unbindDevices(console, number);
                    } catch (const exception::UserResponse& refusal) {
                        unbound.refusals.push_back(apply::refusalText(refusal.message));
                    }
                }
            } catch (...) {
                unbound.failure = std::current_exception();
            }
            return unbound;
        },
        [refill](const Unbound& unbound) {
            for (const std::wstring& refusal : unbound.refusals)
                debug::Place("frm::PropertyDevicePanel::resetZonesOnButtonClick").notice(L"%1%", refusal);
            refill();
            if (unbound.failure) std::rethrow_exception(unbound.failure);
        });
}

void ZoneTargetsPage::fixZoneIntegrityOnButtonClick(wxCommandEvent& event) {
    repair_.fixZoneIntegrityOnButtonClick(event);
}

void ZoneTargetsPage::apply(AppliedHandler done) {
    const debug::Place place("frm::PropertyDevicePanel::applyOnButtonClick");
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(device());
    if (!console) {
        done(Applied());
        return;
    }
    PropertyDevicePanel& p = panel();
    device::DeviceCollection& registry = p.registry();
    device::DeviceCollection::Loudspeakers chosen;
    for (const wxSizerItem* row : p.m_zoneDeviceRows->GetChildren()) {
        const auto* box = dynamic_cast<const wxCheckBox*>(row->GetWindow());
        if (box == nullptr || !box->GetValue()) continue;
        const auto* data =
            dynamic_cast<const PropertyDevicePanel::TranslationZoneData*>(box->GetClientObject());
        if (data == nullptr || !data->device()) {
            place.warn(L"Выбрано неизвестное устройство (не в сети)");
            Applied stopped;
            stopped.stopped = true;
            done(stopped);
            return;
        }
        const auto loudspeaker = registry.searchFor<device::VokarInfo>(data->device()->getHardwareAddress());
        debug::throwIfFalse(loudspeaker != nullptr, "frm::PropertyDevicePanel::applyOnButtonClick");
        chosen.insert(loudspeaker);
    }
    const apply::ZoneApply zone = apply::zoneApply(zone_, p.m_zoneMessage->GetSelection(), chosen.size());
    if (zone.action == apply::ZoneApply::Action::refuse) {
        place.notice(L"%1%", zone.refusal);
        Applied refused;
        refused.success = false;
        done(refused);
        return;
    }
    write<std::optional<std::wstring>>(
        L"bind the zone",
        [&registry, console, zone, number = *zone_, chosen](const DevicePtr&) -> std::optional<std::wstring> {
            try {
                if (zone.action == apply::ZoneApply::Action::unbind) {
                    registry.unbindDevices(console, number);
                } else {
                    registry.rebindDevices(console, number, zone.scenario, chosen);
                }
            } catch (const exception::UserResponse& refusal) {
                return apply::refusalText(refusal.message);
            }
            return std::nullopt;
        },
        [this, done](const std::optional<std::wstring>& refusal) {
            Applied applied;
            if (refusal) {
                debug::Place("frm::PropertyDevicePanel::applyOnButtonClick").notice(L"%1%", *refusal);
                applied.success = false;
            }
            fill();
            done(applied);
        });
}

}  // namespace frm
