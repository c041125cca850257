#include "support/LoudspeakerEmulator.h"

#include <charconv>
#include <stdexcept>
#include <string_view>

#include "foundation/NetworkAddress.h"
#include "support/EmulatorText.h"

namespace test {
namespace {

// Version numbers at the start of each generation's range, in generation order.
const char* const generationNumbers[device::vokarVersionCount] = {
    nullptr,  // no firmware reports the unknown generation
    "1.01.69",  "1.01.70",  "1.01.71",  "1.01.71.2", "1.01.72",  "2.00.71.17000", "2.00.71.17105", "2.01.72",
    "1.00.01",  "1.00.56",  "1.00.59",  "1.01.63",   "1.01.69",  "1.02.79",       "1.01.80",       "1.03.110",
    "1.03.111", "1.03.113", "1.03.121", "1.03.125",  "1.03.128", "1.03.131",      "1.03.140",
};

using Settings = LoudspeakerEmulator::Settings;

// The input that a key ending in "AIN1" names. Up to generation 15 the inputs are counted
// from 0, later from 1; generation 15 takes the keys of both countings, and "AIN1" there
// still names its second input.
std::size_t inputNamedOne(int generation) {
    return generation >= device::vokarV3_A110 ? 0 : 1;
}

// A setting key with the generations that know it.
struct KeyRule {
    const char* key;
    int lowest;
    int highest;
    bool (*apply)(Settings& s, const std::string& value, int generation);
};

constexpr std::int64_t highestPort = 65535;

const KeyRule keyRules[] = {
    {"ip", 1, 23, [](Settings& s, const std::string& v, int) { return setAddress(s.ip, v); }},
    {"mask", 1, 23, [](Settings& s, const std::string& v, int) { return setAddress(s.mask, v); }},
    {"gw", 1, 23, [](Settings& s, const std::string& v, int) { return setAddress(s.gateway, v); }},
    {"dhcp", 1, 23, [](Settings& s, const std::string& v, int) { return setFlag(s.dhcp, v); }},
    {"multicastIP", 1, 8,
     [](Settings& s, const std::string& v, int) { return setAddress(s.multicastIp, v); }},
    {"mCastIP", 9, 23, [](Settings& s, const std::string& v, int) { return setAddress(s.multicastIp, v); }},
    {"cmdPort", 1, 8,
     [](Settings& s, const std::string& v, int) { return setNumber(s.serverPort, v, 1, highestPort); }},
    {"srvPort", 9, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.serverPort, v, 1, highestPort); }},
    {"cmdSrvIP", 1, 8, [](Settings& s, const std::string& v, int) { return setAddress(s.serverIp, v); }},
    {"srvAllowedIp", 9, 23, [](Settings& s, const std::string& v, int) { return setAddress(s.serverIp, v); }},
    {"audioSrvIP", 1, 8,
     [](Settings& s, const std::string& v, int) { return setAddress(s.audioServerIp, v); }},
    {"ch0Port", 1, 8,
     [](Settings& s, const std::string& v, int) { return setNumber(s.discoveryPort, v, 1, highestPort); }},
    {"ch1Port", 1, 8,
     [](Settings& s, const std::string& v, int) { return setNumber(s.micPort, v, 1, highestPort); }},
    {"AddrNerida", 1, 8,
     [](Settings& s, const std::string& v, int) { return setNumber(s.neridaAddress, v, 0, 127); }},
    {"neridaAddr", 9, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.neridaAddress, v, 0, 127); }},
    {"ReleEvent", 1, 8, [](Settings& s, const std::string& v, int) { return setFlag(s.neridaRelay, v); }},
    {"neridaRelay", 9, 23, [](Settings& s, const std::string& v, int) { return setFlag(s.neridaRelay, v); }},
    {"neridatest", 4, 16, [](Settings& s, const std::string& v, int) { return setFlag(s.neridaTest, v); }},
    {"neridaTest", 17, 23, [](Settings& s, const std::string& v, int) { return setFlag(s.neridaTest, v); }},
    {"neridaReserve", 16, 23,
     [](Settings& s, const std::string& v, int) { return setFlag(s.neridaReserve, v); }},
    {"linetest", 3, 8, [](Settings& s, const std::string& v, int) { return setFlag(s.lineTest, v); }},
    {"linedouble", 2, 8, [](Settings& s, const std::string& v, int) { return setFlag(s.lineDouble, v); }},
    {"multicastListen", 9, 23,
     [](Settings& s, const std::string& v, int) { return setFlag(s.multicastListen, v); }},
    {"multicastAIN0", 9, 15,
     [](Settings& s, const std::string& v, int) { return setFlag(s.multicastAin[0], v); }},
    {"multicastAIN1", 9, 23,
     [](Settings& s, const std::string& v, int g) { return setFlag(s.multicastAin[inputNamedOne(g)], v); }},
    {"multicastAIN2", 15, 23,
     [](Settings& s, const std::string& v, int) { return setFlag(s.multicastAin[1], v); }},
    {"priAIN0", 9, 15,
     [](Settings& s, const std::string& v, int) { return setNumber(s.priAin[0], v, 0, highestPort); }},
    {"priAIN1", 9, 23,
     [](Settings& s, const std::string& v, int g) {
         return setNumber(s.priAin[inputNamedOne(g)], v, 0, highestPort);
     }},
    {"priAIN2", 15, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.priAin[1], v, 0, highestPort); }},
    {"priStreamMCast", 9, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.priStreamMCast, v, 0, highestPort); }},
    {"priZoneInput", 15, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.priZoneInput, v, 0, highestPort); }},
    {"priVoiceAlert", 9, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.priVoiceAlert, v, 0, highestPort); }},
    {"priStream", 9, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.priStream, v, 0, highestPort); }},
    {"scAIN0", 12, 15,
     [](Settings& s, const std::string& v, int) { return setNumber(s.scenarioOrder[0], v, -1, 64); }},
    {"scAIN1", 12, 23,
     [](Settings& s, const std::string& v, int g) {
         return setNumber(s.scenarioOrder[inputNamedOne(g)], v, -1, 64);
     }},
    {"scAIN2", 15, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.scenarioOrder[1], v, -1, 64); }},
    {"switchMode", 15, 23, [](Settings& s, const std::string& v, int) { return setFlag(s.switchMode, v); }},
    {"ain2Arm", 15, 23, [](Settings& s, const std::string& v, int) { return setFlag(s.ain2Arm, v); }},
    {"igmpReport", 16, 23,
     [](Settings& s, const std::string& v, int) { return setNumber(s.igmpReport, v, 0, highestPort); }},
};

}  // namespace

