#pragma once
// What the loudspeaker tests share: a running dispatcher and transport on loopback, a log
// capture, and loudspeakers made by the class's own factory.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "devicelink/TransferProtocol.h"
#include "devices/VokarInfo.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/LoudspeakerEmulator.h"

namespace test {

// The field of the E that `action` throws; a failure of the test when it throws nothing.
template <class E, class Action, class T, class Holder>
T thrown(Action&& action, T Holder::*field) {
    try {
        action();
    } catch (const E& error) {
        return error.*field;
    }
    ADD_FAILURE() << "nothing was thrown";
    return T();
}

class VokarFixture : public ::testing::Test {
protected:
    static constexpr const char* hardwareAddress = "02:7E:41:00:00:01";

    void SetUp() override {
        base::ThreadDispatcher::create();
        transport_ = std::make_shared<device::TransferProtocol>(port_, "127.0.0.1");
        transport_->run();
    }
    void TearDown() override {
        transport_->stop();
        base::ThreadDispatcher::destroy();
    }

    // A device's address on loopback; nothing answers there unless an emulator is started on it.
    net::IpAndPort address(int host = 2) const {
        return net::IpAndPort("127.0.0." + std::to_string(host), port_);
    }

    std::shared_ptr<device::VokarInfo> makeDevice(device::DeviceType type = device::types::vokarB,
                                                  int host = 2) {
        return device::VokarInfo::create(7, type, net::HardwareAddress(hardwareAddress), address(host),
                                         L"Hall", transport_,
                                         [this](const std::shared_ptr<device::DeviceBase>&) { ++handled_; });
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
        device->checkResponding(true);
        EXPECT_TRUE(waitFor([&] {
            return device->isOnlineAndResponding() && device->volume.load() != device::kUnknownVolume;
        }));
        EXPECT_TRUE(waitForDispatcher());
        emulator.clearReceived();
        return device;
    }

    // The commands `emulator` received, in one text: "set ch 2; set ch 0".
    static std::string sent(const LoudspeakerEmulator& emulator) {
        std::string text;
        for (const std::string& command : emulator.received()) text += (text.empty() ? "" : "; ") + command;
        return text;
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

    // How many jobs with this description the dispatcher was given so far.
    std::size_t queued(const std::wstring& description) {
        return capture_.find(L"add a function with description '" + description + L"'").size();
    }

    LogCapture capture_;
    const std::uint16_t port_ = freeUdpPort();
    std::shared_ptr<device::TransferProtocol> transport_;
    std::atomic<int> handled_{0};
};

}  // namespace test
