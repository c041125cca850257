#include "devicememory/AudioMemoryImage.h"

#include <cstdint>
#include <limits>

#include "devicememory/V2AudioMemory.h"
#include "devicememory/V3AudioMemory.h"
#include "devicememory/V4AudioMemory.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device::memory {

std::shared_ptr<IAudioControl> loadImage(const std::string& bytes) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
        throw exception::UserError(L"Некорректный размер образа", L"");
    const debug::Place place("device::memory::loadImage");
    using Loader = std::shared_ptr<IAudioControl> (*)(const std::string&);
    const struct {
        int version;
        Loader load;
    } layouts[] = {
        {4,
         [](const std::string& image) -> std::shared_ptr<IAudioControl> {
             return v4::memory::AudioMemory::fromImage(image);
         }},
        {3,
         [](const std::string& image) -> std::shared_ptr<IAudioControl> {
             return v3::memory::AudioMemory::fromImage(image);
         }},
        {2,
         [](const std::string& image) -> std::shared_ptr<IAudioControl> {
             return v2::memory::AudioMemory::fromImage(image);
         }},
    };
    for (const auto& layout : layouts) {
        std::shared_ptr<IAudioControl> memory;
        try {
            memory = layout.load(bytes);
        } catch (const exception::Base& refusal) {
            place.debug(L"The image is no audio memory of version %1%: %2%", layout.version, refusal.what());
            continue;
        }
        // A device's memory takes no track without data, so such an image could never be copied
        // into one: it is refused as adding the track would be.
        for (const FragmentEntry& entry : memory->getFragments()) {
            if (entry.size != 0) continue;
            place.warn(L"Fragment %1% of the image holds no data", entry.id);
            throw exception::UserError(L"Трек имеет нулевой размер", L"");
        }
        return memory;
    }
    place.error(L"Loaded image of an audio memory has an unknown version");
    throw exception::UnknownVersionOfAudioMemory();
}

}  // namespace device::memory
