#include "devicememory/VokarAV2Firmware.h"

#include "devicememory/Crc32Mpeg2.h"
#include "devicememory/LittleEndian.h"
#include "foundation/Place.h"

namespace device::vokarA_v2 {
namespace {

constexpr std::uint32_t kHeader = 520;
constexpr std::size_t kSmallest = 541;
constexpr std::uint32_t kVersionedSize = 0x3C000;

}  // namespace

Firmware::Firmware(const std::string& bytes) : vka::Firmware(bytes) {}

bool Firmware::isValid() {
    const std::string image = bytes();
    if (image.size() < kSmallest) return false;
    const std::string signature = image.substr(kHeader, 8);
    const std::uint8_t major = static_cast<std::uint8_t>(image[kHeader + 8]);
    if (signature == "KORVA_FW" && major == 2 && readLittleEndian<std::uint16_t>(image, kHeader + 10) > 0 &&
        (readLittleEndian<std::uint32_t>(image, kHeader + 16) > 0 ||
         readLittleEndian<std::uint32_t>(image, kHeader + 12) > 0)) {
        return trailerMatches();
    }
    if (signature == "BOOT_LDR") {
        debug::Place("device::vokarA_v2::Firmware::isValid")
            .info(L"Skip firmware because consists bootloader. (%1%.%2%.%3%.%4%)", unsigned{major},
                  unsigned{static_cast<std::uint8_t>(image[kHeader + 9])},
                  readLittleEndian<std::uint16_t>(image, kHeader + 10),
                  readLittleEndian<std::uint64_t>(image, kHeader + 12));
    }
    return false;
}

std::uint32_t Firmware::getChecksum() {
    const std::string image = bytes();
    return crc32Mpeg2(image.data(), image.size() < 4 ? 0 : image.size() - 4);
}

bool Firmware::trailerMatches() {
    const std::string image = bytes();
    return image.size() >= 4 && readLittleEndian<std::uint32_t>(image, image.size() - 4) == getChecksum();
}

Version Firmware::getVersion() {
    return headerVersion(types::vokarALaterGeneration, kHeader, kVersionedSize);
}

Version Firmware::headerVersion(DeviceType type, std::uint32_t offset, std::uint32_t minimum) {
    Version version;
    const std::string image = bytes();
    if (!isValid() || image.size() < minimum || image.size() < std::size_t{offset} + 20) return version;
    version.type = type;
    version.major = static_cast<std::uint8_t>(image[offset + 8]);
    version.minor = static_cast<std::uint8_t>(image[offset + 9]);
    version.revision = readLittleEndian<std::uint16_t>(image, offset + 10);
    version.buildTime = readLittleEndian<std::int64_t>(image, offset + 12);
    version.text = buildFullTextVersion(version);
    return version;
}

}  // namespace device::vokarA_v2
