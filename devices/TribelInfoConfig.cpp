// The settings of a microphone console: read from its state reply, checked, and written back
// key by key.

#include <mutex>
#include <variant>

#include "devicelink/DeviceBase.h"
#include "devicelink/IAudioControl.h"
#include "devices/ConfigExchange.h"
#include "devices/TribelInfo.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device {
namespace {

constexpr const char* getConfigPlace = "device::TribelInfo::getConfig";
constexpr const char* setConfigPlace = "device::TribelInfo::setConfig";

}  // namespace

TribelInfo::Config TribelInfo::getConfig(bool refresh) {
    if (!isOnlineAndResponding()) throw exception::Offline();
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (!refresh && config_) return *config_;
    }
    debug::Place(getConfigPlace).trace(L"get config from device ip %1%", getAddress().getText());
    const std::string reply = transfer("get state");
    std::vector<std::string> tokens = DeviceBase::splitResponse(reply);
    if (!padConsoleStateTokens(tokens, getVersionId())) throw exception::UnexpectedResponseOfDevice(reply);

    Config config;
    if (!readConsoleStateTokens(tokens, config)) {
        debug::Place(getConfigPlace)
            .error(L"Неверный формат настроек микрофонной консоли. (hw=%1%, state=%2%)",
                   hardwareAddress_.toCharArray(), reply);
        throw exception::UnexpectedResponseOfDevice(reply);
    }

    std::uint16_t gongId = noGong;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        gongId = gongId_;
    }
    if (gongId == noGong) {
        // The audio memory may read the console: asked outside the lock. A console without
        // one, or whose memory cannot be read, has no gong id.
        if (const std::shared_ptr<memory::IAudioControl> memory = getAudioMemory(false, false))
            gongId = gongIdAt(*memory, config.gongOrder);
    }
    config.gongId = gongId;

    std::lock_guard<std::recursive_mutex> guard(mutex());
    gongId_ = gongId;
    config_ = std::make_shared<Config>(config);
    return config;
}

CommonConfig TribelInfo::getCommonConfig(bool refresh) {
    return getConfig(refresh);
}

bool TribelInfo::setCommonConfig(const CommonConfig& common) {
    Config config = getConfig(false);
    static_cast<CommonConfig&>(config) = common;
    return setConfig(config);
}

bool TribelInfo::setConfig(Config config) {
    return writeConfig(std::move(config), false);
}

bool TribelInfo::writeConfig(Config config, bool placeGong) {
    const debug::Place here(setConfigPlace);
    if (!isOnlineAndResponding()) throw exception::Offline();
    if (hasInternalPlaying()) throw exception::UserResponse(L"internalPlaying", L"");
    checkConsoleConfig(config);
    const Config old = getConfig(true);

    if (config.passkey && !old.passkey && getPasskeys().empty())
        throw exception::UserResponse(L"noPasskeys", L"Проверка наличия ключей доступа");
    if (old.fireConsole && !config.fireConsole) {
        for (const auto& [number, zone] : getZones()) {
            if (zone.scenario != Zone::noScenario)
                throw exception::UserResponse(L"blockedByScenario",
                                              L"Проверка наличия сообщений для консоли оповещения");
        }
    }
    const bool gongTurnedOn = config.gong && !old.gong;
    const bool gongExamined =
        gongTurnedOn || (config.gongId != noGong && (placeGong || config.gongId != old.gongId));
    const std::uint16_t gongOrder = gongExamined ? examineGong(config) : old.gongOrder;
    const std::uint32_t priority = consolePriorityToSend(config);

    // The values as the console is to have them, compared key by key with what it has.
    config.gongOrder = gongOrder;
    config.priority = priority;
    // A firmware without the hold switch keeps what it reports.
    if (getVersionId() < holdBroadcastVersionId) config.holdBroadcast = old.holdBroadcast;
    here.trace(L"set config for device ip %1%", getAddress().getText());
    bool restart = false;
    try {
        for (const ConsoleConfigKey& key : consoleConfigKeys()) {
            const ConsoleSettingValue before = key.value(old);
            const ConsoleSettingValue after = key.value(config);
            if (before == after) continue;
            restart |= std::visit(
                [&](const auto& previous) {
                    using Value = std::decay_t<decltype(previous)>;
                    return setParameter(key.key, previous, std::get<Value>(after), key.restarts(config));
                },
                before);
        }
    } catch (...) {
        // Whatever was sent before the failure holds on the console, not in the cache.
        dropConfig();
        throw;
    }

    if (restart) {
        // Nothing read before the restart describes the console after it.
        dropConfig();
        rebootToApplySettings(*this, setConfigPlace);
    } else {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        config_ = std::make_shared<Config>(config);
        gongEnabled_ = config.gong;
        gongId_ = config.gongId;
        clearCache();
    }
    checkInvariant();
    return restart;
}

std::uint16_t TribelInfo::examineGong(const Config& config) {
    const std::shared_ptr<memory::IAudioControl> memory = getAudioMemory(false, true);
    if (memory && memory->hasChanges()) throw exception::UserResponse(L"changes", L"");
    // Without an audio memory no fragment is known, so no gong can be played.
    const auto id = static_cast<std::int16_t>(config.gongId);
    const std::int32_t order = memory && memory->hasFragment(id) ? memory->getFragmentOrder(id) : -1;
    if (order < 0 || order >= noGong) {
        debug::Place(setConfigPlace).warn(L"don't found gong index=%1%", config.gongId);
        throw exception::UserResponse(L"brokenGong", L"");
    }
    return static_cast<std::uint16_t>(order);
}

void TribelInfo::dropCachedValues() {
    DeviceBase::dropCachedValues();
    dropConfig();
    std::lock_guard<std::recursive_mutex> guard(mutex());
    passkeyReply_.clear();
    zonesChanged(false);
}

void TribelInfo::dropConfig() {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    config_.reset();
    clearCache();
}

}  // namespace device
