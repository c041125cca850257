#pragma once
// What the registry's zone bindings ask of a loudspeaker beyond the device base: its two zone
// lists, the virtual zones it announces and the device numbers of the consoles that reach it. The
// loudspeaker class fills it in; the registry knows loudspeakers only through it.

#include <cstdint>
#include <set>

#include "devicelink/DeviceBase.h"

namespace device {

class LoudspeakerBase : public DeviceBase {
public:
    using DeviceBase::DeviceBase;

    // Whether its firmware keeps zone lists; requireZoneLists throws the firmware's refusal
    // (exception::UnsupportedByDevice) when it does not.
    virtual bool hasZoneLists() = 0;
    virtual void requireZoneLists() = 0;

    virtual void addAnnounceZone(std::int32_t zone) = 0;
    virtual void removeAnnounceZone(std::int32_t zone) = 0;
    virtual std::set<std::int32_t> readAnnounceZones() = 0;
    virtual void addZoneAddress(std::uint32_t address) = 0;
    virtual void removeZoneAddress(std::uint32_t address) = 0;
    virtual std::set<std::uint32_t> readZoneAddresses() = 0;
};

}  // namespace device
