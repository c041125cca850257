#pragma once
// An emulated "Tribel" microphone console: it writes status packets from a status the test sets,
// answers "get state" in the layout of its firmware, takes the configuration keys, restarts on
// "reboot", runs its self test, keeps its zones and access keys, and has an audio flash.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/AudioFlash.h"
#include "support/DeviceEmulator.h"
#include "support/EmulatorText.h"

namespace test {

class ConsoleEmulator : public EmulatedDevice {
public:
    // The sixteen numbers of a status packet in their order.
    struct Status {
        std::uint32_t priority = 0;
        std::uint32_t power1Level = 100;
        std::uint32_t power1State = 0x05;
        std::uint32_t power2Level = 0;
        std::uint32_t power2State = 0;
        std::uint32_t ethernet1 = 0x01;
        std::uint32_t ethernet2 = 0x01;
        std::uint32_t microphone = 1;
        std::uint32_t playbackState = 0;
        std::uint32_t access = 0;
        std::uint32_t caseState = 1;
        std::uint32_t boundZones = 0;
        std::uint32_t connectedZones = 0;
        std::uint32_t activatedZones = 0;
        std::uint32_t neridaLines = 0;
        std::uint32_t ain = 3;
    };
    static constexpr std::size_t numberCount = 16;

    // The settings the console keeps; "set <key> <value>" changes them and "get state" shows them.
    struct Settings {
        std::uint32_t number = 1;
        bool dhcp = false;
        std::string ip = "10.20.0.31";
        std::string mask = "255.255.0.0";
        std::string gateway = "10.20.0.1";
        std::string currentIp = "10.20.0.32";
        std::string currentMask = "255.255.255.0";
        std::string currentGateway = "10.20.0.2";
        std::string multicastIp = "239.10.0.1";
        std::string serverIp = "10.20.0.5";
        std::uint32_t serverPort = 5000;
        bool gong = true;
        std::uint32_t gongOrder = 2;
        bool beeper = true;
        bool faultAlarm = true;
        bool ledScBlink = false;
        bool passkey = false;
        bool switchMode = true;
        bool singlePower = false;
        std::uint32_t neridaAddress = 14;
        bool neridaRelay = false;
        bool neridaTest = true;
        bool neridaReserve = false;
        bool gochsArm = false;
        // A fire console (128 and up) with the priority level 50.
        std::uint32_t priority = 178;
        bool priorityGOChS = false;
        std::uint32_t powerIn1 = 1;
        std::uint32_t powerIn2 = 4;
        std::uint32_t igmpReport = 125;
        std::uint32_t token29 = 9;
        bool holdBroadcast = false;
    };

    // `version` is the version text without the model ("1.00.16"); a major version of 2 makes
    // the console a Tribel-T-V2. The third number decides the layout of "get state": below 13 it
    // lacks its last two lines, 13 and 14 the last one.
    ConsoleEmulator(const std::string& ip, std::uint16_t port, const std::string& hardwareAddress,
                    const std::string& version = "1.00.16");
    ~ConsoleEmulator() override;

    const std::string& hardwareAddress() const { return hardwareAddress_; }
    std::string versionText() const;

    Status status() const;
    void setStatus(const Status& status);
    std::string statusPacket() const;
    // The packet a console with that address, status and version text sends.
    static std::string makeStatusPacket(const std::string& hardwareAddress, const Status& status,
                                        const std::string& versionText);
    // Sends one status packet; nothing (false) while the console restarts.
    bool sendStatus(const net::IpAndPort& to);

    Settings settings() const;
    void setSettings(const Settings& settings);
    // The lines of the "get state" reply, each "label: value", for tests that spoil one of them.
    std::vector<std::string> settingsLines() const;

    // One zone as the console keeps it; every address takes one entry of the zone memory.
    struct Zone {
        int virtualZone = 0;
        int scenario = -1;
        std::set<std::uint32_t> addresses;
    };
    std::map<int, Zone> zones() const;
    void setZones(const std::map<int, Zone>& zones);
    void setZoneMemorySize(std::uint32_t entries);
    void setZonesOff(const std::set<int>& zones);

    std::vector<std::string> passkeys() const;
    void setPasskeys(const std::vector<std::string>& keys);
    bool learning() const;
    // A key shown to the console's reader: while it learns, the key is added and learning ends.
    void presentKey(const std::string& key);

    AudioFlash& audioFlash() { return flash_; }

private:
    std::optional<std::string> setSetting(const std::string& command);
    std::optional<std::string> selfTest(const std::string& command);
    std::vector<std::string> settingsLinesLocked() const;
    std::optional<std::string> bindZone(const std::string& command);
    std::optional<std::string> changeZone(const std::string& command);
    std::optional<std::string> changePasskeys(const std::string& command);
    std::string zoneListLocked() const;

    const std::string hardwareAddress_;
    const std::string versionText_;
    const unsigned revision_;

    mutable std::mutex lock_;
    Status status_;
    Settings settings_;
    std::string volumeText_ = "80";
    bool testRunning_ = false;
    std::map<int, Zone> zones_;
    std::uint32_t zoneMemorySize_ = 200;
    std::set<int> zonesOff_;
    std::vector<std::string> passkeys_;
    bool learning_ = false;
    AudioFlash flash_;
};

// The reply of a console that took a command: "SUCCESS: payload".
std::string successReply(const std::string& payload);

}  // namespace test
