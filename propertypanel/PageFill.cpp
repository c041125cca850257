#include "propertypanel/PageFill.h"

#include <algorithm>

#include "devices/TribelConfig.h"
#include "devices/VokarVersion.h"
#include "foundation/Exceptions.h"
#include "foundation/TextConversion.h"

namespace frm::fill {

int choiceIndex(std::int64_t value, int count) {
    return value >= 0 && value < count ? static_cast<int>(value) : -1;
}

CommonPage commonPage(const DeviceTraits& traits) {
    CommonPage page;
    page.deviceTestEnabled = traits.deviceTest;
    if (!traits.compatible) return page;
    if (traits.loudspeaker) {
        page.equalizerShown = true;
        page.bandEqualizer = traits.versionId >= device::vokarA_3_00_01;
        page.lineSettingsShown = traits.versionId <= device::vokarA_2_01_72;
        page.lineSettingsEnabled =
            traits.versionId >= device::vokarA_1_01_70 && traits.versionId <= device::vokarA_2_01_72;
    }
    page.consoleShown = traits.console;
    return page;
}

ConsoleOptions consoleOptions(const device::TribelConfig& config, std::uint32_t versionId,
                              int fragmentCount) {
    ConsoleOptions options;
    const bool fire = config.fireConsole;
    options.keySound = config.beeper;
    options.singlePower = config.singlePower;
    options.singlePowerEnabled = !fire;
    options.analogInput = config.gochsArm;
    options.analogInputEnabled = fire;
    options.faultSound = config.faultAlarm;
    options.faultSoundEnabled = !fire;
    options.zoneIndication = config.ledScBlink;
    options.holdToTalk = !config.holdBroadcast;
    options.holdToTalkEnabled = versionId >= device::holdBroadcastVersionId && !fire;
    options.type = fire ? 1 : 0;
    options.typePriority = static_cast<int>(config.priorityLevel);
    options.powerInput1 = choiceIndex(config.powerIn1, kPowerInputCount);
    options.powerInput2 = choiceIndex(config.powerIn2, kPowerInputCount);
    options.powerInput2Enabled = !config.singlePower;
    options.useGong = config.gong;
    // The console names its gong by its position in the memory, counted from 1.
    options.gong = choiceIndex(static_cast<std::int64_t>(config.gongOrder) - 1, fragmentCount);
    options.gongEnabled = fragmentCount > 0;
    return options;
}

AddressFields shownAddresses(const device::CommonConfig& config, bool dhcp) {
    if (dhcp) return {config.currentIp, config.currentMask, config.currentGateway};
    return {config.ip, config.mask, config.gateway};
}

AddressFields addressesToWrite(const device::CommonConfig& stored, bool dhcp, const AddressFields& boxes) {
    return dhcp ? shownAddresses(stored, false) : boxes;
}

NetworkPage networkPage(const device::CommonConfig& config, const DeviceTraits& traits) {
    NetworkPage page;
    page.dhcp = config.dhcp;
    page.addresses = shownAddresses(config, config.dhcp);
    page.addressesEnabled = !config.dhcp;
    page.multicast = config.multicastIp;
    // A device that names no allowed address takes commands from anywhere.
    page.allowIp = !config.serverIp.empty() && config.serverIp != kNoAddress;
    page.allowedIp = page.allowIp ? config.serverIp : kNoAddress;
    page.basePort = config.serverPort;
    page.lanRedundancyEnabled = traits.lanRedundancy;
    page.lanRedundancy = !config.switchMode;
    page.igmp = config.igmpReport != 0;
    page.igmpEnabled = !(traits.loudspeaker && traits.versionId < device::vokarV3_A110);
    return page;
}

NeridaPage neridaPage(const device::CommonConfig& config, const DeviceTraits& traits) {
    NeridaPage page;
    page.address = config.neridaAddress;
    page.relay = config.neridaRelay;
    page.relayEnabled = traits.loudspeaker;
    page.interfaceError = config.neridaTest;
    page.lineReserve = config.neridaReserve;
    page.lineReserveEnabled = config.neridaTest && traits.lineRedundancy;
    return page;
}

namespace {

constexpr int kHighestPriority = 7;
constexpr int kLowestPriority = 2;

// How many of the six rank above the source: those of a higher value and, while the alarm stream
// is hidden, the hidden stream beside a shown source of its own value.
int rankOf(const std::array<std::uint16_t, kPriorityCount>& values, std::size_t source,
           bool alarmStreamShown) {
    int above = 0;
    for (std::size_t other = 0; other < kPriorityCount; ++other) {
        const bool hiddenBeside = !alarmStreamShown && other == kAlarmStreamPriority &&
                                  source != kAlarmStreamPriority && values[other] == values[source];
        if (values[other] > values[source] || hiddenBeside) ++above;
    }
    return above;
}

}  // namespace

std::vector<int> priorityNumbers(const std::array<std::uint16_t, kPriorityCount>& values,
                                 bool alarmStreamShown) {
    std::vector<int> numbers;
    const int hidden = kHighestPriority - rankOf(values, kAlarmStreamPriority, alarmStreamShown);
    for (int number = kHighestPriority; number >= kLowestPriority; --number) {
        if (alarmStreamShown || number != hidden) numbers.push_back(number);
    }
    return numbers;
}

std::array<int, kPriorityCount> priorityItems(const std::array<std::uint16_t, kPriorityCount>& values,
                                              bool alarmStreamShown) {
    const std::vector<int> numbers = priorityNumbers(values, alarmStreamShown);
    std::array<int, kPriorityCount> items{};
    for (std::size_t source = 0; source < kPriorityCount; ++source) {
        if (source == kAlarmStreamPriority && !alarmStreamShown) {
            items[source] = -1;
            continue;
        }
        const int number = kHighestPriority - rankOf(values, source, alarmStreamShown);
        items[source] = static_cast<int>(std::find(numbers.begin(), numbers.end(), number) - numbers.begin());
    }
    return items;
}

std::uint16_t hiddenPriority(const std::array<std::uint16_t, kPriorityCount>& values) {
    const int number = kHighestPriority - rankOf(values, kAlarmStreamPriority, false);
    const int value = values[kAlarmStreamPriority];
    // Above all five shown, or below them, any value outside the numbers keeps the rank.
    const bool keeps = value == number || (value > kHighestPriority && number == kHighestPriority) ||
                       (value < kLowestPriority && number == kLowestPriority);
    return static_cast<std::uint16_t>(keeps ? value : number);
}

bool offerOverwrite(const std::exception& failure) {
    return dynamic_cast<const exception::UnknownVersionOfAudioMemory*>(&failure) != nullptr;
}

unsigned refreshPeriod(const std::wstring& setting, const std::vector<std::wstring>& offered) {
    if (std::find(offered.begin(), offered.end(), setting) == offered.end()) return kDefaultRefreshMs;
    unsigned period = 0;
    for (const wchar_t digit : setting) {
        if (digit < L'0' || digit > L'9' || period > 100000) return kDefaultRefreshMs;
        period = period * 10 + static_cast<unsigned>(digit - L'0');
    }
    return period == 0 ? kDefaultRefreshMs : period;
}

LinkedConsoleRow linkedConsoleRow(int number, const std::string& zoneAddress, const LinkedConsole* console,
                                  bool broken, bool lost, bool debugMode) {
    const std::wstring position = std::to_wstring(number) + L". ";
    if (console == nullptr)
        return {position + L"[" + base::widen(zoneAddress) + L"] [Неизвестное устройство]", false};
    LinkedConsoleRow row;
    row.live = console->onlineAndResponding;
    row.text = position + (debugMode ? L"[" + base::widen(console->address) + L"] " : L"") + console->name;
    if (!console->onlineAndResponding) {
        row.text += L" [Не в сети]";
    } else if (broken) {
        row.text += L" [Ошибка конфигурации]";
    } else if (lost) {
        row.text += L" [Потерян]";
    }
    return row;
}

bool volumeKnown(std::int32_t volume) {
    return volume >= 0 && volume <= 100;
}

std::wstring volumeTip(const std::wstring& name, std::int32_t volume) {
    if (!volumeKnown(volume)) return name;
    return name + L" " + std::to_wstring(volume) + L"%";
}

}  // namespace frm::fill
