#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/TransferProtocol.h"
#include "foundation/Exceptions.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "foundation/ThreadRole.h"
#include "support/DeviceEmulator.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/ProcessThreads.h"

// While set, the wake handle of a transport cannot be made, as when the process has run out of
// descriptors; every other call goes to the system.
std::atomic<bool> g_noEventFd{false};

extern "C" int eventfd(unsigned int initial, int flags) noexcept {
    if (g_noEventFd.load()) {
        errno = EMFILE;
        return -1;
    }
    using System = int (*)(unsigned int, int);
    static const System system = reinterpret_cast<System>(dlsym(RTLD_NEXT, "eventfd"));
    return system(initial, flags);
}

namespace {

using namespace std::chrono_literals;
using Calls = std::vector<std::pair<std::string, bool>>;

// The calls of completions, sniffers and response handlers, from whichever thread makes them.
struct Recorder {
    std::mutex lock;
    Calls calls;
    device::TransferHandler handler() {
        return [this](const std::string& text, bool ok) {
            std::lock_guard<std::mutex> guard(lock);
            calls.emplace_back(text, ok);
        };
    }
    // Records a datagram, after `label`, with its sender and takes it.
    device::ResponseHandler taker(const std::string& label) {
        return [this, label](const std::string& data, const net::IpAndPort& from) {
            handler()(label + data + "@" + from.getText(), true);
            return true;
        };
    }
    Calls waitFor(std::size_t n) {
        test::waitFor([&] {
            std::lock_guard<std::mutex> guard(lock);
            return calls.size() >= n;
        });
        std::lock_guard<std::mutex> guard(lock);
        return calls;
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
    // An emulated device at 127.0.0.n that answers every command with "OK <command>".
    std::unique_ptr<test::EmulatedDevice> device(int n) {
        auto emulated = std::make_unique<test::EmulatedDevice>("127.0.0." + std::to_string(n), port_);
        emulated->on("",
                     [](const std::string& command) { return std::optional<std::string>("OK " + command); });
        return emulated;
    }
    net::IpAndPort transportAddress() const { return net::IpAndPort("127.0.0.1", port_); }
    // Queues "piece 0" to "piece count-1" to the device at once; the completions they should get.
    Calls queuePieces(const test::EmulatedDevice& emulated, int count) {
        Calls expected;
        for (int n = 0; n < count; ++n) {
            transport_->async(emulated.address(), "piece " + std::to_string(n), done_.handler(), 1, 1000);
            expected.emplace_back("OK piece " + std::to_string(n), true);
        }
        return expected;
    }

    test::LogCapture capture_{base::Log::DEBUG};
    const std::uint16_t port_ = test::freeUdpPort();
    std::shared_ptr<device::TransferProtocol> transport_;
    Recorder done_;
    // What sniffers and response handlers see.
    Recorder seen_;
};

TEST_F(TransferProtocolTest, RoundTripsThatSniffersSee) {
    auto emulated = device(2);
    // Queued before the threads run, it goes out when they start.
    ASSERT_TRUE(transport_->async(emulated->address(), "early", done_.handler(), 2, 1000));
    transport_->run();
    EXPECT_EQ(done_.waitFor(1), (Calls{{"OK early", true}}));

    transport_->setSniffer(emulated->address(), seen_.handler());
    std::string response;
    ASSERT_TRUE(transport_->sync(emulated->address(), "get vol", response, 2, 1000));
    EXPECT_EQ(response, "OK get vol");
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"early", "get vol"}));
    EXPECT_EQ(seen_.waitFor(2), (Calls{{"get vol\n", true}, {"OK get vol", true}}));

    EXPECT_FALSE(transport_->sync(net::IpAndPort("127.0.0.2", 0), "x", response, 2, 1000));
    EXPECT_TRUE(capture_.contains(L"Адрес отправки не определён", L"WARN"));
}

