#pragma once
// A "Vokar" loudspeaker: its firmware generation, which decides the form of every command,
// the record of its last status packet, what it is believed to play, its everyday commands
// (VokarInfoCommands.cpp), its settings (VokarInfoConfig.cpp) and its zone lists
// (VokarInfoZones.cpp). Members marked "Exchanges" wait for the loudspeaker's replies
// (devicelink/DeviceBase.h): never on the window's thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "devicelink/DeviceType.h"
#include "devicelink/LoudspeakerBase.h"
#include "devicememory/ILoudspeaker.h"
#include "devices/IEqualizer.h"
#include "devices/LineControl.h"
#include "devices/PlaybackType.h"
#include "devices/VokarConfig.h"
#include "devices/VokarState.h"
#include "devices/VokarVersion.h"

namespace device {

// A loudspeaker's audio channel as it reports it, 0 to 20.
using AudioChannel = std::uint32_t;
// The channel a loudspeaker listens on while nothing is sent to it.
constexpr AudioChannel CHANNEL_DISCOVERY = 0;

class VokarInfo : public LoudspeakerBase, public memory::ILoudspeaker {
public:
    using State = VokarState;
    using Config = VokarConfig;

    // The channel value that stands for no channel known.
    static constexpr AudioChannel noChannel = 22;

    // A volume in the loudspeaker's own scale, as "get vol" tells it and "set vol" takes it: a
    // level in dB from generation 9 on (0 loudest, -96 silent), up to generation 8 a byte per
    // amplifier channel (0 loudest, 0xFE silent). Below the quietest audible level, where every
    // value shows as 1 %, only this scale tells one from another.
    struct Level {
        bool perChannel = false;
        std::int32_t decibels = 0;
        std::array<std::uint8_t, 2> channels{};
        // The volume it shows as.
        std::int32_t percent = 0;

        // Whether the loudspeaker is at the same level, however the two show.
        bool sameAs(const Level& other) const;
        // As "set vol" takes it.
        std::string text() const;
        // In the loudspeaker's own unit, for the operator: "-44 дБ", or "1E:1E" of the first
        // generations.
        std::wstring shown() const;
        // A level as text() wrote it, of the scale `perChannel` names; none when it does not read.
        static std::optional<Level> fromText(bool perChannel, const std::string& text, std::int32_t percent);
    };

    // Who hears of a refused level: the operator (as a setting by hand does), or the log alone (a
    // broadcast's take or give-back, whose failures its caller tells once for all its loudspeakers).
    enum class Report { operatorToo, logOnly };

    // A loudspeaker of `type`, already knowing its own shared pointer and its state handler.
    // Its generation is provisional until its first status packet: the last Vokar-A
    // generation for a Vokar-A, the newest for any other loudspeaker model, else 9.
    static std::shared_ptr<VokarInfo> create(std::uint32_t id, DeviceType type,
                                             const net::HardwareAddress& hardwareAddress,
                                             const net::IpAndPort& address, const std::wstring& title,
                                             std::shared_ptr<TransferProtocol> protocol,
                                             StateHandler stateHandler);
    ~VokarInfo() override;

    using DeviceBase::setParameter;

