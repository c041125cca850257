#pragma once
// The Nerida page: the device's address in the security system and its relay, interface-error
// indication and line reserve, written by apply.

#include <wx/event.h>

#include "devicelink/CommonConfig.h"
#include "propertypanel/pages/PropertyPage.h"

namespace frm {

class NeridaPage : public PropertyPage {
public:
    explicit NeridaPage(PropertyDevicePanel& panel);

    void fill() override;
    void apply(AppliedHandler done) override;

    // Line reserve needs the interface-error indication.
    void onCheckBoxIsTestNerida(wxCommandEvent& event);

private:
    // The settings as the device reported them last.
    device::CommonConfig config_;
};

}  // namespace frm
