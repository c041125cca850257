#include "devicememory/V4AudioModel.h"

#include <utility>

namespace device::v4::memory {

AudioModel::AudioModel(const std::string& image) : device::v3::memory::AudioModel(4, image) {}

AudioModel::AudioModel(FlashReader reader) : device::v3::memory::AudioModel(4, std::move(reader)) {}

std::uint16_t AudioModel::getFirstOrder() const {
    return 1;
}

std::uint16_t AudioModel::getFirstId() const {
    return 1;
}

}  // namespace device::v4::memory
