#include "propertypanel/pages/LinkedConsolesPage.h"

#include <set>
#include <vector>

#include "app/kit/GuiFreezer.h"
#include "devicelink/DeviceCollection.h"
#include "devices/VokarInfo.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

struct LinkedConsolesPage::Read {
    struct Zone {
        // Built from the zone address under the maker's prefix; empty for an invalid one.
        std::string address;
        // The registered console with that address; null for none.
        DevicePtr console;
        fill::LinkedConsole seen;
        bool broken = false;
        bool lost = false;
    };
    // The loudspeaker itself is among the devices with broken zones.
    bool broken = false;
    std::vector<Zone> zones;
};

namespace {

constexpr std::size_t kConsolesSlot = 0;

LinkedConsolesPage::Read readConsoles(device::DeviceCollection& registry,
                                      const PropertyPage::DevicePtr& device) {
    LinkedConsolesPage::Read read;
    auto* vokar = dynamic_cast<device::VokarInfo*>(device.get());
    if (vokar == nullptr) return read;
    const device::DeviceCollection::BrokenZones brokenZones =
        registry.searchForDevicesWithBrokenTranslationZones();
    const auto own = brokenZones.find(device);
    read.broken = own != brokenZones.end();
    const std::set<std::uint32_t> switchedOff = vokar->readZoneAddressesOff();
    for (const std::uint32_t zone : vokar->readZoneAddresses()) {
        const net::HardwareAddress address(0, zone);
        LinkedConsolesPage::Read::Zone row;
        row.address = address.isValid() ? address.toCharArray() : "";
        row.console = registry.searchForFamily(address, device::types::console);
        if (row.console) {
            row.seen.address = row.console->getHardwareAddress().toCharArray();
            row.seen.name = row.console->getDisplayName();
            row.seen.onlineAndResponding = row.console->isOnlineAndResponding();
        }
        row.broken = read.broken && own->second.count(static_cast<std::int32_t>(zone)) == 1;
        row.lost = switchedOff.count(zone) == 1;
        read.zones.push_back(std::move(row));
    }
    return read;
}

}  // namespace

LinkedConsolesPage::LinkedConsolesPage(PropertyDevicePanel& panel)
    : PropertyPage(panel, pages::linkedConsoles, panel.m_pageLinkedConsoles),
      repair_(panel, pages::linkedConsoles, panel.m_pageLinkedConsoles) {}

void LinkedConsolesPage::fill() {
    PropertyDevicePanel& p = panel();
    {
        GuiFreezer freezer(p.m_pageLinkedConsoles);
        p.m_linkedConsoleRows->Clear(true);
        p.m_fixLinks->Hide();
        p.m_linkedConsoleList->FitInside();
        p.m_pageLinkedConsoles->Layout();
    }
    fillLinkedConsoles(false);
}

void LinkedConsolesPage::refresh() {
    fillLinkedConsoles(true);
}

void LinkedConsolesPage::fixZoneIntegrityOnButtonClick(wxCommandEvent& event) {
    repair_.fixZoneIntegrityOnButtonClick(event);
}

void LinkedConsolesPage::fillLinkedConsoles(bool quiet) {
    if (!quiet) await();
    device::DeviceCollection& registry = panel().registry();
    PropertyPage::read<Read>(
        kConsolesSlot, L"read the linked consoles",
        [&registry](const DevicePtr& device) { return readConsoles(registry, device); },
        [this](const Read& read) { show(read); });
}

void LinkedConsolesPage::show(const Read& read) {
    PropertyDevicePanel& p = panel();
    GuiFreezer freezer(p.m_pageLinkedConsoles);
    ready();
    p.m_linkedConsoleRows->Clear(true);
    const wxFont font(11, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                      L"Courier New");
    int number = 0;
    for (const Read::Zone& zone : read.zones) {
        const fill::LinkedConsoleRow row =
            fill::linkedConsoleRow(++number, zone.address, zone.console ? &zone.seen : nullptr, zone.broken,
                                   zone.lost, p.debugMode());
        auto* text = new wxStaticText(p.m_linkedConsoleList, wxID_ANY, row.text);
        text->SetClientObject(new PropertyDevicePanel::TranslationZoneData(zone.console));
        text->SetFont(font);
        text->SetForegroundColour(*wxBLACK);
        text->SetBackgroundColour(row.live ? wxColour(143, 250, 129) : wxColour(225, 225, 225));
        p.m_linkedConsoleRows->Add(text, 0, wxEXPAND | wxALL, 2);
    }
    p.m_fixLinks->Show(read.broken);
    p.m_fixLinks->Enable();
    p.m_linkedConsoleList->FitInside();
    p.m_pageLinkedConsoles->Layout();
}

}  // namespace frm