// A wait for a reply on the window's thread is logged and still carried out (the operator's action
// happens); one on a thread of the transport is refused at once, for its reply could never come.
TEST_F(TransferProtocolTest, AWaitOnTheWindowIsReportedAndOnTheTransportRefused) {
    auto emulated = device(2);
    transport_->run();
    struct Case {
        os::ThreadRole role;
        const char* request;
        bool done;
    };
    const Case cases[] = {
        {os::ThreadRole::dispatcher, "on dispatcher", true},
        {os::ThreadRole::window, "on window", true},
        {os::ThreadRole::transportResponder, "on responder", false},
        {os::ThreadRole::transportSender, "on sender", false},
    };
    for (const Case& c : cases) {
        bool done = !c.done;
        bool refused = !c.done;
        std::string response;
        std::thread([&] {
            os::setThreadRole(c.role);
            done = transport_->sync(emulated->address(), c.request, response, 2, 1000, refused);
        }).join();
        EXPECT_EQ(done, c.done) << c.request;
        EXPECT_EQ(refused, !c.done) << c.request;
        EXPECT_EQ(response, c.done ? std::string("OK ") + c.request : std::string()) << c.request;
        const std::wstring line = std::wstring(L"A device exchange waits for its reply on the ") +
                                  os::threadRoleName(c.role) + L" thread: '" + base::widen(c.request) + L"'";
        EXPECT_EQ(capture_.find(line, L"ERROR").size(), c.role == os::ThreadRole::dispatcher ? 0u : 1u)
            << c.request;
    }
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"on dispatcher", "on window"}));
    EXPECT_EQ(capture_.find(L"(refused: the reply could never come)", L"ERROR").size(), 2u);
}

TEST_F(TransferProtocolTest, SilentOrUnreachableDeviceFailsEverythingQueued) {
    auto emulated = device(2);
    emulated->setSilent(true);
    transport_->run();
    transport_->async(emulated->address(), "one", done_.handler(), 2, 200);
    transport_->async(emulated->address(), "two", done_.handler(), 2, 200);
    EXPECT_EQ(done_.waitFor(2), Calls(2, {device::TransferProtocol::noAnswerText(), false}));
    // The first request was sent twice; the one queued behind it never went out.
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"one", "one"}));

    // Nothing listens at 127.0.0.9: the kernel's "port unreachable" fails the request with no text.
    transport_->async(net::IpAndPort("127.0.0.9", port_), "anyone?", done_.handler(), 2, 5000);
    ASSERT_EQ(done_.waitFor(3).size(), 3u);
    EXPECT_EQ(done_.waitFor(3)[2], Calls::value_type("", false));
    EXPECT_TRUE(capture_.contains(L"receiver: destination is unreachable. code: 10054", L"DEBUG"));
}

// A resend waits for replies only when some have come: the room that earlier replies left behind is
// none.
TEST_F(TransferProtocolTest, AResendWaitsForNoReplyAfterTheRepliesWereTaken) {
    capture_.setLevel(base::Log::TRACE3);
    auto emulated = device(2);
    auto silent = device(3);
    silent->setSilent(true);
    transport_->run();
    std::string response;
    for (int n = 0; n < 3; ++n)
        ASSERT_TRUE(transport_->sync(emulated->address(), "get vol", response, 2, 1000));
    transport_->async(silent->address(), "one", done_.handler(), 2, 100);
    EXPECT_EQ(done_.waitFor(1), Calls(1, {device::TransferProtocol::noAnswerText(), false}));
    EXPECT_TRUE(capture_.contains(L"sender: resend timeout = 100000 uS", L"TRACE3"));
    EXPECT_FALSE(capture_.contains(L"sender: wait response processing...", L"TRACE3"));
}

// The socket hands the network's refusal of a datagram to whichever send comes next, to any device;
// that send still goes out.
TEST_F(TransferProtocolTest, ARefusalFailsNoOtherDevicesRequest) {
    auto emulated = device(2);
    const net::IpAndPort nobody("127.0.0.9", port_);
    // Queued before the threads run, both go out in one batch, the refused datagram first.
    transport_->async(nobody, "anyone?", done_.handler(), 2, 5000);
    transport_->async(emulated->address(), "there", done_.handler(), 2, 5000);
    transport_->run();
    Calls calls = done_.waitFor(2);
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (Calls{{"", false}, {"OK there", true}}));
    for (int round = 0; round < 20; ++round) {
        transport_->async(nobody, "anyone?", done_.handler(), 2, 5000);
        std::string response;
        EXPECT_TRUE(transport_->sync(emulated->address(), "again", response, 2, 5000)) << round;
    }
    EXPECT_FALSE(capture_.contains(L"sender: failed to send message"));
}

