#pragma once
// A "Tribel" microphone console: the record of its last status packet (TribelInfoParseState.cpp),
// its settings (TribelInfoConfig.cpp), its zones (TribelInfoZones.cpp), its access keys
// (TribelInfoPasskeys.cpp), its test, its volume as it reports it, and the gong it plays before
// an announcement, a fragment of its audio memory (TribelInfoMemory.cpp). Members marked
// "Exchanges" wait for the console's replies (devicelink/DeviceBase.h): never on the window's thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "devicelink/CommonConfig.h"
#include "devicelink/ConsoleBase.h"
#include "devicelink/ConsoleZone.h"
#include "devicelink/DeviceType.h"
#include "devices/FeatureFlags.h"
#include "devices/TribelConfig.h"
#include "devices/TribelState.h"

namespace device {

class TribelInfo : public ConsoleBase {
public:
    using State = TribelState;
    using Config = TribelConfig;
    using Zone = ConsoleZone;
    using Zones = ConsoleZones;

    // One access key of the console's list.
    struct Passkey {
        bool listed = true;
        std::string key;
        // "Ключ " and the key's place in the list, from 1.
        std::wstring name;
    };

    // The gong id that stands for no gong.
    static constexpr std::uint16_t noGong = 0xFFFF;

    // A console of `type`, already knowing its own shared pointer and its state handler. A
    // Tribel-T has version id 0 until its first status packet, any other console 3.
    static std::shared_ptr<TribelInfo> create(std::uint32_t id, DeviceType type,
                                              const net::HardwareAddress& hardwareAddress,
                                              const net::IpAndPort& address, const std::wstring& title,
                                              std::shared_ptr<TransferProtocol> protocol,
                                              StateHandler stateHandler);
    ~TribelInfo() override;

    // Slots of the base.
    void resetCache() override;
    // Whether the image is made for this console's type; false without one.
    bool checkUpgradePossibility(const std::shared_ptr<IFirmware>& image) override;
    // A console has no volume to set: always exception::UnsupportedByDevice.
    bool setVolume(std::int32_t percent) override;
    // One status packet; false when it was refused. Never throws for bad packet content.
    bool parseState(const std::string& packet, const net::IpAndPort& sender) override;
    // The console plays something of its own (a gong, an alarm, a scenario, its analog input).
    bool hasInternalPlaying() override;
    // The name of what the console plays.
    std::wstring getTypeText() override;
    // The "get vol" reply: the volume in percent, clamped to 0..100. A console that answers
    // counts as online.
    void handleVolume(const std::string& reply) override;
    // The console's audio memory of its gong and messages, loaded from its flash or empty when
    // `blank`. After each write of it the console is told where the gong now lies, by a job of
    // the dispatcher. Exchanges.
    std::shared_ptr<memory::IAudioControl> initAudioMemory(bool blank) override;
    // Also the cached settings, zones and access-key list.
    void dropCachedValues() override;

    // Whether a firmware image made for `imageType` may be written to this console.
    bool acceptsFirmwareFor(DeviceType imageType) const;

    // The generation of the console firmware, 0 to 3; it decides the settings reply's layout.
    std::uint32_t getVersionId() const { return versionId_.load(); }
    // One of the 25 capability flags, numbered from 1.
    bool hasFeature(std::size_t flag) const;
    // A copy of the last status record.
    State getState() const;

    // "get dbg", whichever source is asked for.
    std::string debugInfoRequest(bool lineControl) const override;
    // The raw reply of "get dbg". Exchanges.
    std::string getDebugInfo() override;
    // Starts the self test, whose result comes in the status packets. exception::UserResponse
    // "testFailure" or "testIsRunning". Exchanges.
    void startDeviceTest() override;
    // For 20 s after a test was started.
    bool isTestRunning() const override;

    // Settings; all but checkInvariant exchange.
    // The settings, from the cache unless `refresh`. exception::Offline,
    // exception::UnexpectedResponseOfDevice for a reply that does not read.
    Config getConfig(bool refresh);
    // Checks and writes the changed settings; true when the console was restarted to take them.
    // Nothing is sent when a check refuses the record.
    bool setConfig(Config config);
    CommonConfig getCommonConfig(bool refresh) override;
    bool setCommonConfig(const CommonConfig& common) override;
    // Logs where the cached gong and the audio memory disagree; changes nothing.
    void checkInvariant();

