#include "support/ConsoleEmulator.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace test {
namespace {

using Settings = ConsoleEmulator::Settings;

std::string errorReply(const std::string& text) {
    return "ERR: " + text;
}

constexpr std::int64_t highestPort = 65535;

// A setting key with the firmware revision that first knows it.
struct KeyRule {
    const char* key;
    unsigned lowestRevision;
    bool (*apply)(Settings& s, const std::string& value);
};

const KeyRule keyRules[] = {
    {"ip", 0, [](Settings& s, const std::string& v) { return setAddress(s.ip, v); }},
    {"mask", 0, [](Settings& s, const std::string& v) { return setAddress(s.mask, v); }},
    {"gw", 0, [](Settings& s, const std::string& v) { return setAddress(s.gateway, v); }},
    {"dhcp", 0, [](Settings& s, const std::string& v) { return setFlag(s.dhcp, v); }},
    {"multicastIp", 0, [](Settings& s, const std::string& v) { return setAddress(s.multicastIp, v); }},
    {"srvPort", 0,
     [](Settings& s, const std::string& v) { return setNumber(s.serverPort, v, 1, highestPort); }},
    {"srvAllowedIP", 0, [](Settings& s, const std::string& v) { return setAddress(s.serverIp, v); }},
    {"gongOrder", 0, [](Settings& s, const std::string& v) { return setNumber(s.gongOrder, v, 0, 32767); }},
    {"gong", 0, [](Settings& s, const std::string& v) { return setFlag(s.gong, v); }},
    {"beeper", 0, [](Settings& s, const std::string& v) { return setFlag(s.beeper, v); }},
    {"faultAlarm", 0, [](Settings& s, const std::string& v) { return setFlag(s.faultAlarm, v); }},
    {"ledScBlink", 0, [](Settings& s, const std::string& v) { return setFlag(s.ledScBlink, v); }},
    {"passkey", 0, [](Settings& s, const std::string& v) { return setFlag(s.passkey, v); }},
    {"switchMode", 0, [](Settings& s, const std::string& v) { return setFlag(s.switchMode, v); }},
    {"singlePower", 0, [](Settings& s, const std::string& v) { return setFlag(s.singlePower, v); }},
    {"neridaAddr", 0,
     [](Settings& s, const std::string& v) { return setNumber(s.neridaAddress, v, 0, 127); }},
    {"neridaTest", 0, [](Settings& s, const std::string& v) { return setFlag(s.neridaTest, v); }},
    {"neridaReserve", 0, [](Settings& s, const std::string& v) { return setFlag(s.neridaReserve, v); }},
    {"gochsArm", 0, [](Settings& s, const std::string& v) { return setFlag(s.gochsArm, v); }},
    {"priority", 0, [](Settings& s, const std::string& v) { return setNumber(s.priority, v, 0, 255); }},
    {"priorityGOChS", 0, [](Settings& s, const std::string& v) { return setFlag(s.priorityGOChS, v); }},
    {"powerIn1", 0, [](Settings& s, const std::string& v) { return setNumber(s.powerIn1, v, 0, 4); }},
    {"powerIn2", 0, [](Settings& s, const std::string& v) { return setNumber(s.powerIn2, v, 0, 4); }},
    {"igmpReport", 0, [](Settings& s, const std::string& v) { return setNumber(s.igmpReport, v, 0, 65535); }},
    {"holdBroadcast", 15, [](Settings& s, const std::string& v) { return setFlag(s.holdBroadcast, v); }},
};

// The third number of "1.00.16".
unsigned revisionOf(const std::string& version) {
    const std::size_t dot = version.rfind('.');
    std::int64_t revision = 0;
    if (dot == std::string::npos || !parseWhole(version.substr(dot + 1), revision) || revision < 0)
        throw std::invalid_argument("no console version " + version);
    return static_cast<unsigned>(revision);
}

}  // namespace

std::string successReply(const std::string& payload) {
    return "SUCCESS: " + payload;
}