// A reply is matched when it comes from the address and port sent to, also before the resend.
TEST_F(TransferProtocolTest, RepliesAreMatchedBeforeAndAfterTheResend) {
    auto emulated = device(2);
    emulated->dropNext(1);
    transport_->run();
    std::string response;
    ASSERT_TRUE(transport_->sync(emulated->address(), "again", response, 2, 200));
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"again", "again"}));

    emulated->clearReceived();
    emulated->setDelay(150ms);
    ASSERT_TRUE(transport_->sync(emulated->address(), "slow", response, 2, 1000));
    EXPECT_EQ(response, "OK slow");
    EXPECT_EQ(emulated->received(), std::vector<std::string>{"slow"});

    emulated->setDelay(0ms);
    emulated->answerFromPort(test::freeUdpPort());
    EXPECT_FALSE(transport_->sync(emulated->address(), "x", response, 2, 100));
    EXPECT_TRUE(capture_.contains(L"transfer_sync: timeout. ip: 127.0.0.2:", L"IMPOR"));
}

// The all-responses handler is offered every datagram first; what it leaves and matches no request
// in flight goes to the unknown-response handler when it comes from a device sent to before.
TEST_F(TransferProtocolTest, DatagramsBesideTheRepliesGoToTheirHandlers) {
    auto emulated = device(2);
    emulated->setDelay(100ms);
    auto stranger = device(3);
    transport_->setAllResponseHandler(
        [taker = seen_.taker("all: ")](const std::string& data, const net::IpAndPort& from) {
            return data.rfind("STATE", 0) == 0 && taker(data, from);
        });
    transport_->setUnknownResponseHandler(seen_.taker("unknown: "));
    transport_->run();
    stranger->send("never asked", transportAddress());
    transport_->async(emulated->address(), "q", done_.handler(), 2, 1000);
    ASSERT_TRUE(emulated->waitForReceived(1));
    emulated->send("STATE packet", transportAddress());
    EXPECT_EQ(done_.waitFor(1), (Calls{{"OK q", true}}));
    ASSERT_EQ(seen_.waitFor(1).size(), 1u);
    emulated->send("late news", transportAddress());
    EXPECT_EQ(seen_.waitFor(2),
              (Calls{{"all: STATE packet@127.0.0.2", true}, {"unknown: late news@127.0.0.2", true}}));
    EXPECT_EQ(emulated->received(), std::vector<std::string>{"q"});
}

