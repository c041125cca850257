#include "devices/VokarConfig.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <set>

#include "devicelink/DeviceBase.h"
#include "devices/ConfigExchange.h"
#include "foundation/Exceptions.h"
#include "foundation/NetworkAddress.h"
#include "foundation/ScanFields.h"

namespace device {
namespace {

using namespace limits;

constexpr std::size_t shortestFirstGenerationReply = 13;
// Tokens of the oldest "get state" layouts before their padding, and of the newest.
constexpr std::size_t shortestPaddableState = 26;
constexpr std::size_t newestStateTokens = 34;

constexpr std::uint16_t highestWritableServerPort = 65514;
constexpr std::int16_t highestScenarioId = 32766;
constexpr std::int64_t highestScenarioOrder = 64;

// "%u/%u".
bool readRatio(const std::string& text, std::uint32_t& first, std::uint32_t& second) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    return DeviceBase::parseIntValue(text.substr(0, slash), first, 0, largestU32) &&
           DeviceBase::parseIntValue(text.substr(slash + 1), second, 0, largestU32);
}

bool isScenarioId(std::int16_t id) {
    return id == ain::none || (id >= 0 && id <= highestScenarioId);
}

std::int16_t scenarioIdOf(ScenarioCatalog& catalog, std::int16_t order) {
    if (order == ain::none) return ain::none;
    const std::int32_t id = catalog.getScenarioId(order);
    return id >= 0 && id <= std::numeric_limits<std::int16_t>::max() ? static_cast<std::int16_t>(id)
                                                                     : ain::none;
}

// An input whose order names no scenario shows that, and keeps it until the next read.
bool markUnknownOrder(std::int16_t& id, std::int16_t order, std::uint16_t& kept) {
    if (id != ain::none || order == ain::none) return false;
    id = ain::unknownOrder;
    kept = static_cast<std::uint16_t>(ain::unknownOrder);
    return true;
}

}  // namespace

ConfigReplyFault readFirstGenerationConfig(const std::string& configReply, const std::string& ifconfigReply,
                                           VokarConfig& out) {
    const std::vector<std::string> config = DeviceBase::splitResponse(configReply);
    const std::vector<std::string> ifconfig = DeviceBase::splitResponse(ifconfigReply);
    if (config.size() < shortestFirstGenerationReply || ifconfig.size() < shortestFirstGenerationReply)
        return ConfigReplyFault::tooShort;

    out.ip = config[0];
    out.mask = config[1];
    out.gateway = config[2];
    out.dhcp = namesDhcp(config[4]);
    out.multicastIp = config[5];
    out.currentIp = ifconfig[0];
    out.currentMask = ifconfig[1];
    out.currentGateway = ifconfig[2];

    const bool addresses = net::splitIpAndPort(config[6], &out.audioSrvIp, &out.discoveryPort) &&
                           net::splitIpAndPort(config[7], nullptr, &out.micPort) &&
                           net::splitIpAndPort(config[8], &out.serverIp, &out.serverPort) &&
                           net::splitIpAndPort(ifconfig[6], &out.currentServerIp) &&
                           net::splitIpAndPort(ifconfig[8], &out.currentAudioSrvIp);
    bool nerida = DeviceBase::parseIntValue(config[9], out.neridaAddress, 0, highestNeridaAddress);
    nerida &= DeviceBase::parseBoolValue(config[12], out.neridaRelay);

    if (!addresses) return ConfigReplyFault::address;
    return nerida ? ConfigReplyFault::none : ConfigReplyFault::field;
}

bool padStateTokens(std::vector<std::string>& tokens, VokarVersion version, const std::string& igmpReport) {
    if (version >= vokarA_3_00_01 && version <= vokarB_1_01_63) {
        // No analog-input scenario orders yet.
        tokens.insert(tokens.end(), {"-1", "-1"});
    }
    if (version >= vokarA_3_00_01 && version <= vokarBx_1_01_80) {
        if (tokens.size() < shortestPaddableState) return false;
        // The zone-input priority and the Nerida reserve came later, inside the layout.
        tokens.insert(tokens.begin() + 21, "0");
        tokens.insert(tokens.begin() + 26, "off");
        tokens.insert(tokens.end(), {"on", "off", "off", "60", "60"});
    }
    if (version == vokarV3_A110) tokens.emplace_back("60");
    if (version == vokarV3_A111 || version == vokarV3_A113) tokens.push_back(igmpReport);
    if (version >= vokarA_3_00_01 && version <= vokarV3_A113) tokens.emplace_back("0");
    return tokens.size() >= newestStateTokens;
}

