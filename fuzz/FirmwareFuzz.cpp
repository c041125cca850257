// Firmware files: the images of the unified and the two Vokar-A formats, found by the model
// table, and the collection files of several images. What is taken is a valid image whose version
// and commands can be made; what is not is refused as an incorrect firmware.
//
// Images are hundreds of KiB, mostly of no interest: the input is a head of the image and the
// size to fill it to. Checksums are made right on request, so that the inputs reach what lies
// behind them.

#include <algorithm>

#include "FuzzSupport.h"
#include "devicememory/Crc32Mpeg2.h"
#include "devicememory/FirmwareCollection.h"
#include "devicememory/FirmwareDetection.h"
#include "foundation/Exceptions.h"

namespace {

constexpr std::size_t kLargestImage = 0x80000 + 0x1000;
constexpr std::uint8_t kRightTrailer = 1;
constexpr std::uint8_t kInCollection = 2;

void putLittle(std::string& bytes, std::size_t at, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void checkImage(device::IFirmware& image) {
    fuzz::require(image.isValid(), "an image taken is valid");
    const device::Version version = image.getVersion();
    fuzz::require(version.text.size() < 300, "an image's version text is bounded");
    image.getModelName();
    image.getChecksum();
    fuzz::require(image.getSize() == image.getData().size(), "an image's size is its data's");
    image.getEraseCommand();
    image.getProgramCommand(0, 2, "00");
    image.getFinishCommand(image.getSize());
    image.getMemorySizeCommand();
}

void openFile(const std::string& file, bool force) {
    try {
        const auto collection = device::FirmwareCollection::fromFile(file, force);
        for (const auto& image : collection->images()) checkImage(*image);
    } catch (const exception::UserResponse&) {
        // Refused as an incorrect firmware.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t flags = data[0];
    // The size to fill to, in units of 16 bytes.
    const std::size_t fill =
        std::min<std::size_t>(std::size_t{16} * (data[1] | data[2] << 8 | data[3] << 16), kLargestImage);
    std::string image = fuzz::text(data + 4, size - 4);
    if (fill > image.size()) image.resize(fill, '\xFF');
    if ((flags & kRightTrailer) != 0 && image.size() >= 4)
        putLittle(image, image.size() - 4, device::crc32Mpeg2(image.data(), image.size() - 4), 4);

    if (const auto found = device::detectFirmware(image)) checkImage(*found);
    openFile(image, false);
    openFile(image, true);
    if ((flags & kInCollection) != 0) {
        // The image twice in a collection file with its size table and a right checksum.
        std::string file(28, '\0');
        file.replace(0, 8, "KORVA_FC");
        putLittle(file, 8, 2, 2);
        putLittle(file, 10, 2, 2);
        putLittle(file, 20, image.size(), 4);
        putLittle(file, 24, image.size(), 4);
        std::uint32_t crc = device::kCrc32Mpeg2Start;
        for (int i = 0; i < 2; ++i) crc = device::crc32Mpeg2(image.data(), image.size(), crc);
        putLittle(file, 16, device::crc32Mpeg2(file.data(), 16, crc), 4);
        openFile(file + image + image, false);
    }
    return 0;
}
