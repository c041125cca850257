#include "propertypanel/pages/NetworkPage.h"

#include "devicelink/DeviceBase.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"
#include "propertypanel/ApplyRules.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

constexpr std::size_t kSettingsSlot = 0;
constexpr std::size_t kAddressSlot = 1;

std::string textOf(const wxTextCtrl* box) {
    return base::narrow(box->GetValue().ToStdWstring());
}

}  // namespace

NetworkPage::NetworkPage(PropertyDevicePanel& panel)
    : PropertyPage(panel, pages::network, panel.m_pageNetwork) {
    panel.m_igmp->Show(panel.debugMode());
    const int addressWidth = panel.m_ip->GetTextExtent(L"_255.255.255.255_").GetWidth();
    for (wxTextCtrl* field : {panel.m_ip, panel.m_mask})
        field->SetMinSize(wxSize(addressWidth, field->GetMinSize().GetHeight()));
}

void NetworkPage::fill() {
    PropertyDevicePanel& p = panel();
    const DeviceTraits traits = traitsOf(*device());
    await();
    read<device::CommonConfig>(
        kSettingsSlot, L"read the network settings",
        [](const DevicePtr& device) { return device->getCommonConfig(false); },
        [this, &p, traits](const device::CommonConfig& config) {
            config_ = config;
            const fill::NetworkPage view = fill::networkPage(config, traits);
            enableDhcp(view.dhcp);
            p.m_multicast->ChangeValue(base::widen(view.multicast));
            p.m_allowIp->SetValue(view.allowIp);
            p.m_allowedIp->Enable(view.allowIp);
            p.m_allowedIp->ChangeValue(base::widen(view.allowedIp));
            p.m_basePort->SetValue(view.basePort);
            p.m_lanRedundancy->Enable(view.lanRedundancyEnabled);
            p.m_lanRedundancy->SetValue(view.lanRedundancy);
            p.m_igmp->Enable(view.igmpEnabled);
            p.m_igmp->SetValue(view.igmp);
            ready();
            p.m_pageNetwork->Layout();
        });
}

void NetworkPage::enableDhcp(bool on) {
    PropertyDevicePanel& p = panel();
    p.m_dhcp->SetValue(on);
    for (wxTextCtrl* box : {p.m_ip, p.m_mask, p.m_gateway}) box->Enable(!on);
    const fill::AddressFields shown = fill::shownAddresses(config_, on);
    p.m_ip->ChangeValue(base::widen(shown.ip));
    p.m_mask->ChangeValue(base::widen(shown.mask));
    p.m_gateway->ChangeValue(base::widen(shown.gateway));
    read<device::CommonConfig>(
        kAddressSlot, L"read the network addresses",
        [](const DevicePtr& device) { return device->getCommonConfig(true); },
        [this, &p, on, shown](const device::CommonConfig& config) {
            config_ = config;
            const fill::AddressFields boxes{textOf(p.m_ip), textOf(p.m_mask), textOf(p.m_gateway)};
            if (p.m_dhcp->GetValue() != on || !(boxes == shown)) return;
            const fill::AddressFields fresh = fill::shownAddresses(config, on);
            p.m_ip->ChangeValue(base::widen(fresh.ip));
            p.m_mask->ChangeValue(base::widen(fresh.mask));
            p.m_gateway->ChangeValue(base::widen(fresh.gateway));
        });
}

void NetworkPage::dhcpOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::dhcpOnCheckBox").trace(L"");
    enableDhcp(panel().m_dhcp->GetValue());
    panel().enableApplyButtons(true);
    event.Skip();
}

void NetworkPage::allowIpOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::allowIpOnCheckBox").trace(L"");
    panel().m_allowedIp->Enable(panel().m_allowIp->GetValue());
    panel().enableApplyButtons(true);
    event.Skip();
}

void NetworkPage::apply(AppliedHandler done) {
    const PropertyDevicePanel& p = panel();
    apply::NetworkControls controls;
    controls.multicast = textOf(p.m_multicast);
    controls.allowIp = p.m_allowIp->GetValue();
    controls.allowedIp = textOf(p.m_allowedIp);
    controls.basePort = p.m_basePort->GetValue();
    controls.dhcp = p.m_dhcp->GetValue();
    controls.addresses = {textOf(p.m_ip), textOf(p.m_mask), textOf(p.m_gateway)};
    controls.lanRedundancy = p.m_lanRedundancy->GetValue();
    controls.igmp = p.m_igmp->GetValue();
    write<Applied>(
        L"write the network settings",
        [controls](const DevicePtr& device) {
            Applied applied;
            applied.closeAfterwards =
                device->setCommonConfig(apply::networkConfig(device->getCommonConfig(true), controls));
            return applied;
        },
        [done](const Applied& applied) { done(applied); });
}

}  // namespace frm
