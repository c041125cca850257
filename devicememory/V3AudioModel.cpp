#include "devicememory/V3AudioModel.h"

#include <utility>
#include <vector>

#include "devicememory/Crc32Mpeg2.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace device::v3::memory {

AudioModel::AudioModel(const std::string& image) : AudioModel(3, image) {}

AudioModel::AudioModel(FlashReader reader) : AudioModel(3, std::move(reader)) {}

AudioModel::AudioModel(std::uint16_t version, const std::string& image) : LayoutAudioModel(version, image) {}

AudioModel::AudioModel(std::uint16_t version, FlashReader reader)
    : LayoutAudioModel(version, std::move(reader)) {}

// ---------------------------------------------------------------------------------------------
// Names.

std::string AudioModel::encodeName(const std::wstring& name) const {
    return base::toUtf8(name) + '\0';
}

std::uint32_t AudioModel::getNameLength(const std::wstring& name) const {
    return getEncodedNameSize(name);
}

std::wstring AudioModel::decodeName(const Name& record) {
    // A text holds at least its NUL.
    if (record.length == 0) refuseStructure(L" (Загрузка наименований)");
    std::string bytes = readMemory(record.address, record.length);
    bytes.pop_back();
    const std::wstring text = base::fromUtf8(bytes);
    // The conversion replaces what is not UTF-8; such a text does not convert back.
    if (base::toUtf8(text) != bytes) refuseStructure(L". Некорректное название");
    return text;
}

std::uint16_t AudioModel::getFirstOrder() const {
    return 0;
}

std::uint16_t AudioModel::getFirstId() const {
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Laying the memory out.

std::uint32_t AudioModel::rootChecksum() const {
    std::uint8_t bytes[Root::size];
    Root root = root_;
    root.checksum = 0;
    root.write(bytes);
    std::uint32_t crc = crc32Mpeg2(bytes, sizeof bytes);
    for (const auto& [id, record] : fragments_) {
        std::uint8_t fragment[Fragment::size];
        record.write(fragment);
        crc = crc32Mpeg2(fragment, sizeof fragment, crc);
    }
    for (const auto& [id, record] : scenarios_) {
        std::uint8_t scenario[Scenario::size];
        record.write(scenario);
        crc = crc32Mpeg2(scenario, sizeof scenario, crc);
    }
    return crc;
}

std::uint32_t AudioModel::updateChecksum() {
    root_.checksum = rootChecksum();
    return root_.checksum;
}

void AudioModel::checkVersionSpecificInvariant() {
    const debug::Place place("device::v3::memory::AudioMemory::checkVersionSpecificInvariant");
    if (!hasChanges_.load() && root_.fragmentTable >= Root::size && root_.checksum != 0 &&
        root_.checksum != rootChecksum()) {
        broken_ = true;
        place.error(L"Violated audio memory [version specific] invariant: incorrect checksum of root");
    }
    for (const auto& [id, record] : fragments_) {
        const auto data = fragmentData_.find(id);
        if (data == fragmentData_.end()) {
            broken_ = true;
            place.error(L"Violated audio memory [version specific] invariant: file doesn't found");
            return;
        }
        if (!data->second.empty() && crc32Mpeg2(data->second.data(), data->second.size()) != record.dataCrc) {
            broken_ = true;
            place.error(L"Violated audio memory [version specific] invariant: checksum mismatch");
            return;
        }
    }
}

}  // namespace device::v3::memory
