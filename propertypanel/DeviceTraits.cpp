#include "propertypanel/DeviceTraits.h"

#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"

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

device::CommonConfig commonConfigOf(device::DeviceBase& device, bool refresh) {
    if (auto* vokar = dynamic_cast<device::VokarInfo*>(&device)) return vokar->getCommonConfig(refresh);
    auto* tribel = dynamic_cast<device::TribelInfo*>(&device);
    debug::throwIfFalse(tribel != nullptr, "frm::commonConfigOf");
    return tribel->getCommonConfig(refresh);
}

bool setCommonConfigOf(device::DeviceBase& device, const device::CommonConfig& config) {
    if (auto* vokar = dynamic_cast<device::VokarInfo*>(&device)) return vokar->setCommonConfig(config);
    auto* tribel = dynamic_cast<device::TribelInfo*>(&device);
    debug::throwIfFalse(tribel != nullptr, "frm::setCommonConfigOf");
    return tribel->setCommonConfig(config);
}

}  // namespace frm
