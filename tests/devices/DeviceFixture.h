#pragma once
// What the device-class tests share: a running dispatcher and transport on loopback, a log
// capture, and the helpers that read what an emulated device was sent and what was thrown.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "devicelink/CommonConfig.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/TransferProtocol.h"
#include "devices/OutOfRangeLines.h"
#include "foundation/Exceptions.h"
#include "foundation/ThreadDispatcher.h"
#include "support/AudioFlash.h"
#include "support/DeviceEmulator.h"
#include "support/DispatcherWait.h"
#include "support/EmulatorText.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"

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

// The numbers, each followed by a comma: "3,7,".
template <class Numbers>
std::string join(const Numbers& numbers) {
    std::string text;
    for (const auto& number : numbers) text += std::to_string(number) + ",";
    return text;
}

// What a reader of device replies made of a reply, or "refused" when it threw the reply back.
inline std::string readWith(const std::function<std::string(const std::string&)>& reader,
                            const std::string& reply) {
    try {
        return reader(reply);
    } catch (const exception::UnexpectedResponseOfDevice& error) {
        return error.response == reply ? "refused" : "refused another reply";
    }
}

// The common settings, one a line, so that a difference shows by name.
inline void describeCommon(std::ostream& out, const device::CommonConfig& c) {
    out << "number=" << c.number << "\nip=" << c.ip << "\nmask=" << c.mask << "\ngateway=" << c.gateway
        << "\ndhcp=" << c.dhcp << "\ncurrentIp=" << c.currentIp << "\ncurrentMask=" << c.currentMask
        << "\ncurrentGateway=" << c.currentGateway << "\nmulticastIp=" << c.multicastIp
        << "\ndiscoveryPort=" << c.discoveryPort << "\nserverPort=" << c.serverPort
        << "\ngenerationCode=" << c.generationCode << "\ncurrentServerIp=" << c.currentServerIp
        << "\nserverIp=" << c.serverIp << "\nswitchMode=" << c.switchMode << "\nigmpReport=" << c.igmpReport
        << "\nneridaAddress=" << int{c.neridaAddress} << "\nneridaRelay=" << c.neridaRelay
        << "\nneridaTest=" << c.neridaTest << "\nneridaReserve=" << c.neridaReserve
        << "\ntoken33Value=" << c.token33Value;
}

class DeviceFixture : public ::testing::Test {
protected:
    static constexpr const char* hardwareAddress = "02:7E:41:00:00:01";

    void SetUp() override {
        device::OutOfRangeLines::forgetSenders();
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
    // The state handler of the devices a test makes: it counts its calls.
    device::StateHandler countingHandler() {
        return [this](const std::shared_ptr<device::DeviceBase>&) { ++handled_; };
    }

    // The commands `emulator` received, in one text: "set ch 2; set ch 0".
    static std::string sent(const EmulatedDevice& emulator) { return joined(emulator.received()); }
    // The same without the commands of the audio memory, which the loudspeakers read for the
    // scenarios of their inputs and the first generations ask whether it plays.
    static std::vector<std::string> receivedBesidesMemory(const EmulatedDevice& emulator) {
        std::vector<std::string> commands = emulator.received();
        commands.erase(std::remove_if(commands.begin(), commands.end(), &AudioFlash::isMemoryCommand),
                       commands.end());
        return commands;
    }
    static std::string sentBesidesMemory(const EmulatedDevice& emulator) {
        return joined(receivedBesidesMemory(emulator));
    }
    static std::string joined(const std::vector<std::string>& commands) {
        std::string text;
        for (const std::string& command : commands) text += (text.empty() ? "" : "; ") + command;
        return text;
    }

    // The reply that a fresh read of the settings refused as UnexpectedResponseOfDevice.
    template <class Device>
    static std::string refusedReply(Device& device) {
        return thrown<exception::UnexpectedResponseOfDevice>(
            [&device] { device.getConfig(true); }, &exception::UnexpectedResponseOfDevice::response);
    }
    // The settings reply of `emulated` with one of its lines replaced.
    template <class Emulator>
    static std::string spoiled(const Emulator& emulated, std::size_t line, const std::string& text) {
        std::vector<std::string> lines = emulated.settingsLines();
        lines[line] = text;
        return joinLines(lines);
    }

    // Changes the status of `emulated`: the packets it sends from now on carry the change.
    template <class Emulator, class Change>
    static void changeStatus(Emulator& emulated, Change change) {
        auto status = emulated.status();
        change(status);
        emulated.setStatus(status);
    }
    // The same, and `device` takes the changed packet; false when it refused it.
    template <class Emulator, class Device, class Change>
    static bool takeStatus(Emulator& emulated, Device& device, Change change) {
        changeStatus(emulated, change);
        return device.parseState(emulated.statusPacket(), emulated.address());
    }

    // Checks that the device answers until `answered` holds: a loaded machine may answer later
    // than the check waits, so the check is sent again. False when it never holds.
    static bool checkAnswers(device::DeviceBase& device, const std::function<bool()>& answered) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            device.checkResponding(true);
            if (waitFor(answered, std::chrono::seconds(2))) return true;
        }
        return false;
    }

    // 3000 datagrams of 26 to 256 random bytes of `letters` and NUL, a third of them under this
    // device's address and every second one ending in `tail`: `device` takes or refuses each
    // without throwing.
    void expectNoDatagramEscapes(device::DeviceBase& device, std::uint32_t seed, const std::string& letters,
                                 const std::string& tail = "") {
        std::mt19937 random(seed);
        const std::string alphabet = letters + std::string(1, '\0');
        for (int round = 0; round < 3000; ++round) {
            std::string datagram(26 + random() % 231, ' ');
            for (char& c : datagram) c = alphabet[random() % alphabet.size()];
            datagram[2] = ':';
            if (round % 3 == 0) datagram.replace(0, 17, hardwareAddress);
            if (round % 2 == 0) datagram += tail;
            EXPECT_NO_THROW(device.parseState(datagram, address()));
        }
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