    // Slots of the base.
    // Stops a running sound-pressure test first. Exchanges while one runs.
    void releaseAudioMemory() override;
    void resetCache() override;
    // Whether the image suits this loudspeaker (acceptsFirmwareFor its type); false without one.
    bool checkUpgradePossibility(const std::shared_ptr<IFirmware>& image) override;
    // Sets the volume in percent; false when refused or not taken. exception::Offline when the
    // loudspeaker is offline. Exchanges.
    bool setVolume(std::int32_t percent) override;
    // The same, its refusal told as `report` says.
    bool setVolume(std::int32_t percent, Report report);
    // One status packet; false when it was refused. Never throws for bad packet content.
    bool parseState(const std::string& packet, const net::IpAndPort& sender) override;
    // Plays from its own memory or a priority signal. Exchanges with the first generations, whose
    // memory is asked.
    bool hasInternalPlaying() override;
    // The name of the current playback type.
    std::wstring getTypeText() override;
    // Stores the volume that a "get vol" reply tells, in the scale of the generation, as the
    // smallest percentage that sets that level again; a volume known to set it stays as it is.
    void handleVolume(const std::string& reply) override;
    // Asks the loudspeaker for its volume, whatever is known of it, and stores it as handleVolume
    // does; nullopt when the reply does not read. A level beyond the range in dB is taken as the
    // nearest one the loudspeaker takes back (silent below it, loudest above).
    // exception::Offline when it does not answer, exception::UnexpectedResponseOfDevice when it
    // refuses. Exchanges.
    std::optional<Level> readLevel();
    // Sets a level as readLevel told it, shown as it was then, with the refusals of setVolume but
    // that of a loudspeaker offline; false also for a level of the other scale and when it does
    // not answer. Sent even when the volume shown is that level. A refusal names the level in the
    // loudspeaker's unit. Exchanges.
    bool setLevel(const Level& level, Report report = Report::operatorToo);
    // Whether the loudspeaker takes the level: of the scale of its generation and, in dB, from
    // silent (-96) to loudest (0).
    bool acceptsLevel(const Level& level) const;
    void resetPlaybackType() override;
    // Goes on with the next image of the update queue once the image before it is written and
    // the loudspeaker answers again after its restart. Exchanges.
    void startUpgrade() override;
    // The audio memory of the generation, loaded from the flash, or an empty one when
    // `blank` (VokarInfoMemory.cpp). Exchanges.
    std::shared_ptr<memory::IAudioControl> initAudioMemory(bool blank) override;

    // What the audio memory asks of its loudspeaker.
    bool playsFromMemory() override;
    bool playbackStoppable() override;
    bool removesOnlyLastFragment() override;
    // The audio memory's report of what its flash plays (1 stopped, 2 already stopped, 3 a
    // fragment, 4 a scenario, 5 none to tell): the playback type follows, and the loudspeaker
    // goes back to the discovery channel. False when the type may not change or the switch failed.
    // Exchanges.
    bool setPlaybackTypeCallback(int kind);

    // Also the channel, the cached settings, the equalizer and the zone lists.
    void dropCachedValues() override;

    // Whether a firmware image made for `imageType` may be written to this loudspeaker. A
    // power-supply image needs good mains and batteries: exception::UserResponse otherwise.
    bool acceptsFirmwareFor(DeviceType imageType);

    VokarVersion getVersionId() const { return static_cast<VokarVersion>(version_.load()); }
    // Throws exception::UnsupportedByDevice with `version`'s text as its detail when the generation
    // is below it; an unknown generation is below every one and is also logged.
    void requireMinimumVersion(VokarVersion version);
    // One of the 25 capability flags, numbered from 1.
    bool hasFeature(std::size_t flag) const;

    // A copy of the last status record. Without internal playback a silenced loudspeaker
    // shows no sound activity.
    State getState() const;
    // The channel last learnt from a packet or a switch; noChannel when none.
    std::uint32_t getKnownChannel() const { return channel_.load(); }
    // How many levels and channels were set on the loudspeaker so far, by whoever set them: a
    // change tells that something set it since a count was read.
    std::uint64_t levelsSet() const { return levelsSet_.load(); }
    std::uint64_t channelsSet() const { return channelsSet_.load(); }

    PlaybackType getPlaybackType() const { return playbackType_.load(); }
    bool isPlaybackType(PlaybackType mask) const { return playback::contains(getPlaybackType(), mask); }
    // The guarded change that channel switching uses: it keeps internal playback and the
    // playback of a higher class than the one asked for.
    void setPlaybackType(PlaybackType type);
    // Sets the type unconditionally and tells the state handler.
    void setPlaybackTypeForce(PlaybackType type);

