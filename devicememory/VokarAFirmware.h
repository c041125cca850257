#pragma once
// The first firmware format of the Vokar-A: no signature, a marker byte and the version at fixed
// offsets, and a checksum that is not stored in the image but sent after the last block.

#include "devicememory/FirmwareBase.h"

namespace device::vka {

class Firmware : public FirmwareBase {
public:
    explicit Firmware(const std::string& bytes);

    // 293 to 122,872 bytes with the marker 1 at 288.
    bool isValid() override;
    // The standard CRC-32 of the whole image.
    std::uint32_t getChecksum() override;
    Version getVersion() override;
    std::wstring getModelName() override;
    std::string getEraseCommand() override;
    std::string getProgramCommand(std::uint32_t address, std::uint32_t length, const char* hex) override;
    // "flashNFO" with the checksum and the size, which the device checks.
    std::string getFinishCommand(std::uint32_t size) override;
    std::string getMemorySizeCommand() override;
};

}  // namespace device::vka
