// The status packets of a loudspeaker: VokarInfo::parseState and its steps.

#include <mutex>

#include "devices/StatePacketSteps.h"
#include "devices/VokarInfo.h"
#include "devices/VokarStatePacket.h"
#include "foundation/Checks.h"
#include "foundation/Clock.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

constexpr const char* place = "device::VokarInfo::parseState";
// Packets are dropped this long after a reboot command: the loudspeaker still reports its
// old state for a moment.
constexpr std::int64_t rebootQuietUs = 2000000;
// How long after a switch a packet that tells the channel left counts as sent before it: longer
// than a loudspeaker's pause between two packets.
constexpr std::int64_t kSwitchSettleUs = 2'000'000;

using F = VokarStatePacket;

bool bit(std::uint32_t value, unsigned n) {
    return (value >> n) & 1u;
}

// The raw playback state in the numbering of the newest firmware.
std::uint32_t remapPlaybackState(std::uint32_t state, VokarVersion version, bool vokarS) {
    std::uint32_t status = state;
    if (version <= vokarA_2_01_72) {
        if (state == 1) status = 10;
        if (state == 2) status = 9;
    } else if (version < vokarBx_1_01_80) {
        if (status >= 2) status += 2;
        if (status >= 6) status += 2;
    } else if (version == vokarBx_1_01_80) {
        if (status >= 3 && status <= 6) {
            status += 1;
        } else if (status == 7) {
            status = 3;
        }
    }
    if (version > vokarA_2_01_72 && vokarS && status == 11) status = 10;
    return status;
}

}  // namespace

struct VokarInfo::StateUpdate {
    VokarStatePacket packet;
    // The record as stored before this packet, and the one being built.
    State stored;
    State record;
    std::string storedVersionText;
    VokarVersion version = vokarUnknown;
    bool changed = false;
    bool storedSilently = false;
    // The packet was sent before the last switch: neither its playback nor its channel is taken,
    // nor kept as seen, so that the same packet once the switch has settled tells a real leave.
    bool passedOver = false;
    // The loudspeaker plays a voice stream that nobody here sent it: it goes back to discovery.
    bool revertToDiscovery = false;
    // The hardware address text that starts every change line.
    const char* device = "";
};

bool VokarInfo::parseState(const std::string& packet, const net::IpAndPort& sender) {
    const debug::Place here(place);
    auto scanned = scanVokarStatePacket(packet);
    if (!scanned) return false;

    const net::HardwareAddress address(scanned->hardwareAddress);
    if (!address.isValid()) {
        here.external(L"State packet has unknown hardware address '%1%'", scanned->hardwareAddress);
        return false;
    }
    if (address.getHigh() != hardwareAddress_.getHigh() || address.getLow() != hardwareAddress_.getLow()) {
        here.error(L"The state packet is not suite the device id=%1%, '%2%' != '%3%'", getId(),
                   hardwareAddress_.toCharArray(), scanned->hardwareAddress);
        return false;
    }
    if (now() < rebootTime.load() + rebootQuietUs) {
        here.debug(L"Skip state packet after rebooting during one second");
        return true;
    }

    StateUpdate update;
    update.packet = std::move(*scanned);
    update.device = hardwareAddress_.toCharArray();
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        update.stored = state_;
        update.storedVersionText = versionText_;
    }
    update.record = update.stored;
    update.version = getVersionId();

    if (!applyVersion(update, packet)) return false;
    applyTips(update);
    checkVokarStatePacket(update.packet, update.version, sender);
    if (followSender(*this, sender, place)) update.changed = true;
    applyBatteryAndLines(update);
    deducePlayback(update);
    applyInputs(update);
    applyIndicators(update);
    checkPlaybackMarks(update);

    const bool firstPacket = announceConnection(*this, sender, update.packet.versionText, place);
    if (update.changed || update.storedSilently) storeState(update);
    if (update.changed || firstPacket) notifyWithState();
    stampStatePacket(*this, firstPacket);
    // Queued once the packet's channel and playback are stored, so that they never overwrite the
    // outcome of the switch.
    if (update.revertToDiscovery) {
        auto self = this->self();
        base::ThreadDispatcher::add(L"Switch channel to CHANNEL_DISCOVERY.", 0,
                                    [self] { self->switchChannel(CHANNEL_DISCOVERY); });
    }
    return true;
}

