// The registry's watch: its control thread, the search for lost devices and the link check.

#include <pthread.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>

#include "devicelink/DeviceCollection.h"
#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "foundation/NetworkInterfaces.h"
#include "foundation/Ping.h"
#include "foundation/Place.h"

namespace device {
namespace {

constexpr const char* kControlThreadPlace = "device::DeviceCollection::controlTimeoutThread";

// Two addresses are the same when their IP values and their ports are.
using AddressKey = std::pair<std::uint32_t, std::uint16_t>;

AddressKey keyOf(const net::IpAndPort& address) {
    return {address.getAddress(), address.getPort()};
}

// Pass A reports every online device whose address an earlier online device already has; pass B
// takes the address from an offline device when an online device or an earlier offline device has
// it, so that a device that moved does not keep pointing at another one.
void checkAddresses(const std::vector<std::shared_ptr<DeviceBase>>& devices, bool& offlineSeen,
                    const debug::Place& place) {
    std::set<AddressKey> online;
    for (const auto& device : devices) {
        const net::IpAndPort address = device->getAddress();
        if (!address.isValid()) continue;
        const bool isOnline = device->isOnline();
        if (!isOnline) offlineSeen = true;
        if (!isOnline) continue;
        if (!online.insert(keyOf(address)).second) {
            place.error(L"Сетевой адрес '%2%' устройства '%1%' совпадает с другим устройством",
                        device->getDisplayName(), address.getWideText());
        }
    }
    std::set<AddressKey> offline;
    for (const auto& device : devices) {
        const net::IpAndPort address = device->getAddress();
        if (!address.isValid() || device->isOnline()) continue;
        const AddressKey key = keyOf(address);
        if (online.count(key) != 0 || offline.count(key) != 0) device->setAddress(net::IpAndPort());
        offline.insert(key);
    }
}

// The detached half of the search. It works on its own copies only: the registry may be gone.
void visitLostDevices(const std::string& interfaceIp, std::uint16_t discoveryPort,
                      const std::vector<std::shared_ptr<DeviceBase>>& devices) {
    if (interfaceIp.empty() || discoveryPort == 0) return;
    for (const auto& device : devices) {
        const std::int64_t elapsed = DeviceBase::now() - device->lastStateTime.load();
        if (elapsed >= kOnlineWindowUs) DeviceCollection::findLostDevice(interfaceIp, discoveryPort, device);
    }
}

// The thread cannot hand StopProgram to the main loop; the program ends here once the log is out.
[[noreturn]] void endProgram(const debug::Place& place, const std::string& what) {
    place.fatal(L"Поймано исключение в потоке управления [%1%]", what);
    base::Log::notifyInstance();
    std::_Exit(1);
}

}  // namespace

void DeviceCollection::setWatchTiming(const WatchTiming& timing) {
    debug::Place("device::DeviceCollection::setWatchTiming").trace(L"");
    {
        std::lock_guard<std::mutex> guard(watchLock_);
        watchTiming_ = timing;
    }
    watchWake_.notify_all();
}

void DeviceCollection::setDiscoveryTargets(const os::DiscoveryTargets& targets) {
    debug::Place("device::DeviceCollection::setDiscoveryTargets").trace(L"");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    discoveryTargets_ = targets;
}

bool DeviceCollection::pauseWatch(std::chrono::steady_clock::time_point since,
                                  std::chrono::milliseconds WatchTiming::*pause) {
    std::unique_lock<std::mutex> guard(watchLock_);
    while (!stopRequested_) {
        // Read again at every wake-up: a new timing counts from the same start.
        const auto left = since + watchTiming_.*pause - base::clock::steadyNow();
        if (left <= std::chrono::steady_clock::duration::zero()) return true;
        watchWake_.wait_for(guard, left);
    }
    return false;
}

void DeviceCollection::controlTimeoutThread() {
    pthread_setname_np(pthread_self(), "device watch");
    const debug::Place place(kControlThreadPlace);
    place.trace(L"start thread controlTimeoutThread()");
    std::int64_t cycle = 0;
    bool firstCycle = true;
    bool offlineSeen = false;
    if (pauseWatch(base::clock::steadyNow(), &WatchTiming::firstDelay)) {
        while (pauseWatch(base::clock::steadyNow(), &WatchTiming::cyclePause)) {
            // What the network, the system or a device does to one cycle is logged and the next
            // cycle tries again; a broken invariant of the program ends it.
            try {
                watchCycle(cycle, firstCycle, offlineSeen);
            } catch (const exception::ExternalError& error) {
                place.warn(L"Неподходящее состояние в потоке управления [%1%]", error.what());
            } catch (const exception::Base& error) {
                endProgram(place, error.what());
            } catch (const std::logic_error& error) {
                endProgram(place, error.what());
            } catch (const std::bad_alloc& error) {
                endProgram(place, error.what());
            } catch (const std::exception& error) {
                place.error(L"Поймано исключение в потоке управления [%1%]", exception::textOf(error));
            } catch (...) {
                endProgram(place, "unknown exception");
            }
        }
    }
    releaseAudioMemories();
    place.trace(L"end thread controlTimeoutThread()");
}

void DeviceCollection::releaseAudioMemories() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const auto& entry : devices_) {
        try {
            entry.second.device->releaseAudioMemory();
        } catch (const exception::ExternalError& error) {
            debug::Place(kControlThreadPlace).warn(L"%1%", error.what());
        }
    }
}