ConsoleEmulator::ConsoleEmulator(const std::string& ip, std::uint16_t port,
                                 const std::string& hardwareAddress, const std::string& version)
    : EmulatedDevice(ip, port, DeferredStart{}),
      hardwareAddress_(hardwareAddress),
      versionText_("Tribel-T " + version),
      revision_(revisionOf(version)),
      flash_(*this, 8192) {
    on("get vol", [this](const std::string&) {
        std::lock_guard<std::mutex> guard(lock_);
        return std::optional<std::string>(successReply(volumeText_));
    });
    on("get state", [this](const std::string&) {
        std::lock_guard<std::mutex> guard(lock_);
        return std::optional<std::string>(successReply(joinLines(settingsLinesLocked())));
    });
    on("get dbg", [](const std::string&) { return std::optional<std::string>(successReply("uptime 3600")); });
    on("set ", [this](const std::string& command) { return setSetting(command); });
    on("test", [this](const std::string& command) { return selfTest(command); });
    on("reboot", [this](const std::string&) {
        beginReboot();
        std::lock_guard<std::mutex> guard(lock_);
        // It comes back with its settings and nothing playing.
        status_.playbackState = 0;
        testRunning_ = false;
        return std::optional<std::string>(successReply(""));
    });
    on("zoneList all", [this](const std::string&) {
        std::lock_guard<std::mutex> guard(lock_);
        return std::optional<std::string>(successReply(zoneListLocked()));
    });
    on("zoneScList", [this](const std::string&) {
        std::lock_guard<std::mutex> guard(lock_);
        std::string list;
        for (const auto& [number, zone] : zones_) {
            if (zone.scenario >= 0) list += decimal(number) + "," + decimal(zone.scenario) + ";";
        }
        return std::optional<std::string>(successReply(list.empty() ? "no" : list));
    });
    on("zoneSizeGet", [this](const std::string&) {
        std::lock_guard<std::mutex> guard(lock_);
        std::size_t used = 0;
        for (const auto& [number, zone] : zones_) used += zone.addresses.size();
        return std::optional<std::string>(
            successReply(decimal(zoneMemorySize_) + "(" + decimal(zoneMemorySize_ - used) + ")"));
    });
    on("zoneOffList", [this](const std::string&) {
        std::lock_guard<std::mutex> guard(lock_);
        std::string list;
        for (const int number : zonesOff_) list += decimal(number) + ",";
        return std::optional<std::string>(successReply(list.empty() ? "no" : list));
    });
    on("zoneBind ", [this](const std::string& command) { return bindZone(command); });
    on("zoneScBind ", [this](const std::string& command) { return changeZone(command); });
    on("zoneDel ", [this](const std::string& command) { return changeZone(command); });
    on("passkey", [this](const std::string& command) { return changePasskeys(command); });
    startServing();
}

ConsoleEmulator::~ConsoleEmulator() {
    stopServing();
}

std::string ConsoleEmulator::versionText() const {
    return versionText_;
}

ConsoleEmulator::Status ConsoleEmulator::status() const {
    std::lock_guard<std::mutex> guard(lock_);
    return status_;
}

void ConsoleEmulator::setStatus(const Status& status) {
    std::lock_guard<std::mutex> guard(lock_);
    status_ = status;
}

std::string ConsoleEmulator::statusPacket() const {
    std::lock_guard<std::mutex> guard(lock_);
    return makeStatusPacket(hardwareAddress_, status_, versionText_);
}

std::string ConsoleEmulator::makeStatusPacket(const std::string& hardwareAddress, const Status& s,
                                              const std::string& versionText) {
    const std::uint32_t numbers[numberCount] = {
        s.priority,       s.power1Level,    s.power1State,   s.power2Level, s.power2State, s.ethernet1,
        s.ethernet2,      s.microphone,     s.playbackState, s.access,      s.caseState,   s.boundZones,
        s.connectedZones, s.activatedZones, s.neridaLines,   s.ain,
    };
    std::string packet = hardwareAddress;
    for (const std::uint32_t number : numbers) packet += "," + decimal(number);
    return packet + "," + versionText + "\r\n";
}