// The transport's steps are told at their levels, and each call it hands the dispatcher is told by
// what it is, in the dispatcher's own lines: a reply's completion (with its device and reply), the
// failure of the request in flight and of one queued behind it, a sniffer's call and a reply that
// answers nothing. A completion that throws, and one that runs long, is reported with its
// description.
TEST_F(TransferProtocolTest, TheStepsAndTheDispatcherCallsAreToldByWhatTheyAre) {
    capture_.setLevel(base::Log::TRACE3);
    test::ManualClock clock;
    auto emulated = device(2);
    auto silent = device(3);
    silent->setSilent(true);
    transport_->setUnknownResponseHandler(seen_.taker("unknown: "));
    transport_->run();
    transport_->setSniffer(emulated->address(), seen_.handler());
    ASSERT_TRUE(transport_->async(emulated->address(), "get vol", done_.handler(), 2, 1000));
    ASSERT_TRUE(transport_->async(silent->address(), "one", done_.handler(), 2, 100));
    ASSERT_TRUE(transport_->async(silent->address(), "two", done_.handler(), 2, 100));
    ASSERT_EQ(done_.waitFor(3).size(), 3u);
    emulated->send("OK[get ch]: 3", transportAddress());
    ASSERT_TRUE(test::waitFor([&] {
        std::lock_guard<std::mutex> guard(seen_.lock);
        return std::count(seen_.calls.begin(), seen_.calls.end(),
                          Calls::value_type("unknown: OK[get ch]: 3@127.0.0.2", true)) == 1;
    }));
    ASSERT_TRUE(transport_->async(
        emulated->address(), "boom",
        [](const std::string&, bool) { throw std::runtime_error("broken handler"); }, 2, 1000));
    const std::wstring port = std::to_wstring(port_);
    const std::wstring failure = L"Описание источника 'transfer protocol: callback for device '127.0.0.2:" +
                                 port + L"' with data 'OK boom''";
    ASSERT_TRUE(test::waitFor([&] { return capture_.contains(failure, L"ERROR"); }));
    ASSERT_TRUE(transport_->async(
        emulated->address(), "slow", [&](const std::string&, bool) { clock.advance(2s); }, 2, 1000));
    const std::wstring slow = L"description 'transfer protocol: callback for device '127.0.0.2:" + port +
                              L"' with data 'OK slow'').";
    ASSERT_TRUE(test::waitFor([&] { return capture_.contains(slow, L"MARK"); }));

    const auto started = [&](const std::wstring& description) {
        for (const test::LogLine& line : capture_.find(L", description '" + description, L"TRACE2")) {
            if (line.message.rfind(L"dispatcher: start function execution with id=", 0) == 0) return true;
        }
        return false;
    };
    for (const std::wstring& description :
         {L"transfer protocol: callback for device '127.0.0.2:" + port + L"' with data 'OK get vol'",
          std::wstring(L"transfer protocol: timeout for current data"),
          std::wstring(L"transfer protocol: timeout'"), std::wstring(L"sniffer callback"),
          std::wstring(L"transfer protocol: unknown response")}) {
        EXPECT_TRUE(started(description)) << base::toUtf8(description);
    }
    // No item of the dispatcher is told by the queue that carries the calls.
    EXPECT_FALSE(capture_.contains(L"transfer protocol: completions"));
    // The resend's interval comes out in the lines that tell it.
    for (const wchar_t* line : {L"sender: resend timeout = 100000 uS", L"time before resend is 100000 uS)"})
        EXPECT_TRUE(capture_.contains(line, L"TRACE3")) << base::toUtf8(line);
}

// A late reply to an earlier request, known by the command it echoes in any of the device's frames,
// answers nothing now.
TEST_F(TransferProtocolTest, AReplyEchoingAnotherCommandAnswersNothing) {
    transport_->setUnknownResponseHandler(seen_.taker("unknown: "));
    transport_->run();
    int host = 2;
    for (const std::string reply :
         {"OK[get ch]: 3", "SUCCESS[get ch]: 3", "SUCCESS[get ch]", "ERR[get ch]: x"}) {
        SCOPED_TRACE(reply);
        auto emulated = device(host);
        emulated->answer("get vol", reply);
        std::string response;
        EXPECT_FALSE(transport_->sync(emulated->address(), "get vol", response, 2, 100));
        const Calls::value_type unknown("unknown: " + reply + "@127.0.0." + std::to_string(host++), true);
        EXPECT_TRUE(test::waitFor([&] {
            std::lock_guard<std::mutex> guard(seen_.lock);
            return std::find(seen_.calls.begin(), seen_.calls.end(), unknown) != seen_.calls.end();
        }));
    }
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

TEST_F(TransferProtocolTest, EraseQueueKeepsTheRequestInFlight) {
    auto emulated = device(2);
    auto other = device(3);
    // The requests in flight are answered by hand once their queues were erased; however slowly
    // the test runs, they are not sent again meanwhile.
    for (test::EmulatedDevice* held : {emulated.get(), other.get()})
        held->on("", [](const std::string&) { return std::optional<std::string>(); });
    transport_->run();
    transport_->async(emulated->address(), "in flight", done_.handler(), 2, 60000);
    transport_->async(other->address(), "other in flight", done_.handler(), 2, 60000);
    ASSERT_TRUE(emulated->waitForReceived(1));
    ASSERT_TRUE(other->waitForReceived(1));
    transport_->async(emulated->address(), "dropped", done_.handler(), 2, 1000);
    transport_->async(other->address(), "dropped too", done_.handler(), 2, 1000);
    std::thread eraser([&] { transport_->eraseQueue(other->address()); });
    transport_->eraseQueue(emulated->address());
    eraser.join();
    emulated->send("OK in flight", transportAddress());
    other->send("OK other in flight", transportAddress());
    Calls answered = done_.waitFor(2);
    std::sort(answered.begin(), answered.end());
    EXPECT_EQ(answered, (Calls{{"OK in flight", true}, {"OK other in flight", true}}));
    emulated->on("", [](const std::string& command) { return std::optional<std::string>("OK " + command); });
    transport_->async(emulated->address(), "after", done_.handler(), 2, 1000);
    ASSERT_GE(done_.waitFor(3).size(), 3u);
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"in flight", "after"}));
    EXPECT_EQ(other->received(), std::vector<std::string>{"other in flight"});
    // The erased requests never complete.
    EXPECT_EQ(done_.waitFor(3).size(), 3u);
}

