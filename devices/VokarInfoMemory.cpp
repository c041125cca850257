// The loudspeaker's side of its audio memory: building it for the generation, following what it
// plays, and keeping the analog inputs on their scenarios when a write of it renumbers them.

#include <mutex>

#include "devicememory/V2AudioMemory.h"
#include "devicememory/V3AudioMemory.h"
#include "devicememory/V4AudioMemory.h"
#include "devices/ScenarioCatalog.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"

namespace device {

std::shared_ptr<memory::IAudioControl> VokarInfo::initAudioMemory(bool blank) {
    const std::shared_ptr<VokarInfo> device = self();
    const std::weak_ptr<VokarInfo> weak = device;
    const auto report = [weak](int kind) {
        if (const std::shared_ptr<VokarInfo> owner = weak.lock()) owner->setPlaybackTypeCallback(kind);
    };
    const VokarVersion version = getVersionId();
    std::shared_ptr<memory::IAudioControl> memory;
    if (version <= vokarA_2_01_72) {
        memory = v2::memory::AudioMemory::create(device, protocol_, report, blank);
    } else if (version <= vokarB_1_02_79) {
        memory = v3::memory::AudioMemory::create(device, protocol_, report, blank);
    } else {
        memory = v4::memory::AudioMemory::create(device, protocol_, report, blank);
    }

    bool configRead = false;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        configRead = config_ != nullptr;
    }
    // The settings read looks the inputs' scenarios up in the memory and keeps their ids; the
    // settings of the generations before carry no scenarios.
    if (!configRead && version >= vokarB_1_01_63) {
        base::ThreadDispatcher::add(L"Update the scenario IDs for AINs", 0, [device] {
            try {
                device->getConfig(false);
            } catch (const exception::Base& error) {
                debug::Place("device::VokarInfo::initAudioMemory")
                    .debug(L"The scenario IDs for AINs are not updated: %1%", error.what());
            }
        });
    }
    // Weak, so that the loudspeaker and the memory it keeps do not keep each other alive; the
    // handler itself holds both, and runs on the dispatcher, never on a transport's thread or the
    // window's.
    const std::weak_ptr<memory::IAudioControl> weakMemory = memory;
    memory->setWriteHandlers(nullptr, [weak, weakMemory] {
        std::shared_ptr<VokarInfo> owner = weak.lock();
        std::shared_ptr<memory::IAudioControl> written = weakMemory.lock();
        if (!owner || !written) return;
        base::ThreadDispatcher::add(L"Set deferred settings", 0,
                                    [owner, written] { owner->setDeferredSettings(written); });
    });
    return memory;
}

void VokarInfo::setDeferredSettings(const std::shared_ptr<memory::IAudioControl>& memory) {
    const debug::Place here("device::VokarInfo::setDeferredSettings");
    here.trace(L"Set deferred settings");
    if (!isOnlineAndResponding()) {
        here.debug(L"Device is offline. Skip setting gong number");
        return;
    }
    try {
        Config config = getConfig(false);
        AinScenarioIds kept;
        {
            std::lock_guard<std::recursive_mutex> guard(mutex());
            kept = ainScenarioIds_;
        }
        // The settings show the single input of a Vokar-S first; its id is kept as the second.
        if (isType(types::vokarS)) kept = AinScenarioIds{kept.second, static_cast<std::uint16_t>(ain::none)};
        const AinScenarioFollowUp followUp = followWrittenScenarios(config, kept, *scenarioCatalogOf(memory));
        if (followUp.reset) {
            here.warn(
                L"Настройки для аналоговых входов сброшены. Проверьте аудио память и запускаемые сообщения "
                L"для входов.");
        }
        if (followUp.changed) writeConfig(config, true);
    } catch (const exception::Base& error) {
        // The loudspeaker keeps the orders it had; the next settings read shows what they name.
        here.warn(L"The settings of the analog inputs were not set: %1%", error.what());
    }
}

void VokarInfo::checkMismatchingPlayback() {
    const debug::Place here("device::VokarInfo::checkMismatchingPlayback");
    // A loudspeaker that does not answer cannot tell: the next packet decides.
    if (!isOnlineAndResponding()) {
        here.debug(L"Device is offline. Skip checking the playback of its audio memory");
        return;
    }
    bool playing = false;
    try {
        const std::shared_ptr<memory::IAudioControl> memory = getAudioMemory(false, true);
        if (!memory) return;
        playing = memory->isPlaying();
    } catch (const exception::Base& error) {
        here.debug(L"The audio memory does not tell whether it plays: %1%", error.what());
        return;
    }
    if (playing) {
        here.external(L"Mismatch state packet and playing status of Vokar.");
        return;
    }
    here.external(
        L"Playing an audio message of a vokar was stopped. Possible reasons are 1) a command from the "
        L"NERIDA 2) rebooting of the vokar 3) mismatch playback statuses.");
    setPlaybackTypeForce(playback::none);
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