bool ConsoleEmulator::sendStatus(const net::IpAndPort& to) {
    if (isRebooting()) return false;
    send(statusPacket(), to);
    return true;
}

ConsoleEmulator::Settings ConsoleEmulator::settings() const {
    std::lock_guard<std::mutex> guard(lock_);
    return settings_;
}

void ConsoleEmulator::setSettings(const Settings& settings) {
    std::lock_guard<std::mutex> guard(lock_);
    settings_ = settings;
}

std::vector<std::string> ConsoleEmulator::settingsLines() const {
    std::lock_guard<std::mutex> guard(lock_);
    return settingsLinesLocked();
}

std::map<int, ConsoleEmulator::Zone> ConsoleEmulator::zones() const {
    std::lock_guard<std::mutex> guard(lock_);
    return zones_;
}

void ConsoleEmulator::setZones(const std::map<int, Zone>& zones) {
    std::lock_guard<std::mutex> guard(lock_);
    zones_ = zones;
}

void ConsoleEmulator::setZoneMemorySize(std::uint32_t entries) {
    std::lock_guard<std::mutex> guard(lock_);
    zoneMemorySize_ = entries;
}

void ConsoleEmulator::setZonesOff(const std::set<int>& zones) {
    std::lock_guard<std::mutex> guard(lock_);
    zonesOff_ = zones;
}

std::vector<std::string> ConsoleEmulator::passkeys() const {
    std::lock_guard<std::mutex> guard(lock_);
    return passkeys_;
}

void ConsoleEmulator::setPasskeys(const std::vector<std::string>& keys) {
    std::lock_guard<std::mutex> guard(lock_);
    passkeys_ = keys;
}

bool ConsoleEmulator::learning() const {
    std::lock_guard<std::mutex> guard(lock_);
    return learning_;
}

void ConsoleEmulator::presentKey(const std::string& key) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!learning_) return;
    passkeys_.push_back(key);
    learning_ = false;
}

std::string ConsoleEmulator::zoneListLocked() const {
    if (zones_.empty()) return "no";
    std::string list;
    for (const auto& [number, zone] : zones_) {
        list += decimal(number) + "," + decimal(zone.virtualZone);
        for (const std::uint32_t address : zone.addresses) list += "," + hex(address, 1);
        list += ";";
    }
    return list;
}

// "zoneBind <zone> <virtual zone> <address>,<address>,"
std::optional<std::string> ConsoleEmulator::bindZone(const std::string& command) {
    std::istringstream words(command.substr(std::string("zoneBind ").size()));
    std::string zoneText, virtualText, addressText;
    words >> zoneText >> virtualText >> addressText;
    std::int64_t number = 0;
    std::int64_t virtualZone = 0;
    if (!parseWhole(zoneText, number) || number < 0 || number > 20 || !parseWhole(virtualText, virtualZone) ||
        virtualZone < 1 || virtualZone > 1023 || addressText.empty() || addressText.back() != ',') {
        return errorReply("bad arguments");
    }
    Zone zone;
    zone.virtualZone = static_cast<int>(virtualZone);
    std::istringstream addresses(addressText);
    for (std::string piece; std::getline(addresses, piece, ',');) {
        std::int64_t address = 0;
        if (!parseWhole(piece, address, 16) || address < 0 || address > 0xFFFFFF)
            return errorReply("bad address");
        zone.addresses.insert(static_cast<std::uint32_t>(address));
    }
    std::lock_guard<std::mutex> guard(lock_);
    std::size_t used = zone.addresses.size();
    for (const auto& [other, kept] : zones_) {
        if (other != number) used += kept.addresses.size();
    }
    if (used > zoneMemorySize_) return errorReply("no memory");
    zones_[static_cast<int>(number)] = zone;
    return successReply("");
}