TEST_F(TransferProtocolTest, StopReturnsWhileTheReceiverWaits) {
    const std::set<std::string> others = test::threadsNamed("transport-recv");
    transport_->run();
    // The transport's receiver comes to wait for a datagram that never comes.
    std::string receiver;
    ASSERT_TRUE(test::waitFor([&] {
        for (const std::string& thread : test::threadsNamed("transport-recv")) {
            if (others.count(thread) == 0) receiver = thread;
        }
        return !receiver.empty() && test::blockedInPoll(receiver);
    }));

    // Stopped from a thread of its own, so that a stop that never returns ends the program with
    // the failure instead of hanging it; a second stop returns too.
    std::promise<void> stopped;
    std::thread stopper([&] {
        transport_->stop();
        transport_->stop();
        stopped.set_value();
    });
    if (stopped.get_future().wait_for(60s) != std::future_status::ready) {
        ADD_FAILURE() << "stop() did not return while the receiver waited";
        std::fflush(stdout);
        std::_Exit(1);
    }
    stopper.join();
    // The receiver ended with it.
    EXPECT_TRUE(test::waitFor([&] { return test::threadsNamed("transport-recv").count(receiver) == 0; }));
}

// A caller waiting for a reply when the transport stops fails then, however long its give-up time
// (here: never, the clock standing still); one that asks after the stop fails at once.
TEST_F(TransferProtocolTest, AStopFailsTheCallersStillWaiting) {
    test::ManualClock clock;
    clock.holdSteady();
    auto emulated = device(2);
    emulated->setSilent(true);
    transport_->run();
    std::promise<bool> answered;
    std::thread caller([&] {
        std::string response;
        answered.set_value(transport_->sync(emulated->address(), "get vol", response, 2, 1000));
    });
    ASSERT_TRUE(emulated->waitForReceived(1));
    transport_->stop();
    std::future<bool> result = answered.get_future();
    if (result.wait_for(60s) != std::future_status::ready) {
        ADD_FAILURE() << "sync() still waits after the stop";
        std::fflush(stdout);
        std::_Exit(1);
    }
    caller.join();
    EXPECT_FALSE(result.get());

    std::string response;
    bool refused = false;
    EXPECT_FALSE(transport_->sync(emulated->address(), "get ch", response, 2, 1000, refused));
    EXPECT_TRUE(refused);
    EXPECT_EQ(emulated->received(), std::vector<std::string>{"get vol"});
}

TEST_F(TransferProtocolTest, AReceiverThatCannotStartStopsTheProgramAndNothingIsSent) {
    auto emulated = device(2);
    const std::uint16_t port = test::freeUdpPort();
    g_noEventFd = true;
    const auto starved = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
    g_noEventFd = false;
    EXPECT_TRUE(capture_.contains(L"receiver: no wake handle", L"ERROR"));
    EXPECT_THROW(starved->run(), exception::StopProgram);
    EXPECT_EQ(capture_.find(L"!m_receiver_thread", L"FATAL").size(), 1u);
    EXPECT_FALSE(capture_.contains(L"!m_sender_thread"));

    std::string reply;
    EXPECT_FALSE(starved->sync(emulated->address(), "ping", reply, 2, 100));
    EXPECT_EQ(emulated->receivedCount(), 0u);
    starved->stop();
}

