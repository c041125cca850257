#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "devicelink/TransferProtocol.h"
#include "foundation/Exceptions.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"

namespace {

using namespace std::chrono_literals;

// Completions as the dispatcher delivers them.
struct Completions {
    std::mutex lock;
    std::vector<std::pair<std::string, bool>> results;
    device::TransferHandler handler() {
        return [this](const std::string& text, bool ok) {
            std::lock_guard<std::mutex> guard(lock);
            results.emplace_back(text, ok);
        };
    }
    std::size_t count() {
        std::lock_guard<std::mutex> guard(lock);
        return results.size();
    }
    bool waitFor(std::size_t n) {
        return test::waitFor([&] { return count() >= n; });
    }
};

class TransferProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        base::ThreadDispatcher::create();
        transport_ = std::make_shared<device::TransferProtocol>(port_, "127.0.0.1");
    }
    void TearDown() override {
        transport_->stop();
        transport_.reset();
        base::ThreadDispatcher::destroy();
    }
    std::unique_ptr<test::EmulatedDevice> device(int n) {
        auto emulated = std::make_unique<test::EmulatedDevice>("127.0.0." + std::to_string(n), port_);
        emulated->on("",
                     [](const std::string& command) { return std::optional<std::string>("OK " + command); });
        return emulated;
    }

    test::LogCapture capture_{base::Log::DEBUG};
    const std::uint16_t port_ = test::freeUdpPort();
    std::shared_ptr<device::TransferProtocol> transport_;
};

TEST_F(TransferProtocolTest, SyncRoundTripAndInvalidAddress) {
    auto emulated = device(2);
    transport_->run();
    std::string response;
    ASSERT_TRUE(transport_->sync(emulated->address(), "get vol", response, 2, 1000));
    EXPECT_EQ(response, "OK get vol");
    EXPECT_EQ(emulated->received(), std::vector<std::string>{"get vol"});

    EXPECT_FALSE(transport_->sync(net::IpAndPort("127.0.0.2", 0), "x", response, 2, 1000));
    EXPECT_TRUE(capture_.contains(L"Адрес отправки не определён", L"WARN"));
}

TEST_F(TransferProtocolTest, QueuedBeforeRunGoesOutWhenThreadsStart) {
    auto emulated = device(2);
    Completions done;
    ASSERT_TRUE(transport_->async(emulated->address(), "early", done.handler(), 2, 1000));
    transport_->run();
    ASSERT_TRUE(done.waitFor(1));
    EXPECT_EQ(done.results[0], std::make_pair(std::string("OK early"), true));
}

TEST_F(TransferProtocolTest, PriorityOrderBehindTheRequestInFlight) {
    auto emulated = device(2);
    emulated->setDelay(300ms);
    transport_->run();
    Completions done;
    transport_->async(emulated->address(), "first", done.handler(), 2, 1000);
    ASSERT_TRUE(emulated->waitForReceived(1));
    transport_->async(emulated->address(), "low", done.handler(), 0, 1000);
    transport_->async(emulated->address(), "high", done.handler(), 2, 1000);
    transport_->async(emulated->address(), "high again", done.handler(), 2, 1000);
    ASSERT_TRUE(done.waitFor(4));
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"first", "high", "high again", "low"}));
}

TEST_F(TransferProtocolTest, SilentDeviceFailsEverythingQueued) {
    auto emulated = device(2);
    emulated->setSilent(true);
    transport_->run();
    Completions done;
    transport_->async(emulated->address(), "one", done.handler(), 2, 200);
    transport_->async(emulated->address(), "two", done.handler(), 2, 200);
    ASSERT_TRUE(done.waitFor(2));
    for (const auto& [text, ok] : done.results) {
        EXPECT_EQ(text, device::TransferProtocol::noAnswerText());
        EXPECT_FALSE(ok);
    }
    // The first request was sent twice; the one queued behind it never went out.
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"one", "one"}));
}