bool VokarInfo::applyVersion(StateUpdate& update, const std::string& packet) {
    const std::string& text = update.packet.versionText;
    if (text == update.storedVersionText) return true;
    debug::Place(place).mark(L"Device %1% state: Version = %2%", update.device, text);
    Version version;
    if (!parseStateVersion(packet, &version)) return false;
    setVersion(version);
    update.version = toVokarVersion(version);
    version_.store(update.version);
    const FeatureFlags features = vokarFeatures(version.type, update.version);
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        status_ = features;
    }
    update.changed = true;
    return true;
}

void VokarInfo::applyTips(StateUpdate& update) {
    if (update.version < vokarB_1_00_56) return;
    F& packet = update.packet;
    const std::uint32_t added = packet[F::line1];
    const std::uint32_t active = packet[F::line2];
    // Both lines count as broken while any end device that was added does not answer.
    const std::uint32_t lineState = (added & active) == added ? 1 : 2;
    packet[F::line1] = lineState;
    packet[F::line2] = lineState;
    State& record = update.record;
    if (added == record.tipsAdded && active == record.tipsActive) return;
    debug::Place(place).mark(L"Device %1% state: Tips: Added = 0x%2$05X, Active = 0x%3$05X", update.device,
                             added, active);
    record.tipsAdded = added;
    record.tipsActive = active;
    update.changed = true;
    std::shared_ptr<tip_device::LineControl> lineControl;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        lineControl = lineControl_;
    }
    if (lineControl) lineControl->setTipDeviceMasks(added, active);
}

void VokarInfo::applyBatteryAndLines(StateUpdate& update) {
    const debug::Place here(place);
    const F& packet = update.packet;
    State& record = update.record;

    const std::uint32_t level = packet[F::batteryLevel];
    if (level != record.batteryLevel) {
        here.trace2(L"Device %1% state: Battery level = %2%", update.device, level);
        record.batteryLevel = level;
        const std::uint32_t step = level > record.reportedBatteryLevel ? level - record.reportedBatteryLevel
                                                                       : record.reportedBatteryLevel - level;
        if (step >= 2) {
            here.mark(L"Device %1% state: Battery level = %2%", update.device, level);
            record.reportedBatteryLevel = level;
            update.changed = true;
        }
    }
    if (packet[F::batteryState] != record.batteryState) {
        record.batteryState = packet[F::batteryState];
        here.mark(L"Device %1% state: Battery = %2%", update.device,
                  toText(BatteryState{record.batteryState}).text);
        update.changed = true;
    }
    if (packet[F::line1] != record.line1State) {
        record.line1State = packet[F::line1];
        here.mark(L"Device %1% state: Line1 = %2%", update.device, toText(LineState{record.line1State}).text);
        update.changed = true;
    }
    if (packet[F::line2] != record.line2State) {
        record.line2State = packet[F::line2];
        here.mark(L"Device %1% state: Line2 = %2%", update.device, toText(LineState{record.line2State}).text);
        update.changed = true;
    }
    if (packet[F::caseState] != record.caseState) {
        record.caseState = packet[F::caseState];
        here.mark(L"Device %1% state: Case = %2%", update.device, toText(CaseState{record.caseState}).text);
        update.changed = true;
    }
}

