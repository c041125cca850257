#include "propertypanel/ApplyRules.h"

#include <algorithm>

#include "foundation/Exceptions.h"
#include "foundation/ScanFields.h"
#include "foundation/TextConversion.h"

namespace frm::apply {
namespace {

std::uint16_t priorityNumber(const std::wstring& text) {
    const std::string narrow = base::narrow(text);
    std::size_t position = 0;
    std::uint32_t value = 0;
    if (!base::scan::readUnsigned(narrow, position, value) || position != narrow.size() || value > 0xFFFF)
        throw exception::IncorrectFormat(L"Приоритет '" + text + L"'");
    return static_cast<std::uint16_t>(value);
}

}  // namespace

device::VokarConfig loudspeakerCommon(device::VokarConfig config, int lineModeItem, bool lineTest) {
    config.lineDoubleOff = lineModeItem != 1;
    config.lineTest = lineTest;
    return config;
}

device::TribelConfig consoleConfig(device::TribelConfig config, const ConsoleControls& controls) {
    if (controls.gongId) config.gongId = *controls.gongId;
    config.gong = controls.gong;
    config.beeper = controls.keySound;
    config.faultAlarm = controls.faultSound;
    config.singlePower = controls.singlePower;
    config.gochsArm = controls.analogInput;
    config.ledScBlink = controls.zoneIndication;
    config.holdBroadcast = !controls.holdToTalk;
    config.fireConsole = controls.type != 0;
    config.priorityLevel = static_cast<std::uint32_t>(std::max(controls.typePriority, 0));
    if (controls.powerInput1) config.powerIn1 = *controls.powerInput1;
    if (controls.powerInput2) config.powerIn2 = *controls.powerInput2;
    return config;
}

device::CommonConfig networkConfig(device::CommonConfig config, const NetworkControls& controls) {
    config.multicastIp = controls.multicast;
    config.serverIp = controls.allowIp ? controls.allowedIp : fill::kNoAddress;
    config.serverPort = static_cast<std::uint16_t>(controls.basePort);
    const fill::AddressFields addresses = fill::addressesToWrite(config, controls.dhcp, controls.addresses);
    config.dhcp = controls.dhcp;
    config.ip = addresses.ip;
    config.mask = addresses.mask;
    config.gateway = addresses.gateway;
    config.switchMode = !controls.lanRedundancy;
    config.igmpReport = controls.igmp ? kIgmpReportSeconds : 0;
    return config;
}

device::CommonConfig neridaConfig(device::CommonConfig config, const NeridaControls& controls) {
    config.neridaAddress = static_cast<std::uint8_t>(controls.address);
    config.neridaRelay = controls.relay;
    config.neridaTest = controls.interfaceError;
    config.neridaReserve = controls.lineReserve;
    return config;
}

device::VokarConfig sourceConfig(device::VokarConfig config, const SourceControls& controls,
                                 bool alarmStreamShown) {
    config.multicastListen = controls.allowOther;
    config.multicastAin0 = controls.passInput1;
    config.multicastAin1 = controls.passInput2;
    std::uint16_t* const priorities[fill::kPriorityCount] = {&config.priVoiceAlert, &config.priAin1,
                                                             &config.priAin0,       &config.priStreamMCast,
                                                             &config.priZoneInput,  &config.priStream};
    for (std::size_t source = 0; source < fill::kPriorityCount; ++source) {
        if (source == fill::kAlarmStreamPriority && !alarmStreamShown) {
            if (controls.hiddenPriority) *priorities[source] = *controls.hiddenPriority;
            continue;
        }
        if (!controls.priorities[source].empty())
            *priorities[source] = priorityNumber(controls.priorities[source]);
    }
    if (controls.scenarios[0]) config.ain0ScenarioId = *controls.scenarios[0];
    if (controls.scenarios[1]) config.ain1ScenarioId = *controls.scenarios[1];
    config.ain0Arm = controls.lineIntegrity[0];
    config.ain1Arm = controls.lineIntegrity[1];
    return config;
}

ApplyEnding applyEnding(bool written, bool stopped, bool closeAfterwards) {
    ApplyEnding ending;
    if (stopped) return ending;
    ending.reportSuccess = written;
    ending.disableButtons = written;
    ending.refill = !written;
    ending.close = closeAfterwards;
    return ending;
}

ZoneApply zoneApply(std::optional<int> zone, int messageItem, std::size_t chosen) {
    ZoneApply apply;
    if (!zone) {
        apply.refusal = L"Не выбрана зона";
        return apply;
    }
    if (chosen == 0) {
        apply.action = ZoneApply::Action::unbind;
        return apply;
    }
    if (messageItem < 0) {
        apply.refusal = L"Не выбрано сообщение зоны";
        return apply;
    }
    apply.action = ZoneApply::Action::rebind;
    apply.scenario = messageItem == 0 ? -1 : messageItem;
    return apply;
}

std::wstring refusalText(const std::wstring& code) {
    if (code == L"partialIntersection")
        return L"Частичное пересечение вокаров в зонах для запуска сообщений не допускается.\n"
               L"Также в зонах должны быть разные сообщения для запуска.";
    if (code == L"internalPlaying") return L"Запрещено редактирование во время тревожного вещания на вокарах";
    if (code == L"offline") return L"Одно из выбранных устройств не в сети";
    return L"Устройство отказало в операции (код '" + code + L"')";
}

}  // namespace frm::apply
