#pragma once
// The line page ("Линия") of a loudspeaker: its line-control module with the end devices on the
// line, refreshed every kRefreshMs while the page is shown, the buttons that add and remove end
// devices, and the power-save mode, written by apply.

#include <wx/event.h>

#include <cstdint>

#include "propertypanel/pages/PropertyPage.h"

namespace device::tip_device {
struct TipDevice;
}

namespace frm {

class LinePage : public PropertyPage {
public:
    static constexpr std::uint32_t kRefreshMs = 2100;

    explicit LinePage(PropertyDevicePanel& panel);

    void fill() override;
    void apply(AppliedHandler done) override;
    void leave() override;

    void tipDevicesOnCheckBox(wxCommandEvent& event);
    void rebootMasterOfTipDevices(wxCommandEvent& event);
    void addAllTipDevices_onButtonClick(wxCommandEvent& event);
    void resetPrefOnButtonClick(wxCommandEvent& event);

    // What the module told of itself; read off the window.
    struct Module;

private:
    // Reads the module (first its version when asked) and shows it; while the page is shown the
    // next refresh follows kRefreshMs later.
    void refresh(bool withVersion, std::uint32_t delayMs = 0);
    void show(const Module& module);
    void addTipDeviceRow(const device::tip_device::TipDevice& device, bool powerSave);
    // A pressed row button blocks the rebuild of its row until it is released.
    void tipDeviceButtonOnLeftDown(wxMouseEvent& event);
    void tipDeviceButtonOnLeftUp(wxMouseEvent& event);
    void addOrRemoveTipDeviceOnButtonClick(wxCommandEvent& event);

    bool blocked_ = false;
};

}  // namespace frm