void VokarInfo::deducePlayback(StateUpdate& update) {
    const F& packet = update.packet;
    State& record = update.record;
    const bool typeMoved = getPlaybackType() != record.playbackType && update.version >= vokarV3_A113;
    if (packet[F::playbackState] == record.playbackState &&
        packet[F::playbackSource] == record.playbackSource && packet[F::channel] == record.channel &&
        !typeMoved) {
        return;
    }

    const std::uint32_t status =
        remapPlaybackState(packet[F::playbackState], update.version, isType(types::vokarS));
    debug::warnIfFalse(status <= static_cast<std::uint32_t>(PlaybackStatus::over), place);
    std::uint32_t channel = noChannel;
    const PlaybackType type = deduceType(update, status, channel);
    // A packet sent before a switch and read after it tells the channel the loudspeaker left: it
    // would undo the switch until the next packet.
    const std::uint32_t left = switchedFrom_.load();
    if (left != noChannel && channel == left && channel_.load() != left &&
        base::clock::steadyMicros() - switchedAt_.load() < kSwitchSettleUs) {
        debug::Place(place).mark(
            L"Device %1% state: a packet sent before the switch from channel %2% is passed over",
            update.device, left);
        update.passedOver = true;
        return;
    }
    // A loudspeaker found on a voice stream that nobody here sent it is sent back, once.
    const bool voiceStream = status == static_cast<std::uint32_t>(PlaybackStatus::voiceStreamLowPriority) ||
                             status == static_cast<std::uint32_t>(PlaybackStatus::voiceStreamHighPriority);
    if (voiceStream && getPlaybackType() == playback::none && discoveryRevert_.exchange(false)) {
        debug::Place(place).mark(L"Revert a channel to CHANNEL_DISCOVERY.");
        update.revertToDiscovery = true;
    }

    playbackType_.store(type);
    debug::Place(place).mark(L"Device %1% state: Playback source = %2% [type=%3%]", update.device,
                             toText(PlaybackStatus{status}).text, playback::nameOf(type));

    // A loudspeaker at full volume that changes what it plays may have been turned down by
    // its own source: read the volume again next time.
    if (volume.load() == 100 && packet[F::playbackState] != record.playbackState)
        volume.store(kUnknownVolume);

    record.playbackState = packet[F::playbackState];
    record.playbackSource = packet[F::playbackSource];
    record.playbackStatus = status;
    record.playbackType = type;
    channel_.store(channel);
    update.changed = true;
}

PlaybackType VokarInfo::deduceType(const StateUpdate& update, std::uint32_t status, std::uint32_t& channel) {
    using namespace playback;
    const PlaybackType current = getPlaybackType();
    const F& packet = update.packet;
    switch (status) {
        case 0: {
            const std::uint32_t c = packet[F::channel];
            if (update.version < vokarV3_A113) return c == 0 ? none : current;
            channel = c;
            if (c == 0) return none;
            if (c == 1 || c == 2) return voiceHighPriority;
            if (c >= 4 && c <= 6) return voiceLowPriority;
            if (c >= 7 && c <= 18) return contains(current, metaExternal) ? current : metaExternal;
            debug::Place(place).mark(L"set playback error");
            return metaError;
        }
        case 1:
            channel = 6;
            return contains(current, metaRedirection) || contains(current, serviceMessage) ? current
                                                                                           : voiceLowPriority;
        case 2:
            channel = 20;
            return voiceZoneNote;
        case 3:
            return fragment;
        case 4:
            channel = 1;
            return contains(current, metaRedirection) || contains(current, alarmMessage) ? current
                                                                                         : voiceHighPriority;
        case 5:
            channel = 3;
            return voiceHighRepeating;
        case 6:
            channel = 19;
            return voiceZoneAin;
        case 7:
            channel = 20;
            return voiceZoneFire;
        case 8:
        case 9:
            if (update.version <= vokarV3_A110) {
                if (status == 8) return scenarioNerida;
                if (contains(current, metaStoppable)) return current;
                if (packet[F::activeZoneAddress] != 0) return scenarioTribel;
                return current == none ? scenarioServer : scenario;
            }
            switch (packet[F::playbackSource]) {
                case 0:
                    return scenarioTest;
                case 4:
                    return scenarioServer;
                case 7:
                    return scenarioTribel;
                case 9:
                    return scenarioNerida;
                case 10:
                    return scenarioAin1;
                case 11:
                    return scenarioAin2;
                default:
                    return scenario;
            }
        case 10:
            return analogInput1;
        case 11:
            return analogInput2;
        case 12:
            return sine;
        default:
            return metaOver;
    }
}

