#include "devicelink/DeviceBase.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

#include "devicelink/DeviceReply.h"
#include "devicelink/IAudioControl.h"
#include "foundation/Checks.h"
#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/ScanFields.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

// A device heard but not answering is asked again after the first pause, then after twice as long
// each further time it leaves the question unanswered, up to the longest.
constexpr std::int64_t kFirstRecheckUs = 2'000'000;
constexpr std::int64_t kRecheckNotRespondingUs = 120'000'000;

std::int64_t recheckPause(unsigned unanswered) {
    std::int64_t pause = kFirstRecheckUs;
    for (unsigned n = 1; n < unanswered && pause < kRecheckNotRespondingUs; ++n) pause *= 2;
    return std::min(pause, kRecheckNotRespondingUs);
}
constexpr auto kBusyPause = std::chrono::milliseconds(1000);
constexpr int kBusyExchanges = 3;
constexpr int kCommandPriority = 2;
constexpr unsigned kCommandIntervalMs = 1000;
constexpr int kCheckPriority = 1;
constexpr unsigned kCheckIntervalMs = 160;
constexpr int kRebootPriority = 0;
constexpr unsigned kRebootIntervalMs = 1000;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Identity.

DeviceBase::DeviceBase(std::uint32_t id, const net::HardwareAddress& hardwareAddress,
                       const net::IpAndPort& address, const std::wstring& title,
                       std::shared_ptr<TransferProtocol> protocol)
    : id_(id),
      hardwareAddress_(hardwareAddress),
      protocol_(std::move(protocol)),
      address_(std::make_shared<const net::IpAndPort>(address)),
      title_(title) {
    debug::warnIfFalse(hardwareAddress_.isValid(), "device::DeviceBase::DeviceBase");
}

DeviceBase::~DeviceBase() = default;

std::int64_t DeviceBase::now() {
    return base::clock::systemMicros();
}

void DeviceBase::setThisBasePtr(const std::shared_ptr<DeviceBase>& self) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    self_ = self;
}

std::shared_ptr<DeviceBase> DeviceBase::getThisBasePtr() {
    std::shared_ptr<DeviceBase> self;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        self = self_.lock();
    }
    if (!self) {
        debug::Place("device::DeviceBase::getThisBasePtr").fatal(L"Ошибка блокировки устройства");
        base::Log::notifyInstance();
        throw exception::StopProgram();
    }
    return self;
}

net::IpAndPort DeviceBase::getAddress() const {
    return *std::atomic_load(&address_);
}

void DeviceBase::setAddress(const net::IpAndPort& address) {
    const auto before = std::atomic_exchange(&address_, std::make_shared<const net::IpAndPort>(address));
    if (!before || before->isValid() != address.isValid() || before->getText() != address.getText())
        changes_.mark();
}

// The version record holds a text, so it is read and written under the lock.
Version DeviceBase::getVersion() const {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return version_;
}

void DeviceBase::setVersion(const Version& version) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (version.type != version_.type) changes_.mark();
    version_ = version;
}

bool DeviceBase::hasVersionText(const std::string& text) const {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return version_.type != 0 && version_.text == text;
}

bool DeviceBase::isType(DeviceType mask) const {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return isOfKind(version_.type, mask);
}

std::wstring DeviceBase::getFirmwareVersionTypeText() const {
    const DeviceType type = getVersion().type;
    debug::throwIfFalse(type != 0, "device::DeviceBase::getFirmwareVersionTypeText");
    return base::widen(toText(type));
}

std::wstring DeviceBase::getFirmwareVersionText() const {
    return base::widen(getVersion().text);
}

std::wstring DeviceBase::getDisplayName() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (title_.empty()) title_ = L"Устройство " + base::widen(hardwareAddress_.toCharArray());
    return title_;
}

void DeviceBase::setTitle(const std::wstring& title) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    debug::Place("device::DeviceBase::setTitle")
        .info(L"Назначено название '%1%' устройству '%2%', предыдущее '%3%'", title,
              hardwareAddress_.toCharArray(), title_);
    std::wstring trimmed = title;
    base::trim(trimmed);
    if (trimmed == title_) return;
    title_ = std::move(trimmed);
    changes_.mark();
    // The device list shows the name.
    notifyWithState();
}

