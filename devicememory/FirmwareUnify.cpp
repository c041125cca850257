#include "devicememory/FirmwareUnify.h"

#include "devicememory/CommandText.h"
#include "foundation/TextConversion.h"

namespace device {

const FirmwareModel FirmwareUnify::noModel{0, {}, 0, 0, {}, {}};

FirmwareUnify::FirmwareUnify(const std::string& bytes, bool forced, const FirmwareModel& model)
    : vokarA_v2::Firmware(bytes), forced_(forced), model_(model) {}

bool FirmwareUnify::isValid() {
    if (forced_) return true;
    const std::string image = bytes();
    if (std::size_t{model_.headerOffset} + kFirmwareHeaderSize >= image.size()) return false;
    const std::string_view signature = std::string_view(image).substr(model_.headerOffset, 8);
    if (signature == model_.twinSignature) return true;
    return signature == model_.signature && trailerMatches();
}

Version FirmwareUnify::getVersion() {
    return headerVersion(model_.type, model_.headerOffset, model_.minimumSize);
}

std::wstring FirmwareUnify::getModelName() {
    return base::widen(std::string(model_.name));
}

std::string FirmwareUnify::getEraseCommand() {
    return "firmwareErase";
}

std::string FirmwareUnify::getProgramCommand(std::uint32_t address, std::uint32_t length, const char* hex) {
    return commandText("firmwareProgram %08X %u %s", address, length, hex);
}

std::string FirmwareUnify::getFinishCommand(std::uint32_t size) {
    return std::string();
}

std::string FirmwareUnify::getMemorySizeCommand() {
    return "firmwareSize";
}

}  // namespace device