ConfigReplyFault readStateTokens(const std::vector<std::string>& t, VokarConfig& out) {
    if (t.size() < newestStateTokens) return ConfigReplyFault::tooShort;

    bool numbers = DeviceBase::parseIntValue(t[0], out.number, 0, largestU32);
    out.stateText = t[1];
    numbers &= readRatio(t[2], out.ratioFirst, out.ratioSecond);
    numbers &= DeviceBase::parseIntValue(t[3], out.stateMode, 0, 6);
    out.dhcp = namesDhcp(t[4]);
    const bool addresses = readAddressToken(t[5], out.ip) && readAddressToken(t[6], out.mask) &&
                           readAddressToken(t[7], out.gateway) && readAddressToken(t[8], out.currentIp) &&
                           readAddressToken(t[9], out.currentMask) &&
                           readAddressToken(t[10], out.currentGateway) &&
                           readAddressToken(t[11], out.multicastIp);
    if (!numbers) return ConfigReplyFault::number;
    if (!addresses) return ConfigReplyFault::address;

    bool fields = readAddressToken(t[12], out.serverIp);
    out.currentServerIp = out.audioSrvIp = out.currentAudioSrvIp = out.serverIp;
    fields &= DeviceBase::parseIntValue(t[13], out.serverPort, 0, largestServerPort);
    out.discoveryPort = static_cast<std::uint16_t>(out.serverPort + 1);
    out.micPort = static_cast<std::uint16_t>(out.serverPort + 2);
    fields &= DeviceBase::parseBoolValue(t[14], out.multicastListen);
    fields &= DeviceBase::parseBoolValue(t[15], out.multicastAin0);
    fields &= DeviceBase::parseBoolValue(t[16], out.multicastAin1);
    fields &= DeviceBase::parseIntValue(t[17], out.priAin0, 0, largestU16);
    fields &= DeviceBase::parseIntValue(t[18], out.priAin1, 0, largestU16);
    fields &= DeviceBase::parseIntValue(t[19], out.priVoiceAlert, 0, largestU16);
    fields &= DeviceBase::parseIntValue(t[20], out.priStreamMCast, 0, largestU16);
    fields &= DeviceBase::parseIntValue(t[21], out.priZoneInput, 0, largestU16);
    fields &= DeviceBase::parseIntValue(t[22], out.priStream, 0, largestU16);
    fields &= DeviceBase::parseIntValue(t[23], out.neridaAddress, 0, highestNeridaAddress);
    fields &= DeviceBase::parseBoolValue(t[24], out.neridaRelay);
    fields &= DeviceBase::parseBoolValue(t[25], out.neridaTest);
    fields &= DeviceBase::parseBoolValue(t[26], out.neridaReserve);
    fields &= DeviceBase::parseIntValue(t[27], out.ain0ScenarioOrder, ain::none, highestScenarioOrder);
    fields &= DeviceBase::parseIntValue(t[28], out.ain1ScenarioOrder, ain::none, highestScenarioOrder);
    fields &= DeviceBase::parseBoolValue(t[29], out.switchMode);
    fields &= DeviceBase::parseBoolValue(t[30], out.ain1Arm);
    fields &= DeviceBase::parseIntValue(t[32], out.igmpReport, 0, largestU16);
    fields &= DeviceBase::parseIntValue(t[33], out.token33Value, 0, largestU32);
    out.lineTest = true;
    out.lineDoubleOff = true;
    return fields ? ConfigReplyFault::none : ConfigReplyFault::field;
}

bool needsScenarioLookup(const VokarConfig& config, const AinScenarioIds& kept) {
    return !kept.known() && (config.ain0ScenarioOrder != ain::none || config.ain1ScenarioOrder != ain::none);
}

bool resolveAinScenarioIds(VokarConfig& config, AinScenarioIds& kept, ScenarioCatalog* catalog) {
    if (kept.known()) {
        config.ain0ScenarioId = static_cast<std::int16_t>(kept.first);
        config.ain1ScenarioId = static_cast<std::int16_t>(kept.second);
    } else {
        config.ain0ScenarioId = ain::none;
        config.ain1ScenarioId = ain::none;
        // Without an audio memory nothing is known about the orders, and nothing is kept.
        if (!needsScenarioLookup(config, kept) || catalog == nullptr) return false;
        config.ain0ScenarioId = scenarioIdOf(*catalog, config.ain0ScenarioOrder);
        config.ain1ScenarioId = scenarioIdOf(*catalog, config.ain1ScenarioOrder);
        kept.first = static_cast<std::uint16_t>(config.ain0ScenarioId);
        kept.second = static_cast<std::uint16_t>(config.ain1ScenarioId);
    }
    const bool first = markUnknownOrder(config.ain0ScenarioId, config.ain0ScenarioOrder, kept.first);
    const bool second = markUnknownOrder(config.ain1ScenarioId, config.ain1ScenarioOrder, kept.second);
    return first || second;
}