TEST_F(TransferProtocolTest, ReplyBeforeTheResendIsMatched) {
    auto emulated = device(2);
    emulated->setDelay(150ms);
    transport_->run();
    std::string response;
    ASSERT_TRUE(transport_->sync(emulated->address(), "slow", response, 2, 1000));
    EXPECT_EQ(response, "OK slow");
    EXPECT_EQ(emulated->receivedCount(), 1u);
}

TEST_F(TransferProtocolTest, ResendIsAnsweredAfterADroppedFirstSend) {
    auto emulated = device(2);
    emulated->dropNext(1);
    transport_->run();
    std::string response;
    ASSERT_TRUE(transport_->sync(emulated->address(), "again", response, 2, 200));
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"again", "again"}));
}

TEST_F(TransferProtocolTest, ReplyFromAnotherPortDoesNotMatch) {
    auto emulated = device(2);
    emulated->answerFromPort(test::freeUdpPort());
    transport_->run();
    std::string response;
    EXPECT_FALSE(transport_->sync(emulated->address(), "x", response, 2, 100));
    EXPECT_TRUE(capture_.contains(L"transfer_sync: timeout. ip: 127.0.0.2:", L"IMPOR"));
}

TEST_F(TransferProtocolTest, DatagramWithNothingInFlightGoesToTheUnknownHandler) {
    auto emulated = device(2);
    std::mutex lock;
    std::vector<std::string> unknown;
    transport_->setUnknownResponseHandler([&](const std::string& data, const net::IpAndPort& from) {
        std::lock_guard<std::mutex> guard(lock);
        unknown.push_back(data + "@" + from.getText());
        return true;
    });
    auto stranger = device(3);
    transport_->run();
    stranger->send("never asked", net::IpAndPort("127.0.0.1", port_));
    std::string response;
    ASSERT_TRUE(transport_->sync(emulated->address(), "x", response, 2, 1000));
    EXPECT_EQ(response, "OK x");
    emulated->send("late news", net::IpAndPort("127.0.0.1", port_));
    ASSERT_TRUE(test::waitFor([&] {
        std::lock_guard<std::mutex> guard(lock);
        return !unknown.empty();
    }));
    std::lock_guard<std::mutex> guard(lock);
    // A sender never sent to is not known; the known device's datagram is reported.
    EXPECT_EQ(unknown, std::vector<std::string>{"late news@127.0.0.2"});
    EXPECT_EQ(emulated->received(), std::vector<std::string>{"x"});
}

TEST_F(TransferProtocolTest, AllResponsesHandlerTakesDatagramsFirst) {
    auto emulated = device(2);
    emulated->setDelay(100ms);
    std::atomic<int> taken{0};
    transport_->setAllResponseHandler([&](const std::string& data, const net::IpAndPort&) {
        if (data.rfind("STATE", 0) != 0) return false;
        ++taken;
        return true;
    });
    transport_->run();
    Completions done;
    transport_->async(emulated->address(), "q", done.handler(), 2, 1000);
    ASSERT_TRUE(emulated->waitForReceived(1));
    emulated->send("STATE packet", net::IpAndPort("127.0.0.1", port_));
    ASSERT_TRUE(done.waitFor(1));
    EXPECT_EQ(done.results[0].first, "OK q");
    EXPECT_EQ(taken.load(), 1);
}

TEST_F(TransferProtocolTest, TimedOutSyncIsWithdrawnNotSentLater) {
    auto emulated = device(2);
    emulated->setDelay(600ms);
    transport_->run();
    Completions done;
    transport_->async(emulated->address(), "first", done.handler(), 2, 1000);
    ASSERT_TRUE(emulated->waitForReceived(1));
    std::string response;
    EXPECT_FALSE(transport_->sync(emulated->address(), "withdrawn", response, 2, 50));
    transport_->async(emulated->address(), "third", done.handler(), 2, 1000);
    ASSERT_TRUE(done.waitFor(2));
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"first", "third"}));
}

