#pragma once
// What the loudspeaker tests share besides the device fixture: loudspeakers made by the class's
// own factory, connected to emulated ones.

#include <memory>
#include <string>
#include <vector>

#include "devicememory/V2AudioMemory.h"
#include "devicememory/V3AudioMemory.h"
#include "devicememory/V4AudioMemory.h"
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

    // Writes a gong, a message and `count` scenarios of both ("Сценарий 1", ...) into the flash
    // of the loudspeaker, through a memory of its layout that the device does not keep; the
    // device reads the flash anew when it next needs its memory. The scenarios' ids are their
    // orders in every layout (from 0 up to generation 14, from 1 later); without the first
    // scenario, each id is its order plus one.
    void writeScenarios(const std::shared_ptr<device::VokarInfo>& device, int count,
                        bool withoutFirst = false) {
        std::shared_ptr<device::memory::IAudioControl> memory;
        const device::VokarVersion generation = device->getVersionId();
        if (generation <= device::vokarA_2_01_72) {
            memory = device::v2::memory::AudioMemory::create(device, transport_, nullptr, true);
        } else if (generation <= device::vokarB_1_02_79) {
            memory = device::v3::memory::AudioMemory::create(device, transport_, nullptr, true);
        } else {
            memory = device::v4::memory::AudioMemory::create(device, transport_, nullptr, true);
        }
        const std::int16_t gong = memory->addFragment(std::string(300, 'g'), L"Гонг");
        const std::int16_t message = memory->addFragment(std::string(500, 'm'), L"Сообщение");
        std::vector<std::int16_t> ids;
        for (int n = 1; n <= count; ++n)
            ids.push_back(memory->addScenario(gong, message, 30, L"Сценарий " + std::to_wstring(n)));
        if (withoutFirst) memory->removeScenario(ids.front());
        memory->writeChanges(nullptr);
        ASSERT_TRUE(waitFor([&] { return memory->getWriteProgress() == 100 && !memory->hasChanges(); }));
        device->releaseAudioMemory();
    }

    // A packet of this loudspeaker with all 26 numbers.
    static std::string packet(const LoudspeakerEmulator::Status& status, const std::string& version,
                              std::size_t numbers = LoudspeakerEmulator::fullNumberCount) {
        return LoudspeakerEmulator::makeStatusPacket(hardwareAddress, status, numbers, version);
    }
};

}  // namespace test
