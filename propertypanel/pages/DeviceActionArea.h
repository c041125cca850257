#pragma once
// The device actions of the common page: the firmware update with its progress dialog, the line
// measurement, the reboot and the device's self test. Each runs off the window; what it ends in is
// told to the operator.

#include <wx/event.h>

#include <string>

#include "propertypanel/pages/PagePart.h"

namespace frm {

class ProgressBarDialog;

class DeviceActionArea : public PagePart {
public:
    explicit DeviceActionArea(PropertyDevicePanel& panel);

    void updateFirmwareOnButtonClick(wxCommandEvent& event);
    void buttonSetLineOnClick(wxCommandEvent& event);
    void rebootOnClick(wxCommandEvent& event);
    void testDeviceOnButtonClick(wxCommandEvent& event);

private:
    // Starts writing the firmware file's images; a refusal may be forced in debug mode.
    void upgrade(const std::string& bytes, bool force);

    // The progress dialog of the update being started.
    ProgressBarDialog* progress_ = nullptr;
};

}  // namespace frm
