#include "devicememory/V2AudioModel.h"

#include <limits>
#include <utility>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device::v2::memory {
namespace {

constexpr std::uint32_t kSurrogates = 0xD800;
constexpr std::uint32_t kLowSurrogates = 0xDC00;
constexpr std::uint32_t kSurrogatesEnd = 0xE000;

std::string toUtf16(const std::wstring& text) {
    std::string bytes;
    const auto unit = [&bytes](std::uint32_t value) {
        bytes.push_back(static_cast<char>(value & 0xFF));
        bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
    };
    for (const wchar_t character : text) {
        const auto code = static_cast<std::uint32_t>(character);
        if (code <= 0xFFFF) {
            unit(code);
        } else {
            const std::uint32_t rest = code - 0x10000;
            unit(kSurrogates + ((rest >> 10) & 0x3FF));
            unit(kLowSurrogates + (rest & 0x3FF));
        }
    }
    return bytes;
}

// False for a surrogate without its partner.
bool fromUtf16(const std::string& bytes, std::wstring& text) {
    const auto unit = [&bytes](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8;
    };
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const std::uint32_t code = unit(at);
        if (code < kSurrogates || code >= kSurrogatesEnd) {
            text.push_back(static_cast<wchar_t>(code));
            continue;
        }
        if (code >= kLowSurrogates || at + 3 >= bytes.size()) return false;
        const std::uint32_t low = unit(at + 2);
        if (low < kLowSurrogates || low >= kSurrogatesEnd) return false;
        text.push_back(static_cast<wchar_t>(0x10000 + ((code - kSurrogates) << 10) + (low - kLowSurrogates)));
        at += 2;
    }
    return true;
}

}  // namespace

AudioModel::AudioModel(const std::string& image) : LayoutAudioModel(2, image) {}

AudioModel::AudioModel(FlashReader reader) : LayoutAudioModel(2, std::move(reader)) {}

// ---------------------------------------------------------------------------------------------
// Names.

std::string AudioModel::encodeName(const std::wstring& name) const {
    return toUtf16(name);
}

std::uint32_t AudioModel::getNameLength(const std::wstring& name) const {
    return getEncodedNameSize(name) / 2;
}

std::uint32_t AudioModel::getNameSize(const Name& record) const {
    const auto found = names_.find(record.id);
    if (found == names_.end()) throw exception::InternalError(L"Индекс названия не найден");
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(2 * std::uint64_t{found->second.length},
                                                              std::numeric_limits<std::uint32_t>::max()));
}

std::wstring AudioModel::decodeName(const Name& record) {
    const std::uint64_t size = 2 * std::uint64_t{record.length};
    if (size > std::numeric_limits<std::uint32_t>::max()) refuseStructure(L" (Загрузка наименований)");
    std::wstring text;
    if (!fromUtf16(readMemory(record.address, static_cast<std::uint32_t>(size)), text))
        refuseStructure(L". Некорректное название");
    return text;
}

std::uint16_t AudioModel::getFirstOrder() const {
    return 0;
}

std::uint16_t AudioModel::getFirstId() const {
    return 0;
}

bool AudioModel::onlyLastFragmentRemovable() const {
    return true;
}

std::uint32_t AudioModel::updateChecksum() {
    return 0;
}

std::uint32_t AudioModel::dataChecksum(const std::string&) const {
    return 0;
}

void AudioModel::checkVersionSpecificInvariant() {
    const debug::Place place("device::v2::memory::AudioMemory::checkVersionSpecificInvariant");
    std::int32_t expected = 0;
    for (const auto& [id, record] : fragments_) {
        if (id != expected++) {
            broken_ = true;
            place.error(L"Violated audio memory [version specific] invariant: incorrect fragment");
            break;
        }
    }
    const auto count = static_cast<std::int16_t>(fragments_.size());
    for (const auto& [id, record] : scenarios_) {
        if (record.gongId >= count || record.fragmentId >= count) {
            broken_ = true;
            place.error(L"violated audio memory [version specific] invariant: incorrect scenario");
            return;
        }
    }
}

}  // namespace device::v2::memory
