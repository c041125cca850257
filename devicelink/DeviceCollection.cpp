#include "devicelink/DeviceCollection.h"

#include "foundation/Checks.h"
#include "foundation/Clock.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace device {
namespace {

constexpr std::uint32_t kInvalidId = 0xFFFFFFFF;

// Recognition runs on the transport's responder thread and touches nothing but the queue. A status
// packet is taken even when the queue drops it: it must never be matched as a reply.
bool offerStatePacket(DeviceCollection* registry, base::SerialJobs& packets, const std::string& response,
                      const net::IpAndPort& from) {
    net::HardwareAddress address;
    if (!isStatePacket(response, address)) return false;
    packets.push(
        [registry, response, from, address] { registry->handleAllStatesCallback(response, from, address); },
        true, from.getAddress());
    return true;
}

// The title of a device that the operator has not named.
std::wstring defaultTitle(const net::HardwareAddress& address) {
    return L"Устройство " + base::widen(address.toCharArray());
}

// A device may give its place to a new one when nothing shows that it is still wanted: it is
// offline, the operator has not named it, and nothing outside the registry holds it (a zone, a
// playback, a panel), which would be left with a device the registry no longer knows.
bool replaceable(const std::shared_ptr<DeviceBase>& device) {
    return device.use_count() == 1 && !device->isOnline() &&
           device->getDisplayName() == defaultTitle(device->getHardwareAddress());
}

}  // namespace

DeviceCollection::DeviceCollection(std::shared_ptr<TransferProtocol> transport, std::uint16_t port)
    : transport_(std::move(transport)), port_(port) {
    debug::throwIfFalse(transport_ != nullptr, "device::DeviceCollection::DeviceCollection");
    // The jobs call this registry: its destructor closes the queue before it goes.
    packets_ = std::make_shared<base::SerialJobs>(
        L"parsing state packet", kWaitingPackets,
        L"Status packets come faster than they are handled: %1% wait, further ones are dropped",
        kWaitingPerSender);
    transport_->setAllResponseHandler(
        [this, packets = packets_](const std::string& response, const net::IpAndPort& from) {
            return offerStatePacket(this, *packets, response, from);
        });
    transport_->setUnknownResponseHandler(&DeviceCollection::handlerForUnknownResponsesCallback);
    try {
        controlThread_ = std::thread([this] { controlTimeoutThread(); });
    } catch (...) {
        // The queue's handler points at this registry, which never comes to be.
        packets_->close();
        throw;
    }
}

DeviceCollection::~DeviceCollection() {
    packets_->close();
    stop();
    std::lock_guard<std::recursive_mutex> guard(lock_);
    devices_.clear();
}

bool DeviceCollection::makeRoom(std::shared_ptr<DeviceBase>& replaced) {
    const debug::Place place("device::DeviceCollection::makeRoom");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (devices_.size() < kMostDevices) {
        capReached_ = false;
        return true;
    }
    if (!capReached_) {
        capReached_ = true;
        place.warn(
            L"The registry holds %1% devices, the most it takes: a new device only takes the place of "
            L"one that is silent and not needed, at most %2% a second",
            devices_.size(), kReplacementsPerSecond);
    }
    // Counted per attempt, so that a flood also pays for the search when nothing can go.
    const auto now = base::clock::steadyNow();
    if (now - replacementSecond_ >= std::chrono::seconds(1)) {
        replacementSecond_ = now;
        replacementsLeft_ = kReplacementsPerSecond;
    }
    if (replacementsLeft_ == 0) return false;
    --replacementsLeft_;
    auto silent = devices_.end();
    for (auto entry = devices_.begin(); entry != devices_.end(); ++entry) {
        if ((silent == devices_.end() || entry->second.lastHeard < silent->second.lastHeard) &&
            replaceable(entry->second.device))
            silent = entry;
    }
    if (silent == devices_.end()) return false;
    place.debug(L"Device id=%1% (hw=%2%), silent for %3% s, gives its place to a new one",
                silent->second.device->getId(), silent->first.toCharArray(),
                std::chrono::duration_cast<std::chrono::seconds>(now - silent->second.lastHeard).count());
    replaced = std::move(silent->second.device);
    devices_.erase(silent);
    changes_.mark();
    return true;
}

void DeviceCollection::setFactory(DeviceType family, std::shared_ptr<DeviceFactory> factory) {
    debug::Place("device::DeviceCollection::setFactory").trace(L"");
    debug::throwIfFalse(family == types::loudspeaker || family == types::console,
                        "device::DeviceCollection::setFactory");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    factories_[family] = std::move(factory);
}

