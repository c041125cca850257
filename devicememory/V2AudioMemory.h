#pragma once
// The audio memory of the loudspeakers of the first generations: the version-2 model
// (V2AudioModel.h) over their own command set, words beginning with "a".

#include <memory>
#include <string>

#include "devicememory/BaseAudioControl.h"
#include "devicememory/V2AudioModel.h"

namespace device::v2::memory {

// The command words of version 2.
inline constexpr device::memory::CommandWords commands{
    "aplay %u", "aplaysc %u", "aisplay", "astop", "aflashsz", "aflashrd %08X %u", "aflash %08X %u %s"};

class AudioMemory : public device::memory::BaseAudioControl {
public:
    // The memory of `device`, loaded from its flash (all but the fragments' data), or an empty
    // one that ignores the flash when `asNew`. Throws what asking and loading throw.
    static std::shared_ptr<AudioMemory> create(const std::shared_ptr<DeviceBase>& device,
                                               std::shared_ptr<TransferProtocol> transport,
                                               device::memory::PlayStateHandler playStateHandler, bool asNew);
    // A detached memory over an image, every level loaded. Throws what loading throws.
    static std::shared_ptr<AudioMemory> fromImage(const std::string& image);

private:
    using BaseAudioControl::BaseAudioControl;
};

}  // namespace device::v2::memory