LoudspeakerEmulator::LoudspeakerEmulator(const std::string& ip, std::uint16_t port,
                                         const std::string& hardwareAddress, device::VokarVersion generation,
                                         const std::string& model)
    : EmulatedDevice(ip, port, DeferredStart{}),
      hardwareAddress_(hardwareAddress),
      generation_(generation),
      numberCount_(generation >= device::vokarA_3_00_01 ? fullNumberCount : 15),
      flash_(*this, 8192, laterGeneration() ? AudioFlash::Words::voice : AudioFlash::Words::older) {
    const std::string word = !model.empty() ? model : laterGeneration() ? "Vokar-B" : "Vokar-A";
    versionText_ = word + " " + versionNumbers(generation);
    on("get vol", [this](const std::string& command) { return getVolume(command); });
    on("set vol ", [this](const std::string& command) { return setVolume(command); });
    on("reboot", [this](const std::string& command) { return reboot(command); });
    on("get ch", [this](const std::string& command) { return getChannel(command); });
    on("set ch ", [this](const std::string& command) { return setChannel(command); });
    on("startSine", [this](const std::string& command) { return tone(command, true, true); });
    on("stopSine", [this](const std::string& command) { return tone(command, true, false); });
    on("sinus ", [this](const std::string& command) { return tone(command, false, command != "sinus off"); });
    on("deviceTest", [this](const std::string& command) { return deviceTest(command); });
    on("get pssVer", [this](const std::string& command) {
        std::lock_guard<std::mutex> guard(lock_);
        return std::optional<std::string>(okReply(command, powerSupplyVersion_));
    });
    on("set ", [this](const std::string& command) { return setSetting(command); });
    on("get eq", [this](const std::string& command) { return getEqualizer(command); });
    on("set eq", [this](const std::string& command) { return setEqualizer(command); });
    on("get state", [this](const std::string& command) { return settingsReply(command); });
    on("config", [this](const std::string& command) { return settingsReply(command); });
    on("ifconfig", [this](const std::string& command) { return interfaceReply(command); });
    on("get linedouble", [this](const std::string& command) {
        std::lock_guard<std::mutex> guard(lock_);
        return onOffReply(command, device::vokarA_1_01_70, settings_.lineDouble);
    });
    on("get linetest", [this](const std::string& command) {
        std::lock_guard<std::mutex> guard(lock_);
        return onOffReply(command, device::vokarA_1_01_70, settings_.lineTest);
    });
    on("get neridatest", [this](const std::string& command) {
        std::lock_guard<std::mutex> guard(lock_);
        return onOffReply(command, device::vokarA_1_01_71_2, settings_.neridaTest);
    });
    on("get igmpReport", [this](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(lock_);
        if (generation_ < device::vokarV3_A110) return unknownCommand(command);
        return okReply(command, decimal(settings_.igmpReport));
    });
    on("zone", [this](const std::string& command) { return zoneCommand(command); });
    on("set line", [this](const std::string& command) -> std::optional<std::string> {
        // "set linedouble" and the like are settings.
        if (command != "set line") return setSetting(command);
        std::lock_guard<std::mutex> guard(lock_);
        if (!lineFailure_.empty()) return "ERR[" + command + "]: " + lineFailure_;
        return okReply(command, "");
    });
    startServing();
}

