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

std::array<int, kPriorityCount> priorityItems(const std::array<std::uint16_t, kPriorityCount>& values,
                                              bool alarmStreamShown) {
    std::vector<std::uint16_t> shown;
    for (std::size_t source = 0; source < kPriorityCount; ++source) {
        if (source != kAlarmStreamPriority || alarmStreamShown) shown.push_back(values[source]);
    }
    std::sort(shown.begin(), shown.end(), [](std::uint16_t a, std::uint16_t b) { return a > b; });
    std::array<int, kPriorityCount> items{};
    for (std::size_t source = 0; source < kPriorityCount; ++source) {
        if (source == kAlarmStreamPriority && !alarmStreamShown) {
            items[source] = -1;
            continue;
        }
        items[source] =
            static_cast<int>(std::find(shown.begin(), shown.end(), values[source]) - shown.begin());
    }
    return items;
}

std::vector<int> priorityNumbers(const std::array<std::uint16_t, kPriorityCount>& values,
                                 bool alarmStreamShown) {
    constexpr int highest = 7;
    constexpr int lowest = 2;
    std::vector<int> numbers;
    for (int number = highest; number >= lowest; --number) numbers.push_back(number);
    if (alarmStreamShown) return numbers;
    const int hidden = values[kAlarmStreamPriority];
    int held = hidden;
    if (hidden < lowest || hidden > highest) {
        std::vector<std::uint16_t> sorted(values.begin(), values.end());
        std::sort(sorted.begin(), sorted.end(), [](std::uint16_t a, std::uint16_t b) { return a > b; });
        held =
            highest - static_cast<int>(std::find(sorted.begin(), sorted.end(), values[kAlarmStreamPriority]) -
                                       sorted.begin());
    }
    numbers.erase(std::find(numbers.begin(), numbers.end(), held));
    return numbers;
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
