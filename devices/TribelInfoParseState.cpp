// The status packets of a microphone console: TribelInfo::parseState and its steps.

#include <mutex>

#include "devices/StatePacketSteps.h"
#include "devices/TribelInfo.h"
#include "devices/TribelStatePacket.h"
#include "foundation/Place.h"

namespace device {
namespace {

constexpr const char* place = "device::TribelInfo::parseState";
// Packets are dropped this long after a reboot command: the console still reports its old
// state for a moment.
constexpr std::int64_t rebootQuietUs = 1000000;

using F = TribelStatePacket;

// The generation of the console firmware by the third number of its version.
std::uint32_t versionIdOf(const Version& version) {
    if (version.revision < 13) return 0;
    if (version.revision <= 14) return 1;
    if (version.revision == 15) return 2;
    return 3;
}

}  // namespace

struct TribelInfo::StateUpdate {
    TribelStatePacket packet;
    // The record as stored before this packet, and the one being built.
    State stored;
    State record;
    std::string storedVersionText;
    bool changed = false;
    // The hardware address text that starts every change line.
    const char* device = "";
};

bool TribelInfo::parseState(const std::string& packet, const net::IpAndPort& sender) {
    const debug::Place here(place);
    Version version;
    if (!parseStateVersion(packet, &version)) {
        here.warn(L"Failure to extract tribel version: %1%", packet);
        return false;
    }
    if (!isOfKind(version.type, types::console)) {
        here.error(L"Ошибка подключения устройства с адресом %1% (%2%)", sender.getWideText(), packet);
        return false;
    }
    auto scanned = scanTribelStatePacket(packet);
    const std::string addressText = scanned ? scanned->hardwareAddress : packet;
    const net::HardwareAddress address =
        scanned ? net::HardwareAddress(scanned->hardwareAddress) : net::HardwareAddress();
    if (!address.isValid()) {
        here.external(L"State packet has unknown hardware address '%1%'", addressText);
        return false;
    }
    if (address.getHigh() != hardwareAddress_.getHigh() || address.getLow() != hardwareAddress_.getLow()) {
        here.error(L"The state packet is not suite the device id=%1%, '%2%' != '%3%'", getId(),
                   hardwareAddress_.toCharArray(), addressText);
        return false;
    }
    if (now() < rebootTime.load() + rebootQuietUs) {
        here.debug(L"Skip state packet after rebooting during one second");
        return true;
    }

    StateUpdate update;
    update.packet = std::move(*scanned);
    update.device = hardwareAddress_.toCharArray();
    checkTribelStatePacket(update.packet, sender);
    update.changed = followSender(*this, sender, place);
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        update.stored = state_;
        update.storedVersionText = versionText_;
    }
    update.record = update.stored;
    if (version.text != update.storedVersionText) applyVersion(update, version);
    applyFields(update);

    const bool firstPacket = announceConnection(*this, sender, version.text, place);
    if (update.changed || firstPacket) notifyWithState();
    if (update.changed) deriveTribelState(update.record);
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        state_ = update.record;
        versionText_ = version.text;
    }
    stampStatePacket(*this, firstPacket);
    return true;
}

void TribelInfo::applyVersion(StateUpdate& update, const Version& version) {
    debug::Place(place).mark(L"Device %1% state: Version = %2%", update.device, version.text);
    setVersion(version);
    versionId_.store(versionIdOf(version));
    FeatureFlags features{};
    setFeatures(features, {1, 2, 6, 7, 8, 9, 10, 12, 14, 17, 18, 21, 22, 23});
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        status_ = features;
    }
    update.changed = true;
}

void TribelInfo::applyFields(StateUpdate& update) {
    const debug::Place here(place);
    const F& packet = update.packet;
    State& record = update.record;
    const char* device = update.device;

    // The priority and the power levels move often and change nothing the window shows.
    if (packet[F::priority] != record.priority) {
        record.priority = packet[F::priority];
        here.mark(L"Device %1% state: Priority = %2%", device, record.priority);
    }
    if (packet[F::power1Level] != record.power1Level) {
        record.power1Level = packet[F::power1Level];
        here.mark(L"Device %1% state: Power U1 level = %2%", device, record.power1Level);
    }
    if (packet[F::power2Level] != record.power2Level) {
        record.power2Level = packet[F::power2Level];
        here.mark(L"Device %1% state: Power U2 level = %2%", device, record.power2Level);
    }

    // The rest, in the order of their lines; each change is shown.
    struct Change {
        F::Field field;
        std::uint32_t State::*member;
        const wchar_t* line;
        FieldText (*text)(std::uint32_t);
    };
    static const Change changes[] = {
        {F::power1State, &State::power1State, L"Device %1% state: Power U1 = 0x%2$02X", nullptr},
        {F::power2State, &State::power2State, L"Device %1% state: Power U2 = 0x%2$02X", nullptr},
        {F::ethernet1, &State::ethernet1State, L"Device %1% state: Ethernet 1 = 0x%2$02X", nullptr},
        {F::ethernet2, &State::ethernet2State, L"Device %1% state: Ethernet 2 = 0x%2$02X", nullptr},
        {F::microphone, &State::microphone, L"Device %1% state: Microphone = %2%",
         [](std::uint32_t v) { return toText(TribelMicrophone{v}); }},
        {F::playbackState, &State::playbackState, L"Device %1% state: Playback = %2%", nullptr},
        {F::access, &State::access, L"Device %1% state: Access = %2%",
         [](std::uint32_t v) { return toText(TribelAccess{v}); }},
        {F::caseState, &State::caseState, L"Device %1% state: Case = %2%",
         [](std::uint32_t v) { return toText(TribelCase{v}); }},
        {F::boundZones, &State::boundZones, L"Device %1% state: Bound zones = 0x%2$06X", nullptr},
        {F::connectedZones, &State::connectedZones, L"Device %1% state: Connected zones = 0x%2$06X", nullptr},
        {F::activatedZones, &State::activatedZones, L"Device %1% state: Activated zones = 0x%2$06X", nullptr},
        {F::neridaLines, &State::neridaLines, L"Device %1% state: Nerida lines = 0x%2$05X", nullptr},
        {F::ain, &State::ain, L"Device %1% state: AIN line = %2%",
         [](std::uint32_t v) { return toText(TribelAin{v}); }},
    };
    for (const Change& change : changes) {
        const std::uint32_t value = packet[change.field];
        std::uint32_t& stored = record.*change.member;
        if (value == stored) continue;
        stored = value;
        if (change.text) {
            here.mark(change.line, device, change.text(value).text);
        } else {
            here.mark(change.line, device, value);
        }
        update.changed = true;
        if (change.field == F::playbackState) applyPlaybackState(record);
    }
}

void TribelInfo::applyPlaybackState(State& record) {
    record.playback = static_cast<std::uint32_t>(playbackOf(record.playbackState));
    std::lock_guard<std::recursive_mutex> guard(mutex());
    if (config_) config_->gong = (record.playbackState & 1u) != 0;
}

}  // namespace device