TEST_F(TransferProtocolTest, LongDatagramsAreCutAt1500Bytes) {
    auto emulated = device(2);
    emulated->on("big", [](const std::string& command) {
        return std::optional<std::string>(std::string(std::stoul(command.substr(4)), 'x'));
    });
    emulated->answer("nul", std::string("before\0after", 12));
    transport_->run();
    std::string response;
    ASSERT_TRUE(transport_->sync(emulated->address(), "big 1500", response, 2, 1000));
    EXPECT_EQ(response.size(), 1500u);
    ASSERT_TRUE(transport_->sync(emulated->address(), "big 2000", response, 2, 1000));
    EXPECT_EQ(response.size(), 1500u);
    ASSERT_TRUE(transport_->sync(emulated->address(), "nul", response, 2, 1000));
    EXPECT_EQ(response, "before");
}

TEST_F(TransferProtocolTest, UnreachablePortCompletesAtOnceWithError) {
    transport_->run();
    Completions done;
    // Nothing listens at 127.0.0.9: the kernel answers with "port unreachable".
    transport_->async(net::IpAndPort("127.0.0.9", port_), "anyone?", done.handler(), 2, 5000);
    ASSERT_TRUE(done.waitFor(1));
    EXPECT_EQ(done.results[0], std::make_pair(std::string(), false));
    EXPECT_TRUE(capture_.contains(L"receiver: destination is unreachable. code: 10054", L"DEBUG"));
}

TEST_F(TransferProtocolTest, EraseQueueKeepsTheRequestInFlight) {
    auto emulated = device(2);
    auto other = device(3);
    emulated->setDelay(300ms);
    other->setDelay(300ms);
    transport_->run();
    Completions done;
    transport_->async(emulated->address(), "in flight", done.handler(), 2, 1000);
    transport_->async(other->address(), "other in flight", done.handler(), 2, 1000);
    ASSERT_TRUE(emulated->waitForReceived(1));
    ASSERT_TRUE(other->waitForReceived(1));
    transport_->async(emulated->address(), "dropped", done.handler(), 2, 1000);
    transport_->async(other->address(), "dropped too", done.handler(), 2, 1000);
    std::thread eraser([&] { transport_->eraseQueue(other->address()); });
    transport_->eraseQueue(emulated->address());
    eraser.join();
    ASSERT_TRUE(done.waitFor(2));
    transport_->async(emulated->address(), "after", done.handler(), 2, 1000);
    ASSERT_TRUE(done.waitFor(3));
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"in flight", "after"}));
    EXPECT_EQ(other->received(), std::vector<std::string>{"other in flight"});
    EXPECT_EQ(done.count(), 3u);
}

TEST_F(TransferProtocolTest, SniffersSeeRequestsAndReplies) {
    auto emulated = device(2);
    std::mutex lock;
    std::vector<std::string> seen;
    transport_->setSniffer(emulated->address(), [&](const std::string& text, bool ok) {
        std::lock_guard<std::mutex> guard(lock);
        seen.push_back(text + (ok ? "+" : "-"));
    });
    transport_->run();
    std::string response;
    ASSERT_TRUE(transport_->sync(emulated->address(), "ping", response, 2, 1000));
    ASSERT_TRUE(test::waitFor([&] {
        std::lock_guard<std::mutex> guard(lock);
        return seen.size() == 2;
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"ping\n+", "OK ping+"}));
}

TEST_F(TransferProtocolTest, StopReturnsWhileTheReceiverWaits) {
    transport_->run();
    transport_->stop();
    transport_->stop();
}

TEST(TransferProtocolSocket, CommandPortInUseStopsTheProgram) {
    test::LogCapture capture;
    const std::uint16_t port = test::freeUdpPort();
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_THROW(device::TransferProtocol(port, "127.0.0.1"), exception::StopProgram);
    EXPECT_TRUE(capture.contains(L"Командный порт занят", L"FATAL"));
    // Exactly four dotted numbers bind that address; anything else binds the
    // any-address, which the loopback holder blocks.
    EXPECT_NO_THROW(device::TransferProtocol(port, "127.0.0.2"));
    EXPECT_THROW(device::TransferProtocol(port, "127.0.0.2:5"), exception::StopProgram);
    EXPECT_THROW(device::TransferProtocol(port, "127.0.0.256"), exception::StopProgram);
    EXPECT_THROW(device::TransferProtocol(port, ""), exception::StopProgram);
    ::close(holder);
}

}  // namespace