bool DeviceCollection::handlerForAllResponsesCallback(const std::string& response,
                                                      const net::IpAndPort& from) {
    return offerStatePacket(this, *packets_, response, from);
}

bool DeviceCollection::handlerForUnknownResponsesCallback(const std::string& response,
                                                          const net::IpAndPort& from) {
    debug::Place("device::DeviceCollection::handlerForUnknownResponsesCallback")
        .debug(L"handle unknown response for ip: %1% with response: %2%", from.getText(), response);
    return true;
}

void DeviceCollection::handleAllStatesCallback(const std::string& packet, const net::IpAndPort& from,
                                               const net::HardwareAddress& address) {
    const debug::Place place("device::DeviceCollection::handleAllStatesCallback");
    place.trace(L"");
    if (!address.isValid()) {
        place.error(L"Аппаратный адрес некорректен");
        return;
    }
    std::shared_ptr<DeviceBase> device;
    NewDeviceHandler newDeviceHandler;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        const auto found = devices_.find(address);
        if (found != devices_.end()) {
            device = found->second.device;
            found->second.lastHeard = base::clock::steadyNow();
        }
        newDeviceHandler = newDeviceHandler_;
    }

    // About one line a second from each sender, with the count of the lines left out before it.
    const auto refuse = [&](const std::wstring& line) {
        std::uint64_t skipped = 0;
        if (!badPacketLines_.pass(from.getAddress(), skipped)) return;
        if (skipped == 0) {
            place.external(L"%1%", line);
        } else {
            place.external(L"%1% (%2% more left out)", line, skipped);
        }
    };
    std::string versionText;
    if (!stateVersionText(packet, versionText)) {
        refuse(L"Получен некорректный формат статусного пакета");
        return;
    }
    // Most packets repeat what their device reported before: its version needs no second parse.
    if (device && device->hasVersionText(versionText)) {
        if (!device->parseState(packet, from)) {
            const std::string typeText = toText(device->getVersion().type);
            place.error(L"Статусный пакет не обработан устройством ('%1%', '%2%').", typeText, typeText);
        }
        return;
    }
    Version version;
    if (!parseVersion(versionText, &version)) {
        refuse(L"Получен некорректный формат статусного пакета");
        return;
    }
    if (version.type == 0) {
        refuse(L"Получен неизвестный тип устройства: '" + base::widen(version.text) + L"'");
        return;
    }
    const std::string typeText = toText(version.type);

    if (device) {
        if (!device->parseState(packet, from)) {
            place.error(L"Статусный пакет не обработан устройством ('%1%', '%2%').",
                        toText(device->getVersion().type), typeText);
        }
        return;
    }
    if (!newDeviceHandler) {
        place.warn(L"Нет был установлен обработчик для новых устройств");
        return;
    }
    std::shared_ptr<DeviceBase> replaced;
    if (!makeRoom(replaced)) return;
    // Told once more, outside the registry's lock, so that the window lets it go too.
    if (replaced) replaced->notifyWithState();
    // The packet that reveals a device only creates it; the device reads the packets after it.
    const std::wstring title = defaultTitle(address);
    const std::uint32_t id = newDeviceHandler(typeText, address, title);
    if (!addDevice(id, typeText, address, net::Ip4Address("0.0.0.0"), title)) {
        place.error(L"Устройство не было добавлено: %1%", packet);
    }
}

