#pragma once
// The network page ("Сеть"): the device's addresses, DHCP, the multicast group and base port, the
// address commands are taken from, LAN redundancy and the extra IGMP reports. The settings are
// written by apply, and the device restarts to take them.

#include <wx/event.h>

#include "devicelink/CommonConfig.h"
#include "propertypanel/pages/PropertyPage.h"

namespace frm {

class NetworkPage : public PropertyPage {
public:
    explicit NetworkPage(PropertyDevicePanel& panel);

    void fill() override;
    void apply(AppliedHandler done) override;

    void dhcpOnCheckBox(wxCommandEvent& event);
    void allowIpOnCheckBox(wxCommandEvent& event);

private:
    // Sets the DHCP box and the address boxes: the lease with DHCP, else the static addresses, of
    // the settings read last; then reads them afresh, and shows what the device has now unless the
    // operator changed the boxes meanwhile.
    void enableDhcp(bool on);

    // The settings as the device reported them last.
    device::CommonConfig config_;
};

}  // namespace frm
