#include "devices/LineControl.h"

#include <cctype>
#include <optional>
#include <string_view>

#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/ScanFields.h"

namespace device::tip_device {
namespace {

constexpr const char* requestPlace = "device::tip_device::LineControl::requestTipDevices";
constexpr std::uint8_t firstNumber = 11;
constexpr std::uint32_t tipBits = 20;
constexpr std::uint32_t highestAddress = 127;
constexpr std::uint32_t highestFlags = 7;
constexpr std::size_t longestTag = 4;
constexpr std::uint32_t fullProgress = 100;

using base::scan::containsIgnoringCase;

// The state names in key order.
const std::pair<LineControl::State, const char*> stateNames[] = {
    {LineControl::notReady, "Not Ready"},
    {LineControl::active, "Active"},
    {LineControl::pause, "Pause"},
};

bool readLiteral(std::string_view text, std::size_t& at, char literal) {
    if (at >= text.size() || text[at] != literal) return false;
    ++at;
    return true;
}

// "%*[A-Za-z ],%u,%u": the state's name, the power-save mode and the initialisation progress.
bool readStateNumbers(std::string_view part, std::uint32_t& powerSave, std::uint32_t& progress) {
    std::size_t at = 0;
    while (at < part.size() && (std::isalpha(static_cast<unsigned char>(part[at])) || part[at] == ' ')) ++at;
    return at > 0 && readLiteral(part, at, ',') && base::scan::readUnsigned(part, at, powerSave) &&
           readLiteral(part, at, ',') && base::scan::readUnsigned(part, at, progress);
}

struct Item {
    std::uint32_t address = 0;
    std::uint32_t flags = 0;
    std::uint32_t firstValue = 0;
    std::uint32_t secondValue = 0;
    std::string tag;
};

// "%u:%x:%x:%x:%4s" and nothing behind the tag but blanks.
std::optional<Item> readItem(std::string_view part) {
    Item item;
    std::size_t at = 0;
    std::string_view tag;
    if (!base::scan::readUnsigned(part, at, item.address) || !readLiteral(part, at, ':') ||
        !base::scan::readHex(part, at, item.flags) || !readLiteral(part, at, ':') ||
        !base::scan::readHex(part, at, item.firstValue) || !readLiteral(part, at, ':') ||
        !base::scan::readHex(part, at, item.secondValue) || !readLiteral(part, at, ':') ||
        !base::scan::readWord(part, at, longestTag, tag)) {
        return std::nullopt;
    }
    base::scan::skipBlanks(part, at);
    if (at != part.size()) return std::nullopt;
    item.tag = std::string(tag);
    return item;
}

bool bit(std::uint32_t value, unsigned n) {
    return (value >> n) & 1u;
}

// Whether a reply to "lsensor power <mode>" is the late answer of another of the module's queries:
// its version and address, its initialisation text, or its state with another power-save mode.
bool answersAnotherQuery(std::string_view reply, std::uint32_t mode) {
    if (reply.find("hwaddr") != std::string_view::npos || reply.find("Init mode:") != std::string_view::npos)
        return true;
    const std::string_view head = reply.substr(0, reply.find(';'));
    for (const auto& entry : stateNames) {
        if (!containsIgnoringCase(head, entry.second)) continue;
        std::uint32_t powerSave = 0;
        std::uint32_t progress = 0;
        return !readStateNumbers(head, powerSave, progress) || powerSave != mode;
    }
    return false;
}

}  // namespace

LineControl::LineControl(Request request) : request_(std::move(request)) {
    resetCache();
}

std::string LineControl::ask(const std::string& request) {
    std::string reply;
    request_(request, reply);
    if (reply.empty()) ++unanswered_;
    return reply;
}

void LineControl::refresh(bool withVersion) {
    if (withVersion) initVersionAndAddress();
    requestTipDevices();
}

void LineControl::initVersionAndAddress() {
    readVersionAndAddress(ask("lsensor ver"));
}

void LineControl::readVersionAndAddress(const std::string& reply) {
    const debug::Place here("device::tip_device::LineControl::initVersionAndAddress");
    if (reply.empty()) {
        here.external(L"Произошел сбой в модуле контроля линии");
        return;
    }
    const std::size_t comma = reply.find(',');
    if (comma == std::string::npos || reply.find(',', comma + 1) != std::string::npos) {
        here.warn(L"Получен неверный формат версии модуля контроля линии. (%1%)", reply);
        return;
    }
    std::string address = reply.substr(comma + 1);
    const std::string prefix = "hwaddr ";
    if (address.compare(0, prefix.size(), prefix) == 0) address.erase(0, prefix.size());
    const std::string versionText = "Vokar-B-LC " + reply.substr(0, comma);

    std::lock_guard<std::recursive_mutex> guard(lock_);
    address_ = address;
    Version version;
    if (!parseVersion(versionText, &version)) {
        here.warn(L"Обнаружена ошибка формата в версии модуля контроля линии '%1%'", versionText);
        throw exception::UnexpectedResponseOfDevice("");
    }
    version_ = version;
}

Version LineControl::knownVersion() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return version_;
}

