#include "devicememory/FirmwareDetection.h"

#include "devicememory/FirmwareUnify.h"
#include "devicememory/VokarAV2Firmware.h"
#include "foundation/FirmwareModels.h"
#include "foundation/Place.h"

namespace device {
namespace {

const char* const place = "device::detectFirmware";

// The image as a T when it is a valid one.
template <class T>
std::shared_ptr<IFirmware> cast(const std::string& data) {
    auto image = std::make_shared<T>(data);
    if (!image->isValid()) return nullptr;
    debug::Place(place).trace(L"Detected '%1%' firmware", image->getModelName());
    return image;
}

}  // namespace

std::shared_ptr<IFirmware> detectFirmware(const std::string& data) {
    for (const FirmwareModel& model : firmwareModels) {
        if (!matchesFirmwareModel(model, data)) continue;
        auto image = std::make_shared<FirmwareUnify>(data, false, model);
        if (image->isValid()) {
            debug::Place(place).trace(L"Detected '%1%' firmware", std::string(model.name));
            return image;
        }
    }
    if (auto image = cast<vka::Firmware>(data)) return image;
    if (auto image = cast<vokarA_v2::Firmware>(data)) return image;
    debug::Place(place).trace(L"Represented data is not a firmware");
    return nullptr;
}

}  // namespace device
