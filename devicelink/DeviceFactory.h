#pragma once
// How the registry builds the device object of one family without knowing the device classes:
// the application registers one factory per family bit (loudspeaker, console).

#include <cstdint>
#include <memory>
#include <string>

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceType.h"
#include "foundation/NetworkAddress.h"

namespace device {

// Builds one device that already knows its own shared pointer and its state handler.
class DeviceFactory {
public:
    virtual ~DeviceFactory() = default;
    virtual std::shared_ptr<DeviceBase> create(std::uint32_t id, DeviceType type,
                                               const net::HardwareAddress& hardwareAddress,
                                               const net::IpAndPort& address, const std::wstring& title,
                                               const std::shared_ptr<TransferProtocol>& protocol,
                                               const StateHandler& stateHandler) = 0;
};

// The factory of a device class whose static `create` takes the same arguments.
template <class Device>
class DeviceFactoryOf : public DeviceFactory {
public:
    std::shared_ptr<DeviceBase> create(std::uint32_t id, DeviceType type,
                                       const net::HardwareAddress& hardwareAddress,
                                       const net::IpAndPort& address, const std::wstring& title,
                                       const std::shared_ptr<TransferProtocol>& protocol,
                                       const StateHandler& stateHandler) override {
        return Device::create(id, type, hardwareAddress, address, title, protocol, stateHandler);
    }
};

}  // namespace device