Version LineControl::getMasterFirmwareVersion() {
    if (knownVersion().text.empty()) {
        debug::Place("device::tip_device::LineControl::getMasterFirmwareVersion")
            .debug(L"Request master firmware version.");
        initVersionAndAddress();
    }
    return knownVersion();
}

void LineControl::requestTipDevices() {
    const debug::Place here(requestPlace);
    here.trace(L"");
    const std::string reply = ask("lsensor");
    if (reply.empty()) {
        here.debug(L"A device isn't responded");
        return;
    }

    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::vector<std::string_view> parts;
    const std::string_view text(reply);
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(';', start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    const std::string_view head = parts.front();
    if (head.empty()) {
        here.warn(L"Получен неверный формат состояния модуля контроля линии. (%1%)", reply);
        return;
    }
    state_ = notRead;
    for (const auto& [key, name] : stateNames) {
        if (containsIgnoringCase(head, name)) {
            state_ = key;
            break;
        }
    }
    if (state_ == notRead) {
        here.warn(L"Неизвестное состояние модуля контроля линии. (%1%)", reply);
        return;
    }
    std::uint32_t powerSave = 0;
    std::uint32_t progress = 0;
    if (readStateNumbers(head, powerSave, progress)) {
        powerSaveMode_ = powerSave > unknown ? unknown : powerSave;
        initializationProgress_ = progress;
    } else {
        powerSaveMode_ = notReported;
        initializationProgress_ = state_ == notReady ? 0 : fullProgress;
    }
    if (state_ != active) {
        tipDevices_.clear();
        here.debug(L"Skip parsing states of line control. (%1%)", reply);
        return;
    }

    // The first item follows the first ':' of the head and the blank after it.
    const std::size_t colon = head.find(':');
    parts.front() =
        colon == std::string_view::npos ? std::string_view() : head.substr(std::min(colon + 2, head.size()));
    std::vector<TipDevice> devices;
    for (const std::string_view part : parts) {
        if (part.empty()) continue;
        const std::optional<Item> item = readItem(part);
        if (!item) {
            here.warn(L"Неверное количество частей в состоянии оконечных устройств. (%1%)", reply);
            return;
        }
        if (item->address > highestAddress || item->flags > highestFlags) {
            here.warn(L"Неверные значения частей в состоянии оконечных устройств. (%1%)", reply);
            return;
        }
        TipDevice device;
        device.present = 1;
        device.number = static_cast<std::uint8_t>(item->address + firstNumber);
        device.added = bit(item->flags, 0);
        device.online = bit(item->flags, 1);
        device.active = device.added && device.online;
        device.thirdFlag = bit(item->flags, 2);
        device.firstValue = item->firstValue;
        device.secondValue = item->secondValue;
        device.tag = item->tag;
        device.name = nameOf(device.number);
        devices.push_back(std::move(device));
    }
    tipDevices_ = std::move(devices);
}

std::vector<TipDevice> LineControl::getLineState() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (state_ != active) requestTipDevices();
    return state_ == active ? tipDevices_ : std::vector<TipDevice>();
}

TipDevice LineControl::getTipDevice(std::uint8_t number) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const TipDevice& device : tipDevices_) {
        if (device.number == number) return device;
    }
    return TipDevice();
}

std::wstring LineControl::getTipDeviceName(std::uint8_t number) {
    return getTipDevice(number).name;
}

std::wstring LineControl::nameOf(std::uint8_t number) const {
    for (const TipDevice& device : tipDevices_) {
        if (device.number == number && !device.name.empty()) return device.name;
    }
    std::wstring name = L"Оконечное устройство ";
    for (const char digit : base::decimal(number)) name.push_back(static_cast<wchar_t>(digit));
    return name;
}

bool LineControl::isPowerSaveMode() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (state_ == notRead) requestTipDevices();
    return powerSaveMode_ == on;
}

bool LineControl::setPowerSaveMode(std::uint8_t mode) {
    const debug::Place here("device::tip_device::LineControl::setPowerSaveMode");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (state_ == notRead) requestTipDevices();
    if (mode == powerSaveMode_) {
        here.debug(L"Skip setting power save mode due to no differences");
        return true;
    }
    if (powerSaveMode_ == notReported || powerSaveMode_ == unknown) {
        here.error(L"The power save mode is unknown or unsupported");
        return false;
    }
    const std::string reply = ask("lsensor power " + base::decimal(mode));
    if (reply.empty() || answersAnotherQuery(reply, mode)) {
        here.error(L"Не удалось установить режим энергосбережения!");
        return false;
    }
    powerSaveMode_ = mode;
    return true;
}

