// The console's side of its audio memory: building it, and keeping the console's gong on the
// fragment the operator chose when a write of the memory moves that fragment.

#include <mutex>

#include "devicememory/TribelAudioMemory.h"
#include "devices/TribelInfo.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

constexpr const char* deferredPlace = "device::TribelInfo::setDeferredGong";

}  // namespace

std::shared_ptr<memory::IAudioControl> TribelInfo::initAudioMemory(bool blank) {
    const std::shared_ptr<TribelInfo> console = self();
    const std::shared_ptr<memory::IAudioControl> memory =
        tribel::memory::AudioMemory::create(console, protocol_, nullptr, blank);
    checkInvariant(*memory);

    base::ThreadDispatcher::add(L"Update the gong settings", 0, [console] {
        const Config config = console->getConfig(false);
        std::lock_guard<std::recursive_mutex> guard(console->mutex());
        console->gongEnabled_ = config.gong;
        console->gongId_ = config.gongId;
    });
    // Weak, so that the console and the memory it keeps do not keep each other alive. The write
    // ends in the transport's completion of its last piece: the settings exchanges run as a job of
    // their own, so that they hold up no other device's replies.
    const std::weak_ptr<TribelInfo> weakConsole = console;
    const std::weak_ptr<memory::IAudioControl> weakMemory = memory;
    memory->setWriteHandlers(nullptr, [weakConsole, weakMemory] {
        std::shared_ptr<TribelInfo> owner = weakConsole.lock();
        std::shared_ptr<memory::IAudioControl> written = weakMemory.lock();
        if (!owner || !written) return;
        base::ThreadDispatcher::add(L"Set deferred settings", 0,
                                    [owner, written] { owner->setDeferredGong(*written); });
    });
    return memory;
}

void TribelInfo::setDeferredGong(memory::IAudioControl& memory) {
    const debug::Place here(deferredPlace);
    here.trace(L"Set deferred settings");
    if (!isOnlineAndResponding()) {
        here.mark(L"Device is offline. Skip setting gong number");
        return;
    }
    try {
        Config config = getConfig(false);
        if (config.gongId == noGong) return;
        if (memory.getFragmentOrder(static_cast<std::int16_t>(config.gongId)) < 0) {
            {
                std::lock_guard<std::recursive_mutex> guard(mutex());
                gongEnabled_ = false;
                gongId_ = noGong;
                if (config_) config_->gongId = noGong;
            }
            here.warn(L"Настройки для гонга сброшены. Проверьте аудио память и выбранный гонг.");
            // The console's gong position now names another fragment or none: it stops playing one.
            if (config.gong) {
                config.gong = false;
                config.gongId = noGong;
                writeConfig(config, false);
            }
            return;
        }
        {
            std::lock_guard<std::recursive_mutex> guard(mutex());
            config.gong = gongEnabled_.value_or(config.gong);
        }
        writeConfig(config, true);
    } catch (const exception::Base& error) {
        // The console keeps the position it had, which may now name another fragment: the next
        // read takes the gong from that position again rather than believing the old choice.
        {
            std::lock_guard<std::recursive_mutex> guard(mutex());
            gongId_ = noGong;
        }
        dropConfig();
        here.warn(L"The gong position was not set: %1%", error.what());
    }
}

std::uint16_t TribelInfo::gongIdAt(memory::IAudioControl& memory, std::uint16_t order) {
    const std::int32_t found = memory.getFragmentId(order);
    return found >= 0 && found < noGong ? static_cast<std::uint16_t>(found) : noGong;
}

void TribelInfo::checkInvariant() {
    if (const std::shared_ptr<memory::IAudioControl> memory = std::atomic_load(&audioMemory_))
        checkInvariant(*memory);
}

void TribelInfo::checkInvariant(memory::IAudioControl& memory) {
    std::optional<Config> config;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (config_) config = *config_;
    }
    // The memory is asked outside the device lock: its own operations take the device's.
    if (!config || memory.hasChanges()) return;
    const debug::Place here("device::TribelInfo::checkInvariant");
    const std::uint16_t foundId = gongIdAt(memory, config->gongOrder);
    if (foundId != config->gongId) {
        here.warn(L"Gong IDs doesn't match. [deviceId=%1%, gongId=%2%!=%3%, gongOrder=%4%]", getId(), foundId,
                  config->gongId, config->gongOrder);
    }
    if (config->gong && !memory.hasFragment(static_cast<std::int16_t>(config->gongId))) {
        here.warn(L"Failure to find the gongId in its audio memory. [id=%1%, gongOrder=%2%]", config->gongId,
                  config->gongOrder);
    }
}

}  // namespace device
