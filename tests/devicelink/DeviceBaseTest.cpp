#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceReply.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/Exceptions.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TestDevice.h"

namespace {

using namespace std::chrono_literals;
using device::DeviceBase;
using device::DeviceReply;

const net::HardwareAddress kAddress("02:7E:41:00:00:01");
constexpr std::int64_t kNow = 13'300'000'000'000'000;

// A device without a network.
std::shared_ptr<test::TestDevice> detachedDevice() {
    return test::TestDevice::create(1, device::types::vokarB, kAddress, net::IpAndPort(), L"", nullptr,
                                    nullptr);
}

// ---------------------------------------------------------------------------------------------
// Reply and packet texts.

// handleResponse takes only the device's success answer; readAnswer also any other text that is
// neither an error nor blank. Both cut the success frame alike.
TEST(DeviceBaseReplies, HandleResponseCutsThePrefixAndRefusesErrors) {
    test::LogCapture capture;
    auto device = detachedDevice();
    struct Case {
        std::string reply;
        std::string left;  // by handleResponse
        bool acknowledged;
        bool answered;
    };
    const Case cases[] = {
        {"OK[get vol]: 40", "40", true, true},
        {"OK 40", "40", true, true},
        {"OK\t40", "40", true, true},
        {"OK", "", true, true},
        {"SUCCESS[set name]: done ", "done", true, true},
        {"SUCCESS", "", true, true},
        {"SUCCESS: 8192", "8192", true, true},
        {"ERR[set vol]: out of range", "out of range", false, false},
        {"ERR: bad value\n", "bad value", false, false},
        {"ERR", "", false, false},
        {"  40 \r\n", "40", false, true},
        {" \r\n\t", "", false, false},
        // The prefixes are case-sensitive, only count at the very start and must stand as a word.
        {"ok 40", "ok 40", false, true},
        {" ERR: late", "ERR: late", false, true},
        {" OK", "OK", false, true},
        {"OKAY?", "OKAY?", false, true},
        {"SUCCESSFUL", "SUCCESSFUL", false, true},
        // What a device answers that has not carried a command out.
        {"#%&*!", "#%&*!", false, true},
        {"0", "0", false, true},
        {"voiceMemProgram 00000000 2 FFFF", "voiceMemProgram 00000000 2 FFFF", false, true},
    };
    for (const Case& c : cases) {
        std::string reply = c.reply;
        EXPECT_EQ(device->handleResponse(reply), c.acknowledged) << c.reply;
        EXPECT_EQ(reply, c.left) << c.reply;
        std::string answer = c.reply;
        EXPECT_EQ(device->readAnswer(answer), c.answered) << c.reply;
        if (c.acknowledged) {
            EXPECT_EQ(answer, c.left) << c.reply;
        }
    }
    EXPECT_EQ(capture.find(L"A response contains an error", L"DEBUG").size(), 6u);
}

TEST(DeviceBaseReplies, SplitResponseKeepsEmptyLinesAndCutsLabels) {
    struct Case {
        std::string reply;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"a: 1\r\nb:2\n\nc", {"1", "", "2", "", "c"}},
        {"key: value: more ", {"value: more"}},
        {"", {""}},
        {"  no label  ", {"  no label  "}},
        {"x:\n", {"", ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(DeviceBase::splitResponse(c.reply), c.pieces) << c.reply;
}

TEST(DeviceBaseReplies, ParseIntValueReadsTheWholeTextWithinTheRange) {
    test::LogCapture capture;
    struct Case {
        std::string text;
        std::int64_t minimum, maximum;
        bool ok;
        std::int64_t value;
    };
    const Case cases[] = {
        {"42", 0, 100, true, 42},
        {" 7 ", 0, 100, true, 7},
        {"+5", 0, 100, true, 5},
        {"-1", -1, 64, true, -1},
        {"-1", 0, 100, false, 0},
        {"101", 0, 100, false, 0},
        {"4x", 0, 100, false, 0},
        {"", 0, 100, false, 0},
        {"+-3", -10, 10, false, 0},
        {"99999999999999999999", 0, INT64_MAX, false, 0},
        {"4294967295", 0, 4294967295LL, true, 4294967295LL},
    };
    for (const Case& c : cases) {
        std::int64_t value = -99;
        EXPECT_EQ(DeviceBase::parseIntValue(c.text, value, c.minimum, c.maximum), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : -99) << c.text;
    }
    EXPECT_TRUE(capture.contains(
        L"Получен неверный тип для целочисленного значения 4x с границами диапазона 0..100"));

    // Narrower outputs are also held to what they can take.
    std::uint16_t port = 1;
    EXPECT_FALSE(DeviceBase::parseIntValue("70000", port, 0, 100000));
    EXPECT_EQ(port, 1);
}

// A status packet with a seventh field of `nameLength` characters.
std::string statePacket(std::size_t nameLength, const std::string& version = "Vokar-B 2.01.03") {
    return "02:7E:41:00:00:01,1,2,3,4,5," + std::string(nameLength, 'n') + "," + version;
}

TEST(DeviceBaseStatePackets, RecognitionIsBounded) {
    // The address field below is one that the address parser takes, so only the bound refuses it.
    ASSERT_TRUE(net::HardwareAddress("02:7E:41:00:00: 01").isValid());
    struct Case {
        std::string datagram;
        bool recognised;
    };
    const Case cases[] = {
        {statePacket(4), true},
        {statePacket(212), true},                  // 256 bytes
        {statePacket(213), false},                 // 257 bytes
        {"02:7E:41:00:00:01,1,2,3,4", false},      // 25 bytes
        {"02:E:1:0:0:1,1,2,3,4,5,V 1.2.3", true},  // the shortest form
        {"027E:41:00:00:01:00,1,2,3,4,5,name,Vokar-B 2.01.03", false},
        {"02:7E:41:00:00: 01,1,2,3,4,5,name,Vokar-B 2.01.03", false},  // an address field of 18
        {"02:7E:41:00:00:01,1,2,3,4,name,Vokar-B 2.01.03", false},     // four numbers
        {"02:7E:41:00:00:01,1,2,3,4,5,,Vokar-B 2.01.03", false},       // no seventh field
        {"02:7E:41:00:00:01,1,2,x,4,5,name,Vokar-B 2.01.03", false},
        {"02:7E:41:00:00:ZZ,1,2,3,4,5,name,Vokar-B 2.01.03", false},
        {"02:7E:41:00:00:01,1,2,3,4,5,name,no version here", false},
        {"02:7E:41:00:00:01,1,2,3,4,5,name\nnext,Vokar-B 2.01.03\r\n", true},
        {"02:7E:41:00:00:01, 1, 2, 3, 4, 5,name,Vokar-B 2.01.03", true},
    };
    for (const Case& c : cases) {
        net::HardwareAddress address;
        EXPECT_EQ(device::isStatePacket(c.datagram, address), c.recognised)
            << c.datagram.size() << ": " << c.datagram;
        if (c.recognised) {
            EXPECT_TRUE(address.isValid());
        }
    }

    // The version is the text after the last comma, without line ends.
    device::Version version;
    ASSERT_TRUE(device::DeviceBase::parseStateVersion(statePacket(4, "Vokar-B 2.01.03\r\n"), &version));
    EXPECT_EQ(version.text, "Vokar-B 2.01.03");
    EXPECT_FALSE(device::DeviceBase::parseStateVersion("Tribel-T 1.0.7", nullptr));
    EXPECT_FALSE(device::DeviceBase::parseStateVersion("x,Tribel-T 1.0.7,", nullptr));
}

// ---------------------------------------------------------------------------------------------
// Identity and the online rule.

TEST(DeviceBaseIdentity, TitleIsTrimmedAndALostSelfPointerStopsTheProgram) {
    test::LogCapture capture;
    auto device = detachedDevice();
    EXPECT_EQ(device->getDisplayName(), L"Устройство 02:7E:41:00:00:01");
    device->setTitle(L"  Hall 2 \t");
    EXPECT_EQ(device->getDisplayName(), L"Hall 2");

    test::TestDevice orphan(4, net::HardwareAddress(), net::IpAndPort(), L"", nullptr);
    EXPECT_THROW(orphan.getThisBasePtr(), exception::StopProgram);
    EXPECT_TRUE(capture.contains(L"Ошибка блокировки устройства", L"FATAL"));
}

TEST(DeviceBaseOnline, FiveSecondBound) {
    test::ManualClock clock;
    clock.setSystemMicros(kNow);
    auto device = detachedDevice();
    struct Case {
        std::int64_t lastState;
        bool online;
    };
    const Case cases[] = {{kNow - 4'999'999, true}, {kNow - 5'000'000, false}, {kNow + 1'000'000, true}};
    for (const Case& c : cases) {
        device->lastStateTime = c.lastState;
        device->responding = true;
        EXPECT_EQ(device->isOnline(), c.online) << kNow - c.lastState;
        EXPECT_EQ(device->isOnlineAndResponding(), c.online);
        device->responding = false;
        EXPECT_FALSE(device->isOnlineAndResponding());
    }
    device->lastStateTime = kNow - 4'999'999;
    clock.advance(1us);
    EXPECT_FALSE(device->isOnline());
}

// ---------------------------------------------------------------------------------------------
// Exchanges with an emulated device.

class DeviceBaseExchange : public ::testing::Test {
protected:
    void SetUp() override {
        base::ThreadDispatcher::create();
        transport_ = std::make_shared<device::TransferProtocol>(port_, "127.0.0.1");
        transport_->run();
        emulated_ = std::make_unique<test::EmulatedDevice>("127.0.0.2", port_);
        emulated_->answer("get vol", "OK[get vol]: 40");
        emulated_->answer("set ", "SUCCESS: stored");
        device_ =
            test::TestDevice::create(1, device::types::vokarB, kAddress, emulated_->address(), L"Hall",
                                     transport_, [this](const std::shared_ptr<DeviceBase>&) { ++notified_; });
    }
    void TearDown() override {
        device_.reset();
        emulated_.reset();
        transport_->stop();
        base::ThreadDispatcher::destroy();
    }
    void bringOnline() {
        device_->lastStateTime = DeviceBase::now();
        device_->responding = true;
    }
    // Exactly `count` state notifications, once everything queued has run.
    bool notifiedExactly(int count) {
        return test::waitFor([&] { return notified_.load() >= count; }) && test::waitForDispatcher() &&
               notified_.load() == count;
    }

    test::LogCapture capture_{base::Log::TRACE};
    const std::uint16_t port_ = test::freeUdpPort();
    std::shared_ptr<device::TransferProtocol> transport_;
    std::unique_ptr<test::EmulatedDevice> emulated_;
    std::shared_ptr<test::TestDevice> device_;
    std::atomic<int> notified_{0};
};

TEST_F(DeviceBaseExchange, RepliesAreCutAndOnlyCacheableOnesKept) {
    emulated_->answer("get ver", "SUCCESS: Vokar-B 2.01.03");
    device_->addCacheableRequest("get vol");
    EXPECT_EQ(device_->transfer("get vol"), "40");
    EXPECT_TRUE(device_->isOnlineAndResponding());
    EXPECT_EQ(device_->transfer("get vol"), "40");
    EXPECT_EQ(emulated_->receivedCount(), 1u);
    device_->clearCache();
    std::string reply;
    EXPECT_TRUE(device_->transfer("get vol", &reply, true));
    EXPECT_EQ(reply, "40");
    EXPECT_EQ(emulated_->receivedCount(), 2u);

    // Not registered as cacheable: asked every time.
    EXPECT_EQ(device_->transfer("get ver"), "Vokar-B 2.01.03");
    EXPECT_EQ(device_->transfer("get ver"), "Vokar-B 2.01.03");
    EXPECT_EQ(emulated_->receivedCount(), 4u);
    // Responding went from false to true once.
    EXPECT_TRUE(notifiedExactly(1));
}

// An error or a third busy reply throws with the device's text; neither reaches the cache.
TEST_F(DeviceBaseExchange, ErrorRepliesAndThreeBusyRepliesInARowFail) {
    emulated_->answer("set x", "ERR[set x]: value out of range");
    device_->addCacheableRequest("set x");
    device_->addCacheableRequest("get vol");
    std::string reply;
    EXPECT_FALSE(device_->transfer("set x", &reply, false));
    EXPECT_EQ(reply, "value out of range");
    EXPECT_THROW(device_->transfer("set x"), exception::UnexpectedResponseOfDevice);
    EXPECT_EQ(emulated_->receivedCount(), 2u);
    // An answer, even an error, is a sign of life.
    EXPECT_TRUE(device_->isOnlineAndResponding());

    emulated_->clearReceived();
    emulated_->answerBusy(3);
    try {
        device_->transfer("get vol");
        FAIL() << "three busy replies were taken as an answer";
    } catch (const exception::UnexpectedResponseOfDevice& error) {
        EXPECT_EQ(error.response, device::kBusyReply);
    }
    EXPECT_EQ(emulated_->received(), std::vector<std::string>(3, "get vol"));
    EXPECT_EQ(device_->getFromCache("get vol"), "");

    emulated_->answerBusy(2);
    EXPECT_EQ(device_->transfer("get vol"), "40");
    EXPECT_EQ(emulated_->receivedCount(), 6u);
    EXPECT_EQ(device_->getFromCache("get vol"), "40");
}

// A command that only the success answer acknowledges: any other reply, also one that transfer
// takes as an answer and caches, leaves it undone; the cache never answers it.
TEST_F(DeviceBaseExchange, OnlyTheSuccessAnswerAcknowledgesACommand) {
    device_->addCacheableRequest("program 1");
    emulated_->answer("program", "0");
    EXPECT_EQ(device_->transfer("program 1"), "0");
    struct Case {
        const char* name;
        std::string reply;
        bool acknowledged;
    };
    const Case cases[] = {
        {"success", "SUCCESS", true},        {"success of the command", "OK[program]: done", true},
        {"garbage", "#%&*!", false},         {"a number", "0", false},
        {"almost the word", "OKAY?", false}, {"error", "ERR[program]: write failed", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emulated_->answer("program", c.reply);
        emulated_->clearReceived();
        EXPECT_EQ(device_->transferAcknowledged("program 1"), c.acknowledged);
        EXPECT_EQ(emulated_->received(), std::vector<std::string>{"program 1"});
    }

    emulated_->answer("program", "SUCCESS");
    emulated_->faultOn("program 2", 0, test::EmulatedDevice::Fault::echo, 1);
    EXPECT_FALSE(device_->transferAcknowledged("program 2"));
    // A busy device is asked again; a silent one is offline.
    emulated_->answerBusy(1);
    EXPECT_TRUE(device_->transferAcknowledged("program 3"));
    emulated_->setSilent(true);
    EXPECT_FALSE(device_->transferAcknowledged("program 4"));
    EXPECT_FALSE(device_->isOnline());
}

TEST_F(DeviceBaseExchange, SilentDeviceIsOfflineAtOnce) {
    bringOnline();
    emulated_->setSilent(true);
    EXPECT_THROW(device_->transfer("get vol"), exception::Offline);
    EXPECT_EQ(device_->lastStateTime.load(), 0);
    EXPECT_FALSE(device_->responding.load());
    EXPECT_FALSE(device_->checkExchange(false));
    EXPECT_THROW(device_->checkExchange(true), exception::Offline);
    // Responding went from true to false once.
    EXPECT_TRUE(notifiedExactly(1));
}

// The device list shows the new name once it is given; the same name trimmed changes nothing.
TEST_F(DeviceBaseExchange, ARenameTellsTheWindow) {
    device_->setTitle(L"Зал 2");
    EXPECT_TRUE(notifiedExactly(1));
    device_->setTitle(L" Зал 2\t");
    EXPECT_TRUE(notifiedExactly(1));
    EXPECT_EQ(device_->getDisplayName(), L"Зал 2");
}

TEST_F(DeviceBaseExchange, AddressWithoutIpOrPortIsNeverSentTo) {
    for (const net::IpAndPort& address : {net::IpAndPort("0.0.0.0", port_), net::IpAndPort("127.0.0.2", 0)}) {
        device_->setAddress(address);
        device_->lastStateTime = 0;
        EXPECT_THROW(device_->transfer("get vol"), exception::Offline);
        bringOnline();
        EXPECT_THROW(device_->transfer("get vol"), exception::InternalError);
    }
    EXPECT_EQ(emulated_->receivedCount(), 0u);
}

TEST_F(DeviceBaseExchange, RebootIsRefusedWhilePlayingAndDoneOnlyWhenTaken) {
    device_->internalPlaying = true;
    try {
        device_->reboot();
        FAIL() << "rebooted while playing";
    } catch (const exception::UserResponse& refusal) {
        EXPECT_EQ(refusal.message, L"internalPlaying");
    }
    EXPECT_EQ(emulated_->receivedCount(), 0u);
    device_->internalPlaying = false;

    emulated_->answer("reboot", "ERR[reboot]: not now");
    EXPECT_FALSE(device_->reboot());
    emulated_->answerBusy(1);
    EXPECT_FALSE(device_->reboot());
    EXPECT_EQ(device_->rebootTime.load(), 0);

    emulated_->answer("reboot", "OK[reboot]: rebooting");
    bringOnline();
    device_->markStatus();
    EXPECT_TRUE(device_->reboot());
    EXPECT_NE(device_->rebootTime.load(), 0);
    EXPECT_FALSE(device_->isOnline());
    EXPECT_FALSE(device_->responding.load());
    EXPECT_EQ(device_->resetPlaybackTypeCalls.load(), 1);
    EXPECT_FALSE(device_->hasCachedStatus());

    emulated_->setSilent(true);
    EXPECT_FALSE(device_->reboot());
}

TEST_F(DeviceBaseExchange, CheckOnlineNotifiesOnceEachWay) {
    // The responding check gives the device a fraction of a second; with time held, the answer of a
    // loaded machine still comes within it.
    test::ManualClock clock;
    clock.holdSteady();
    device_->addCacheableRequest("get vol");
    device_->transfer("get vol");
    ASSERT_TRUE(notifiedExactly(1));
    device_->stateReceived = true;
    device_->volume = 40;
    device_->markStatus();
    device_->lastStateTime = DeviceBase::now() - 5'000'001;

    // Found silent: the state goes, the caches go, one notification.
    device_->checkOnline(false);
    EXPECT_TRUE(notifiedExactly(2));
    EXPECT_FALSE(device_->responding.load());
    EXPECT_FALSE(device_->stateReceived.load());
    EXPECT_EQ(device_->volume.load(), device::kUnknownVolume);
    EXPECT_EQ(device_->getFromCache("get vol"), "");
    EXPECT_FALSE(device_->hasCachedStatus());
    // With no state the responding check sends nothing.
    EXPECT_EQ(device_->lastCheckTime.load(), 0);

    // Requiring a state of a device that is not online only logs.
    device_->checkOnline(true);
    EXPECT_TRUE(capture_.contains(L"Skip online check due to no state for device=1", L"IMPOR"));

    // Its next status packet leads to an immediate check, which brings it back.
    emulated_->clearReceived();
    ASSERT_TRUE(device_->parseState(statePacket(4), emulated_->address()));
    device_->checkOnline(false);
    ASSERT_TRUE(test::waitFor([&] { return device_->startUpgradeCalls.load() == 1; }));
    EXPECT_TRUE(notifiedExactly(3));
    EXPECT_TRUE(device_->responding.load());
    EXPECT_EQ(device_->volume.load(), 40);
    EXPECT_EQ(emulated_->received(), std::vector<std::string>{"get vol"});

    // Online and responding: nothing more to check.
    const std::int64_t checked = device_->lastCheckTime.load();
    EXPECT_NE(checked, 0);
    device_->checkOnline(false);
    EXPECT_EQ(device_->lastCheckTime.load(), checked);
    EXPECT_TRUE(notifiedExactly(3));
}

// Heard but not answering, a device is asked again within seconds, then later and later while it
// leaves the questions unanswered, never more than two minutes apart; a step of the system clock
// neither hurries nor holds the questions, and an answer that comes while a question waits keeps
// it answering.
TEST_F(DeviceBaseExchange, NotRespondingDeviceIsRecheckedSoonThenLaterAndLater) {
    using namespace std::chrono_literals;
    test::ManualClock clock;
    clock.holdSteady();
    // Nothing listens at its address any more: every question is refused at once.
    emulated_.reset();
    device_->stateReceived = true;
    // Each look sets the system clock to a reading of its own, back from where the monotonic
    // clock moved it; a question sent stamps it.
    std::int64_t wall = kNow;
    const auto asked = [&] {
        clock.setSystemMicros(++wall);
        device_->checkResponding(false);
        return device_->lastCheckTime.load() == wall;
    };
    const auto unanswered = [&] { return capture_.find(L". result is false.").size(); };

    ASSERT_TRUE(asked());
    const std::chrono::seconds pauses[] = {2s, 4s, 8s, 16s, 32s, 64s, 120s, 120s};
    std::size_t checks = 1;
    for (const auto pause : pauses) {
        SCOPED_TRACE(pause.count());
        ASSERT_TRUE(test::waitFor([&] { return unanswered() == checks; }));
        EXPECT_FALSE(device_->responding.load());
        clock.advance(pause);
        EXPECT_FALSE(asked());
        clock.advance(1us);
        ASSERT_TRUE(asked());
        ++checks;
    }

    // An answer to a request that went out before the question, while the question waited behind
    // it: the question then left unanswered leaves it answering.
    ASSERT_TRUE(test::waitFor([&] { return unanswered() == checks; }));
    emulated_ = std::make_unique<test::EmulatedDevice>("127.0.0.2", port_);
    emulated_->answer("set ", "SUCCESS: stored");
    emulated_->holdReplies("set ");
    auto exchange =
        std::async(std::launch::async, [&] { return device_->transfer("set x 1", nullptr, false); });
    ASSERT_TRUE(emulated_->waitForHeld(1));
    emulated_->faultOn("get vol", 0, test::EmulatedDevice::Fault::silence, 10);
    device_->checkResponding(true);
    emulated_->releaseReplies();
    EXPECT_TRUE(exchange.get());
    EXPECT_TRUE(device_->responding.load());
    ASSERT_TRUE(test::waitFor([&] {
        clock.advance(100ms);
        return unanswered() == checks + 1;
    }));
    EXPECT_TRUE(device_->responding.load());
}

TEST_F(DeviceBaseExchange, EnableVolumeRemembersTheLevel) {
    EXPECT_FALSE(device_->enableVolume(false));
    bringOnline();
    device_->volume = 40;
    EXPECT_FALSE(device_->enableVolume(true));
    EXPECT_TRUE(device_->enableVolume(false));
    EXPECT_EQ(device_->savedVolume.load(), 40);
    EXPECT_EQ(device_->volume.load(), 0);
    EXPECT_FALSE(device_->enableVolume(false));
    EXPECT_TRUE(device_->enableVolume(true));
    EXPECT_EQ(device_->volume.load(), 40);
    EXPECT_EQ(emulated_->received(), (std::vector<std::string>{"set vol 0", "set vol 40"}));

    // Nothing remembered: switched on at the lowest level.
    emulated_->clearReceived();
    device_->volume = 0;
    device_->savedVolume = device::kUnknownVolume;
    EXPECT_TRUE(device_->enableVolume(true));
    EXPECT_EQ(emulated_->received(), std::vector<std::string>{"set vol 1"});

    // An unknown level is read before it is remembered.
    emulated_->clearReceived();
    device_->volume = device::kUnknownVolume;
    EXPECT_TRUE(device_->enableVolume(false));
    EXPECT_EQ(emulated_->received(), (std::vector<std::string>{"get vol", "set vol 0"}));
    EXPECT_EQ(device_->savedVolume.load(), 40);

    // A level read as 0 is already off, and 0 is not remembered as the level to restore.
    emulated_->clearReceived();
    emulated_->answer("get vol", "OK[get vol]: 0");
    device_->volume = device::kUnknownVolume;
    EXPECT_FALSE(device_->enableVolume(false));
    EXPECT_EQ(emulated_->received(), std::vector<std::string>{"get vol"});
    EXPECT_EQ(device_->savedVolume.load(), 40);

    emulated_->answerErrorNext(1);
    EXPECT_FALSE(device_->enableVolume(true));
}

TEST_F(DeviceBaseExchange, SetParameterSendsOnlyChangedValues) {
    bringOnline();
    // Equal texts at different places are equal values.
    const std::string same = "a";
    EXPECT_FALSE(device_->setParameter("mode", "a", same.c_str(), true));
    EXPECT_FALSE(device_->setParameter("port", std::uint16_t{5}, std::uint16_t{5}, true));
    EXPECT_EQ(emulated_->receivedCount(), 0u);

    EXPECT_TRUE(device_->setParameter("name", std::string("hall"), std::string("lobby"), true));
    EXPECT_FALSE(device_->setParameter("gong", false, true, false));
    EXPECT_TRUE(device_->setParameter("priority", std::uint8_t{7}, std::uint8_t{200}, true));
    EXPECT_TRUE(device_->setParameter("order", std::int32_t{0}, std::int32_t{-1}, true));
    EXPECT_TRUE(device_->setParameter("number", 1u, 4294967295u, true));
    EXPECT_EQ(emulated_->received(),
              (std::vector<std::string>{"set name lobby", "set gong on", "set priority 200", "set order -1",
                                        "set number 4294967295"}));

    emulated_->answerErrorNext(1);
    EXPECT_THROW(device_->setParameter("name", std::string("a"), std::string("b"), true),
                 exception::UnexpectedResponseOfDevice);
}

}  // namespace
