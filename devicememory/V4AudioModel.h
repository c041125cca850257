#pragma once
// The audio memory model of version 4: the layout of version 3 with ids and play numbers
// counted from 1.

#include <cstdint>
#include <string>

#include "devicememory/V3AudioModel.h"

namespace device::v4::memory {

class AudioModel : public device::v3::memory::AudioModel {
public:
    // Over the bytes of a flash, as long as the flash; nothing is loaded yet.
    explicit AudioModel(const std::string& image);
    // Over a flash that `reader` fetches.
    explicit AudioModel(FlashReader reader);

protected:
    std::uint16_t getFirstOrder() const override;
    std::uint16_t getFirstId() const override;
};

}  // namespace device::v4::memory
