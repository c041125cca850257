#pragma once
// A "Vokar" loudspeaker: its firmware generation, which decides the form of every command,
// the record of its last status packet, and what it is believed to play.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceType.h"
#include "devices/PlaybackType.h"
#include "devices/VokarState.h"
#include "devices/VokarVersion.h"

namespace device {

class VokarInfo : public DeviceBase {
public:
    using State = VokarState;

    // The channel value that stands for no channel known.
    static constexpr std::uint32_t noChannel = 22;

    // A loudspeaker of `type`, already knowing its own shared pointer and its state handler.
    // Its generation is provisional until its first status packet: the last Vokar-A
    // generation for a Vokar-A, the newest for any other loudspeaker model, else 9.
    static std::shared_ptr<VokarInfo> create(std::uint32_t id, DeviceType type,
                                             const net::HardwareAddress& hardwareAddress,
                                             const net::IpAndPort& address, const std::wstring& title,
                                             std::shared_ptr<TransferProtocol> protocol,
                                             StateHandler stateHandler);
    ~VokarInfo() override;

    // Slots of the base.
    void resetCache() override;
    // Waits for the firmware image interface, which names the image's device type; the
    // decision itself is acceptsFirmwareFor.
    bool checkUpgradePossibility(const std::shared_ptr<IFirmware>& image) override;
    // The volume command joins with the other loudspeaker commands.
    bool setVolume(std::int32_t level) override;
    // One status packet; false when it was refused. Never throws for bad packet content.
    bool parseState(const std::string& packet, const net::IpAndPort& sender) override;
    bool hasInternalPlaying() override;
    // The name of the current playback type.
    std::wstring getTypeText() override;
    // Stores the volume that a "get vol" reply tells, in the scale of the generation.
    void handleVolume(const std::string& reply) override;
    void resetPlaybackType() override;

    // Whether a firmware image made for `imageType` may be written to this loudspeaker. A
    // power-supply image needs good mains and batteries: exception::UserResponse otherwise.
    bool acceptsFirmwareFor(DeviceType imageType);

    VokarVersion getVersionId() const { return static_cast<VokarVersion>(version_.load()); }
    // Throws exception::UnsupportedByDevice when the generation is below `version`.
    void requireMinimumVersion(VokarVersion version);
    // One of the 25 capability flags, numbered from 1.
    bool hasFeature(std::size_t flag) const;

    // A copy of the last status record. Without internal playback a silenced loudspeaker
    // shows no sound activity.
    State getState() const;
    // The channel last learnt from a packet or a switch; noChannel when none.
    std::uint32_t getKnownChannel() const { return channel_.load(); }

    PlaybackType getPlaybackType() const { return playbackType_.load(); }
    bool isPlaybackType(PlaybackType mask) const { return playback::contains(getPlaybackType(), mask); }
    // The guarded change that channel switching uses: it keeps internal playback and the
    // playback of a higher class than the one asked for.
    void setPlaybackType(PlaybackType type);
    // Sets the type unconditionally and tells the state handler.
    void setPlaybackTypeForce(PlaybackType type);

    // When the last "get vol" reply was handled (device clock, microseconds).
    std::int64_t getLastVolumeReplyTime() const { return lastVolumeReplyTime_.load(); }

private:
    struct StateUpdate;

    VokarInfo(std::uint32_t id, const net::HardwareAddress& hardwareAddress, const net::IpAndPort& address,
              const std::wstring& title, std::shared_ptr<TransferProtocol> protocol);

    std::shared_ptr<VokarInfo> self();
    void requirePowerGood();

    // The steps of parseState, in their order.
    bool applyVersion(StateUpdate& update, const std::string& packet);
    void applyTips(StateUpdate& update);
    void applySender(StateUpdate& update, const net::IpAndPort& sender);
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
};

}  // namespace device