void VokarInfo::applyInputs(StateUpdate& update) {
    const debug::Place here(place);
    const F& packet = update.packet;
    State& record = update.record;

    if (update.version >= vokarB_1_00_59 && packet[F::soundPressure] != record.soundPressure) {
        record.soundPressure = packet[F::soundPressure];
        here.mark(L"Device %1% state: Sound pressure = %2%", update.device,
                  toText(SoundPressure{record.soundPressure}).text);
        update.changed = true;
    }
    if (packet[F::acPowerSupply] != record.acPowerSupply) {
        record.acPowerSupply = packet[F::acPowerSupply];
        here.mark(L"Device %1% state: AC power supply = %2%", update.device,
                  toText(AcPowerSupply{record.acPowerSupply}).text);
        update.changed = true;
    }
    if (packet[F::nerida] != record.nerida) {
        record.nerida = packet[F::nerida];
        here.mark(L"Device %1% state: NERIDA = %2%", update.device, record.nerida);
        update.changed = true;
    }
    if (packet[F::ain] != record.ain) {
        const std::uint32_t ain = packet[F::ain];
        const std::uint32_t inputState = (ain >> 2) & 3u;
        const auto off = static_cast<std::uint32_t>(AnalogInputState::off);
        if (isType(types::vokarS) || isType(types::vokarPoE)) {
            // One analog input, reported in the bits of the second.
            record.ain1State = inputState;
            record.ain2State = off;
        } else {
            record.ain1State = bit(ain, 0) ? static_cast<std::uint32_t>(AnalogInputState::on) : off;
            record.ain2State = inputState;
        }
        record.ain = ain;
        here.mark(L"Device %1% state: AIN = 0x%2$02X (AIN1=%3%, AIN2=%4%, armed2=%5%)", update.device, ain,
                  toText(AnalogInputState{record.ain1State}).text,
                  toText(AnalogInputState{record.ain2State}).text, static_cast<unsigned>(bit(ain, 1)));
        update.changed = true;
    }
    if (packet[F::eth] != record.eth) {
        const std::uint32_t eth = packet[F::eth];
        record.eth = eth;
        here.mark(L"Device %1% state: Eth = 0x%2$02X (mode=%3%, connected1=%4%, connected2=%5%)",
                  update.device, eth, bit(eth, 0) ? L"switch" : L"reserve",
                  static_cast<unsigned>(bit(eth, 1)), static_cast<unsigned>(bit(eth, 2)));
        update.changed = true;
    }
    if (packet[F::zone] != record.zone) {
        const std::uint32_t zone = packet[F::zone];
        record.zone = zone;
        here.mark(L"Device %1% state: Zone = 0x%2$02X (fire=%3%, notice=%4%, announce=%5%)", update.device,
                  zone, static_cast<unsigned>(bit(zone, 0)), static_cast<unsigned>(bit(zone, 1)),
                  static_cast<unsigned>(bit(zone, 2)));
        update.changed = true;
    }
}

