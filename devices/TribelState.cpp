#include "devices/TribelState.h"

#include <string>

#include "foundation/Checks.h"

namespace device {
namespace {

constexpr const char* textPlace = "device::toText";

template <class Enum, std::size_t N>
FieldText lookUp(const wchar_t* const (&texts)[N], Enum value) {
    const auto index = static_cast<std::uint32_t>(value);
    debug::throwIfFalse(index < N, textPlace);
    return {texts[index], std::char_traits<wchar_t>::length(texts[index])};
}

const wchar_t* const powerStatuses[] = {L"missing", L"notUsed", L"ok", L"outside", L"over"};
const wchar_t* const ethernetStatuses[] = {L"break",          L"connected", L"connectedPoe",
                                           L"connectedNoPoe", L"onlyPoe",   L"over"};
const wchar_t* const microphones[] = {L"break", L"ok", L"shortCircuit", L"over"};
const wchar_t* const ains[] = {L"break", L"shortCircuit", L"on", L"off", L"skip", L"over"};
const wchar_t* const accesses[] = {L"free", L"denied", L"allowed", L"over"};
const wchar_t* const cases[] = {L"open", L"close", L"over"};
const wchar_t* const playbacks[] = {L"none", L"gong", L"alarm", L"scenario", L"analog_input1", L"over"};

bool bit(std::uint32_t value, unsigned n) {
    return (value >> n) & 1u;
}
bool anyOf(std::uint32_t value, std::uint32_t mask) {
    return (value & mask) != 0;
}

TribelPowerStatus powerStatus(std::uint32_t p) {
    if (bit(p, 3)) return TribelPowerStatus::outside;
    if (bit(p, 0)) return TribelPowerStatus::ok;
    if (bit(p, 4)) return TribelPowerStatus::over;
    return bit(p, 2) ? TribelPowerStatus::missing : TribelPowerStatus::notUsed;
}

bool powerOn(std::uint32_t p) {
    return bit(p, 1) || (bit(p, 0) && !bit(p, 3));
}

TribelEthernetStatus ethernetStatus(std::uint32_t e) {
    if (bit(e, 0)) {
        if (bit(e, 1)) return TribelEthernetStatus::connectedPoe;
        return bit(e, 2) ? TribelEthernetStatus::connectedNoPoe : TribelEthernetStatus::connected;
    }
    if (bit(e, 1)) return TribelEthernetStatus::onlyPoe;
    return bit(e, 5) ? TribelEthernetStatus::over : TribelEthernetStatus::lineBreak;
}

bool ethernetInOrder(std::uint32_t e) {
    return bit(e, 2) && anyOf(e, 0x12);
}

bool ethernetLink(std::uint32_t e) {
    return (!bit(e, 2) || anyOf(e, 0x12)) && anyOf(e, 0x09);
}

bool neridaLineInOrder(std::uint32_t n, unsigned lineBit) {
    return !bit(n, 0) || (!bit(n, 1) && anyOf(n, 0x0C)) || (bit(n, 1) && bit(n, lineBit));
}

std::uint32_t number(bool value) {
    return value ? 1 : 0;
}

}  // namespace

FieldText toText(TribelPowerStatus value) {
    return lookUp(powerStatuses, value);
}
FieldText toText(TribelEthernetStatus value) {
    return lookUp(ethernetStatuses, value);
}
FieldText toText(TribelMicrophone value) {
    return lookUp(microphones, value);
}
FieldText toText(TribelAin value) {
    return lookUp(ains, value);
}
FieldText toText(TribelAccess value) {
    return lookUp(accesses, value);
}
FieldText toText(TribelCase value) {
    return lookUp(cases, value);
}
FieldText toText(TribelPlayback value) {
    return lookUp(playbacks, value);
}

TribelPlayback playbackOf(std::uint32_t playbackState) {
    for (unsigned n = 1; n <= 5; ++n) {
        if (bit(playbackState, n)) return static_cast<TribelPlayback>(n);
    }
    return TribelPlayback::none;
}

void deriveTribelState(TribelState& s) {
    const auto present = [](std::uint32_t state) { return bit(state, 2); };
    s.highPriority = s.priority >= 128;
    s.inputsPresent = number(present(s.power1State)) + number(present(s.power2State)) +
                      number(present(s.ethernet1State)) + number(present(s.ethernet2State));
    s.singleInput = s.inputsPresent == 1;
    s.power1Status = static_cast<std::uint32_t>(powerStatus(s.power1State));
    s.power2Status = static_cast<std::uint32_t>(powerStatus(s.power2State));
    s.ethernet1Status = static_cast<std::uint32_t>(ethernetStatus(s.ethernet1State));
    s.ethernet2Status = static_cast<std::uint32_t>(ethernetStatus(s.ethernet2State));
    s.power1On = powerOn(s.power1State);
    s.power2On = powerOn(s.power2State);

    const auto powerInOrder = [](std::uint32_t p) { return bit(p, 2) && powerOn(p); };
    const std::uint32_t inOrder = number(powerInOrder(s.power1State)) + number(powerInOrder(s.power2State)) +
                                  number(ethernetInOrder(s.ethernet1State)) +
                                  number(ethernetInOrder(s.ethernet2State));
    s.inputsInOrder = inOrder >= s.inputsPresent;
    s.ethernet1Link = ethernetLink(s.ethernet1State);
    s.ethernet2Link = ethernetLink(s.ethernet2State);
    s.zonesMatch = s.boundZones == s.connectedZones;
    s.neridaLine1InOrder = neridaLineInOrder(s.neridaLines, 2);
    s.neridaLine2InOrder = neridaLineInOrder(s.neridaLines, 3);
    s.ainInOrder = s.ain >= 2 && s.ain <= 4;
    s.allInOrder = s.caseState == static_cast<std::uint32_t>(TribelCase::closed) &&
                   s.microphone == static_cast<std::uint32_t>(TribelMicrophone::ok) && s.inputsInOrder &&
                   s.ethernet1Link && s.ethernet2Link && s.zonesMatch && s.neridaLine1InOrder &&
                   s.neridaLine2InOrder && s.ainInOrder;
    s.derived = true;
}

}  // namespace device