TEST(TransferProtocolSocket, CommandPortInUseStopsTheProgram) {
    test::LogCapture capture;
    const std::uint16_t port = test::freeUdpPort();
    const test::EmulatedDevice holder("127.0.0.1", port);
    EXPECT_THROW(device::TransferProtocol(port, "127.0.0.1"), exception::StopProgram);
    EXPECT_TRUE(capture.contains(L"Командный порт занят", L"FATAL"));
    // Exactly four dotted numbers bind that address; anything else binds the
    // any-address, which the loopback holder blocks.
    EXPECT_NO_THROW(device::TransferProtocol(port, "127.0.0.2"));
    EXPECT_THROW(device::TransferProtocol(port, "127.0.0.2:5"), exception::StopProgram);
    EXPECT_THROW(device::TransferProtocol(port, "127.0.0.256"), exception::StopProgram);
    EXPECT_THROW(device::TransferProtocol(port, ""), exception::StopProgram);
}

// A sync that gives up withdraws a request not sent yet; one in flight fails alone.
TEST_F(TransferProtocolTest, WhatASyncThatGaveUpLeavesBehind) {
    auto emulated = device(2);
    // "first" stays in flight until the sync behind it gave up, and a while longer, in which the
    // next sync queues its request.
    std::atomic<bool> answerFirst{false};
    emulated->on("first", [&answerFirst](const std::string& command) {
        test::waitFor([&answerFirst] { return answerFirst.load(); });
        std::this_thread::sleep_for(80ms);
        return std::optional<std::string>("OK " + command);
    });
    emulated->on("stale", [](const std::string&) { return std::optional<std::string>(); });
    transport_->run();
    transport_->async(emulated->address(), "first", done_.handler(), 2, 1000);
    ASSERT_TRUE(emulated->waitForReceived(1));
    std::string response;
    EXPECT_FALSE(transport_->sync(emulated->address(), "withdrawn", response, 2, 10));
    answerFirst = true;
    // Its deadline counts from queueing, so the sync gives up while "stale" is still in
    // flight, before the sender's own time-out fails it.
    EXPECT_FALSE(transport_->sync(emulated->address(), "stale", response, 2, 100));
    transport_->async(emulated->address(), "stop", done_.handler(), 2, 1000);
    EXPECT_EQ(done_.waitFor(2), (Calls{{"OK first", true}, {"OK stop", true}}));
    EXPECT_EQ(emulated->received(), (std::vector<std::string>{"first", "stale", "stale", "stop"}));
}

// Requests are used again once done: each one completes with its own outcome, whatever the one
// before it left behind (a long reply, a failure, a caller that gave up).
TEST_F(TransferProtocolTest, EveryRequestCompletesWithItsOwnOutcome) {
    auto emulated = device(2);
    emulated->answer("long", std::string(1400, 'x'));
    emulated->on("quiet", [](const std::string&) { return std::optional<std::string>(); });
    transport_->run();
    struct Step {
        bool sync;
        const char* command;
        unsigned intervalMs;
        Calls::value_type outcome;
    };
    const std::string noAnswer = device::TransferProtocol::noAnswerText();
    const std::vector<Step> steps = {
        {false, "long", 1000, {std::string(1400, 'x'), true}},
        {false, "short", 1000, {"OK short", true}},
        {true, "long", 1000, {std::string(1400, 'x'), true}},
        {true, "quiet", 50, {"", false}},
        {true, "again", 1000, {"OK again", true}},
        {false, "quiet", 50, {noAnswer, false}},
        {false, "after", 1000, {"OK after", true}},
        {true, "last", 1000, {"OK last", true}},
    };
    std::size_t completions = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.command);
        if (step.sync) {
            std::string response;
            const bool ok = transport_->sync(emulated->address(), step.command, response, 2, step.intervalMs);
            EXPECT_EQ(Calls::value_type(response, ok), step.outcome);
        } else {
            ASSERT_TRUE(
                transport_->async(emulated->address(), step.command, done_.handler(), 2, step.intervalMs));
            const Calls calls = done_.waitFor(++completions);
            ASSERT_EQ(calls.size(), completions);
            EXPECT_EQ(calls.back(), step.outcome);
        }
    }
}