std::set<std::int32_t> LoudspeakerEmulator::announceZones() const {
    std::lock_guard<std::mutex> guard(lock_);
    return announceZones_;
}

void LoudspeakerEmulator::setAnnounceZones(const std::set<std::int32_t>& zones) {
    std::lock_guard<std::mutex> guard(lock_);
    announceZones_ = zones;
}

std::set<std::uint32_t> LoudspeakerEmulator::zoneAddresses() const {
    std::lock_guard<std::mutex> guard(lock_);
    return zoneAddresses_;
}

void LoudspeakerEmulator::setZoneAddresses(const std::set<std::uint32_t>& addresses) {
    std::lock_guard<std::mutex> guard(lock_);
    zoneAddresses_ = addresses;
}

void LoudspeakerEmulator::setZoneAddressesOff(const std::set<std::uint32_t>& addresses) {
    std::lock_guard<std::mutex> guard(lock_);
    zoneAddressesOff_ = addresses;
}

void LoudspeakerEmulator::setLineFailure(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    lineFailure_ = text;
}

// "zoneAnnAdd 5", "zoneAnnDel 5", "zoneAnnRead", "zoneAddrAdd ABC", "zoneAddrDel ABC",
// "zoneAddrRead", "zoneAddrOffRead".
std::optional<std::string> LoudspeakerEmulator::zoneCommand(const std::string& command) {
    const std::size_t blank = command.find(' ');
    const std::string name = command.substr(0, blank);
    const std::string argument = blank == std::string::npos ? std::string() : command.substr(blank + 1);
    std::lock_guard<std::mutex> guard(lock_);
    if (generation_ < device::vokarV3_A110) return unknownCommand(command);
    const auto list = [&](const auto& entries, bool hexadecimal) {
        std::string text;
        for (const auto entry : entries)
            text += (text.empty() ? "" : ",") + (hexadecimal ? hex(entry, 1) : decimal(entry));
        return okReply(name, text.empty() ? "no" : text);
    };
    if (name == "zoneAnnRead") return list(announceZones_, false);
    if (name == "zoneAddrRead") return list(zoneAddresses_, true);
    if (name == "zoneAddrOffRead") return list(zoneAddressesOff_, true);
    std::int64_t entry = 0;
    const bool address = name == "zoneAddrAdd" || name == "zoneAddrDel";
    if (!parseWhole(argument, entry, address ? 16 : 10) || entry < 0 || entry > (address ? 0xFFFFFF : 65534))
        return "ERR[" + name + "]: bad argument";
    if (name == "zoneAnnAdd") {
        announceZones_.insert(static_cast<std::int32_t>(entry));
    } else if (name == "zoneAnnDel") {
        announceZones_.erase(static_cast<std::int32_t>(entry));
    } else if (name == "zoneAddrAdd") {
        zoneAddresses_.insert(static_cast<std::uint32_t>(entry));
    } else if (name == "zoneAddrDel") {
        zoneAddresses_.erase(static_cast<std::uint32_t>(entry));
    } else {
        return unknownCommand(command);
    }
    return okReply(name, "");
}

