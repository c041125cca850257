#pragma once
// What the loudspeaker tests share besides the device fixture: loudspeakers made by the class's
// own factory, connected to emulated ones.

#include <memory>
#include <string>

#include "devices/VokarInfo.h"
#include "support/LoudspeakerEmulator.h"
#include "tests/devices/DeviceFixture.h"

namespace test {

class VokarFixture : public DeviceFixture {
protected:
    std::shared_ptr<device::VokarInfo> makeDevice(device::DeviceType type = device::types::vokarB,
                                                  int host = 2) {
        return device::VokarInfo::create(7, type, net::HardwareAddress(hardwareAddress), address(host),
                                         L"Hall", transport_, countingHandler());
    }

    std::unique_ptr<LoudspeakerEmulator> makeEmulator(device::VokarVersion generation,
                                                      const std::string& model = "", int host = 2) {
        return std::make_unique<LoudspeakerEmulator>("127.0.0." + std::to_string(host), port_,
                                                     hardwareAddress, generation, model);
    }

    // A loudspeaker that took a status packet of `emulator` and answered its responding check,
    // so that it knows its generation and volume; the emulator's command log starts empty.
    std::shared_ptr<device::VokarInfo> connect(LoudspeakerEmulator& emulator,
                                               device::DeviceType type = device::types::vokarB) {
        // The packet's sender becomes the device's address.
        auto device = makeDevice(type);
        EXPECT_TRUE(device->parseState(emulator.statusPacket(), emulator.address()));
        EXPECT_EQ(device->getVersionId(), emulator.generation());
        // Checked at once rather than after the delay of the check the packet queued; that check
        // then finds the device checked and sends nothing.
        EXPECT_TRUE(checkAnswers(*device, [&] {
            return device->isOnlineAndResponding() && device->volume.load() != device::kUnknownVolume;
        }));
        EXPECT_TRUE(waitForDispatcher());
        emulator.clearReceived();
        return device;
    }

    struct Loudspeaker {
        std::unique_ptr<LoudspeakerEmulator> emulated;
        std::shared_ptr<device::VokarInfo> device;
    };
    // An emulated loudspeaker of `generation` and the device connected to it.
    Loudspeaker connected(device::VokarVersion generation, int host = 2) {
        Loudspeaker loudspeaker{makeEmulator(generation, "", host), nullptr};
        loudspeaker.device = connect(*loudspeaker.emulated);
        return loudspeaker;
    }

    // A packet of this loudspeaker with all 26 numbers.
    static std::string packet(const LoudspeakerEmulator::Status& status, const std::string& version,
                              std::size_t numbers = LoudspeakerEmulator::fullNumberCount) {
        return LoudspeakerEmulator::makeStatusPacket(hardwareAddress, status, numbers, version);
    }
};

}  // namespace test