std::uint32_t LineControl::getInitializationProgress() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (initializationProgress_ != 0) return initializationProgress_;
    const std::string reply = ask("lsensor dbg");
    const std::string mark = "Init mode:";
    const std::size_t found = reply.find(mark);
    if (found == std::string::npos || state_ == active) {
        initializationProgress_ = fullProgress;
        return initializationProgress_;
    }
    debug::Place("device::tip_device::LineControl::getInitializationProgress")
        .trace2(L"parse debug info: %1%", reply);
    std::size_t at = found + mark.size();
    std::uint32_t progress = 0;
    if (base::scan::readUnsigned(reply, at, progress)) return progress;
    initializationProgress_ = state_ == notReady ? 0 : fullProgress;
    return initializationProgress_;
}

bool LineControl::add(std::uint8_t number) {
    return changeDevice(number, true);
}

bool LineControl::remove(std::uint8_t number) {
    return changeDevice(number, false);
}

bool LineControl::addAll() {
    const debug::Place here("device::tip_device::LineControl::addAll");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    requestTipDevices();
    if (powerSaveMode_ == on) {
        here.warn(L"Не удалось добавить все оконечные устройства из-за включенного режима энергосбережения");
        return false;
    }
    if (state_ != active) {
        here.warn(L"Оконечные устройства не добавлены, т.к. модуль контроля линии не готов к работе");
        return false;
    }
    return !ask("lsensor addAll").empty();
}

bool LineControl::resetPreferences() {
    const debug::Place here("device::tip_device::LineControl::resetPreferences");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (powerSaveMode_ == on) {
        here.warn(
            L"Не удалось сбросить настройки управления линией из-за включенного режима энергосбережения");
        return false;
    }
    return !ask("lsensor prefReset").empty();
}

bool LineControl::rebootMaster() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    resetCache();
    return !ask("lsensor reboot").empty();
}

bool LineControl::changeDevice(std::uint8_t number, bool adding) {
    const debug::Place here(adding ? "device::tip_device::LineControl::add"
                                   : "device::tip_device::LineControl::remove");
    requestTipDevices();
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (powerSaveMode_ == on) {
            here.warn(
                adding
                    ? L"Не удалось добавить оконечное устройство из-за включенного режима энергосбережения"
                    : L"Не удалось удалить оконечное устройство из-за включенного режима энергосбережения");
            return false;
        }
        bool found = false;
        for (const TipDevice& device : tipDevices_) {
            found = found || (device.number == number && (!adding || !device.added));
        }
        if (!found) {
            here.external(adding ? L"Оконечное устройство %1% невозможно добавить"
                                 : L"Оконечное устройство %1% не найдено в добавленных",
                          static_cast<unsigned>(number));
            return false;
        }
    }
    // Sent outside the lock, so that a slow exchange does not hold up the readers.
    const unsigned address = number - firstNumber;
    return !ask((adding ? "lsensor add " : "lsensor del ") + base::decimal(address)).empty();
}

void LineControl::setTipDeviceMasks(std::uint32_t addedMask, std::uint32_t onlineMask) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (addedMask == addedMask_ && onlineMask == onlineMask_) return;
    std::vector<TipDevice> devices;
    for (std::uint32_t i = 0; i < tipBits; ++i) {
        if (!bit(addedMask, i) && !bit(onlineMask, i)) continue;
        TipDevice device;
        device.present = 1;
        device.number = static_cast<std::uint8_t>(i + firstNumber);
        device.added = bit(addedMask, i);
        device.online = bit(onlineMask, i);
        device.active = device.added && device.online;
        device.name = nameOf(device.number);
        devices.push_back(std::move(device));
    }
    tipDevices_ = std::move(devices);
    addedMask_ = addedMask;
    onlineMask_ = onlineMask;
    state_ = notRead;
}

void LineControl::resetCache() {
    debug::Place("device::tip_device::LineControl::resetCache").trace(L"");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    tipDevices_.clear();
    state_ = notRead;
    version_ = Version();
    address_.clear();
    powerSaveMode_ = unknown;
    initializationProgress_ = 0;
    addedMask_ = 0;
    onlineMask_ = 0;
}

LineControl::State LineControl::getState() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return state_;
}

std::string LineControl::getAddress() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return address_;
}

std::uint32_t LineControl::getPowerSaveMode() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return powerSaveMode_;
}

std::uint32_t LineControl::knownInitializationProgress() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return initializationProgress_;
}

}  // namespace device::tip_device
