#pragma once
// An emulated "Vokar" loudspeaker of one firmware generation: it answers its commands in
// the forms of that generation, keeps the state its commands change and writes status
// packets of that generation from a status the test sets. Commands of later features join
// the command table in the constructor.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "devices/VokarVersion.h"
#include "support/DeviceEmulator.h"

namespace test {

class LoudspeakerEmulator : public EmulatedDevice {
public:
    // The numbers of a status packet in their order, as the loudspeaker sends them.
    struct Status {
        std::uint32_t batteryLevel = 100;
        std::uint32_t batteryState = 1;
        std::uint32_t line1 = 1;  // the tips added mask from generation 10 on
        std::uint32_t line2 = 1;  // the tips active mask from generation 10 on
        std::uint32_t caseState = 0;
        std::uint32_t playbackState = 0;
        std::uint32_t soundPressure = 1;
        std::uint32_t acPowerSupply = 1;
        std::uint32_t nerida = 0;
        std::uint32_t ain = 12;
        std::uint32_t eth = 2;
        std::uint32_t zone = 1;
        std::uint32_t activeZoneAddress = 0;  // sent in hexadecimal
        std::uint32_t activeAlarmOrder = 0;
        std::uint32_t playbackSource = 0;
        std::uint32_t preferenceCrc = 0;  // sent in hexadecimal
        std::uint32_t channel = 0;
        std::uint32_t amplifierOutput = 1;
        std::uint32_t ledPanel = 1;
        std::uint32_t feedback = 0;
        std::uint32_t inputStreams = 0;
        std::uint32_t selfTest = 0;
        std::int32_t audioMemoryState = 1;
        std::uint32_t scenarioCount = 1;
        std::int32_t apiLevel = 1;
        std::int32_t apiCompatibility = 1;
    };

    // All numbers a packet can carry.
    static constexpr std::size_t fullNumberCount = 26;

    // `model` is the type word of the version text ("Vokar-B", "Vokar-S"); empty picks
    // "Vokar-A" for the first generations and "Vokar-B" for the later ones.
    LoudspeakerEmulator(const std::string& ip, std::uint16_t port, const std::string& hardwareAddress,
                        device::VokarVersion generation, const std::string& model = "");
    ~LoudspeakerEmulator() override;

    // The version numbers the firmware of a generation reports ("1.01.71.2"), chosen at the
    // start of each generation's range. 23 is a build beyond the last one known.
    static std::string versionNumbers(device::VokarVersion generation);

    device::VokarVersion generation() const { return generation_; }
    const std::string& hardwareAddress() const { return hardwareAddress_; }
    std::string versionText() const;
    // Replaces the version text of the packets, as a firmware update or a broken one does.
    void setVersionText(const std::string& text);

    Status status() const;
    void setStatus(const Status& status);
    // How many of the 26 numbers the packets carry: 15 on the first generations, all of
    // them later.
    void setNumberCount(std::size_t count);
    std::string statusPacket() const;
    // The packet a loudspeaker with that address, status and version text sends.
    static std::string makeStatusPacket(const std::string& hardwareAddress, const Status& status,
                                        std::size_t numberCount, const std::string& versionText);
    // Sends one status packet; nothing (false) while the loudspeaker restarts.
    bool sendStatus(const net::IpAndPort& to);

    // The volume in the loudspeaker's own scale: a level in dB from generation 9 on
    // (0 loudest, -96 silent), else one byte per amplifier channel (0 loudest, 0xFE silent).
    void setDecibels(std::int32_t level);
    std::int32_t decibels() const;
    void setChannelBytes(unsigned first, unsigned second);
    std::pair<unsigned, unsigned> channelBytes() const;

    // How long the loudspeaker stays silent after "reboot".
    void setRebootPause(std::chrono::milliseconds pause);
    bool isRebooting() const;
    int rebootCount() const;

protected:
    std::optional<std::string> handle(const std::string& command) override;

private:
    bool laterGeneration() const { return generation_ >= device::vokarA_3_00_01; }
    std::optional<std::string> getVolume(const std::string& command);
    std::optional<std::string> setVolume(const std::string& command);
    std::optional<std::string> reboot(const std::string& command);
    bool rebootingLocked() const;

    const std::string hardwareAddress_;
    const device::VokarVersion generation_;

    mutable std::mutex lock_;
    std::string versionText_;
    Status status_;
    std::size_t numberCount_;
    std::int32_t decibels_ = -18;
    unsigned firstChannelByte_ = 0x1E;
    unsigned secondChannelByte_ = 0x1E;
    std::chrono::milliseconds rebootPause_{1500};
    std::chrono::steady_clock::time_point rebootEnds_{};
    int rebootCount_ = 0;
};

// The reply of a loudspeaker that took a command: "OK[command]: payload".
std::string okReply(const std::string& command, const std::string& payload);

}  // namespace test