    // When the last "get vol" reply was handled (device clock, microseconds).
    std::int64_t getLastVolumeReplyTime() const { return lastVolumeReplyTime_.load(); }

    // Commands; every one exchanges.
    // False when refused, deferred by the loudspeaker (the channel is then not known) or not
    // taken. A channel above 1 needs generation 2 (exception::UnsupportedByDevice).
    bool switchChannel(AudioChannel channel);
    // The same, sent also when the channel known is that one: the alarm channel's switches, which
    // a status packet sent before an earlier switch and read after it must not skip.
    bool switchChannel(AudioChannel channel, bool whateverKnown);
    // The channel the loudspeaker is on, asked when not known; noChannel when it cannot tell.
    AudioChannel getChannel();
    // The same, asked also when a channel is known: a packet sent before a switch and read after
    // it may tell one the loudspeaker left.
    AudioChannel getChannel(bool whateverKnown);
    // The firmware version of the power-supply module; empty while offline.
    Version getPSSVersion();
    // Plays the test tone at full volume for `seconds` and then restores the volume; 0 stops a
    // running test at once.
    bool testSoundPressure(std::uint32_t seconds);
    // Starts the self test, whose result comes in the status packets. exception::UserResponse
    // "testFailure" or "testIsRunning".
    void startDeviceTest() override;
    // Not an exchange.
    bool isTestRunning() const override;
    // A Vokar-A tells its line parameters whatever is asked; the others their main board's debug
    // text or their line-control module's. Not an exchange.
    std::string debugInfoRequest(bool lineControl) const override;
    std::string getDebugInfo() override;

    // Settings; every one exchanges.
    // The settings, from the cache unless `refresh` or expired. exception::Offline,
    // exception::UnexpectedResponseOfDevice for a reply that does not read.
    Config getConfig(bool refresh);
    // Checks and writes the changed settings; true when the loudspeaker was restarted to take
    // them. Nothing is sent when a check refuses the record.
    bool setConfig(Config config);
    CommonConfig getCommonConfig(bool refresh) override;
    bool setCommonConfig(const CommonConfig& common) override;
    // The number of the scenario that analog input `n` starts for the alarm channel: the
    // settings' scenario base plus `n`, modulo 65536. Throws what reading the settings throws.
    std::uint16_t getAinScenarioBase(std::uint16_t n);
    // Whether the line doubling is off; asked of the first generations, always so later.
    bool isLineDoubleOff();

    // The equalizer, read from the loudspeaker when none is cached; a copy. Exchanges. A reply that does not
    // read is exception::UnexpectedResponseOfDevice (first generations) or
    // exception::ExternalError "Неправильный формат эквалайзера".
    std::shared_ptr<IEqualizer> getEqualizer();
    // Writes it when it differs from the loudspeaker's; true when written or nothing changed.
    // Exchanges.
    bool setEqualizer(const std::shared_ptr<IEqualizer>& equalizer);

    // The model of the loudspeaker's line-control module, made on first use; it survives a
    // cache reset. Needs generation 9 (exception::UnsupportedByDevice). Not an exchange itself;
    // the module's own requests are.
    std::shared_ptr<tip_device::LineControl> getLineControl();

    // Zone lists, kept from generation vokarV3_A110 on: the virtual zones whose announcements it
    // plays and the device numbers of the consoles that reach it. Both are cached; an entry
    // already in a valid cache is not added again. Changes need the generation
    // (exception::UnsupportedByDevice); reads give empty lists below it. A list that does not
    // read is exception::UnexpectedResponseOfDevice. All but the two generation checks exchange.
    bool hasZoneLists() override;
    void requireZoneLists() override;
    void addAnnounceZone(std::int32_t zone) override;
    void removeAnnounceZone(std::int32_t zone) override;
    std::set<std::int32_t> readAnnounceZones() override;
    void addZoneAddress(std::uint32_t address) override;
    void removeZoneAddress(std::uint32_t address) override;
    std::set<std::uint32_t> readZoneAddresses() override;
    // The consoles whose zones are switched off; not cached, and empty while the loudspeaker
    // reports a bound fire zone or its firmware does not tell them.
    std::set<std::uint32_t> readZoneAddressesOff();
    // Takes the lines' present state as their reference; whether that worked for line 1 and for
    // line 2. exception::Offline when it does not answer, exception::UnexpectedResponseOfDevice
    // for a reply that is neither taken nor refused.
    std::pair<bool, bool> setLine();

private:
    struct StateUpdate;

