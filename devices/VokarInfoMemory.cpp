// The loudspeaker's side of its audio memory: building it for the generation and following
// what it plays.

#include <mutex>

#include "devicememory/V2AudioMemory.h"
#include "devicememory/V3AudioMemory.h"
#include "devicememory/V4AudioMemory.h"
#include "devices/VokarInfo.h"
#include "foundation/Place.h"

namespace device {

std::shared_ptr<memory::IAudioControl> VokarInfo::initAudioMemory(bool blank) {
    const std::weak_ptr<VokarInfo> weak = self();
    const auto report = [weak](int kind) {
        if (const std::shared_ptr<VokarInfo> device = weak.lock()) device->setPlaybackTypeCallback(kind);
    };
    // The refresh of the analog inputs' scenario ids and the "Set deferred settings" handler
    // join here with the analog-input settings' use of the audio memory.
    const VokarVersion version = getVersionId();
    if (version <= vokarA_2_01_72) return v2::memory::AudioMemory::create(self(), protocol_, report, blank);
    if (version <= vokarB_1_02_79) return v3::memory::AudioMemory::create(self(), protocol_, report, blank);
    return v4::memory::AudioMemory::create(self(), protocol_, report, blank);
}

bool VokarInfo::playsFromMemory() {
    return isPlaybackType(playback::metaMemory);
}

bool VokarInfo::playbackStoppable() {
    return isPlaybackType(playback::metaStoppable);
}

bool VokarInfo::removesOnlyLastFragment() {
    return getVersionId() <= vokarA_2_01_72;
}

bool VokarInfo::setPlaybackTypeCallback(int kind) {
    const debug::Place here("device::VokarInfo::setPlaybackTypeCallback");
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        here.info(L"set playback type %1% for device id=%2%, title=%3%", kind, getId(), getDisplayName());
    }
    switch (kind) {
        case 1:
            if (!isPlaybackType(playback::metaStoppable)) {
                here.error(L"Запрещено изменять тип воспроизведения");
                return false;
            }
            setPlaybackTypeForce(playback::none);
            break;
        case 2:
            // The memory found the device already stopped: nothing of it plays any more.
            setPlaybackTypeForce(playback::none);
            break;
        case 3:
            setPlaybackTypeForce(playback::fragment);
            break;
        case 4:
            setPlaybackTypeForce(playback::scenarioServer);
            break;
        case 5:
            break;
        default:
            here.error(L"unknown playback type=%1% of flash memory", kind);
            break;
    }
    return switchChannel(CHANNEL_DISCOVERY);
}

}  // namespace device
