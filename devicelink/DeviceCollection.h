#pragma once
// The registry of every device the system knows, keyed by hardware address. Status packets
// enter here: the transport offers it every datagram first, it recognises the status packets,
// hands each one to the device that sent it on the thread dispatcher, and builds a device object
// for a sender it does not know yet. It also gives the rest of the system its look-ups and lists.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/DeviceType.h"
#include "devicelink/StatePacketQueue.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/NetworkAddress.h"

namespace device {

class VokarInfo;
class TribelInfo;

// Gives the id of a device that a status packet revealed: (type text, hardware address, title).
using NewDeviceHandler = std::function<std::uint32_t(
    const std::string& typeText, const net::HardwareAddress& address, const std::wstring& title)>;

class DeviceCollection {
public:
    // Packets that may wait for their handling before further ones are dropped.
    static constexpr std::size_t kWaitingPackets = 16384;

    // Takes the transport's all-responses and unknown-responses handlers.
    DeviceCollection(std::shared_ptr<TransferProtocol> transport, std::uint16_t port);
    ~DeviceCollection();
    DeviceCollection(const DeviceCollection&) = delete;
    DeviceCollection& operator=(const DeviceCollection&) = delete;

    // The builder of one family's devices: `family` is types::loudspeaker or types::console.
    void setFactory(DeviceType family, std::shared_ptr<DeviceFactory> factory);

    // True when the datagram is a status packet: it is queued, or dropped while the queue is full.
    bool handlerForAllResponsesCallback(const std::string& response, const net::IpAndPort& from);
    // One status packet, on the dispatcher, one at a time in arrival order.
    void handleAllStatesCallback(const std::string& packet, const net::IpAndPort& from,
                                 const net::HardwareAddress& address);
    static bool handlerForUnknownResponsesCallback(const std::string& response, const net::IpAndPort& from);

    // The device registered under the address, or a new one; null when nothing could be added.
    std::shared_ptr<DeviceBase> addDevice(std::uint32_t id, const std::string& typeText,
                                          const net::HardwareAddress& address, const net::Ip4Address& lastIp,
                                          const std::wstring& title);
    void remove(const net::HardwareAddress& address);

    // All devices in address order.
    std::vector<std::shared_ptr<DeviceBase>> getDevices();
    // The devices built by the family's factory; with onlineOnly only those online and responding.
    std::vector<std::shared_ptr<DeviceBase>> getDevicesOfFamily(DeviceType family, bool onlineOnly);
    // The device of that family under the address, or null.
    std::shared_ptr<DeviceBase> searchForFamily(const net::HardwareAddress& address, DeviceType family);

    // The typed views. They compile where the device classes are known; this library never
    // needs them.
    template <class Vokar = VokarInfo>
    std::shared_ptr<Vokar> searchFor(const net::HardwareAddress& address) {
        return std::dynamic_pointer_cast<Vokar>(searchForFamily(address, types::loudspeaker));
    }
    template <class Vokar = VokarInfo>
    std::vector<std::shared_ptr<Vokar>> getVokars(bool onlineOnly) {
        return castAll<Vokar>(getDevicesOfFamily(types::loudspeaker, onlineOnly));
    }
    template <class Tribel = TribelInfo>
    std::vector<std::shared_ptr<Tribel>> getTribels(bool onlineOnly) {
        return castAll<Tribel>(getDevicesOfFamily(types::console, onlineOnly));
    }

    void setStateHandler(StateHandler handler);
    void setNewDeviceHandler(NewDeviceHandler handler);
    void setInterfaceIp(const std::string& interfaceIp);
    // Releases every device's audio memory; the devices stay registered. Safe to call again.
    void stop();

private:
    struct Entry {
        std::shared_ptr<DeviceBase> device;
        DeviceType family = 0;
    };
    // The vendor prefix, then the device number; the text takes no part.
    struct AddressOrder {
        bool operator()(const net::HardwareAddress& a, const net::HardwareAddress& b) const {
            return a.getHigh() != b.getHigh() ? a.getHigh() < b.getHigh() : a.getLow() < b.getLow();
        }
    };

    template <class Device>
    static std::vector<std::shared_ptr<Device>> castAll(
        const std::vector<std::shared_ptr<DeviceBase>>& devices) {
        std::vector<std::shared_ptr<Device>> result;
        result.reserve(devices.size());
        for (const auto& device : devices) {
            if (auto typed = std::dynamic_pointer_cast<Device>(device)) result.push_back(std::move(typed));
        }
        return result;
    }

    std::recursive_mutex lock_;
    const std::shared_ptr<TransferProtocol> transport_;
    std::map<net::HardwareAddress, Entry, AddressOrder> devices_;
    StateHandler stateHandler_;
    NewDeviceHandler newDeviceHandler_;
    std::string interfaceIp_;
    const std::uint16_t port_;
    std::map<DeviceType, std::shared_ptr<DeviceFactory>> factories_;
    // Shared with the transport's handler, so that a datagram arriving while the registry goes
    // away reaches a closed queue rather than a destroyed registry.
    std::shared_ptr<StatePacketQueue> packets_;
};

}  // namespace device
