// A loudspeaker and a console held as a device of unknown kind: its settings, its diagnostic text
// and its self test reached through the device base answer as the device's class answers.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "devices/TribelInfo.h"
#include "support/ConsoleEmulator.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;

std::string described(const CommonConfig& common) {
    std::ostringstream out;
    test::describeCommon(out, common);
    return out.str();
}

class DeviceSlotsTest : public test::VokarFixture {
protected:
    struct Subject {
        const char* name;
        std::shared_ptr<DeviceBase> device;
        test::EmulatedDevice* emulated;
        // The settings record of the emulated device, as it keeps it now.
        std::function<std::uint32_t()> neridaAddress;
        std::string debugText;
        std::string testCommand;
        // Brings the test's start into the device's state, as its status packets do.
        std::function<void()> afterTest;
    };

    // A console at 127.0.0.3 that took a status packet and answered its responding check.
    std::shared_ptr<TribelInfo> connectConsole(test::ConsoleEmulator& emulator) {
        auto console = TribelInfo::create(5, types::tribelT, net::HardwareAddress(hardwareAddress),
                                          address(3), L"Desk", transport_, countingHandler());
        EXPECT_TRUE(console->parseState(emulator.statusPacket(), emulator.address()));
        EXPECT_TRUE(checkAnswers(*console, [&] { return console->isOnlineAndResponding(); }));
        EXPECT_TRUE(test::waitForDispatcher());
        emulator.clearReceived();
        return console;
    }
};

TEST_F(DeviceSlotsTest, ALoudspeakerAndAConsoleAnswerThroughTheBaseAsTheirClassesDo) {
    auto loudspeaker = connected(vokarV3_A125);
    loudspeaker.emulated->answer("get dbg", test::okReply("get dbg", "uptime 7"));
    test::ConsoleEmulator consoleEmulated("127.0.0.3", port_, hardwareAddress);
    consoleEmulated.setRebootPause(std::chrono::milliseconds(0));
    const std::shared_ptr<TribelInfo> console = connectConsole(consoleEmulated);

    Subject subjects[] = {
        {"loudspeaker", loudspeaker.device, loudspeaker.emulated.get(),
         [&] { return loudspeaker.emulated->settings().neridaAddress; }, "uptime 7", "deviceTest",
         [&] {
             ASSERT_TRUE(loudspeaker.device->parseState(loudspeaker.emulated->statusPacket(),
                                                        loudspeaker.emulated->address()));
         }},
        {"console", console, &consoleEmulated, [&] { return consoleEmulated.settings().neridaAddress; },
         "uptime 3600", "test", [] {}},
    };
    const CommonConfig ownCommon[] = {loudspeaker.device->getCommonConfig(true),
                                      console->getCommonConfig(true)};
    for (std::size_t index = 0; index < std::size(subjects); ++index) {
        const Subject& s = subjects[index];
        SCOPED_TRACE(s.name);
        DeviceBase& device = *s.device;

        CommonConfig common = device.getCommonConfig(false);
        EXPECT_EQ(described(common), described(ownCommon[index]));
        EXPECT_EQ(common.neridaAddress, s.neridaAddress());
        common.neridaAddress = 30;
        s.emulated->clearReceived();
        EXPECT_FALSE(device.setCommonConfig(common));
        EXPECT_EQ(s.neridaAddress(), 30u);

        EXPECT_EQ(device.getDebugInfo(), s.debugText);

        EXPECT_FALSE(device.isTestRunning());
        s.emulated->clearReceived();
        device.startDeviceTest();
        EXPECT_EQ(s.emulated->received(), std::vector<std::string>{s.testCommand});
        s.afterTest();
        EXPECT_TRUE(device.isTestRunning());
    }
}

TEST_F(DeviceSlotsTest, EachKindNamesTheRequestOfItsDiagnosticText) {
    const auto consoleOf = [this](DeviceType type) -> std::shared_ptr<DeviceBase> {
        return TribelInfo::create(5, type, net::HardwareAddress(hardwareAddress), address(3), L"Desk",
                                  transport_, countingHandler());
    };
    const struct {
        std::shared_ptr<DeviceBase> device;
        const char* mainBoard;
        const char* lineControl;
    } cases[] = {
        {makeDevice(types::vokarAFirstGeneration), "getLineParam", "getLineParam"},
        {makeDevice(types::vokarALaterGeneration), "getLineParam", "getLineParam"},
        {makeDevice(types::vokarB), "get dbg", "lsensor dbg"},
        {makeDevice(types::vokarS), "get dbg", "lsensor dbg"},
        {consoleOf(types::tribelT), "get dbg", "get dbg"},
        {consoleOf(types::tribelTV2), "get dbg", "get dbg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toText(c.device->getVersion().type));
        EXPECT_EQ(c.device->debugInfoRequest(false), c.mainBoard);
        EXPECT_EQ(c.device->debugInfoRequest(true), c.lineControl);
    }
}

}  // namespace
