// The settings of a loudspeaker: read in the form of its firmware generation, checked, and
// written back key by key.

#include <limits>
#include <mutex>
#include <utility>
#include <variant>

#include "devicelink/DeviceBase.h"
#include "devices/ConfigExchange.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/ScanFields.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

constexpr const char* getConfigPlace = "device::VokarInfo::getConfig";
constexpr const char* setConfigPlace = "device::VokarInfo::setConfig";
// The earlier generations report a changed setting nowhere, so their settings are read again
// this long after a read.
constexpr std::int64_t configLifetimeUs = 5000000;
constexpr std::uint32_t versionsRequestDelayMs = 200;

// A reply that breaks the form that every firmware of its layout keeps.
void requireWellFormed(bool wellFormed) {
    if (!wellFormed) debug::Place(getConfigPlace).error(L"Detected an error in device response!");
    debug::throwIfFalse(wellFormed, getConfigPlace);
}

// The order that the loudspeaker gets for a scenario id.
std::int16_t scenarioOrderOf(std::int16_t id, ScenarioCatalog* catalog, std::int16_t oldOrder) {
    if (id == ain::none) return ain::none;
    if (catalog == nullptr) return oldOrder;
    const std::int32_t order = catalog->getScenarioOrder(id);
    return order >= 0 && order <= std::numeric_limits<std::int16_t>::max() ? static_cast<std::int16_t>(order)
                                                                           : ain::none;
}

}  // namespace

VokarInfo::Config VokarInfo::getConfig(bool refresh) {
    if (!isOnlineAndResponding()) throw exception::Offline();
    const VokarVersion version = getVersionId();
    const std::lock_guard<std::mutex> reading(configReadLock_);
    if (version < vokarV3_A113 && now() > configExpiry_.load()) refresh = true;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (!refresh && config_) return *config_;
    }
    debug::Place(getConfigPlace).trace(L"get config from device ip %1%", getAddress().getText());

    Config config =
        version <= vokarA_2_01_72 ? readFirstGenerationSettings(version) : readStateSettings(version);
    config.generationCode = static_cast<std::uint16_t>(1 + get(version, generationNumber));

    std::lock_guard<std::recursive_mutex> guard(mutex());
    config_ = std::make_shared<Config>(config);
    configExpiry_.store(now() + configLifetimeUs);
    return config;
}

VokarInfo::Config VokarInfo::readFirstGenerationSettings(VokarVersion version) {
    const debug::Place here(getConfigPlace);
    const std::string configReply = transfer("config");
    const std::string ifconfigReply = transfer("ifconfig");
    Config config;
    const ConfigReplyFault fault = readFirstGenerationConfig(configReply, ifconfigReply, config);
    if (fault == ConfigReplyFault::tooShort) throw exception::UnexpectedResponseOfDevice("");
    requireWellFormed(fault != ConfigReplyFault::address);
    if (fault == ConfigReplyFault::field) {
        // The Nerida fields keep their defaults; the rest of the settings is still good.
        here.error(L"Неверный формат настроек прибора Вокар-A. (hw=%1%, response=%2%)",
                   hardwareAddress_.toCharArray(), ifconfigReply);
    }

    config.lineDoubleOff = isLineDoubleOff();
    config.lineTest =
        version >= vokarA_1_01_70 ? base::scan::containsIgnoringCase(transfer("get linetest"), "On") : true;
    if (version < vokarA_1_01_71) {
        config.neridaTest = true;
    } else if (version == vokarA_1_01_71 || version == vokarA_2_00_71) {
        config.neridaTest = false;
    } else {
        config.neridaTest = !base::scan::containsIgnoringCase(transfer("get neridatest"), "Off");
    }
    if (version == vokarA_1_01_71 || version == vokarA_2_00_71) {
        here.external(L"Need update Vokar with name '%1%' (%2%). Current version is %3%", getDisplayName(),
                      hardwareAddress_.toCharArray(), getVersion().text);
    }
    return config;
}