// Completions of replies that come in quick succession, whose device has its next request out,
// wait for that one's reply to go to the dispatcher together; when that reply does not come, they
// go without it.
TEST_F(TransferProtocolTest, CompletionsGoWithoutTheNextReplyWhenItDoesNotCome) {
    auto emulated = device(2);
    emulated->on("silent", [](const std::string&) { return std::optional<std::string>(); });
    transport_->run();
    constexpr int kAnswered = 20;
    const Calls expected = queuePieces(*emulated, kAnswered);
    // Ten seconds of silence before this one fails.
    transport_->async(emulated->address(), "silent", done_.handler(), 1, 10000);
    EXPECT_EQ(done_.waitFor(kAnswered), expected);
    ASSERT_TRUE(emulated->waitForReceived(kAnswered + 1));
}

// A completion handler may let go of the last hold of the transport, as the firmware update of a
// device going away does: the completions queued behind it are dropped with the transport.
TEST_F(TransferProtocolTest, AHandlerMayLetGoOfTheLastHoldOfTheTransport) {
    const std::uint16_t port = test::freeUdpPort();
    // The device answers once the test is done with the transport, so that the last hold is the
    // handler's to give up.
    std::atomic<bool> queued{false};
    test::EmulatedDevice emulated("127.0.0.2", port);
    emulated.on("", [&queued](const std::string& command) {
        while (!queued.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return std::optional<std::string>("OK " + command);
    });
    auto holder = std::make_shared<std::shared_ptr<device::TransferProtocol>>(
        std::make_shared<device::TransferProtocol>(port, "127.0.0.1"));
    (*holder)->run();
    std::atomic<int> calls{0};
    for (const char* command : {"first", "second", "third"}) {
        (*holder)->async(
            emulated.address(), command,
            [holder, &calls](const std::string&, bool) {
                ++calls;
                holder->reset();
            },
            1, 1000);
    }
    queued = true;
    ASSERT_TRUE(test::waitFor([&] { return calls.load() > 0; }));
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(calls.load(), 1);
    EXPECT_FALSE(*holder);
}

// Pipelines to several devices at once, with a waiting caller among them: every completion comes,
// once, in the order of its device's replies.
TEST_F(TransferProtocolTest, PipelinesCompleteInReplyOrder) {
    auto first = device(2);
    auto second = device(3);
    auto third = device(4);
    transport_->run();
    constexpr int kPerDevice = 300;
    std::mutex lock;
    std::map<std::string, std::vector<std::string>> replies;
    for (int n = 0; n < kPerDevice; ++n) {
        for (const auto* emulated : {first.get(), second.get()}) {
            const std::string ip = emulated->ip();
            transport_->async(
                emulated->address(), "piece " + std::to_string(n),
                [&lock, &replies, ip](const std::string& text, bool ok) {
                    std::lock_guard<std::mutex> guard(lock);
                    replies[ip].push_back(ok ? text : "failed");
                },
                1, 1000);
        }
    }
    std::string response;
    EXPECT_TRUE(transport_->sync(third->address(), "meanwhile", response, 2, 1000));
    EXPECT_EQ(response, "OK meanwhile");
    ASSERT_TRUE(test::waitFor([&] {
        std::lock_guard<std::mutex> guard(lock);
        return replies[first->ip()].size() + replies[second->ip()].size() >= 2u * kPerDevice;
    }));
    ASSERT_TRUE(test::waitForDispatcher());
    std::vector<std::string> expected;
    for (int n = 0; n < kPerDevice; ++n) expected.push_back("OK piece " + std::to_string(n));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(replies[first->ip()], expected);
    EXPECT_EQ(replies[second->ip()], expected);
}

// A device that answers later than the responder watches for its replies: the responder sleeps
// and is woken for each, and the pipeline completes in order.
TEST_F(TransferProtocolTest, APipelineToADeviceSlowerThanTheResponderWatchesCompletes) {
    auto slow = device(2);
    slow->setDelay(std::chrono::milliseconds(3));
    transport_->run();
    constexpr int kPieces = 40;
    const Calls expected = queuePieces(*slow, kPieces);
    EXPECT_EQ(done_.waitFor(kPieces), expected);
}

}  // namespace
