#pragma once
// An emulated "Vokar" loudspeaker of one firmware generation: it answers its commands in
// the forms of that generation, keeps the state its commands change and writes status
// packets of that generation from a status the test sets. It has an audio flash, erased until a
// test writes it, that answers in the command words of its generation. Commands of later
// features join the command table in the constructor.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "devices/VokarVersion.h"
#include "support/AudioFlash.h"
#include "support/DeviceEmulator.h"
#include "support/EmulatorText.h"

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

    // The settings the loudspeaker keeps, by its own inputs (a Vokar-S has only the second).
    // "set <key> <value>" changes them with the keys its generation knows; the replies to
    // "get state" (from generation 9 on) or "config" and "ifconfig" show them.
    struct Settings {
        std::uint32_t number = 17;
        std::string stateText = "ready";
        std::uint32_t ratioFirst = 3;
        std::uint32_t ratioSecond = 4;
        std::uint32_t stateMode = 2;
        bool dhcp = false;
        std::string ip = "10.20.0.21";
        std::string mask = "255.255.0.0";
        std::string gateway = "10.20.0.1";
        std::string currentIp = "10.20.0.21";
        std::string currentMask = "255.255.0.0";
        std::string currentGateway = "10.20.0.1";
        std::string multicastIp = "239.10.0.1";
        std::string serverIp = "10.20.0.5";
        std::uint32_t serverPort = 5000;
        // The first generations keep the audio server and its two ports apart.
        std::string audioServerIp = "10.20.0.5";
        std::uint32_t discoveryPort = 5001;
        std::uint32_t micPort = 5002;
        bool multicastListen = false;
        std::array<bool, 2> multicastAin = {false, true};
        std::array<std::uint32_t, 2> priAin = {3, 4};
        std::uint32_t priVoiceAlert = 1;
        std::uint32_t priStreamMCast = 5;
        std::uint32_t priZoneInput = 2;
        std::uint32_t priStream = 6;
        std::uint32_t neridaAddress = 12;
        bool neridaRelay = true;
        bool neridaTest = true;
        bool neridaReserve = false;
        // Play numbers of the scenarios the inputs start; -1 for none.
        std::array<std::int32_t, 2> scenarioOrder = {-1, -1};
        bool switchMode = true;
        bool ain2Arm = false;
        std::uint32_t igmpReport = 125;
        std::uint32_t token33 = 7;
        bool lineDouble = true;
        bool lineTest = true;
    };

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

    Status status() const;
    void setStatus(const Status& status);
    std::string statusPacket() const;
    // The packet a loudspeaker with that address, status and version text sends.
    static std::string makeStatusPacket(const std::string& hardwareAddress, const Status& status,
                                        std::size_t numberCount, const std::string& versionText);
    // Sends one status packet; nothing (false) while the loudspeaker restarts or its packets
    // are lost.
    bool sendStatus(const net::IpAndPort& to);
    // Its status packets are lost on the way while it still answers.
    void setStatusLost(bool lost);

    // The volume in the loudspeaker's own scale: a level in dB from generation 9 on
    // (0 loudest, -96 silent), else one byte per amplifier channel (0 loudest, 0xFE silent).
    void setDecibels(std::int32_t level);
    std::int32_t decibels() const;
    void setChannelBytes(unsigned first, unsigned second);
    std::pair<unsigned, unsigned> channelBytes() const;

    Settings settings() const;
    void setSettings(const Settings& settings);
    // The lines of the settings reply of the generation ("get state" from generation 9 on,
    // else "config"), each "label: value", for tests that spoil one of them.
    std::vector<std::string> settingsLines() const;

    // The channel is the channel field of the status. While deferring, "set ch" is taken but
    // carried out only once the loudspeaker's own playback ends, which its reply says.
    void setChannelDeferred(bool deferred);
    // Whether the test tone of the sound-pressure test plays.
    bool tonePlaying() const;
    // The numbers of the power supply's firmware that "get pssVer" tells.
    void setPowerSupplyVersion(const std::string& numbers);

    // The equalizer: a word of four bands up to generation 8, later the bands ("-2:-4:0:-1:-3:-5",
    // as "set eqd" last wrote them) and a switch.
    std::uint16_t equalizerWord() const;
    std::string equalizerBands() const;
    bool equalizerOn() const;

    // The zone lists, from generation 16 on: the virtual zones it announces and the consoles'
    // device numbers.
    std::set<std::int32_t> announceZones() const;
    void setAnnounceZones(const std::set<std::int32_t>& zones);
    std::set<std::uint32_t> zoneAddresses() const;
    void setZoneAddresses(const std::set<std::uint32_t>& addresses);
    void setZoneAddressesOff(const std::set<std::uint32_t>& addresses);
    // What "set line" refuses with, naming the lines it could not take; empty: it takes both.
    void setLineFailure(const std::string& text);

    AudioFlash& audioFlash() { return flash_; }

private:
    bool laterGeneration() const { return generation_ >= device::vokarA_3_00_01; }
    std::optional<std::string> getVolume(const std::string& command);
    std::optional<std::string> setVolume(const std::string& command);
    std::optional<std::string> reboot(const std::string& command);
    std::optional<std::string> getChannel(const std::string& command);
    std::optional<std::string> setChannel(const std::string& command);
    std::optional<std::string> tone(const std::string& command, bool later, bool on);
    std::optional<std::string> deviceTest(const std::string& command);
    std::optional<std::string> zoneCommand(const std::string& command);
    std::optional<std::string> getEqualizer(const std::string& command);
    std::optional<std::string> setEqualizer(const std::string& command);
    std::optional<std::string> setEqualizerBands(const std::string& command, const std::string& bands);
    std::optional<std::string> setSetting(const std::string& command);
    std::optional<std::string> settingsReply(const std::string& command);
    std::optional<std::string> interfaceReply(const std::string& command);
    // "On" / "Off" of a first-generation query, for the generations that know it.
    std::optional<std::string> onOffReply(const std::string& command, device::VokarVersion lowest,
                                          bool value);
    std::vector<std::string> stateLinesLocked() const;
    std::vector<std::string> configLinesLocked() const;

    const std::string hardwareAddress_;
    const device::VokarVersion generation_;

    mutable std::mutex lock_;
    std::string versionText_;
    Status status_;
    std::size_t numberCount_;
    std::int32_t decibels_ = -18;
    unsigned firstChannelByte_ = 0x1E;
    unsigned secondChannelByte_ = 0x1E;
    Settings settings_;
    bool channelDeferred_ = false;
    bool statusLost_ = false;
    bool tonePlaying_ = false;
    std::string powerSupplyVersion_ = "1.02.7";
    std::uint16_t equalizerWord_ = 0x1234;
    std::string equalizerBands_ = "-2:-4:0:-1:-3:-5";
    bool equalizerOn_ = true;
    std::set<std::int32_t> announceZones_;
    std::set<std::uint32_t> zoneAddresses_;
    std::set<std::uint32_t> zoneAddressesOff_;
    std::string lineFailure_;
    AudioFlash flash_;
};

}  // namespace test