VokarInfo::Config VokarInfo::readStateSettings(VokarVersion version) {
    const debug::Place here(getConfigPlace);
    const std::string reply = transfer("get state");
    std::vector<std::string> tokens = DeviceBase::splitResponse(reply);
    const std::string igmpReport =
        version == vokarV3_A111 || version == vokarV3_A113 ? transfer("get igmpReport") : std::string();
    if (!padStateTokens(tokens, version, igmpReport)) throw exception::UnexpectedResponseOfDevice(reply);

    Config config;
    const ConfigReplyFault fault = readStateTokens(tokens, config);
    if (fault == ConfigReplyFault::number) {
        here.error(L"Detected an error in device response!");
        throw exception::UnexpectedResponseOfDevice(reply);
    }
    requireWellFormed(fault != ConfigReplyFault::address);
    if (fault != ConfigReplyFault::none) {
        here.error(L"Неверный формат настроек (hw=%1%, response=%2%)", hardwareAddress_.toCharArray(), reply);
        throw exception::UnexpectedResponseOfDevice(reply);
    }

    // The audio memory may read the device: the kept ids are taken out of the lock meanwhile.
    AinScenarioIds kept;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        kept = ainScenarioIds_;
    }
    const std::shared_ptr<ScenarioCatalog> catalog =
        needsScenarioLookup(config, kept) ? scenarioCatalog() : nullptr;
    if (resolveAinScenarioIds(config, kept, catalog.get()))
        here.warn(L"Проверьте аудио память и запускаемые сообщения для аналоговых входов");
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        ainScenarioIds_ = kept;
    }
    if (isType(types::vokarS)) showSingleInputFirst(config);

    if (versionsPending_.exchange(false)) {
        const std::shared_ptr<VokarInfo> device = self();
        base::ThreadDispatcher::add(L"request versions", versionsRequestDelayMs,
                                    [device] { device->requestVersions(); });
    }
    return config;
}

void VokarInfo::requestVersions() {
    const debug::Place here("device::VokarInfo::requestVersions");
    if (isType(types::vokarB)) {
        // A slow or silent module must not hold up the dispatcher for seconds: its version is asked
        // without waiting, and the report follows as a job of its own.
        const auto report = [](VokarInfo& device, const std::string& reply) {
            const std::shared_ptr<tip_device::LineControl> line = device.getLineControl();
            line->readVersionAndAddress(reply);
            device.reportLineControlVersions(line->knownVersion());
        };
        const std::shared_ptr<tip_device::LineControl> line = getLineControl();
        if (line->knownVersion().text.empty() &&
            askLineControlLater("lsensor ver", L"request versions", report))
            return;
        reportLineControlVersions(line->getMasterFirmwareVersion());
    } else if (isType(types::vokarB1) || isType(types::vokarB2) || isType(types::vokarM)) {
        const Version power = getPSSVersion();
        here.info(L"На устройстве '%1%' прошивка блока питания V%2%.%3%.%4% (hw=%5%)", getDisplayName(),
                  static_cast<unsigned>(power.major), static_cast<unsigned>(power.minor), power.revision,
                  hardwareAddress_.toCharArray());
    }
}

void VokarInfo::reportLineControlVersions(const Version& line) {
    const Version power = getPSSVersion();
    debug::Place("device::VokarInfo::requestVersions")
        .info(
            L"На устройстве '%1%' прошивка контроля линии V%2%.%3%.%4% и блока питания V%5%.%6%.%7% (hw=%8%)",
            getDisplayName(), static_cast<unsigned>(line.major), static_cast<unsigned>(line.minor),
            line.revision, static_cast<unsigned>(power.major), static_cast<unsigned>(power.minor),
            power.revision, hardwareAddress_.toCharArray());
}

std::shared_ptr<ScenarioCatalog> VokarInfo::scenarioCatalog() {
    // A memory that cannot be read names no scenario: the inputs keep what the device says.
    return scenarioCatalogOf(getAudioMemory(false, false));
}

bool VokarInfo::isLineDoubleOff() {
    const VokarVersion version = getVersionId();
    if (version > vokarA_2_01_72) return true;
    if (version < vokarA_1_01_70) return false;
    return base::scan::containsIgnoringCase(transfer("get linedouble"), "Off");
}

CommonConfig VokarInfo::getCommonConfig(bool refresh) {
    return getConfig(refresh);
}

bool VokarInfo::setCommonConfig(const CommonConfig& common) {
    Config config = getConfig(false);
    static_cast<CommonConfig&>(config) = common;
    return setConfig(config);
}

std::uint16_t VokarInfo::getAinScenarioBase(std::uint16_t n) {
    // The last number of the settings, which the loudspeaker reports as its scenario base.
    return static_cast<std::uint16_t>(getConfig(false).token33Value + n);
}

bool VokarInfo::setConfig(Config config) {
    return writeConfig(std::move(config), false);
}