    VokarInfo(std::uint32_t id, const net::HardwareAddress& hardwareAddress, const net::IpAndPort& address,
              const std::wstring& title, std::shared_ptr<TransferProtocol> protocol);

    // A sound-pressure test whose stop is queued, and the level it gives back.
    struct SoundPressureTest {
        std::uint64_t serial = 0;
        std::uint32_t stopJob = 0;
        Level level;
        std::string stopCommand;
    };

    // The halves of the volume switch of the base, in the loudspeaker's own scale: the level is
    // read from it before a mute, and given back as it was read while savedVolume still tells it.
    bool rememberLevel() override;
    bool restoreLevel() override;

    std::shared_ptr<VokarInfo> self();
    void requirePowerGood();

    // The level of a "get vol" reply, also stored as the volume; nullopt (logged) when it does
    // not read.
    std::optional<Level> takeVolumeReply(const std::string& reply);
    // Whether the volume `known` sets `level`.
    bool isAtLevel(const Level& level, std::int32_t known) const;
    // Whether `level` is of the scale of the generation.
    bool inOwnScale(const Level& level) const;
    // The common end of setVolume and setLevel: sends `level` unless the loudspeaker may not
    // change its volume now or `unchanged`; a refusal names it as `shown`.
    bool sendVolume(const Level& level, bool unchanged, const std::wstring& shown, Report report);

    // Takes the running test `serial` (0: whichever runs) and drops its queued stop.
    std::optional<SoundPressureTest> takeSoundPressureTest(std::uint64_t serial);
    // Tone off and the volume back; false when the tone could not be stopped.
    bool finishSoundPressureTest(const SoundPressureTest& test);
    bool sendSoundPressureStop(const std::string& command);

    // The audio memory's scenario lookups; null while the loudspeaker has no audio memory.
    std::shared_ptr<ScenarioCatalog> scenarioCatalog();
    // setConfig; `scenariosMoved` sends the inputs' scenario orders also when their ids stay,
    // for a write of the audio memory that gave the scenarios other orders.
    bool writeConfig(Config config, bool scenariosMoved);
    // After every write of `memory`: the inputs' scenarios follow their new orders, and an input
    // whose scenario is gone starts none (VokarInfoMemory.cpp). Never throws.
    void setDeferredSettings(const std::shared_ptr<memory::IAudioControl>& memory);
    // A status packet reported no playback while the memory was believed to play: asks the memory.
    // Never throws.
    void checkMismatchingPlayback();
    Config readFirstGenerationSettings(VokarVersion version);
    Config readStateSettings(VokarVersion version);
    void requestVersions();
    void reportLineControlVersions(const Version& line);
    // One row of the key table, sent when its value changed and the loudspeaker knows the
    // key; true when it was sent and asks for a restart.
    bool setParameter(const ConfigKey& key, const Config& old, const Config& updated, VokarVersion version,
                      const FeatureFlags& features);
    void writeFirstGenerationPorts(const Config& old, const Config& updated, bool& restart);
    // Drops the cached settings and the request cache, so that the next read asks the device.
    void dropConfig();
    std::shared_ptr<IEqualizer> readEqualizer(VokarVersion version);
    // One cached zone list; the generation counts its changes, so that a read that overlapped
    // one does not keep what it read.
    template <class Entry>
    struct ZoneList {
        bool valid = false;
        std::set<Entry> entries;
        std::uint64_t generation = 0;
    };
    template <class Entry>
    void addToZoneList(ZoneList<Entry> VokarInfo::*list, Entry entry, const std::string& command);
    // Sends an addition or removal; the list is read again next time.
    template <class Entry>
    void sendZoneListChange(ZoneList<Entry> VokarInfo::*list, const std::string& command);
    template <class Entry>
    std::set<Entry> readZoneList(ZoneList<Entry> VokarInfo::*list, const char* request,
                                 std::set<Entry> (*reader)(const std::string&));
    void invalidateZoneLists();