// ---------------------------------------------------------------------------------------------
// Online and responding state.

bool DeviceBase::isOnline() const {
    return now() - lastStateTime.load() < kOnlineWindowUs;
}

bool DeviceBase::isOnlineAndResponding() const {
    return isOnline() && responding.load();
}

void DeviceBase::touchLastState() {
    lastStateTime = now();
}

void DeviceBase::setStateHandler(StateHandler handler) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    stateHandler_ = std::move(handler);
}

DeviceBase::ShownState DeviceBase::shownState() const {
    if (!isOnline()) return ShownState::offline;
    return responding.load() ? ShownState::inService : ShownState::notResponding;
}

DeviceBase::ShownState DeviceBase::tellShownState(bool alreadyTold) {
    const ShownState shown = shownState();
    const ShownState told = toldState_.exchange(shown);
    if (told != shown && !alreadyTold) notifyWithState();
    return told;
}

void DeviceBase::notifyWithState() {
    debug::Place("device::DeviceBase::notifyWithState").trace2(L"");
    toldState_ = shownState();
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!stateHandler_) return;
    const std::shared_ptr<DeviceBase> self = getThisBasePtr();
    base::ThreadDispatcher::add(L"notify about the state", 0, [self] {
        StateHandler handler;
        {
            std::lock_guard<std::recursive_mutex> guard(self->mutex_);
            handler = self->stateHandler_;
        }
        // A handler emptied in the meantime throws here; the dispatcher reports it.
        handler(self);
    });
}

void DeviceBase::checkOnline(bool requireState) {
    const debug::Place place("device::DeviceBase::checkOnline");
    if (requireState && !isOnline()) {
        place.important(L"Skip online check due to no state for device=%1%", id_);
        return;
    }
    if (stateReceived.load() && now() - lastStateTime.load() > kOnlineWindowUs) {
        notifyWithState();
        responding = false;
        stateReceived = false;
        lastCheckTime = 0;
        unansweredChecks_ = 0;
        volume = kUnknownVolume;
        resetCache();
        std::wstring title;
        {
            std::lock_guard<std::recursive_mutex> guard(mutex_);
            title = title_;
        }
        place.info(L"Устройство отключено: '%1%' (hw=%2%, ip=%3%)", title, hardwareAddress_.toCharArray(),
                   getAddress().getText());
    }
    checkResponding(requireState);
}

DeviceBase::AsyncDoor DeviceBase::asyncDoor() const {
    return AsyncDoor(protocol_, getAddress());
}

DeviceBase::AsyncDoor::AsyncDoor(std::shared_ptr<TransferProtocol> protocol, const net::IpAndPort& address)
    : protocol_(std::move(protocol)), address_(address), group_(protocol_ ? protocol_->newGroup() : 0) {}

bool DeviceBase::AsyncDoor::send(const std::string& request, TransferHandler handler, int priority,
                                 unsigned intervalMs) const {
    return protocol_ && protocol_->async(address_, request, std::move(handler), priority, intervalMs, group_);
}

void DeviceBase::AsyncDoor::drop() const {
    if (protocol_) protocol_->eraseQueue(address_, group_);
}

void DeviceBase::checkResponding(bool force) {
    if (!stateReceived.load()) return;
    // A device never checked, or found silent since, is due at once.
    const bool due = !responding.load() &&
                     (lastCheckTime.load() == 0 || base::clock::steadyMicros() - lastCheckSent_.load() >
                                                       recheckPause(unansweredChecks_.load()));
    if (!force && !due) return;

    const net::IpAndPort address = getAddress();
    debug::Place("device::DeviceBase::checkResponding")
        .trace(L"check i/o for device ip %1%...", address.getWideText());
    // A weak pointer: the transport must not keep alive a device that keeps the transport alive.
    const std::weak_ptr<DeviceBase> self = getThisBasePtr();
    const std::int64_t sentAt = base::clock::steadyMicros();
    protocol_->async(
        address, "get vol",
        [self, address, sentAt](const std::string& reply, bool ok) {
            if (const std::shared_ptr<DeviceBase> device = self.lock())
                device->handleCheckReply(reply, ok, address, sentAt);
        },
        kCheckPriority, kCheckIntervalMs);
    lastCheckSent_ = sentAt;
    lastCheckTime = now();
}

