#pragma once
// What the registry's zone bindings ask of a microphone console beyond the device base: its zones
// and whether it is a fire console. The console class fills it in; the registry knows consoles
// only through it.

#include <cstdint>
#include <optional>
#include <set>

#include "devicelink/ConsoleZone.h"
#include "devicelink/DeviceBase.h"

namespace device {

class ConsoleBase : public DeviceBase {
public:
    using DeviceBase::DeviceBase;

    // The zones, read from the console when they are not loaded.
    virtual ConsoleZones getZones() = 0;
    // The zones as last read, without an exchange; nothing while they are not loaded.
    virtual std::optional<ConsoleZones> getCachedZones() = 0;
    // exception::InternalError when the zone is not there.
    virtual ConsoleZone findZone(int zoneNumber) = 0;
    // False when the console refused the binding.
    virtual bool bindZone(int zoneNumber, int virtualZone, int scenario,
                          const std::set<std::uint32_t>& addresses) = 0;
    // False when the zone is not there.
    virtual bool unbindZone(int zoneNumber) = 0;
    // Only a fire console may carry zones with a message.
    virtual bool isFireConsole() = 0;
};

}  // namespace device
