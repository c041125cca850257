#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/TribelInfo.h"
#include "foundation/Exceptions.h"
#include "support/ManualClock.h"
#include "tests/devices/TribelFixture.h"

namespace {

using namespace device;

class TribelInfoTest : public test::TribelFixture {};

TEST_F(TribelInfoTest, CreationSettlesTheModelAndTheVersionId) {
    struct Case {
        DeviceType given;
        DeviceType stored;
        std::uint32_t versionId;
        bool unknown;
    };
    const std::vector<Case> cases = {
        {types::tribelT, types::tribelT, 0, false},
        {types::tribelT | types::tribelTV2, types::tribelT, 0, false},
        {types::tribelTV2, types::tribelTV2, 3, false},
        {types::tribelFamily, types::tribelFamily, 3, true},
    };
    for (const Case& c : cases) {
        auto console = makeConsole(c.given);
        EXPECT_EQ(console->getVersion().type, c.stored) << c.given;
        EXPECT_EQ(console->getVersionId(), c.versionId) << c.given;
        EXPECT_EQ(console->getThisBasePtr(), console);
        EXPECT_TRUE(console->acceptsFirmwareFor(c.stored));
        EXPECT_FALSE(console->acceptsFirmwareFor(types::vokarB));
        EXPECT_FALSE(console->checkUpgradePossibility(nullptr));
    }
    EXPECT_EQ(capture_.find(L"Set unknown Tribel device type='Tribel'", L"IMPOR").size(), 1u);
    EXPECT_EQ(capture_.find(L"Set unknown Tribel device type").size(), 1u);
}

TEST_F(TribelInfoTest, VolumeRepliesAreReadWholeAndClamped) {
    auto console = makeConsole();
    struct Case {
        const char* reply;
        std::int32_t volume;
    };
    const std::vector<Case> cases = {
        {"100", 100}, {"101", 100}, {"0", 0}, {"-5", 0}, {"42", 42}, {"abc", 42}, {"12abc", 42}, {"0x10", 42},
    };
    for (const Case& c : cases) {
        console->lastStateTime = 0;
        console->handleVolume(c.reply);
        EXPECT_EQ(console->volume.load(), c.volume) << c.reply;
        // Whatever it answers, the console answered.
        EXPECT_TRUE(console->isOnline()) << c.reply;
    }
    EXPECT_TRUE(capture_.contains(L"Incorrect volume of Tribel-T is '101'", L"NOTICE"));
    EXPECT_TRUE(capture_.contains(L"Incorrect volume of Tribel-T is '-5'", L"NOTICE"));
    EXPECT_TRUE(capture_.contains(
        L"Response format for Tribel-T is invalid 'get vol': 12abc, device '02:7E:41:00:00:01'", L"WARN"));
    EXPECT_EQ(capture_.find(L"Response format for Tribel-T is invalid").size(), 3u);
    EXPECT_THROW(console->setVolume(50), exception::UnsupportedByDevice);
}

TEST_F(TribelInfoTest, TheSelfTestRunsOnceAtATimeForTwentySeconds) {
    auto [emulated, console] = connected();
    const auto refusal = [&console = console] {
        return test::thrown<exception::UserResponse>([&] { console->startDeviceTest(); },
                                                     &exception::Base::message);
    };
    EXPECT_FALSE(console->isTestRunning());
    console->startDeviceTest();
    EXPECT_TRUE(console->isTestRunning());
    EXPECT_EQ(refusal(), L"testIsRunning");
    {
        test::ManualClock clock;
        clock.advance(std::chrono::seconds(19));
        EXPECT_TRUE(console->isTestRunning());
        clock.advance(std::chrono::seconds(1));
        EXPECT_FALSE(console->isTestRunning());
    }
    EXPECT_EQ(sent(*emulated), "test; test");
    EXPECT_EQ(console->getDebugInfo(), "uptime 3600");

    // Refused while the console plays, and when it does not answer.
    ASSERT_TRUE(takeStatus(*emulated, *console, [](auto& s) { s.playbackState = 0x04; }));
    EXPECT_TRUE(console->hasInternalPlaying());
    EXPECT_EQ(refusal(), L"testFailure");
    ASSERT_TRUE(takeStatus(*emulated, *console, [](auto& s) { s.playbackState = 0; }));
    emulated->setSilent(true);
    EXPECT_EQ(refusal(), L"testFailure");
}

}  // namespace