void DeviceBase::answered() {
    lastAnswerTime_ = base::clock::steadyMicros();
    unansweredChecks_ = 0;
}

void DeviceBase::handleCheckReply(const std::string& reply, bool ok, const net::IpAndPort& address,
                                  std::int64_t sentAt) {
    if (!ok && lastAnswerTime_.load() >= sentAt) {
        // An answer to another request came while the check waited behind it or was on its way:
        // the device answers.
    } else if (!ok) {
        responding = false;
        ++unansweredChecks_;
    } else {
        responding = true;
        answered();
    }
    if (ok) {
        std::string text = reply;
        if (acceptsReply(text)) handleVolume(text);
        notifyWithState();
        startUpgrade();
    }
    debug::Place("device::DeviceBase::handleCheckReply")
        .trace(L"check i/o for device ip %1%. result is %2%.", address.getWideText(), ok ? "true" : "false");
}

// ---------------------------------------------------------------------------------------------
// Exchanges.

bool DeviceBase::handleResponse(std::string& reply) {
    return judgeReply(reply, true);
}

bool DeviceBase::readAnswer(std::string& reply) {
    return judgeReply(reply, false);
}

bool DeviceBase::judgeReply(std::string& reply, bool successOnly) {
    bool error = false;
    if (successOnly ? DeviceReply::stripSuccess(reply, &error) : DeviceReply::strip(reply, &error))
        return true;
    if (error) {
        debug::Place("device::DeviceBase::handleResponse")
            .debug(L"A response contains an error. hardware address '%1%', response: '%2%'",
                   hardwareAddress_.toCharArray(), reply);
    }
    return false;
}

bool DeviceBase::acceptsReply(std::string& reply) {
    const bool busy = DeviceReply::isBusy(reply);
    return readAnswer(reply) && !busy;
}

std::string DeviceBase::transfer(const std::string& request) {
    return exchangeReply(request, false);
}

bool DeviceBase::transferAcknowledged(const std::string& request) {
    try {
        exchangeReply(request, true);
        return true;
    } catch (const exception::UnexpectedResponseOfDevice&) {
        return false;
    } catch (const exception::Offline&) {
        return false;
    }
}

std::string DeviceBase::exchangeReply(const std::string& request, bool successOnly) {
    const debug::Place place("device::DeviceBase::transfer");
    const net::IpAndPort address = getAddress();
    if (!address.isValid()) {
        if (isOnline()) {
            place.error(L"Устройство '%1%' не имеет корректного IP адреса", hardwareAddress_.toCharArray());
            throw exception::InternalError(L"Устройство имеет некорректный IP адрес");
        }
        throw exception::Offline();
    }

    const std::string cached = successOnly ? std::string() : getFromCache(request);
    if (!cached.empty()) return cached;

    for (int exchange = 1;; ++exchange) {
        std::string raw;
        bool refused = false;
        const bool ok = protocol_->sync(address, request, raw, kCommandPriority, kCommandIntervalMs, refused);
        const bool wasResponding = responding.exchange(ok);
        if (!ok) {
            place.debug(L"Device is offline. hardware address '%1%', request: '%2%'",
                        hardwareAddress_.toCharArray(), request);
            lastStateTime = 0;
            // A device that was not answering anyway stays shown as it was until it is heard again.
            if (wasResponding) notifyWithState();
            // A read changes nothing on the device, and a request the network refused or that never
            // went out did not reach it; anything else may have been carried out.
            if (!refused && request.compare(0, 4, "get ") != 0) dropCachedValues();
            throw exception::Offline();
        }
        lastStateTime = now();
        answered();
        tellShownState();

        std::string reply = raw;
        const bool busy = DeviceReply::isBusy(raw);
        if (judgeReply(reply, successOnly) && !busy) {
            putIntoCache(request, reply);
            return reply;
        }
        place.important(
            L"Device returned incorrect response. hardware address '%1%', request: '%2%' / response: '%3%'",
            hardwareAddress_.toCharArray(), request, raw);
        // A device still busy after the last try never ran the command: that is a failure, not an answer.
        if (!busy || exchange == kBusyExchanges) throw exception::UnexpectedResponseOfDevice(reply);
        std::this_thread::sleep_for(kBusyPause);
    }
}