    // Zones, numbered 0 to 20. Read from the console once and then kept up to date by the
    // binding and unbinding here. exception::UnexpectedResponseOfDevice for a list that does
    // not read; exchange failures pass on. All but getCachedZones exchange (getZones and findZone
    // only until the zones are read).
    void initZones();
    Zones getZones() override;
    std::optional<Zones> getCachedZones() override;
    // exception::InternalError when the zone is not there.
    Zone findZone(int zoneNumber) override;
    // The zones that the console reports switched off; not cached.
    std::set<int> getZonesOff();
    // Binds the zone to the virtual zone and the loudspeakers' device numbers, with a scenario
    // (ConsoleZone::noScenario for none). False, logged, when the arguments, the console's type
    // or its zone memory do not allow it or the scenario was refused (the zone is then gone).
    bool bindZone(int zoneNumber, int virtualZone, int scenario,
                  const std::set<std::uint32_t>& addresses) override;
    // False when the zone is not there.
    bool unbindZone(int zoneNumber) override;
    // From the cached settings when there are any, else it exchanges.
    bool isFireConsole() override;

    // Access keys. The console learns a new key itself: addPasskey starts it, requestPasskeys
    // tells whether it still listens, finishPasskey ends it. The refusals of a console that
    // plays: exception::UserResponse "internalPlaying". Every one exchanges.
    // The keys of the console's list; exception::UnexpectedResponseOfDevice for a list that does
    // not read.
    std::vector<Passkey> getPasskeys();
    // True while the console is learning a key; false also when it does not answer.
    bool requestPasskeys();
    void addPasskey();
    void finishPasskey();
    // exception::IncorrectFormat for a key that is no hexadecimal text, exception::UserError
    // "Ключ не существует" for one that is not in the last list.
    void deletePasskey(const std::string& key);
    void resetPasskeys();

private:
    struct StateUpdate;

    TribelInfo(std::uint32_t id, const net::HardwareAddress& hardwareAddress, const net::IpAndPort& address,
               const std::wstring& title, std::shared_ptr<TransferProtocol> protocol);

    // The steps of parseState, in their order.
    void applyVersion(StateUpdate& update, const Version& version);
    void applyFields(StateUpdate& update);
    // What the console plays follows its playback state, and so does the cached gong switch.
    void applyPlaybackState(State& record);

    std::shared_ptr<TribelInfo> self();
    // The checks and the writes of setConfig; with `placeGong` the gong's position is worked out
    // and sent even when the gong itself did not change.
    bool writeConfig(Config config, bool placeGong);
    // The order of the gong to send, or the refusal of a gong that cannot be played.
    std::uint16_t examineGong(const Config& config);
    // Drops the cached settings and the request cache, so that the next read asks the console.
    void dropConfig();
    // After a write of the audio memory the gong's fragment may lie elsewhere: the console is
    // told its new position, or the gong is switched off when the fragment is gone.
    void setDeferredGong(memory::IAudioControl& memory);
    void checkInvariant(memory::IAudioControl& memory);
    // The id of the fragment at that position; noGong for none.
    static std::uint16_t gongIdAt(memory::IAudioControl& memory, std::uint16_t order);

    // Reads the zones and keeps them unless a binding changed them meanwhile.
    Zones loadZones();
    void askZoneMemorySize();
    // The zone map changed or may have: loaders that started before drop what they read.
    void zonesChanged(bool stillLoaded);
    // Lists the keys into the key vector; the reply is the cached one or asked for.
    std::vector<Passkey> listPasskeys();
    void refuseWhilePlaying();

    std::atomic<std::uint32_t> versionId_{3};
    // Microseconds of the last test that the console took; 0 for none.
    std::atomic<std::int64_t> testStart_{0};

    std::atomic<bool> zonesLoaded_{false};
    // Kept across a cache reset.
    std::atomic<std::uint32_t> zoneMemorySize_{0};

    // Guarded by the device lock.
    State state_;
    std::shared_ptr<Config> config_;
    // The gong switch as last written or read; unknown until then.
    std::optional<bool> gongEnabled_;
    std::uint16_t gongId_ = noGong;
    Zones zones_;
    // Counts the changes of the zone map.
    std::uint64_t zoneGeneration_ = 0;
    // The last "passkeyList" reply; empty when the next listing asks the console.
    std::string passkeyReply_;
    std::vector<Passkey> passkeys_;
    std::vector<Passkey> passkeysBeforeAdd_;
};

}  // namespace device