void VokarInfo::applyIndicators(StateUpdate& update) {
    const debug::Place here(place);
    const F& packet = update.packet;
    State& record = update.record;
    const char* device = update.device;

    if (packet[F::activeZoneAddress] != record.activeZoneAddress) {
        record.activeZoneAddress = packet[F::activeZoneAddress];
        here.mark(L"Device %1% state: Zone active address = 0x%2$06X", device, record.activeZoneAddress);
        update.changed = true;
        if (record.playbackStatus == static_cast<std::uint32_t>(PlaybackStatus::voiceAlert) &&
            record.activeZoneAddress != 0) {
            playbackType_.store(playback::scenarioTribel);
        }
    }
    if (packet[F::activeAlarmOrder] != record.activeAlarmOrder) {
        record.activeAlarmOrder = packet[F::activeAlarmOrder];
        here.mark(L"Device %1% state: Active alarm order = %2%", device, record.activeAlarmOrder);
        update.changed = true;
    }
    if (packet[F::preferenceCrc] != record.preferenceCrc) {
        record.preferenceCrc = packet[F::preferenceCrc];
        here.mark(L"Device %1% state: Preference CRC (half) = 0x%2$04X", device, record.preferenceCrc);
        // The settings changed on the device: the next read asks the device.
        dropConfig();
        update.storedSilently = true;
    }
    if (packet[F::channel] != record.channel && !update.passedOver) {
        record.channel = packet[F::channel];
        here.mark(L"Device %1% state: Current channel = %2%", device, record.channel);
        if (record.channel != noChannel) channel_.store(record.channel);
        update.changed = true;
    }
    if (packet[F::amplifierOutput] != record.amplifierOutput) {
        record.amplifierOutput = packet[F::amplifierOutput];
        here.mark(L"Device %1% state: Amplifier = %2%", device,
                  toText(AmplifierOutput{record.amplifierOutput}).text);
        // Without mains the amplifier reports its supply as not ready; only real faults count.
        if (record.acPowerSupply == 1 || record.amplifierOutput > 2) update.changed = true;
        update.storedSilently = true;
    }
    if (packet[F::ledPanel] != record.ledPanel) {
        record.ledPanel = packet[F::ledPanel];
        here.mark(L"Device %1% state: LED panel = %2%", device, toText(LedPanel{record.ledPanel}).text);
        update.changed = true;
    }
    if (packet[F::feedback] != record.feedback) {
        record.feedback = packet[F::feedback];
        here.debug(L"Device %1% state: Feedback = %2%", device, toText(Feedback{record.feedback}).text);
        update.storedSilently = true;
        if (record.feedback == static_cast<std::uint32_t>(Feedback::required)) {
            auto self = this->self();
            base::ThreadDispatcher::add(L"give feedback", 0, [self] { self->checkExchange(false); });
        }
    }
    if (packet[F::inputStreams] != record.inputStreams) {
        record.inputStreams = packet[F::inputStreams];
        here.mark(L"Device %1% state: Input streams = 0x%2$06X", device, record.inputStreams);
        update.changed = true;
    }
    if (packet[F::selfTest] != record.selfTest) {
        record.selfTest = packet[F::selfTest];
        here.mark(L"Device %1% state: Device self test = %2%", device,
                  toText(SelfTest{record.selfTest}).text);
        update.changed = true;
    }
    if (packet[F::audioMemoryState] != record.audioMemoryState) {
        record.audioMemoryState = packet[F::audioMemoryState];
        here.mark(L"Device %1% state: Device audio memory state = %2%", device,
                  toText(AudioMemoryState{record.audioMemoryState}).text);
        update.changed = true;
    }
    if (packet[F::scenarioCount] != record.scenarioCount) {
        record.scenarioCount = packet[F::scenarioCount];
        here.mark(L"Device %1% state: Device scenario count = %2%", device, record.scenarioCount);
        update.changed = true;
    }
    if (packet[F::apiLevel] != record.apiLevel) {
        record.apiLevel = packet[F::apiLevel];
        here.mark(L"Device %1% state: Device API level = %2%", device,
                  toText(ApiLevel{record.apiLevel}).text);
        update.changed = true;
    }
    if (packet[F::apiCompatibility] != record.apiCompatibility) {
        record.apiCompatibility = packet[F::apiCompatibility];
        here.mark(L"Device %1% state: Device API compatibility = %2%", device,
                  toText(ApiLevel{record.apiCompatibility}).text);
        update.changed = true;
        if (record.apiCompatibility == 2) {
            here.notice(
                L"Устройство '%1%' (%2%) не поддерживается данной версией мелвокса.\n"
                L"Обновите мелвокс или понизьте версию прошивки прибора.",
                getDisplayName(), device);
        }
    }
}

void VokarInfo::checkPlaybackMarks(StateUpdate& update) {
    if (update.packet[F::playbackState] != 0 || update.version < vokarA_1_01_70) return;
    const debug::Place here(place);
    const PlaybackType type = getPlaybackType();
    if (playback::contains(type, playback::metaMemory)) {
        // The loudspeaker streams while its own memory was believed to play; the memory is asked
        // off the parser, which never waits for the device.
        here.external(L"Mismatch playback statuses: device id=%1%, device status=%2%, deduced status=%3%",
                      getId(), toText(PlaybackStatus::stream).text, playback::nameOf(type));
        playbackType_.store(playback::scenarioMisstate);
        const std::shared_ptr<VokarInfo> device = self();
        base::ThreadDispatcher::add(L"check mismatching playback statuses", 0,
                                    [device] { device->checkMismatchingPlayback(); });
    } else if (type == playback::scenarioMisstate) {
        playbackType_.store(playback::none);
    }

    if (!update.changed) return;
    const State& record = update.record;
    const auto on = static_cast<std::uint32_t>(AnalogInputState::on);
    if (record.ain1State == on || record.ain2State == on) {
        here.mark(L"The scenario of AIN is broken");
        playbackType_.store(playback::ainScenarioBroken);
    } else if (getPlaybackType() == playback::ainScenarioBroken) {
        playbackType_.store(playback::none);
    }
}

void VokarInfo::storeState(StateUpdate& update) {
    HealthContext context;
    context.version = update.version;
    context.type = getVersion().type;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        context.features = status_;
    }
    context.playbackType = getPlaybackType();
    context.previousSoundActive = update.stored.health.soundActive;
    update.record.health = evaluateHealth(update.record, context);
    compatible.store(update.record.health.apiCompatible);

    std::lock_guard<std::recursive_mutex> guard(mutex());
    state_ = update.record;
    versionText_ = update.packet.versionText;
}

}  // namespace device