bool DeviceBase::transfer(const std::string& request, std::string* reply, bool rethrow) {
    try {
        std::string result = transfer(request);
        if (reply) *reply = std::move(result);
        return true;
    } catch (const exception::UnexpectedResponseOfDevice& error) {
        if (reply) *reply = error.response;
        if (rethrow) throw;
        return false;
    } catch (const exception::Offline&) {
        if (rethrow) throw;
        return false;
    }
}

bool DeviceBase::checkExchange(bool rethrow) {
    return transfer("get vol", nullptr, rethrow);
}

std::int32_t DeviceBase::getVolume() {
    if (!isOnlineAndResponding()) return kUnknownVolume;
    if (volume.load() == kUnknownVolume) {
        const debug::Place place("device::DeviceBase::getVolume");
        place.trace(L"get volume for ip %1% (%2%)", getAddress().getWideText(),
                    hardwareAddress_.toCharArray());
        const std::string reply = transfer("get vol");
        if (!responding.load()) {
            place.warn(L"Не удалось произвести обмен с устройством. Уровень громкости не получен.");
        } else {
            handleVolume(reply);
        }
    }
    return volume.load();
}

bool DeviceBase::enableVolume(bool enable) {
    const debug::Place place("device::DeviceBase::enableVolume");
    place.trace(L"");
    if (!isOnlineAndResponding()) {
        place.debug(L"Not enable/disable volume. Device is offline '%1%'", hardwareAddress_.toCharArray());
        return false;
    }
    const auto nothingToDo = [&] { return enable ? volume.load() != 0 : volume.load() == 0; };
    if (nothingToDo()) return false;

    bool done = false;
    if (enable) {
        if (volume.load() == kUnknownVolume) {
            getVolume();
            if (nothingToDo()) return false;
        }
        done = restoreLevel();
    } else {
        const bool remembered = rememberLevel();
        if (nothingToDo()) return false;
        done = remembered && setVolume(0);
    }
    if (!done) {
        place.notice(L"Не удалось включить/выключить громкость устройству '%1%'",
                     hardwareAddress_.toCharArray());
        return false;
    }
    if (enable) {
        place.info(L"Громкость включена устройству '%1%'", hardwareAddress_.toCharArray());
    } else {
        place.info(L"Громкость выключена устройству '%1%'", hardwareAddress_.toCharArray());
    }
    return true;
}

bool DeviceBase::rememberLevel() {
    if (volume.load() == kUnknownVolume) getVolume();
    const std::int32_t level = volume.load();
    // A device found already silent must not have 0 remembered as the level to restore.
    if (level != 0) savedVolume.exchange(level);
    return true;
}

bool DeviceBase::restoreLevel() {
    const std::int32_t saved = savedVolume.load();
    return setVolume(saved == kUnknownVolume ? 1 : saved);
}

