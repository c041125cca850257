#pragma once
// The firmware flash of an emulated device and the commands that write it: the memory size,
// the erase and the blocks of the unified format ("firmwareSize", "firmwareErase",
// "firmwareProgram") and of the first Vokar-A format ("flash", "flashNFO" with its checksum).

#include <cstdint>
#include <memory>
#include <string>

#include "support/DeviceEmulator.h"
#include "support/EmulatedFlash.h"

namespace test {

class FirmwareFlash {
public:
    // Registers the commands on `device` with an erased flash of `size` bytes in strict mode.
    FirmwareFlash(EmulatedDevice& device, std::size_t size);

    EmulatedFlash& flash();
    // The flash up to the end of the highest block written so far.
    std::string written() const;
    // What "firmwareSize" answers, when it should not be the flash's size.
    void setReportedSize(const std::string& reply);
    int eraseCount() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace test