LoudspeakerEmulator::~LoudspeakerEmulator() {
    stopServing();
}

std::string LoudspeakerEmulator::versionNumbers(device::VokarVersion generation) {
    if (generation <= device::vokarUnknown || generation >= device::vokarVersionCount) {
        throw std::invalid_argument("no firmware of generation " + std::to_string(generation));
    }
    return generationNumbers[generation];
}

std::string LoudspeakerEmulator::versionText() const {
    std::lock_guard<std::mutex> guard(lock_);
    return versionText_;
}

LoudspeakerEmulator::Status LoudspeakerEmulator::status() const {
    std::lock_guard<std::mutex> guard(lock_);
    return status_;
}

void LoudspeakerEmulator::setStatus(const Status& status) {
    std::lock_guard<std::mutex> guard(lock_);
    status_ = status;
}

std::string LoudspeakerEmulator::statusPacket() const {
    std::lock_guard<std::mutex> guard(lock_);
    return makeStatusPacket(hardwareAddress_, status_, numberCount_, versionText_);
}

std::string LoudspeakerEmulator::makeStatusPacket(const std::string& hardwareAddress, const Status& s,
                                                  std::size_t numberCount, const std::string& versionText) {
    // Separator and text of each number, in packet order.
    const std::pair<const char*, std::string> numbers[fullNumberCount] = {
        {",", decimal(s.batteryLevel)},
        {",", decimal(s.batteryState)},
        {",", decimal(s.line1)},
        {",", decimal(s.line2)},
        {",", decimal(s.caseState)},
        {",", decimal(s.playbackState)},
        {",", decimal(s.soundPressure)},
        {",", decimal(s.acPowerSupply)},
        {",", decimal(s.nerida)},
        {",", decimal(s.ain)},
        {",", decimal(s.eth)},
        {",", decimal(s.zone)},
        {",", hex(s.activeZoneAddress, 6)},
        {",", decimal(s.activeAlarmOrder)},
        {",", decimal(s.playbackSource)},
        {";", hex(s.preferenceCrc, 4)},
        {";", decimal(s.channel)},
        {";", decimal(s.amplifierOutput)},
        {";", decimal(s.ledPanel)},
        {";", decimal(s.feedback)},
        {";", decimal(s.inputStreams)},
        {";", decimal(s.selfTest)},
        {";", decimal(s.audioMemoryState)},
        {";", decimal(s.scenarioCount)},
        {";A", decimal(s.apiLevel)},
        {";C", decimal(s.apiCompatibility)},
    };
    std::string packet = hardwareAddress;
    for (std::size_t n = 0; n < numberCount && n < fullNumberCount; ++n) {
        packet += numbers[n].first + numbers[n].second;
    }
    return packet + "," + versionText + "\r\n";
}

bool LoudspeakerEmulator::sendStatus(const net::IpAndPort& to) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (statusLost_) return false;
    }
    if (isRebooting()) return false;
    send(statusPacket(), to);
    return true;
}

void LoudspeakerEmulator::setStatusLost(bool lost) {
    std::lock_guard<std::mutex> guard(lock_);
    statusLost_ = lost;
}

void LoudspeakerEmulator::setDecibels(std::int32_t level) {
    std::lock_guard<std::mutex> guard(lock_);
    decibels_ = level;
}

std::int32_t LoudspeakerEmulator::decibels() const {
    std::lock_guard<std::mutex> guard(lock_);
    return decibels_;
}

void LoudspeakerEmulator::setChannelBytes(unsigned first, unsigned second) {
    std::lock_guard<std::mutex> guard(lock_);
    firstChannelByte_ = first;
    secondChannelByte_ = second;
}

std::pair<unsigned, unsigned> LoudspeakerEmulator::channelBytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return {firstChannelByte_, secondChannelByte_};
}

std::optional<std::string> LoudspeakerEmulator::getVolume(const std::string& command) {
    std::lock_guard<std::mutex> guard(lock_);
    if (laterGeneration()) return okReply(command, decimal(decibels_));
    return okReply(command, hex(firstChannelByte_, 2) + ":" + hex(secondChannelByte_, 2));
}

