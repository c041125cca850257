#include "support/FirmwareImages.h"

#include <stdexcept>

#include "devicememory/Crc32Mpeg2.h"

namespace test {
namespace {

void putLittle(std::string& bytes, std::size_t at, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::string filler(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

void header(std::string& image, std::size_t at, const std::string& signature, std::uint8_t major,
            std::uint8_t minor, std::uint16_t revision, std::uint64_t stamp) {
    image.replace(at, 8, signature.substr(0, 8));
    image[at + 8] = static_cast<char>(major);
    image[at + 9] = static_cast<char>(minor);
    putLittle(image, at + 10, revision, 2);
    putLittle(image, at + 12, stamp, 8);
}

void trail(std::string& image, bool right) {
    const std::uint32_t crc = device::crc32Mpeg2(image.data(), image.size() - 4);
    putLittle(image, image.size() - 4, right ? crc : ~crc, 4);
}

}  // namespace

std::string unifiedImage(const device::FirmwareModel& model, std::size_t size, std::uint8_t major,
                         std::uint8_t minor, std::uint16_t revision, std::uint64_t stamp, bool twin,
                         bool trailer) {
    std::string image = filler(size);
    header(image, model.headerOffset, std::string(twin ? model.twinSignature : model.signature), major, minor,
           revision, stamp);
    trail(image, trailer);
    return image;
}

std::string firstVokarAImage(std::size_t size, std::uint8_t minor, std::uint16_t revision) {
    std::string image = filler(size);
    image[288] = 1;
    image[289] = static_cast<char>(minor);
    putLittle(image, 291, revision, 2);
    return image;
}

std::string secondVokarAImage(std::size_t size, std::uint8_t major, std::uint16_t revision,
                              std::uint64_t stamp, const std::string& signature) {
    std::string image = filler(size);
    header(image, 520, signature, major, 0, revision, stamp);
    trail(image, true);
    return image;
}

std::string collectionFile(const std::vector<std::string>& images, bool checksum) {
    std::string file(20, '\0');
    file.replace(0, 8, "KORVA_FC");
    putLittle(file, 8, 2, 2);
    putLittle(file, 10, images.size(), 2);
    std::string entries;
    std::uint32_t crc = device::kCrc32Mpeg2Start;
    for (const std::string& image : images) {
        std::string size(4, '\0');
        putLittle(size, 0, image.size(), 4);
        file += size;
        entries += image;
        crc = device::crc32Mpeg2(image.data(), image.size(), crc);
    }
    crc = device::crc32Mpeg2(file.data(), 16, crc);
    putLittle(file, 16, checksum ? crc : ~crc, 4);
    return file + entries;
}

const device::FirmwareModel& firmwareModel(const std::string& name) {
    for (const device::FirmwareModel& model : device::firmwareModels) {
        if (model.name == name) return model;
    }
    throw std::invalid_argument("no firmware model " + name);
}

}  // namespace test
