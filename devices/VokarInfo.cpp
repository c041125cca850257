#include "devices/VokarInfo.h"

#include <mutex>

#include "devicelink/IFirmware.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

// Read-only queries whose replies stay valid until the device's cache is reset.
const char* const cacheableRequests[] = {"get neridatest", "get linedouble", "get linetest", "get igmpReport",
                                         "config",         "get ver",        "get pssVer"};

constexpr int lineControlRepeats = 2;
constexpr unsigned lineControlIntervalMs = 1000;

}  // namespace

VokarInfo::VokarInfo(std::uint32_t id, const net::HardwareAddress& hardwareAddress,
                     const net::IpAndPort& address, const std::wstring& title,
                     std::shared_ptr<TransferProtocol> protocol)
    : LoudspeakerBase(id, hardwareAddress, address, title, std::move(protocol)) {
    VokarInfo::resetCache();
    for (const char* request : cacheableRequests) addCacheableRequest(request);
}

VokarInfo::~VokarInfo() = default;

std::shared_ptr<VokarInfo> VokarInfo::create(std::uint32_t id, DeviceType type,
                                             const net::HardwareAddress& hardwareAddress,
                                             const net::IpAndPort& address, const std::wstring& title,
                                             std::shared_ptr<TransferProtocol> protocol,
                                             StateHandler stateHandler) {
    std::shared_ptr<VokarInfo> device(
        new VokarInfo(id, hardwareAddress, address, title, std::move(protocol)));
    device->setThisBasePtr(device);
    device->setStateHandler(std::move(stateHandler));

    if (isOfKind(type, types::vokarAGroup | types::loudspeaker)) {
        device->version_.store(vokarA_2_01_72);
        type = types::vokarALaterGeneration;
    } else if (isOfKind(type, types::loudspeaker)) {
        device->version_.store(vokarV3_Higher);
    } else {
        device->version_.store(vokarA_3_00_01);
        debug::Place("device::VokarInfo::create")
            .important(L"Loaded default device type='%1%'", toText(type));
    }
    Version version = device->getVersion();
    version.type = type;
    device->setVersion(version);
    return device;
}

std::shared_ptr<VokarInfo> VokarInfo::self() {
    return std::static_pointer_cast<VokarInfo>(getThisBasePtr());
}

void VokarInfo::resetCache() {
    debug::Place("device::VokarInfo::resetCache").trace(L"Reset requested cache for device id=%1%", getId());
    DeviceBase::resetCache();
    std::shared_ptr<tip_device::LineControl> lineControl;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        config_.reset();
        equalizer_.reset();
        playbackType_.store(playback::none);
        state_ = State{};
        ainScenarioIds_ = AinScenarioIds{};
        versionsPending_.store(true);
        lineControl = lineControl_;
        invalidateZoneLists();
        announceZones_.entries.clear();
        zoneAddresses_.entries.clear();
    }
    // Outside the device lock: the line control may be waiting for its module.
    if (lineControl) lineControl->resetCache();
}

void VokarInfo::releaseAudioMemory() {
    if (isPlaybackType(playback::sine)) testSoundPressure(0);
    DeviceBase::releaseAudioMemory();
}

bool VokarInfo::checkUpgradePossibility(const std::shared_ptr<IFirmware>& image) {
    return image && acceptsFirmwareFor(image->getVersion().type);
}

void VokarInfo::startUpgrade() {
    std::shared_ptr<IFirmwareCollection> queue;
    std::shared_ptr<IFirmware> current;
    UpgradeProgressCallback callback;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        queue = upgradeQueue_;
        current = firmware_;
        callback = upgradeCallback_;
    }
    // The next image only after the one before it was written completely: the check that
    // calls this also runs while an image is being written.
    if (!queue || queue->empty() || (current && current->getProgress() != 100) || !queue->front()->isValid())
        return;
    try {
        upgradeFirmware(queue, callback, true);
    } catch (const exception::Base& error) {
        debug::Place("device::VokarInfo::startUpgrade").error(L"%1%", error.what());
    }
}

bool VokarInfo::acceptsFirmwareFor(DeviceType imageType) {
    const DeviceType own = getVersion().type;
    if (imageType == own) return true;
    switch (imageType) {
        case types::vokarBPSS:
            requirePowerGood();
            return own == types::vokarB || own == types::vokarB1;
        case types::vokarBLC:
            return own == types::vokarB;
        case types::vokarB2PSS:
            requirePowerGood();
            return own == types::vokarB2;
        default:
            return false;
    }
}

void VokarInfo::requirePowerGood() {
    bool powerGood = false;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        powerGood = state_.health.powerGood;
    }
    // Writing the power supply's firmware cuts the mains for a while: the batteries must hold.
    if (!powerGood) throw exception::UserResponse(L"wrongPower", L"Check 220V and batteries!");
}

std::wstring VokarInfo::getTypeText() {
    return playback::nameOf(getPlaybackType());
}

void VokarInfo::resetPlaybackType() {
    setPlaybackTypeForce(playback::none);
}

void VokarInfo::requireMinimumVersion(VokarVersion version) {
    const VokarVersion own = getVersionId();
    if (own == vokarUnknown) {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        debug::Place("device::VokarInfo::requireMinimumVersion")
            .warn(L"Неизвестная версия вокара. (%1%)", versionText_);
    }
    if (own < version) throw exception::UnsupportedByDevice(base::widen(get(version)));
}