bool VokarInfo::writeConfig(Config config, bool scenariosMoved) {
    const debug::Place here(setConfigPlace);
    if (hasInternalPlaying()) throw exception::UserResponse(L"internalPlaying", L"");
    const VokarVersion version = getVersionId();
    checkConfig(config, version);
    if (!isOnlineAndResponding()) throw exception::Offline();
    Config old = getConfig(false);

    const bool scenariosChanged = scenariosMoved || config.ain0ScenarioId != old.ain0ScenarioId ||
                                  config.ain1ScenarioId != old.ain1ScenarioId;
    // The generations before know no scenarios for their inputs.
    const bool scenarioKeys = version >= vokarB_1_01_63 && scenariosChanged;
    const std::shared_ptr<ScenarioCatalog> catalog = scenarioKeys ? scenarioCatalog() : nullptr;
    const bool vokarS = isType(types::vokarS);
    if (scenarioKeys) {
        if (catalog && catalog->hasChanges()) throw exception::UserResponse(L"changes", L"");
        for (const std::int16_t id : {config.ain0ScenarioId, config.ain1ScenarioId}) {
            if (id != ain::none && (!catalog || !catalog->hasScenario(id)))
                throw exception::UserResponse(L"unknownAinScenarioNumber", L"");
        }
        const auto first = static_cast<std::uint16_t>(config.ain0ScenarioId);
        const auto second = static_cast<std::uint16_t>(config.ain1ScenarioId);
        std::lock_guard<std::recursive_mutex> guard(mutex());
        // The single input of a Vokar-S is its second one.
        ainScenarioIds_ = AinScenarioIds{first, vokarS ? first : second};
    }
    if (vokarS) {
        keepSingleInputSecond(config);
        keepSingleInputSecond(old);
    }
    if (scenariosChanged) {
        config.ain0ScenarioOrder =
            scenarioOrderOf(config.ain0ScenarioId, catalog.get(), old.ain0ScenarioOrder);
        config.ain1ScenarioOrder =
            scenarioOrderOf(config.ain1ScenarioId, catalog.get(), old.ain1ScenarioOrder);
    }

    here.trace(L"set config for device ip %1%", getAddress().getText());
    FeatureFlags features;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        features = status_;
    }
    bool restart = false;
    try {
        for (const ConfigKey& key : configKeys()) {
            if (key.followsScenarios && !scenariosChanged) continue;
            if (setParameter(key, old, config, version, features)) restart = true;
        }
        if (version <= vokarA_2_01_72) writeFirstGenerationPorts(old, config, restart);
    } catch (...) {
        // Whatever was sent before the failure holds on the device, not in the cache; the inputs'
        // scenarios are looked up again from the orders the device then reports.
        if (scenarioKeys) {
            std::lock_guard<std::recursive_mutex> guard(mutex());
            ainScenarioIds_ = AinScenarioIds{};
        }
        dropConfig();
        throw;
    }
    dropConfig();
    if (!restart) return false;
    rebootToApplySettings(*this, setConfigPlace);
    return true;
}

bool VokarInfo::setParameter(const ConfigKey& key, const Config& old, const Config& updated,
                             VokarVersion version, const FeatureFlags& features) {
    const SettingValue before = key.value(old);
    const SettingValue after = key.value(updated);
    if (before == after) return false;
    if (!key.accepts(version, features)) {
        debug::Place("device::VokarInfo::setParameter")
            .debug(L"Skip a param '%1%'. Vokar '%2%' (%3%) isn't support the param", key.key,
                   getDisplayName(), hardwareAddress_.toCharArray());
        return false;
    }
    return std::visit(
        [&](const auto& previous) {
            using Value = std::decay_t<decltype(previous)>;
            return DeviceBase::setParameter(key.key, previous, std::get<Value>(after), key.restarts(updated));
        },
        before);
}

void VokarInfo::writeFirstGenerationPorts(const Config& old, const Config& updated, bool& restart) {
    const debug::Place here(setConfigPlace);
    if (updated.serverPort != old.serverPort) {
        const std::uint32_t discovery = updated.serverPort + 1u;
        const std::uint32_t microphone = updated.serverPort + 2u;
        here.important(L"It is new discovery and mic ports %1%/%2% for device id=%3%", discovery, microphone,
                       getId());
        // Both go out whatever the loudspeaker has now: an empty old value never matches.
        restart |= DeviceBase::setParameter("ch0Port", std::string(), base::decimal(discovery), true);
        restart |= DeviceBase::setParameter("ch1Port", std::string(), base::decimal(microphone), true);
    }
    if (updated.serverIp != old.audioSrvIp) {
        here.important(L"It is new allowed multicast ip %1% for device id=%2%", updated.serverIp, getId());
        restart |= DeviceBase::setParameter("audioSrvIP", old.audioSrvIp, updated.serverIp, true);
    }
}

void VokarInfo::dropCachedValues() {
    DeviceBase::dropCachedValues();
    channel_.store(noChannel);
    dropConfig();
    std::lock_guard<std::recursive_mutex> guard(mutex());
    equalizer_.reset();
    invalidateZoneLists();
}

void VokarInfo::dropConfig() {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    config_.reset();
    clearCache();
}

}  // namespace device
