#pragma once
// The line-control module of an emulated loudspeaker: it answers the "lsensor" commands on the
// loudspeaker's socket with its state, power-save mode and end devices, adds and removes end
// devices one by one or all at once, and restarts. Its state is shared with the handler, so either may go
// first.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "support/DeviceEmulator.h"

namespace test {

class LineControllerEmulator {
public:
    struct EndDevice {
        // Bit 0 added, bit 1 online, bit 2 the third flag.
        std::uint32_t flags = 0;
        std::uint32_t firstValue = 0;
        std::uint32_t secondValue = 0;
        std::string tag = "t";
    };

    explicit LineControllerEmulator(EmulatedDevice& loudspeaker);

    std::uint32_t powerSave() const;
    // By the module's address of the device (its number less 11).
    void setEndDevice(std::uint32_t address, const EndDevice& device);
    std::map<std::uint32_t, EndDevice> endDevices() const;

private:
    struct Shared {
        mutable std::mutex lock;
        std::uint32_t powerSave = 0;
        std::map<std::uint32_t, EndDevice> devices;
    };
    static std::string answer(Shared& shared, const std::string& command);

    const std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace test
