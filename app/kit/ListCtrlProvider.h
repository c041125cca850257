#pragma once
// What the panels ask the main window about the operator's choice of devices.

#include <memory>
#include <vector>

#include "app/kit/ZoneElement.h"

namespace frm {

class ListCtrlProvider {
public:
    virtual ~ListCtrlProvider() = default;
    // The devices chosen in the device list together with the devices inside the chosen zones;
    // callable from any thread.
    virtual std::vector<ZoneElement::DevicePtr> getTargetDevices() = 0;

    // The chosen devices first, then those of each chosen zone and its nested zones; each once.
    static std::vector<ZoneElement::DevicePtr> combine(const std::vector<ZoneElement::DevicePtr>& devices,
                                                       const std::vector<ZoneElement::ZonePtr>& zones);
};

}  // namespace frm