std::shared_ptr<DeviceBase> DeviceCollection::addDevice(std::uint32_t id, const std::string& typeText,
                                                        const net::HardwareAddress& address,
                                                        const net::Ip4Address& lastIp,
                                                        const std::wstring& title) {
    const debug::Place place("device::DeviceCollection::addDevice");
    place.trace(L"add device: id=%1%, hardware address '%2%', type '%3%' title '%4%'", id,
                address.toCharArray(), typeText, title);
    if (!address.isValid() || id == kInvalidId) {
        place.warn(L"Попытка добавить устройство с неправильным адресом или идентификатором");
        return nullptr;
    }

    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto found = devices_.find(address);
    if (found != devices_.end()) {
        place.warn(L"Повторная попытка добавления существующего устройства. [id=%1%, title='%2%', hw='%3%']",
                   id, title, address.toCharArray());
        return found->second.device;
    }

    const DeviceType type = fromText(typeText);
    const net::IpAndPort deviceAddress(lastIp.getText(), port_);
    DeviceType family = 0;
    if (isOfKind(type, types::loudspeaker)) {
        family = types::loudspeaker;
    } else if (isOfKind(type, types::console)) {
        family = types::console;
    }
    std::shared_ptr<DeviceBase> device;
    const auto factory = factories_.find(family);
    if (family != 0 && factory != factories_.end() && factory->second) {
        device = factory->second->create(id, type, address, deviceAddress, title, transport_, stateHandler_);
    }
    if (!device) {
        place.error(L"Ошибка добавления нового устройства. [id=%1%, type=%2%, hw=%3%, lastIp=%4%, title=%5%]",
                    id, toText(type), address.toCharArray(), lastIp.getText(), title);
        return nullptr;
    }

    device->markChangesIn(changes_);
    devices_.emplace(address, Entry{device, family, base::clock::steadyNow()});
    changes_.mark();
    place.debug(L"device added successfully: id=%1%, hardware address '%2%', type '%3%' title '%4%'", id,
                address.toCharArray(), typeText, title);
    if (address.getHigh() != net::HardwareAddress::vendorPrefix) {
        place.debug(L"Connected device is no the KORVA manufacturing");
    }
    return device;
}

void DeviceCollection::remove(const net::HardwareAddress& address) {
    const debug::Place place("device::DeviceCollection::remove");
    place.trace(L"");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto found = devices_.find(address);
    if (found == devices_.end()) {
        place.external(L"Внутренняя ошибка. Устройство не было удалено. [hw=%1%]", address.toCharArray());
        return;
    }
    place.debug(L"device removed: id=%1%, hw=%2%", found->second.device->getId(), address.toCharArray());
    devices_.erase(found);
    changes_.mark();
}

std::vector<std::shared_ptr<DeviceBase>> DeviceCollection::getDevices() {
    debug::Place("device::DeviceCollection::getDevices").trace(L"");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::vector<std::shared_ptr<DeviceBase>> result;
    result.reserve(devices_.size());
    for (const auto& entry : devices_) result.push_back(entry.second.device);
    return result;
}

std::vector<std::shared_ptr<DeviceBase>> DeviceCollection::getDevicesOfFamily(DeviceType family,
                                                                              bool onlineOnly) {
    debug::Place("device::DeviceCollection::getDevicesOfFamily").trace(L"");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::vector<std::shared_ptr<DeviceBase>> result;
    for (const auto& entry : devices_) {
        const std::shared_ptr<DeviceBase>& device = entry.second.device;
        if (entry.second.family != family) continue;
        if (onlineOnly && !device->isOnlineAndResponding()) continue;
        result.push_back(device);
    }
    return result;
}

std::shared_ptr<DeviceBase> DeviceCollection::searchForFamily(const net::HardwareAddress& address,
                                                              DeviceType family) {
    const debug::Place place("device::DeviceCollection::searchFor");
    place.trace(L"");
    if (!address.isValid()) {
        place.debug(L"hardware address of device for search isn't correct");
    } else {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        const auto found = devices_.find(address);
        if (found != devices_.end() && found->second.family == family) return found->second.device;
    }
    place.trace(L"hardware address of device is not found: '%1%'", address.toCharArray());
    return nullptr;
}

void DeviceCollection::setStateHandler(StateHandler handler) {
    debug::Place("device::DeviceCollection::setStateHandler").trace(L"");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    stateHandler_ = std::move(handler);
    for (const auto& entry : devices_) entry.second.device->setStateHandler(stateHandler_);
}

void DeviceCollection::setNewDeviceHandler(NewDeviceHandler handler) {
    debug::Place("device::DeviceCollection::setNewDeviceHandler").trace(L"");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    newDeviceHandler_ = std::move(handler);
}

void DeviceCollection::setInterfaceIp(const std::string& interfaceIp) {
    debug::Place("device::DeviceCollection::setInterfaceIp").trace(L"");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    interfaceIp_ = interfaceIp;
}

void DeviceCollection::stop() {
    debug::Place("device::DeviceCollection::stop").trace(L"");
    {
        std::lock_guard<std::mutex> guard(watchLock_);
        stopRequested_ = true;
    }
    watchWake_.notify_all();
    // The control thread lets the memories go as it ends, after its last cycle: a loudspeaker
    // ends its sound-pressure test there and waits for the reply, which the caller (the window,
    // at the close) must not. Once it ended, a memory taken since goes here.
    if (controlThread_.joinable()) {
        controlThread_.join();
    } else {
        releaseAudioMemories();
    }
}

}  // namespace device
