#pragma once
// Reading an audio-memory image file ("*.a-bin" laid out from a memory's records, "*.raw-a-bin"
// read from a flash as it is): the layout is recognised from the bytes themselves.

#include <memory>
#include <string>

#include "devicelink/IAudioControl.h"

namespace device::memory {

// A detached memory over the image, fully loaded and checked, of the first layout that takes
// it: version 4, then 3, then 2. Throws exception::UnknownVersionOfAudioMemory when none does,
// exception::UserError "Некорректный размер образа" for an image no flash size describes and
// "Трек имеет нулевой размер" for one that holds a fragment without data.
std::shared_ptr<IAudioControl> loadImage(const std::string& bytes);

}  // namespace device::memory
