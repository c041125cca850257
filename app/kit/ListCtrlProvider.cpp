#include "app/kit/ListCtrlProvider.h"

#include <algorithm>

namespace frm {

std::vector<ZoneElement::DevicePtr> ListCtrlProvider::combine(
    const std::vector<ZoneElement::DevicePtr>& devices, const std::vector<ZoneElement::ZonePtr>& zones) {
    std::vector<ZoneElement::DevicePtr> result;
    const auto addOnce = [&](const ZoneElement::DevicePtr& device) {
        if (device && std::find(result.begin(), result.end(), device) == result.end())
            result.push_back(device);
    };
    for (const auto& device : devices) addOnce(device);
    for (const auto& zone : zones) {
        if (!zone) continue;
        for (const auto& device : zone->collectDevices()) addOnce(device);
    }
    return result;
}

}  // namespace frm