AinScenarioFollowUp followWrittenScenarios(VokarConfig& config, const AinScenarioIds& kept,
                                           ScenarioCatalog& catalog) {
    AinScenarioFollowUp followUp;
    const auto follow = [&followUp, &catalog](std::uint16_t keptId, std::int16_t order, std::int16_t& id) {
        if (keptId >= ain::notRead) return;
        const std::int32_t found = catalog.getScenarioOrder(static_cast<std::int16_t>(keptId));
        // Compared as the loudspeaker keeps them, so that a scenario that is gone meets none.
        if (static_cast<std::uint16_t>(found) != static_cast<std::uint16_t>(order)) {
            followUp.changed = true;
            if (found < 0) followUp.reset = true;
        }
        id = found < 0 ? ain::none : static_cast<std::int16_t>(keptId);
    };
    follow(kept.first, config.ain0ScenarioOrder, config.ain0ScenarioId);
    follow(kept.second, config.ain1ScenarioOrder, config.ain1ScenarioId);
    return followUp;
}

void showSingleInputFirst(VokarConfig& config) {
    config.ain0Arm = config.ain1Arm;
    config.ain0ScenarioId = config.ain1ScenarioId;
    config.ain0ScenarioOrder = config.ain1ScenarioOrder;
    config.multicastAin0 = config.multicastAin1;
    config.ain1Arm = false;
    config.multicastAin1 = false;
    config.ain1ScenarioId = ain::none;
    config.ain1ScenarioOrder = ain::none;
}

void keepSingleInputSecond(VokarConfig& config) {
    config.ain1Arm = config.ain0Arm;
    config.ain1ScenarioId = config.ain0ScenarioId;
    config.ain1ScenarioOrder = config.ain0ScenarioOrder;
    config.multicastAin1 = config.multicastAin0;
    config.ain0Arm = false;
    config.multicastAin0 = false;
    config.ain0ScenarioId = ain::none;
    config.ain0ScenarioOrder = ain::none;
}

void checkConfig(const VokarConfig& c, VokarVersion version) {
    require(isDottedAddress(c.ip, false) && isDottedAddress(c.mask, false) &&
                isDottedAddress(c.gateway, true) && isDottedAddress(c.serverIp, true) &&
                net::isMulticast(c.multicastIp) && c.serverPort >= lowestWritableServerPort &&
                c.serverPort <= highestWritableServerPort,
            L"Проверка сетевых настроек");
    require(c.neridaAddress <= highestNeridaAddress && (!c.neridaReserve || c.neridaTest),
            L"Проверка настроек подсистемы НЕРИДА");
    require(
        !(c.multicastListen && (c.multicastAin0 || c.multicastAin1)) &&
            (version < vokarB_1_01_63 || (isScenarioId(c.ain0ScenarioId) && isScenarioId(c.ain1ScenarioId))),
        L"Проверка настроек источника воспроизведения (мультикаст)");
    if (version >= vokarA_3_00_01) {
        const std::set<std::uint16_t> priorities = {c.priAin0,      c.priAin1,       c.priStreamMCast,
                                                    c.priZoneInput, c.priVoiceAlert, c.priStream};
        require(priorities.size() == 6, L"Проверка приоритетов");
    }
}

bool ConfigKey::accepts(VokarVersion version, const FeatureFlags& features) const {
    if (version < lowest || version > highest) return false;
    if (flag == 0) return true;
    return hasFeature(features, flag) || hasFeature(features, otherFlag);
}

bool ConfigKey::restarts(const VokarConfig& config) const {
    return restart == Restart::yes || (restart == Restart::unlessDhcp && !config.dhcp);
}