std::optional<std::string> LoudspeakerEmulator::setVolume(const std::string& command) {
    const std::string_view value = std::string_view(command).substr(std::string_view("set vol ").size());
    std::lock_guard<std::mutex> guard(lock_);
    if (laterGeneration()) {
        std::int64_t level = 0;
        if (!parseWhole(value, level) || level > 0 || level < -96) return "ERR[set vol]: bad level";
        decibels_ = static_cast<std::int32_t>(level);
        return okReply("set vol", decimal(level));
    }
    const std::size_t colon = value.find(':');
    std::int64_t first = 0;
    std::int64_t second = 0;
    if (colon != 2 || value.size() != 5 || !parseWhole(value.substr(0, 2), first, 16) ||
        !parseWhole(value.substr(3), second, 16)) {
        return "ERR[set vol]: bad level";
    }
    firstChannelByte_ = static_cast<unsigned>(first);
    secondChannelByte_ = static_cast<unsigned>(second);
    return okReply("set vol", std::string(value));
}

std::optional<std::string> LoudspeakerEmulator::reboot(const std::string& command) {
    beginReboot();
    std::lock_guard<std::mutex> guard(lock_);
    // It comes back with its settings and nothing playing.
    status_.playbackState = 0;
    status_.playbackSource = 0;
    status_.channel = 0;
    status_.feedback = 0;
    status_.selfTest = 0;
    status_.activeZoneAddress = 0;
    return okReply(command, "");
}

LoudspeakerEmulator::Settings LoudspeakerEmulator::settings() const {
    std::lock_guard<std::mutex> guard(lock_);
    return settings_;
}

void LoudspeakerEmulator::setSettings(const Settings& settings) {
    std::lock_guard<std::mutex> guard(lock_);
    settings_ = settings;
}

std::vector<std::string> LoudspeakerEmulator::settingsLines() const {
    std::lock_guard<std::mutex> guard(lock_);
    return laterGeneration() ? stateLinesLocked() : configLinesLocked();
}

void LoudspeakerEmulator::setChannelDeferred(bool deferred) {
    std::lock_guard<std::mutex> guard(lock_);
    channelDeferred_ = deferred;
}

bool LoudspeakerEmulator::tonePlaying() const {
    std::lock_guard<std::mutex> guard(lock_);
    return tonePlaying_;
}

void LoudspeakerEmulator::setPowerSupplyVersion(const std::string& numbers) {
    std::lock_guard<std::mutex> guard(lock_);
    powerSupplyVersion_ = numbers;
}

std::optional<std::string> LoudspeakerEmulator::getChannel(const std::string& command) {
    std::lock_guard<std::mutex> guard(lock_);
    return okReply(command, decimal(status_.channel));
}