// "zoneScBind <zone> <scenario>" and "zoneDel <zone>".
std::optional<std::string> ConsoleEmulator::changeZone(const std::string& command) {
    std::istringstream words(command);
    std::string name, zoneText, scenarioText;
    words >> name >> zoneText >> scenarioText;
    std::int64_t number = 0;
    std::int64_t scenario = 0;
    const bool bind = name == "zoneScBind";
    if (!parseWhole(zoneText, number) || (bind && !parseWhole(scenarioText, scenario)))
        return errorReply("bad arguments");
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = zones_.find(static_cast<int>(number));
    if (found == zones_.end()) return errorReply("no zone");
    if (bind) {
        found->second.scenario = static_cast<int>(scenario);
    } else {
        zones_.erase(found);
    }
    return successReply("");
}

std::optional<std::string> ConsoleEmulator::changePasskeys(const std::string& command) {
    std::lock_guard<std::mutex> guard(lock_);
    if (command == "passkeyList") {
        std::string list;
        for (const std::string& key : passkeys_) list += (list.empty() ? "" : ",") + key;
        if (learning_) list += list.empty() ? "listening" : ",listening";
        return successReply(list.empty() ? "no" : list);
    }
    if (command == "passkeyAdd" || command == "passkeyFinish") {
        learning_ = command == "passkeyAdd";
        return successReply("");
    }
    if (command == "passkeyReset") {
        passkeys_.clear();
        return successReply("");
    }
    const std::string prefix = "passkeyDel ";
    if (command.compare(0, prefix.size(), prefix) != 0) return errorReply("unknown command");
    const auto found = std::find(passkeys_.begin(), passkeys_.end(), command.substr(prefix.size()));
    if (found == passkeys_.end()) return errorReply("no key");
    passkeys_.erase(found);
    return successReply("");
}

std::optional<std::string> ConsoleEmulator::setSetting(const std::string& command) {
    const std::string text = command.substr(std::string("set ").size());
    const std::size_t blank = text.find(' ');
    const std::string key = text.substr(0, blank);
    const std::string value = blank == std::string::npos ? std::string() : text.substr(blank + 1);
    for (const KeyRule& rule : keyRules) {
        if (key != rule.key || revision_ < rule.lowestRevision) continue;
        std::lock_guard<std::mutex> guard(lock_);
        if (!rule.apply(settings_, value)) return errorReply("bad value");
        return successReply("");
    }
    return errorReply("unknown parameter");
}

std::optional<std::string> ConsoleEmulator::selfTest(const std::string& command) {
    if (command != "test") return errorReply("unknown command");
    std::lock_guard<std::mutex> guard(lock_);
    if (testRunning_) return errorReply("Test is going now");
    testRunning_ = true;
    return successReply("test started");
}

std::vector<std::string> ConsoleEmulator::settingsLinesLocked() const {
    const Settings& s = settings_;
    std::vector<std::string> lines = {
        "Number: " + decimal(s.number),
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
        std::string("Gong: ") + onOff(s.gong),
        "Gong order: " + decimal(s.gongOrder),
        std::string("Beeper: ") + onOff(s.beeper),
        std::string("Fault alarm: ") + onOff(s.faultAlarm),
        std::string("LED SC blink: ") + onOff(s.ledScBlink),
        std::string("Passkey: ") + onOff(s.passkey),
        std::string("Switch mode: ") + onOff(s.switchMode),
        std::string("Single power: ") + onOff(s.singlePower),
        "NERIDA address: " + decimal(s.neridaAddress),
        std::string("NERIDA relay: ") + onOff(s.neridaRelay),
        std::string("NERIDA test: ") + onOff(s.neridaTest),
        std::string("NERIDA reserve: ") + onOff(s.neridaReserve),
        std::string("GOChS arm: ") + onOff(s.gochsArm),
        "Priority: " + decimal(s.priority),
        std::string("Priority GOChS: ") + onOff(s.priorityGOChS),
        "Power input 1: " + decimal(s.powerIn1),
        "Power input 2: " + decimal(s.powerIn2),
        "IGMP report: " + decimal(s.igmpReport),
        "Token 29: " + decimal(s.token29),
        std::string("Hold broadcast: ") + onOff(s.holdBroadcast),
    };
    // The older layouts end before the last token and the hold switch, or before the switch.
    if (revision_ < 13)
        lines.resize(29);
    else if (revision_ < 15)
        lines.resize(30);
    return lines;
}

}  // namespace test
