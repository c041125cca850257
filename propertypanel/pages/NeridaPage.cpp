#include "propertypanel/pages/NeridaPage.h"

#include "devicelink/DeviceBase.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/ApplyRules.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "propertypanel/SourceRules.h"

namespace frm {
namespace {

constexpr std::size_t kSettingsSlot = 0;

}  // namespace

NeridaPage::NeridaPage(PropertyDevicePanel& panel) : PropertyPage(panel, pages::nerida, panel.m_pageNerida) {}

void NeridaPage::fill() {
    PropertyDevicePanel& p = panel();
    const DeviceTraits traits = traitsOf(*device());
    await();
    read<device::CommonConfig>(
        kSettingsSlot, L"read the Nerida settings",
        [](const DevicePtr& device) { return device->getCommonConfig(true); },
        [this, &p, traits](const device::CommonConfig& config) {
            config_ = config;
            const fill::NeridaPage view = fill::neridaPage(config, traits);
            p.m_neridaAddress->SetValue(view.address);
            p.m_neridaRelay->SetValue(view.relay);
            p.m_neridaRelay->Enable(view.relayEnabled);
            p.m_neridaTest->SetValue(view.interfaceError);
            p.m_neridaReserve->SetValue(view.lineReserve);
            p.m_neridaReserve->Enable(view.lineReserveEnabled);
            ready();
            p.m_pageNerida->Layout();
        });
}

void NeridaPage::onCheckBoxIsTestNerida(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::onCheckBoxIsTestNerida").trace(L"");
    event.Skip();
    PropertyDevicePanel& p = panel();
    p.enableApplyButtons(true);
    debug::throwIfFalse(device() != nullptr, "frm::PropertyDevicePanel::onCheckBoxIsTestNerida");
    const auto reserve =
        source::lineReserve(p.m_neridaTest->GetValue(), config_.neridaReserve, traitsOf(*device()));
    if (!reserve) return;
    p.m_neridaReserve->Enable(reserve->enabled);
    p.m_neridaReserve->SetValue(reserve->checked);
}

void NeridaPage::apply(AppliedHandler done) {
    const PropertyDevicePanel& p = panel();
    const apply::NeridaControls controls{p.m_neridaAddress->GetValue(), p.m_neridaRelay->GetValue(),
                                         p.m_neridaTest->GetValue(), p.m_neridaReserve->GetValue()};
    write<Applied>(
        L"write the Nerida settings",
        [controls](const DevicePtr& device) {
            Applied applied;
            applied.closeAfterwards =
                device->setCommonConfig(apply::neridaConfig(device->getCommonConfig(true), controls));
            return applied;
        },
        [done](const Applied& applied) { done(applied); });
}

}  // namespace frm