std::optional<std::string> LoudspeakerEmulator::setChannel(const std::string& command) {
    std::int64_t channel = 0;
    if (!parseWhole(std::string_view(command).substr(std::string_view("set ch ").size()), channel) ||
        channel < 0 || channel > 20) {
        return "ERR[set ch]: bad channel";
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (channelDeferred_) return okReply("set ch", "change of channel is deferred");
    status_.channel = static_cast<std::uint32_t>(channel);
    return okReply("set ch", decimal(channel));
}

std::optional<std::string> LoudspeakerEmulator::tone(const std::string& command, bool later, bool on) {
    if (later != laterGeneration()) return unknownCommand(command);
    std::lock_guard<std::mutex> guard(lock_);
    tonePlaying_ = on;
    return okReply(command, "");
}

std::optional<std::string> LoudspeakerEmulator::deviceTest(const std::string& command) {
    if (generation_ < device::vokarV3_A125) return unknownCommand(command);
    std::lock_guard<std::mutex> guard(lock_);
    if (status_.selfTest == 1) return okReply(command, "test is running");
    status_.selfTest = 1;
    return okReply(command, "test started");
}

std::optional<std::string> LoudspeakerEmulator::setSetting(const std::string& command) {
    const std::string text = command.substr(std::string("set ").size());
    const std::size_t blank = text.find(' ');
    const std::string key = text.substr(0, blank);
    const std::string value = blank == std::string::npos ? std::string() : text.substr(blank + 1);
    for (const KeyRule& rule : keyRules) {
        if (key != rule.key || generation_ < rule.lowest || generation_ > rule.highest) continue;
        std::lock_guard<std::mutex> guard(lock_);
        if (!rule.apply(settings_, value, generation_)) return "ERR[set " + key + "]: bad value";
        return okReply("set " + key, value);
    }
    return "ERR[set " + key + "]: unknown parameter";
}

std::optional<std::string> LoudspeakerEmulator::settingsReply(const std::string& command) {
    const bool stateCommand = command == "get state";
    if (command != "config" && !stateCommand) return unknownCommand(command);
    if (stateCommand != laterGeneration()) return unknownCommand(command);
    std::lock_guard<std::mutex> guard(lock_);
    return okReply(command, joinLines(stateCommand ? stateLinesLocked() : configLinesLocked()));
}

std::optional<std::string> LoudspeakerEmulator::interfaceReply(const std::string& command) {
    if (command != "ifconfig" || laterGeneration()) return unknownCommand(command);
    std::lock_guard<std::mutex> guard(lock_);
    const Settings& s = settings_;
    return okReply(command, joinLines({
                                "IP address: " + s.currentIp,
                                "Net mask: " + s.currentMask,
                                "Gateway: " + s.currentGateway,
                                "MAC address: " + hardwareAddress_,
                                "Link: up",
                                "Multicast IP: " + s.multicastIp,
                                "Command server: " + s.serverIp + ":" + decimal(s.serverPort),
                                "Microphone: " + s.audioServerIp + ":" + decimal(s.micPort),
                                "Audio server: " + s.audioServerIp + ":" + decimal(s.discoveryPort),
                                "Packets received: 1024",
                                "Packets sent: 512",
                                "Errors: 0",
                                "Uptime: 3600",
                            }));
}

std::optional<std::string> LoudspeakerEmulator::onOffReply(const std::string& command,
                                                           device::VokarVersion lowest, bool value) {
    if (generation_ < lowest || laterGeneration()) return unknownCommand(command);
    return okReply(command, value ? "On" : "Off");
}

std::vector<std::string> LoudspeakerEmulator::configLinesLocked() const {
    const Settings& s = settings_;
    return {
        "IP address: " + s.ip,
        "Net mask: " + s.mask,
        "Gateway: " + s.gateway,
        "MAC address: " + hardwareAddress_,
        std::string("Address mode: ") + (s.dhcp ? "DHCP" : "static"),
        "Multicast IP: " + s.multicastIp,
        "Audio server: " + s.audioServerIp + ":" + decimal(s.discoveryPort),
        "Microphone: " + s.audioServerIp + ":" + decimal(s.micPort),
        "Command server: " + s.serverIp + ":" + decimal(s.serverPort),
        "NERIDA address: " + decimal(s.neridaAddress),
        std::string("Line double: ") + onOff(s.lineDouble),
        std::string("Line test: ") + onOff(s.lineTest),
        std::string("Relay event: ") + onOff(s.neridaRelay),
    };
}

std::vector<std::string> LoudspeakerEmulator::stateLinesLocked() const {
    const Settings& s = settings_;
    const std::string newest[] = {
        "Number: " + decimal(s.number),
        "State: " + s.stateText,
        "Ratio: " + decimal(s.ratioFirst) + "/" + decimal(s.ratioSecond),
        "Mode: " + decimal(s.stateMode),
        std::string("Address mode: ") + (s.dhcp ? "DHCP" : "static"),
        "IP address: " + s.ip,
        "Net mask: " + s.mask,
        "Gateway: " + s.gateway,
        "Current IP address: " + s.currentIp,
        "Current net mask: " + s.currentMask,
        "Current gateway: " + s.currentGateway,
        "Multicast IP: " + s.multicastIp,
        "Server IP: " + s.serverIp,
        "Server port: " + decimal(s.serverPort),
        std::string("Multicast listen: ") + onOff(s.multicastListen),
        std::string("Multicast AIN1: ") + onOff(s.multicastAin[0]),
        std::string("Multicast AIN2: ") + onOff(s.multicastAin[1]),
        "Priority AIN1: " + decimal(s.priAin[0]),
        "Priority AIN2: " + decimal(s.priAin[1]),
        "Priority voice alert: " + decimal(s.priVoiceAlert),
        "Priority multicast stream: " + decimal(s.priStreamMCast),
        "Priority zone input: " + decimal(s.priZoneInput),
        "Priority stream: " + decimal(s.priStream),
        "NERIDA address: " + decimal(s.neridaAddress),
        std::string("NERIDA relay: ") + onOff(s.neridaRelay),
        std::string("NERIDA test: ") + onOff(s.neridaTest),
        std::string("NERIDA reserve: ") + onOff(s.neridaReserve),
        "Scenario AIN1: " + decimal(s.scenarioOrder[0]),
        "Scenario AIN2: " + decimal(s.scenarioOrder[1]),
        std::string("Switch mode: ") + onOff(s.switchMode),
        std::string("AIN2 armed: ") + onOff(s.ain2Arm),
        "Reserved: off",
        "IGMP report: " + decimal(s.igmpReport),
        "Token 33: " + decimal(s.token33),
    };
    // Each layout grew from the one before: the zone-input priority, the Nerida reserve, the
    // scenario orders, then the switch mode and arm, then the IGMP report and the last token.
    std::vector<std::size_t> tokens;
    const auto add = [&tokens](std::size_t first, std::size_t last) {
        for (std::size_t n = first; n <= last; ++n) tokens.push_back(n);
    };
    if (generation_ >= device::vokarV3_A110) {
        add(0, generation_ >= device::vokarV3_A121 ? 33 : 31);
    } else {
        add(0, 20);
        add(22, 25);
        if (generation_ >= device::vokarB_1_01_69) add(27, 28);
    }
    std::vector<std::string> lines;
    for (const std::size_t n : tokens) lines.push_back(newest[n]);
    return lines;
}

std::uint16_t LoudspeakerEmulator::equalizerWord() const {
    std::lock_guard<std::mutex> guard(lock_);
    return equalizerWord_;
}

std::string LoudspeakerEmulator::equalizerBands() const {
    std::lock_guard<std::mutex> guard(lock_);
    return equalizerBands_;
}

bool LoudspeakerEmulator::equalizerOn() const {
    std::lock_guard<std::mutex> guard(lock_);
    return equalizerOn_;
}

std::optional<std::string> LoudspeakerEmulator::getEqualizer(const std::string& command) {
    std::lock_guard<std::mutex> guard(lock_);
    if (command == "get eq")
        return okReply(command, laterGeneration() ? onOff(equalizerOn_) : hex(equalizerWord_, 4));
    if (command == "get eqd" && laterGeneration()) return okReply(command, equalizerBands_);
    return unknownCommand(command);
}

std::optional<std::string> LoudspeakerEmulator::setEqualizer(const std::string& command) {
    const std::string value = command.substr(std::string("set eq ").size());
    if (command.compare(0, 8, "set eqd ") == 0) return setEqualizerBands(command, command.substr(8));
    std::lock_guard<std::mutex> guard(lock_);
    if (laterGeneration()) {
        if (!setFlag(equalizerOn_, value)) return "ERR[set eq]: bad value";
    } else {
        std::int64_t word = 0;
        if (value.size() != 4 || !parseWhole(value, word, 16)) return "ERR[set eq]: bad value";
        equalizerWord_ = static_cast<std::uint16_t>(word);
    }
    return okReply("set eq", value);
}

std::optional<std::string> LoudspeakerEmulator::setEqualizerBands(const std::string& command,
                                                                  const std::string& bands) {
    if (!laterGeneration()) return unknownCommand(command);
    // Six bands of -10 to 0; the firmware before generation 12 takes them padded with zeros.
    std::size_t count = 0;
    for (std::size_t start = 0;; ++count) {
        const std::size_t colon = bands.find(':', start);
        std::int64_t value = 0;
        if (!parseWhole(bands.substr(start, colon == std::string::npos ? colon : colon - start), value) ||
            value < -10 || value > 0) {
            return "ERR[set eqd]: bad value";
        }
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (count + 1 < 6) return "ERR[set eqd]: bad value";
    std::lock_guard<std::mutex> guard(lock_);
    equalizerBands_ = bands;
    return okReply("set eqd", bands);
}

}  // namespace test
