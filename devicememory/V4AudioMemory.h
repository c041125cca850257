#pragma once
// The audio memory of current loudspeakers: the "voice" command set and the write of version 3
// over the model of version 4 (V4AudioModel.h).

#include <memory>
#include <string>

#include "devicememory/V3AudioMemory.h"
#include "devicememory/V4AudioModel.h"

namespace device::v4::memory {

class AudioMemory : public device::v3::memory::AudioMemory {
public:
    // The memory of `device`, loaded from its flash (all but the fragments' data), or an empty
    // one that ignores the flash when `blank`. Throws what asking and loading throw.
    static std::shared_ptr<AudioMemory> create(const std::shared_ptr<DeviceBase>& device,
                                               std::shared_ptr<TransferProtocol> transport,
                                               device::memory::PlayStateHandler playStateHandler, bool blank);
    // A detached memory over an image, every level loaded. Throws what loading throws.
    static std::shared_ptr<AudioMemory> fromImage(const std::string& image);

protected:
    using device::v3::memory::AudioMemory::AudioMemory;
};

}  // namespace device::v4::memory
