// The volume slider, the DHCP and allowed-address boxes of the network page, and the marking of
// a page as changed.

#include <wx/thread.h>

#include "devicelink/DeviceBase.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

void PropertyDevicePanel::setVolumeOnScrollChanged(wxScrollEvent& event) {
    debug::Place("frm::PropertyDevicePanel::setVolumeOnScrollChanged").trace(L"");
    event.Skip();
    // A move that reaches the panel after its page was left is not sent.
    if (!m_device || m_currentTab != pages::debugMessage) return;
    // The value the operator set now, for the device shown now: the dispatcher reads no control.
    const int volume = m_volumeSlider->GetValue();
    const PageTicket ticket = m_work.ticket(m_device, pages::debugMessage);
    ticket.queue(kVolumeSlot, L"deferred changing volume", kVolumeDelayMs,
                 [this, ticket, volume](const DevicePtr& device) {
                     debug::Place("frm::PropertyDevicePanel::setVolumeOnScrollChanged")
                         .trace(L"a scheduler worked: change volume");
                     device->setVolume(volume);
                     ticket.show([this] { initVolumeSlider(); });
                 });
}

void PropertyDevicePanel::initVolumeSlider() {
    if (!m_device || m_isShutdown) return;
    if (!wxThread::IsMain()) {
        m_work.onGui([this] { initVolumeSlider(); });
        return;
    }
    debug::Place("frm::PropertyDevicePanel::initVolumeSlider").trace(L"");
    const std::int32_t volume = m_device->getVolume();
    if (fill::volumeKnown(volume)) m_volumeSlider->SetValue(volume);
    m_volumeSlider->SetToolTip(fill::volumeTip(m_device->getDisplayName(), volume));
}

void PropertyDevicePanel::dhcpOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::dhcpOnCheckBox").trace(L"");
    enableDhcp(m_dhcp->GetValue());
    enableApplyButtons(true);
    event.Skip();
}

void PropertyDevicePanel::enableDhcp(bool on) {
    m_dhcp->SetValue(on);
    for (wxTextCtrl* box : {m_ip, m_mask, m_gateway}) box->Enable(!on);
    debug::throwIfFalse(m_device != nullptr, "frm::PropertyDevicePanel::enableDhcp");
    const fill::AddressFields shown = fill::shownAddresses(m_device->getCommonConfig(true), on);
    m_ip->ChangeValue(base::widen(shown.ip));
    m_mask->ChangeValue(base::widen(shown.mask));
    m_gateway->ChangeValue(base::widen(shown.gateway));
}

void PropertyDevicePanel::allowIpOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::allowIpOnCheckBox").trace(L"");
    m_allowedIp->Enable(m_allowIp->GetValue());
    enableApplyButtons(true);
    event.Skip();
}

void PropertyDevicePanel::enableApplyOnChar(wxEvent& event) {
    enableApplyButtons(true);
    event.Skip();
}

void PropertyDevicePanel::enableApplyOnSettingChanged(wxEvent&) {
    enableApplyButtons(true);
}

void PropertyDevicePanel::enableApplyButtons(bool enable) {
    m_apply->Enable(enable);
    m_cancel->Enable(enable);
}

}  // namespace frm
