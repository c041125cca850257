#pragma once
// The unified firmware format of every model but the Vokar-A: the 20-byte header at the offset
// of the model's row in the firmware model table, with its signature or its twin signature,
// and the checksum trailer. A forced image is taken without any test.

#include "devicememory/VokarAV2Firmware.h"
#include "foundation/FirmwareModels.h"

namespace device {

class FirmwareUnify : public vokarA_v2::Firmware {
public:
    // `model` is the row that recognised the image; all zero for a forced one.
    FirmwareUnify(const std::string& bytes, bool forced, const FirmwareModel& model);

    // Forced, or the model's signature with a matching trailer, or its twin signature.
    bool isValid() override;
    Version getVersion() override;
    std::wstring getModelName() override;
    std::string getEraseCommand() override;
    std::string getProgramCommand(std::uint32_t address, std::uint32_t length, const char* hex) override;
    std::string getFinishCommand(std::uint32_t size) override;
    std::string getMemorySizeCommand() override;

    // The row of a forced image.
    static const FirmwareModel noModel;

private:
    const bool forced_;
    const FirmwareModel model_;
};

}  // namespace device
