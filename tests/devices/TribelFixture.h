#pragma once
// What the console tests share besides the device fixture: consoles made by the class's own
// factory, connected to emulated ones.

#include <memory>
#include <string>

#include "devices/TribelInfo.h"
#include "support/ConsoleEmulator.h"
#include "tests/devices/DeviceFixture.h"

namespace test {

class TribelFixture : public DeviceFixture {
protected:
    std::shared_ptr<device::TribelInfo> makeConsole(device::DeviceType type = device::types::tribelT) {
        return device::TribelInfo::create(5, type, net::HardwareAddress(hardwareAddress), address(), L"Desk",
                                          transport_, countingHandler());
    }

    // A console emulated at 127.0.0.2 that restarts at once; `version` as ConsoleEmulator takes it.
    std::unique_ptr<ConsoleEmulator> makeEmulator(const std::string& version = "1.00.16") {
        auto emulator = std::make_unique<ConsoleEmulator>("127.0.0.2", port_, hardwareAddress, version);
        emulator->setRebootPause(std::chrono::milliseconds(0));
        return emulator;
    }

    // A console that took a status packet of `emulator`, answered its responding check and read
    // its audio memory, whose reading also caches the settings; the emulator's command log
    // starts empty.
    std::shared_ptr<device::TribelInfo> connect(ConsoleEmulator& emulator) {
        auto console = makeConsole();
        EXPECT_TRUE(console->parseState(emulator.statusPacket(), emulator.address()));
        // Checked at once rather than after the delay of the check the packet queued; that check
        // then finds the console checked and sends nothing.
        EXPECT_TRUE(checkAnswers(*console, [&] { return console->isOnlineAndResponding(); }));
        EXPECT_NE(console->getAudioMemory(false, true), nullptr);
        EXPECT_TRUE(waitForDispatcher());
        emulator.clearReceived();
        return console;
    }

    struct Console {
        std::unique_ptr<ConsoleEmulator> emulated;
        std::shared_ptr<device::TribelInfo> device;
    };
    Console connected(const std::string& version = "1.00.16") {
        Console console{makeEmulator(version), nullptr};
        console.device = connect(*console.emulated);
        return console;
    }

    // A packet of this console.
    static std::string packet(const ConsoleEmulator::Status& status,
                              const std::string& version = "Tribel-T 1.00.16") {
        return ConsoleEmulator::makeStatusPacket(hardwareAddress, status, version);
    }
};

}  // namespace test
