#include "propertypanel/LineControlRules.h"

#include <cwchar>

#include "foundation/TextConversion.h"

namespace frm::line {
namespace {

template <class... Values>
std::wstring format(const wchar_t* pattern, Values... values) {
    wchar_t text[160];
    const int length = std::swprintf(text, sizeof text / sizeof text[0], pattern, values...);
    return length < 0 ? std::wstring() : std::wstring(text, static_cast<std::size_t>(length));
}

}  // namespace

TipRow tipRow(const device::tip_device::TipDevice& device, bool powerSave) {
    TipRow row;
    const bool inLine = device.added != 0;
    row.number = format(L" %02u ", unsigned{device.number});
    row.numberColour = device.active != 0 ? Colour::green : inLine ? Colour::red : Colour::yellow;
    // The counters come from the module: their product is taken in 64 bits.
    const std::uint64_t share =
        device.secondValue == 0 ? 0 : std::uint64_t{100} * device.firstValue / device.secondValue;
    row.share = format(L"%3llu%%", static_cast<unsigned long long>(share));
    row.shareColour = device.thirdFlag != 0 ? Colour::green : Colour::red;
    row.report = format(L"[id=%02u;%u:%u:%u;%05u/%05u;%ls]", unsigned{device.number}, unsigned{device.added},
                        unsigned{device.online}, unsigned{device.thirdFlag}, unsigned{device.firstValue},
                        unsigned{device.secondValue}, base::widen(device.tag).c_str());
    row.name = device.name;
    row.button = inLine ? L"Удалить" : L"Добавить";
    row.buttonEnabled = !powerSave;
    return row;
}

Buttons buttons(device::tip_device::LineControl::State state, std::uint32_t powerSaveMode, bool vokarB,
                bool debugMode) {
    using device::tip_device::LineControl;
    Buttons result;
    const bool ready = state == LineControl::active;
    const bool powerSave = powerSaveMode == LineControl::on;
    result.powerSaveEnabled = ready && (powerSaveMode == LineControl::off || powerSave);
    result.addAllEnabled = ready && !powerSave;
    result.removeAllEnabled = ready && !powerSave;
    result.rebootEnabled = ready;
    result.rebootShown = vokarB && debugMode;
    return result;
}

std::wstring versionLine(const device::Version& version, const std::string& address) {
    return format(L"Версия контроля линии: %u.%u.%u; Адрес: %ls; ", unsigned{version.major},
                  unsigned{version.minor}, unsigned{version.revision}, base::widen(address).c_str());
}

std::wstring initialisation(std::uint32_t percent) {
    return L"Инициализация: " + std::to_wstring(percent) + L"%";
}

std::uint32_t initialisationProgress(device::tip_device::LineControl& module, bool answers) {
    return answers ? module.getInitializationProgress() : module.knownInitializationProgress();
}

}  // namespace frm::line
