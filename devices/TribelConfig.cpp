#include "devices/TribelConfig.h"

#include <limits>

#include "devicelink/DeviceBase.h"
#include "devices/ConfigExchange.h"
#include "foundation/Exceptions.h"
#include "foundation/NetworkAddress.h"

namespace device {
namespace {

using namespace limits;

constexpr std::size_t newestStateTokens = 31;

constexpr std::uint16_t highestWritableServerPort = 65533;
constexpr std::int64_t highestGongOrder = 32767;
constexpr std::int16_t highestGongId = 0x7FFD;
constexpr std::uint32_t firePriority = 128;
constexpr std::uint32_t highestPriority = 255;
constexpr std::uint32_t highestPowerInput = 4;

void refuse(const wchar_t* code) {
    throw exception::UserResponse(code, L"");
}

}  // namespace

bool padConsoleStateTokens(std::vector<std::string>& tokens, std::uint32_t versionId) {
    // Older firmware lacks the last two tokens (version id 0) or the last one (version id 1).
    if (versionId == 0) tokens.insert(tokens.end(), {"0", "off"});
    if (versionId == 1) tokens.emplace_back("off");
    return tokens.size() >= newestStateTokens;
}

bool readConsoleStateTokens(const std::vector<std::string>& t, TribelConfig& out) {
    if (t.size() < newestStateTokens) return false;
    using D = DeviceBase;
    bool ok = D::parseIntValue(t[0], out.token0Value, 0, largestU32);
    out.dhcp = namesDhcp(t[1]);
    ok &= readAddressToken(t[2], out.ip);
    ok &= readAddressToken(t[3], out.mask);
    ok &= readAddressToken(t[4], out.gateway);
    ok &= readAddressToken(t[5], out.currentIp);
    ok &= readAddressToken(t[6], out.currentMask);
    ok &= readAddressToken(t[7], out.currentGateway);
    ok &= readAddressToken(t[8], out.multicastIp);
    ok &= readAddressToken(t[9], out.serverIp);
    out.currentServerIp = out.serverIp;
    ok &= D::parseIntValue(t[10], out.serverPort, 0, largestServerPort);
    out.discoveryPort = static_cast<std::uint16_t>(out.serverPort + 1);
    out.generationCode = 2;
    ok &= D::parseBoolValue(t[11], out.gong);
    ok &= D::parseIntValue(t[12], out.gongOrder, 0, highestGongOrder);
    ok &= D::parseBoolValue(t[13], out.beeper);
    ok &= D::parseBoolValue(t[14], out.faultAlarm);
    ok &= D::parseBoolValue(t[15], out.ledScBlink);
    ok &= D::parseBoolValue(t[16], out.passkey);
    ok &= D::parseBoolValue(t[17], out.switchMode);
    ok &= D::parseBoolValue(t[18], out.singlePower);
    ok &= D::parseIntValue(t[19], out.neridaAddress, 0, highestNeridaAddress);
    out.neridaRelay = false;
    ok &= D::parseBoolValue(t[21], out.neridaTest);
    ok &= D::parseBoolValue(t[22], out.neridaReserve);
    ok &= D::parseBoolValue(t[23], out.gochsArm);
    ok &= D::parseIntValue(t[24], out.priority, 0, highestPriority);
    out.fireConsole = out.priority >= firePriority;
    out.priorityLevel = out.fireConsole ? out.priority - firePriority : out.priority;
    ok &= D::parseBoolValue(t[25], out.priorityGOChS);
    ok &= D::parseIntValue(t[26], out.powerIn1, 0, highestPowerInput);
    ok &= D::parseIntValue(t[27], out.powerIn2, 0, highestPowerInput);
    ok &= D::parseIntValue(t[28], out.igmpReport, 0, largestU16);
    ok &= D::parseIntValue(t[29], out.token33Value, 0, largestU32);
    ok &= D::parseBoolValue(t[30], out.holdBroadcast);
    return ok;
}

void checkConsoleConfig(const TribelConfig& c) {
    require(isDottedAddress(c.ip, false) && isDottedAddress(c.mask, false) &&
                isDottedAddress(c.gateway, true) && isDottedAddress(c.serverIp, true) &&
                net::isMulticast(c.multicastIp) && c.serverPort >= lowestWritableServerPort &&
                c.serverPort <= highestWritableServerPort,
            L"Проверка сетевых настроек");
    require(c.neridaAddress <= highestNeridaAddress && (!c.neridaReserve || c.neridaTest),
            L"Проверка настроек подсистемы НЕРИДА");
    // Read as a signed number, the "none" id 0xFFFF passes.
    require(static_cast<std::int16_t>(c.gongId) <= highestGongId && c.priorityLevel >= 1 &&
                c.priorityLevel <= 100,
            L"Проверка приоритета и гонга");
}

std::uint32_t consolePriorityToSend(const TribelConfig& c) {
    const bool samePowerInputs = c.powerIn1 == c.powerIn2;
    const bool splitPowerInputs =
        (c.powerIn1 == 2 && c.powerIn2 == 3) || (c.powerIn1 == 3 && c.powerIn2 == 2);
    if (!c.singlePower && (samePowerInputs || splitPowerInputs)) refuse(L"disallowedPowerIn");
    if (c.fireConsole) {
        if (!c.faultAlarm) refuse(L"disallowedFaultAlarm");
        if (c.singlePower) refuse(L"disallowedSinglePowerSupply");
        return c.priorityLevel + firePriority;
    }
    if (c.gochsArm) refuse(L"disallowedAin");
    return c.priorityLevel;
}

bool ConsoleConfigKey::restarts(const TribelConfig& config) const {
    return restart == Restart::yes || (restart == Restart::unlessDhcp && !config.dhcp);
}

const std::vector<ConsoleConfigKey>& consoleConfigKeys() {
    using C = const TribelConfig&;
    using V = ConsoleSettingValue;
    constexpr auto no = ConsoleConfigKey::Restart::no;
    constexpr auto yes = ConsoleConfigKey::Restart::yes;
    constexpr auto unlessDhcp = ConsoleConfigKey::Restart::unlessDhcp;
    static const std::vector<ConsoleConfigKey> keys = {
        {"ip", unlessDhcp, [](C c) -> V { return c.ip; }},
        {"mask", unlessDhcp, [](C c) -> V { return c.mask; }},
        {"gw", unlessDhcp, [](C c) -> V { return c.gateway; }},
        {"dhcp", yes, [](C c) -> V { return c.dhcp; }},
        {"multicastIp", yes, [](C c) -> V { return c.multicastIp; }},
        {"srvPort", yes, [](C c) -> V { return c.serverPort; }},
        {"srvAllowedIP", yes, [](C c) -> V { return c.serverIp; }},
        {"gongOrder", no, [](C c) -> V { return c.gongOrder; }},
        {"gong", no, [](C c) -> V { return c.gong; }},
        {"beeper", no, [](C c) -> V { return c.beeper; }},
        {"faultAlarm", no, [](C c) -> V { return c.faultAlarm; }},
        {"ledScBlink", no, [](C c) -> V { return c.ledScBlink; }},
        {"passkey", no, [](C c) -> V { return c.passkey; }},
        {"switchMode", yes, [](C c) -> V { return c.switchMode; }},
        {"singlePower", no, [](C c) -> V { return c.singlePower; }},
        {"neridaAddr", no, [](C c) -> V { return c.neridaAddress; }},
        {"neridaTest", no, [](C c) -> V { return c.neridaTest; }},
        {"neridaReserve", no, [](C c) -> V { return c.neridaReserve; }},
        {"gochsArm", no, [](C c) -> V { return c.gochsArm; }},
        {"priority", no, [](C c) -> V { return c.priority; }},
        {"priorityGOChS", no, [](C c) -> V { return c.priorityGOChS; }},
        {"powerIn1", no, [](C c) -> V { return c.powerIn1; }},
        {"powerIn2", no, [](C c) -> V { return c.powerIn2; }},
        {"igmpReport", no, [](C c) -> V { return c.igmpReport; }},
        {"holdBroadcast", no, [](C c) -> V { return c.holdBroadcast; }},
    };
    return keys;
}

}  // namespace device