bool DeviceBase::reboot() {
    const debug::Place place("device::DeviceBase::reboot");
    place.trace(L"");
    if (hasInternalPlaying()) throw exception::UserResponse(L"internalPlaying", L"");
    std::string reply;
    const bool ok = protocol_->sync(getAddress(), "reboot", reply, kRebootPriority, kRebootIntervalMs);
    responding = false;
    if (!ok || !acceptsReply(reply)) return false;
    rebootTime = now();
    lastStateTime = 0;
    resetPlaybackType();
    resetCache();
    place.debug(L"The device '%1%' is rebooted", hardwareAddress_.toCharArray());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Parameters.

bool DeviceBase::sendParameter(const std::string& key, const std::string& valueText, bool restart) {
    debug::Place("device::DeviceBase::sendParameter")
        .important(L"Настройка '%1%' установлена в значение '%2%' для устройства id=%3%", key, valueText,
                   id_);
    transfer("set " + key + " " + valueText, nullptr, true);
    return restart;
}

bool DeviceBase::setParameter(const std::string& key, const std::string& oldValue,
                              const std::string& newValue, bool restart) {
    if (oldValue == newValue) return false;
    return sendParameter(key, newValue, restart);
}

bool DeviceBase::setParameter(const std::string& key, const char* oldValue, const char* newValue,
                              bool restart) {
    return setParameter(key, std::string(oldValue ? oldValue : ""), std::string(newValue ? newValue : ""),
                        restart);
}

bool DeviceBase::setParameter(const std::string& key, bool oldValue, bool newValue, bool restart) {
    if (oldValue == newValue) return false;
    return sendParameter(key, newValue ? "on" : "off", restart);
}

bool DeviceBase::setParameter(const std::string& key, std::uint8_t oldValue, std::uint8_t newValue,
                              bool restart) {
    return setParameter(key, static_cast<std::uint32_t>(oldValue), static_cast<std::uint32_t>(newValue),
                        restart);
}

bool DeviceBase::setParameter(const std::string& key, std::uint16_t oldValue, std::uint16_t newValue,
                              bool restart) {
    return setParameter(key, static_cast<std::uint32_t>(oldValue), static_cast<std::uint32_t>(newValue),
                        restart);
}

bool DeviceBase::setParameter(const std::string& key, std::int32_t oldValue, std::int32_t newValue,
                              bool restart) {
    if (oldValue == newValue) return false;
    return sendParameter(key, base::decimal(newValue), restart);
}

bool DeviceBase::setParameter(const std::string& key, std::uint32_t oldValue, std::uint32_t newValue,
                              bool restart) {
    if (oldValue == newValue) return false;
    return sendParameter(key, base::decimal(newValue), restart);
}

// ---------------------------------------------------------------------------------------------
// Caches.

void DeviceBase::releaseAudioMemory() {
    std::atomic_store(&audioMemory_, std::shared_ptr<memory::IAudioControl>());
}

std::shared_ptr<memory::IAudioControl> DeviceBase::getAudioMemory(bool flag, bool rethrow) {
    std::shared_ptr<memory::IAudioControl> memory = std::atomic_load(&audioMemory_);
    if (memory) return memory;
    try {
        memory = initAudioMemory(flag);
        if (!memory) return nullptr;
        // Two callers may build one at once: the first one stored is the device's.
        std::shared_ptr<memory::IAudioControl> none;
        if (!std::atomic_compare_exchange_strong(&audioMemory_, &none, memory)) return none;
        debug::Place("device::DeviceBase::getAudioMemory")
            .mark(L"Audio Memory is loaded for device id=%1%(%2%), fragments=%3%, scenarios=%4%", id_,
                  base::widen(toText(getVersion().type)), memory->getFragments().size(),
                  memory->getScenarios().size());
    } catch (const exception::Base&) {
        if (rethrow) throw;
        return std::atomic_load(&audioMemory_);
    }
    return memory;
}

void DeviceBase::dropCachedValues() {
    volume = kUnknownVolume;
    clearCache();
}

void DeviceBase::resetCache() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    status_.fill(false);
    responseCache_.clear();
    versionText_.clear();
    std::atomic_store(&audioMemory_, std::shared_ptr<memory::IAudioControl>());
}

void DeviceBase::addCacheableRequest(const std::string& request) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    cacheableRequests_.insert(request);
}

std::string DeviceBase::getFromCache(const std::string& request) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    const auto found = responseCache_.find(request);
    if (found == responseCache_.end()) return std::string();
    if (!found->second.empty()) {
        debug::Place("device::DeviceBase::getFromCache")
            .trace(L"Get value from cache. id=%1%, request='%2%', response='%3%'", id_, request,
                   found->second);
    }
    return found->second;
}

void DeviceBase::putIntoCache(const std::string& request, const std::string& reply) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (cacheableRequests_.count(request) == 0) return;
    responseCache_[request] = reply;
    debug::Place("device::DeviceBase::putIntoCache")
        .trace(L"Put value into cache. id=%1%, request='%2%', response='%3%'", id_, request, reply);
}

void DeviceBase::clearCache() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    responseCache_.clear();
}

}  // namespace device