    // The request function of the line control: the module's reply, empty when the exchange
    // failed or the loudspeaker is gone.
    static void askLineControl(const std::weak_ptr<VokarInfo>& device, const std::string& request,
                               std::string& reply);
    // The same exchange without waiting for it: `then` runs later as a dispatcher job with the
    // module's reply (empty when the exchange failed); false when nothing was sent.
    bool askLineControlLater(const std::string& request, const std::wstring& description,
                             std::function<void(VokarInfo&, const std::string&)> then);
    // The module's answer in a reply to a line-control request; empty for none.
    static std::string lineControlAnswer(const std::string& raw);

    // The steps of parseState, in their order.
    bool applyVersion(StateUpdate& update, const std::string& packet);
    void applyTips(StateUpdate& update);
    void applyBatteryAndLines(StateUpdate& update);
    void deducePlayback(StateUpdate& update);
    PlaybackType deduceType(const StateUpdate& update, std::uint32_t status, std::uint32_t& channel);
    void applyInputs(StateUpdate& update);
    void applyIndicators(StateUpdate& update);
    void checkPlaybackMarks(StateUpdate& update);
    void storeState(StateUpdate& update);

    std::atomic<std::int32_t> version_{vokarUnknown};
    // Guarded by the device lock.
    State state_;
    std::atomic<std::uint32_t> channel_{noChannel};
    std::atomic<PlaybackType> playbackType_{playback::none};
    std::atomic<std::int64_t> lastVolumeReplyTime_{0};
    std::atomic<std::uint64_t> levelsSet_{0};
    std::atomic<std::uint64_t> channelsSet_{0};
    // The channel the loudspeaker left at the last switch that it took, and when (monotonic
    // clock): a packet that tells that channel soon after was sent before the switch.
    std::atomic<std::uint32_t> switchedFrom_{noChannel};
    std::atomic<std::int64_t> switchedAt_{0};
    // Cleared the first time a packet sends the loudspeaker back to CHANNEL_DISCOVERY.
    std::atomic<bool> discoveryRevert_{true};

    // Guarded by the device lock.
    std::shared_ptr<Config> config_;
    std::shared_ptr<IEqualizer> equalizer_;
    std::shared_ptr<tip_device::LineControl> lineControl_;
    AinScenarioIds ainScenarioIds_;
    ZoneList<std::int32_t> announceZones_;
    ZoneList<std::uint32_t> zoneAddresses_;
    std::optional<SoundPressureTest> soundTest_;
    // The level the last mute read, which savedVolume tells in percent.
    std::optional<Level> mutedLevel_;
    std::uint64_t lastSoundTestSerial_ = 0;
    // Device time (microseconds) after which the cached settings of the earlier generations
    // are read again.
    std::atomic<std::int64_t> configExpiry_{0};
    // The next settings read reports the firmware of the power supply and the line control.
    std::atomic<bool> versionsPending_{true};
    // Held for each exchange of a zone list read, so that two readers never ask for the same list
    // twice; taken before the device lock, never inside it.
    std::mutex zoneReadLock_;
    // The same for a read of the settings: one that comes while another runs takes what that one
    // read (the refresh of the inputs' scenario ids that a read may queue among them).
    std::mutex configReadLock_;
};

}  // namespace device
