#pragma once
// The second firmware format of the Vokar-A: a 20-byte header with the signature "KORVA_FW" at
// 520 and a trailing CRC-32/MPEG-2 of everything before it. The unified format of the other
// models keeps the same header and trailer at an offset of its model's.

#include "devicelink/DeviceType.h"
#include "devicememory/VokarAFirmware.h"

namespace device::vokarA_v2 {

class Firmware : public vka::Firmware {
public:
    explicit Firmware(const std::string& bytes);

    // The header of version 2 with a build, a revision and a matching trailer; a bootloader
    // image is refused.
    bool isValid() override;
    // CRC-32/MPEG-2 of all bytes but the last four.
    std::uint32_t getChecksum() override;
    Version getVersion() override;

protected:
    // The trailer holds the checksum of the bytes before it.
    bool trailerMatches();
    // The version from the header at `offset` of a valid image of at least `minimum` bytes;
    // all zero otherwise.
    Version headerVersion(DeviceType type, std::uint32_t offset, std::uint32_t minimum);
};

}  // namespace device::vokarA_v2
