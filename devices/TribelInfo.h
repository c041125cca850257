#pragma once
// A "Tribel" microphone console: the record of its last status packet (TribelInfoParseState.cpp),
// its settings (TribelInfoConfig.cpp), its test, its volume as it reports it, and the gong it
// plays before an announcement.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "devicelink/CommonConfig.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceType.h"
#include "devices/FeatureFlags.h"
#include "devices/TribelConfig.h"
#include "devices/TribelState.h"

namespace device {

class TribelInfo : public DeviceBase {
public:
    using State = TribelState;
    using Config = TribelConfig;

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
    // Also the cached settings.
    void dropCachedValues() override;
    // The console audio memory (initAudioMemory), its gong checks and the gong setting that
    // follows a write of it join the console with the console audio memory.

    // Whether a firmware image made for `imageType` may be written to this console.
    bool acceptsFirmwareFor(DeviceType imageType) const;

    // The generation of the console firmware, 0 to 3; it decides the settings reply's layout.
    std::uint32_t getVersionId() const { return versionId_.load(); }
    // One of the 25 capability flags, numbered from 1.
    bool hasFeature(std::size_t flag) const;
    // A copy of the last status record.
    State getState() const;

    // The raw reply of "get dbg".
    std::string getDebugInfo();
    // Starts the self test, whose result comes in the status packets. exception::UserResponse
    // "testFailure" or "testIsRunning".
    void startDeviceTest();
    // For 20 s after a test was started.
    bool isTestRunning() const;

    // Settings.
    // The settings, from the cache unless `refresh`. exception::Offline,
    // exception::UnexpectedResponseOfDevice for a reply that does not read.
    Config getConfig(bool refresh);
    // Checks and writes the changed settings; true when the console was restarted to take them.
    // Nothing is sent when a check refuses the record.
    bool setConfig(Config config);
    CommonConfig getCommonConfig(bool refresh);
    bool setCommonConfig(const CommonConfig& common);

private:
    struct StateUpdate;

    TribelInfo(std::uint32_t id, const net::HardwareAddress& hardwareAddress, const net::IpAndPort& address,
               const std::wstring& title, std::shared_ptr<TransferProtocol> protocol);

    // The steps of parseState, in their order.
    void applyVersion(StateUpdate& update, const Version& version);
    void applyFields(StateUpdate& update);
    // What the console plays follows its playback state, and so does the cached gong switch.
    void applyPlaybackState(State& record);

    // The order of the gong to send, or the refusal of a gong that cannot be played.
    std::uint16_t examineGong(const Config& config);
    // Drops the cached settings and the request cache, so that the next read asks the console.
    void dropConfig();

    std::atomic<std::uint32_t> versionId_{3};
    // Microseconds of the last test that the console took; 0 for none.
    std::atomic<std::int64_t> testStart_{0};

    // Guarded by the device lock.
    State state_;
    std::shared_ptr<Config> config_;
    bool gongEnabled_ = false;
    std::uint16_t gongId_ = noGong;
};

}  // namespace device
