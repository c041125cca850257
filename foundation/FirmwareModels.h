#pragma once
// The firmware model table: which device model an image of the unified firmware format is
// for, told by the signature its header carries. The Vokar-A images have formats of their
// own and no row here.

#include <array>
#include <cstdint>
#include <string_view>

namespace device {

struct FirmwareModel {
    std::uint64_t type;  // device type bits (device::DeviceType)
    std::string_view name;
    std::uint32_t headerOffset;  // where the 8-byte signature starts the 20-byte image header
    std::uint32_t minimumSize;
    std::string_view signature;      // "<code>_FW": a normal image
    std::string_view twinSignature;  // "<code>_EF": valid without the checksum test
};

constexpr std::size_t kFirmwareHeaderSize = 20;

extern const std::array<FirmwareModel, 12> firmwareModels;

// True when the image is long enough for the model and for its whole header, and the header
// starts with either of the model's signatures.
bool matchesFirmwareModel(const FirmwareModel& model, std::string_view image);
// The first row of the table that the image matches, or null.
const FirmwareModel* findFirmwareModel(std::string_view image);

}  // namespace device