bool VokarInfo::hasFeature(std::size_t flag) const {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    return device::hasFeature(status_, flag);
}

VokarInfo::State VokarInfo::getState() const {
    State copy;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        copy = state_;
    }
    if (!isPlaybackType(playback::metaInternal) && volume.load() == 0) copy.health.soundActive = false;
    return copy;
}

void VokarInfo::setPlaybackTypeForce(PlaybackType type) {
    const PlaybackType old = playbackType_.load();
    debug::Place("device::VokarInfo::setPlaybackTypeForce")
        .info(L"changed playback type of device id=%1%, %2% -> %3%, title=%4%", getId(),
              playback::nameOf(old), playback::nameOf(type), getDisplayName());
    playbackType_.store(type);
    notifyWithState();
}

void VokarInfo::setPlaybackType(PlaybackType type) {
    const debug::Place here("device::VokarInfo::setPlaybackType");
    const PlaybackType current = playbackType_.load();
    if (!isOnlineAndResponding()) {
        here.notice(L"Устройство '%1%' не в сети. Тип воспроизведения не установлен. (id=%2%, old type=%3%)",
                    getDisplayName(), getId(), playback::nameOf(current));
        setPlaybackTypeForce(playback::none);
        return;
    }
    if (type == current) {
        here.debug(L"The playback has the same type '%1%' (id=%2%)", playback::nameOf(type), getId());
        return;
    }
    const auto lowWordHas = [current](std::uint32_t bits) { return playback::contains(current, bits); };
    const bool microphoneClass =
        lowWordHas(0x500) && playback::contains(current, playback::make(0x06000000, 0));
    const bool externalMediaClass =
        lowWordHas(0x300) && playback::contains(current, playback::make(0x06000000, 0));
    const bool alarmClass = lowWordHas(0x900) && playback::contains(current, playback::make(0x0E000000, 0));

    if (type == playback::none) {
        if (playback::contains(current, playback::metaInternal)) return;
    } else if (type == playback::voiceLowPriority) {
        if (microphoneClass || externalMediaClass) return;
    } else if (type == playback::voiceHighPriority) {
        // An alarm keeps its place, but a recorded alarm message gives way to the live voice.
        if (alarmClass && !lowWordHas(0x41)) return;
    }
    setPlaybackTypeForce(type);
}

std::shared_ptr<tip_device::LineControl> VokarInfo::getLineControl() {
    requireMinimumVersion(vokarA_3_00_01);
    std::lock_guard<std::recursive_mutex> guard(mutex());
    if (lineControl_) return lineControl_;
    debug::Place("device::VokarInfo::getLineControl").trace(L"initialize line controller.");
    // A weak pointer: the line control must not keep a removed loudspeaker alive.
    const std::weak_ptr<VokarInfo> device = self();
    lineControl_ = std::make_shared<tip_device::LineControl>(
        [device](const std::string& request, std::string& reply) { askLineControl(device, request, reply); });
    lineControl_->setTipDeviceMasks(state_.tipsAdded, state_.tipsActive);
    return lineControl_;
}

void VokarInfo::askLineControl(const std::weak_ptr<VokarInfo>& device, const std::string& request,
                               std::string& reply) {
    const debug::Place here("device::VokarInfo::askLineControl");
    reply.clear();
    const std::shared_ptr<VokarInfo> self = device.lock();
    if (!self) {
        here.error(L"The device is no longer available. The request isn't handled. (%1%)", request);
        return;
    }
    if (!self->isOnlineAndResponding()) return;
    std::string raw;
    bool refused = false;
    if (!self->protocol_->sync(self->getAddress(), request, raw, lineControlRepeats, lineControlIntervalMs,
                               refused, RequestQueue::Silence::module))
        return;
    reply = lineControlAnswer(raw);
}

bool VokarInfo::askLineControlLater(const std::string& request, const std::wstring& description,
                                    std::function<void(VokarInfo&, const std::string&)> then) {
    if (!isOnlineAndResponding()) return false;
    const std::weak_ptr<VokarInfo> device = self();
    return protocol_->async(
        getAddress(), request,
        [device, description, then = std::move(then)](const std::string& raw, bool ok) {
            base::ThreadDispatcher::add(description, 0, [device, then, raw = ok ? raw : std::string()] {
                if (const std::shared_ptr<VokarInfo> self = device.lock())
                    then(*self, lineControlAnswer(raw));
            });
        },
        lineControlRepeats, lineControlIntervalMs, 0, RequestQueue::Silence::module);
}

std::string VokarInfo::lineControlAnswer(const std::string& raw) {
    // A module still busy with the last request has not answered this one.
    if (DeviceReply::isBusy(raw)) return std::string();
    std::string payload = raw;
    bool error = false;
    if (DeviceReply::strip(payload, &error)) return payload;
    if (error) {
        debug::Place("device::VokarInfo::askLineControl")
            .external(L"Произошла ошибка в модуле контроля линии (%1%)", raw);
        throw exception::UserResponse(base::widen(payload), L"Произошла ошибка в модуле контроля линии");
    }
    return std::string();
}

}  // namespace device