const std::vector<ConfigKey>& configKeys() {
    using C = const VokarConfig&;
    using V = SettingValue;
    constexpr Restart no = Restart::no;
    constexpr Restart yes = Restart::yes;
    constexpr Restart unlessDhcp = Restart::unlessDhcp;
    static const std::vector<ConfigKey> keys = {
        {"ip", 1, 23, unlessDhcp, 0, 0, false, [](C c) -> V { return c.ip; }},
        {"mask", 1, 23, unlessDhcp, 0, 0, false, [](C c) -> V { return c.mask; }},
        {"gw", 1, 23, unlessDhcp, 0, 0, false, [](C c) -> V { return c.gateway; }},
        {"dhcp", 1, 23, yes, 0, 0, false, [](C c) -> V { return c.dhcp; }},
        {"multicastIP", 1, 8, yes, 0, 0, false, [](C c) -> V { return c.multicastIp; }},
        {"mCastIP", 9, 23, yes, 0, 0, false, [](C c) -> V { return c.multicastIp; }},
        {"cmdPort", 1, 8, yes, 0, 0, false, [](C c) -> V { return c.serverPort; }},
        {"srvPort", 9, 23, yes, 0, 0, false, [](C c) -> V { return c.serverPort; }},
        {"cmdSrvIP", 1, 8, yes, 0, 0, false, [](C c) -> V { return c.serverIp; }},
        {"srvAllowedIp", 9, 23, yes, 0, 0, false, [](C c) -> V { return c.serverIp; }},
        {"AddrNerida", 1, 8, yes, 0, 0, false, [](C c) -> V { return c.neridaAddress; }},
        {"neridaAddr", 9, 14, yes, 0, 0, false, [](C c) -> V { return c.neridaAddress; }},
        {"neridaAddr", 15, 23, no, 7, 0, false, [](C c) -> V { return c.neridaAddress; }},
        {"ReleEvent", 1, 8, yes, 0, 0, false, [](C c) -> V { return c.neridaRelay; }},
        {"neridaRelay", 9, 16, yes, 0, 0, false, [](C c) -> V { return c.neridaRelay; }},
        {"neridaRelay", 17, 23, no, 7, 0, false, [](C c) -> V { return c.neridaRelay; }},
        {"neridatest", 4, 16, yes, 0, 0, false, [](C c) -> V { return c.neridaTest; }},
        {"neridaTest", 17, 23, no, 7, 0, false, [](C c) -> V { return c.neridaTest; }},
        {"neridaReserve", 16, 16, yes, 8, 0, false, [](C c) -> V { return c.neridaReserve; }},
        {"neridaReserve", 17, 23, no, 8, 0, false, [](C c) -> V { return c.neridaReserve; }},
        {"linetest", 3, 8, yes, 0, 0, false, [](C c) -> V { return c.lineTest; }},
        {"linedouble", 2, 8, no, 0, 0, false, [](C c) -> V { return !c.lineDoubleOff; }},
        {"multicastListen", 9, 23, no, 0, 0, false, [](C c) -> V { return c.multicastListen; }},
        {"multicastAIN0", 9, 15, no, 0, 0, false, [](C c) -> V { return c.multicastAin0; }},
        {"multicastAIN1", 9, 15, no, 0, 0, false, [](C c) -> V { return c.multicastAin1; }},
        {"multicastAIN1", 15, 23, no, 11, 0, false, [](C c) -> V { return c.multicastAin0; }},
        {"multicastAIN2", 15, 23, no, 11, 12, false, [](C c) -> V { return c.multicastAin1; }},
        {"priAIN0", 9, 15, no, 0, 0, false, [](C c) -> V { return c.priAin0; }},
        {"priAIN1", 9, 15, no, 0, 0, false, [](C c) -> V { return c.priAin1; }},
        {"priAIN1", 15, 23, no, 0, 0, false, [](C c) -> V { return c.priAin0; }},
        {"priAIN2", 15, 23, no, 0, 0, false, [](C c) -> V { return c.priAin1; }},
        {"priStreamMCast", 9, 23, no, 0, 0, false, [](C c) -> V { return c.priStreamMCast; }},
        {"priZoneInput", 15, 23, no, 0, 0, false, [](C c) -> V { return c.priZoneInput; }},
        {"priVoiceAlert", 9, 23, no, 0, 0, false, [](C c) -> V { return c.priVoiceAlert; }},
        {"priStream", 9, 23, no, 0, 0, false, [](C c) -> V { return c.priStream; }},
        {"scAIN0", 12, 15, yes, 0, 0, true, [](C c) -> V { return std::int32_t{c.ain0ScenarioOrder}; }},
        {"scAIN1", 12, 15, yes, 0, 0, true, [](C c) -> V { return std::int32_t{c.ain1ScenarioOrder}; }},
        {"scAIN1", 15, 23, yes, 0, 0, true, [](C c) -> V { return std::int32_t{c.ain0ScenarioOrder}; }},
        {"scAIN2", 15, 23, yes, 0, 0, true, [](C c) -> V { return std::int32_t{c.ain1ScenarioOrder}; }},
        {"switchMode", 15, 23, yes, 18, 0, false, [](C c) -> V { return c.switchMode; }},
        {"ain2Arm", 15, 23, no, 15, 16, false, [](C c) -> V { return c.ain1Arm; }},
        {"igmpReport", 16, 16, yes, 0, 0, false, [](C c) -> V { return c.igmpReport; }},
        {"igmpReport", 17, 23, no, 0, 0, false, [](C c) -> V { return c.igmpReport; }},
    };
    return keys;
}

}  // namespace device