void DeviceCollection::watchCycle(std::int64_t& cycle, bool& firstCycle, bool& offlineSeen) {
    const debug::Place place(kControlThreadPlace);
    std::vector<std::shared_ptr<DeviceBase>> devices;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        devices.reserve(devices_.size());
        for (const auto& entry : devices_) devices.push_back(entry.second.device);
    }
    for (const auto& device : devices) {
        if (device->getAddress().isValid()) device->checkOnline(false);
    }
    if (cycle % kAddressCheckCycles == 0) checkAddresses(devices, offlineSeen, place);
    ++cycle;
    if (firstCycle) {
        if (devices.empty()) {
            findLostDevices(true);
        } else if (offlineSeen) {
            findLostDevices(false);
        }
        firstCycle = false;
    }
}

bool DeviceCollection::findLostDevices(bool withDiscovery) {
    const debug::Place place("device::DeviceCollection::findLostDevices");
    place.trace(L"");
    std::string interfaceIp;
    std::uint16_t discoveryPort = 0;
    std::vector<std::shared_ptr<DeviceBase>> devices;
    os::DiscoveryTargets targets;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        interfaceIp = interfaceIp_;
        discoveryPort = static_cast<std::uint16_t>(port_ + 1);
        devices.reserve(devices_.size());
        for (const auto& entry : devices_) devices.push_back(entry.second.device);
        targets = discoveryTargets_;
    }
    if (interfaceIp.empty()) return false;

    std::thread([interfaceIp, discoveryPort, devices = std::move(devices)] {
        try {
            visitLostDevices(interfaceIp, discoveryPort, devices);
        } catch (const std::exception& error) {
            // Nothing to hand it to: the search only sends datagrams and reports nothing back.
            debug::Place("device::DeviceCollection::findLostDevices")
                .error(L"The search for lost devices stopped: %1%", exception::textOf(error));
        }
    }).detach();

    if (!withDiscovery) return true;
    checkLink(interfaceIp);
    return os::findLostDevices(interfaceIp, discoveryPort, targets);
}

bool DeviceCollection::findLostDevice(const std::string& interfaceIp, std::uint16_t discoveryPort,
                                      const std::shared_ptr<DeviceBase>& device) {
    if (device->isOnline()) return false;
    const net::IpAndPort address = device->getAddress();
    if (!address.isValid()) return false;
    debug::Place("device::DeviceCollection::findLostDevice")
        .trace(L"find lost device with id=%1%", device->getId());
    return os::sendPackageToUdpAddress(interfaceIp, address.getText(), discoveryPort);
}

void DeviceCollection::checkLink(const std::string& interfaceIp) {
    const debug::Place place("device::DeviceCollection::checkLink");
    const std::optional<os::NetworkInterface> adapter = os::getNetworkInterfaceByIp(interfaceIp);
    if (!adapter) {
        // The adapter went away or lost its address while the program runs; it may come back.
        place.debug(L"The Melvox has no connection to the network with ip '%1%'.", interfaceIp);
        return;
    }
    if (adapter->gateway.empty()) return;
    if (os::pingGateway(interfaceIp)) {
        place.info(L"Удалённый узел ответил (сеть доступна)");
    } else {
        place.debug(L"The Melvox has no connection to the network with ip '%1%'.", interfaceIp);
    }
}

}  // namespace device
