#include "propertypanel/DeviceTraits.h"

#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"

namespace frm {
namespace {

template <class Device>
void readFlags(const Device& device, DeviceTraits& traits) {
    traits.neridaInterface = device.hasFeature(neridaInterfaceFlag);
    traits.lineControl = device.hasFeature(lineControlFlag);
    traits.consoleBindings = device.hasFeature(consoleBindingsFlag);
    traits.deviceTest = device.hasFeature(deviceTestFlag);
    traits.lanRedundancy = device.hasFeature(lanRedundancyFlag);
    traits.lineRedundancy = device.hasFeature(lineRedundancyFlag);
    traits.passInput1 = device.hasFeature(passInput1Flag);
    traits.passInput2 = device.hasFeature(passInput2Flag);
    traits.inputModes = device.hasFeature(inputModesFlag);
}

}  // namespace

DeviceTraits traitsOf(const device::DeviceBase& device) {
    DeviceTraits traits;
    traits.compatible = device.compatible.load();
    if (const auto* vokar = dynamic_cast<const device::VokarInfo*>(&device)) {
        traits.loudspeaker = true;
        traits.versionId = vokar->getVersionId();
        readFlags(*vokar, traits);
    } else if (const auto* tribel = dynamic_cast<const device::TribelInfo*>(&device)) {
        traits.console = true;
        traits.versionId = static_cast<std::int32_t>(tribel->getVersionId());
        readFlags(*tribel, traits);
    }
    return traits;
}

}  // namespace frm
