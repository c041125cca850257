#include "devicememory/VokarAFirmware.h"

#include "devicememory/CommandText.h"
#include "devicememory/LittleEndian.h"
#include "foundation/Crc32.h"

namespace device::vka {
namespace {

constexpr std::size_t kMarker = 288;
constexpr std::size_t kSmallest = 293;
constexpr std::size_t kLargest = 122872;

}  // namespace

Firmware::Firmware(const std::string& bytes) : FirmwareBase(bytes) {}

bool Firmware::isValid() {
    const std::string image = bytes();
    return image.size() >= kSmallest && image.size() <= kLargest && image[kMarker] == 1;
}

std::uint32_t Firmware::getChecksum() {
    return base::crc32(bytes());
}

Version Firmware::getVersion() {
    Version version;
    if (!isValid()) return version;
    const std::string image = bytes();
    version.type = types::vokarAFirstGeneration;
    version.major = 1;
    version.minor = static_cast<std::uint8_t>(image[kMarker + 1]);
    version.revision = readLittleEndian<std::uint16_t>(image, kMarker + 3);
    version.text = buildFullTextVersion(version);
    return version;
}

std::wstring Firmware::getModelName() {
    return L"Vokar-A";
}

std::string Firmware::getEraseCommand() {
    return std::string();
}

std::string Firmware::getProgramCommand(std::uint32_t address, std::uint32_t length, const char* hex) {
    return commandText("flash %08X %u %s", address, length, hex);
}

std::string Firmware::getFinishCommand(std::uint32_t size) {
    return commandText("flashNFO %08X %u", getChecksum(), size);
}

std::string Firmware::getMemorySizeCommand() {
    return std::string();
}

}  // namespace device::vka
