#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/Ping.h"
#include "foundation/SocketHandle.h"
#include "support/LogCapture.h"
#include "support/PrivateNetwork.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// ---- The messages.

TEST(IcmpMessages, ChecksumFollowsTheInternetChecksum) {
    struct Case {
        Bytes data;
        std::uint16_t expected;
    };
    const Case cases[] = {
        {{}, 0xFFFF},
        {{0x01}, 0xFEFF},                                            // an odd last byte is a high byte
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},  // RFC 1071's example
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0x0000},                          // the carry of the fold is added back
        {{0xFF, 0xFF, 0x00, 0x01}, 0xFFFE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(os::icmp::checksum(c.data.data(), c.data.size()), c.expected) << c.data.size();
    }
}

TEST(IcmpMessages, EchoRequestCarriesItsFieldsAndAValidChecksum) {
    const auto request = os::icmp::makeEchoRequest(0x1234, 1);
    const Bytes expected = {0x08, 0x00, 0xD0, 0x84, 0x12, 0x34, 0x00, 0x01,
                            0x22, 0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x21, 0x22};
    EXPECT_EQ(Bytes(request.begin(), request.end()), expected);

    for (const std::uint16_t sequence : {0, 1, 0x7FFF, 0xFFFF}) {
        const auto other = os::icmp::makeEchoRequest(0xFFFF, sequence);
        EXPECT_EQ(os::icmp::checksum(other.data(), other.size()), 0) << sequence;
    }
}

Bytes ipHeader(std::uint8_t versionAndLength, std::uint8_t timeToLive, std::size_t optionBytes) {
    Bytes header(20 + optionBytes, 0);
    header[0] = versionAndLength;
    header[8] = timeToLive;
    header[12] = 127;
    header[13] = 0;
    header[14] = 0;
    header[15] = 9;
    return header;
}

Bytes echoReply(std::uint16_t identifier, std::uint16_t sequence) {
    auto message = os::icmp::makeEchoRequest(identifier, sequence);
    message[0] = os::icmp::kEchoReply;
    return Bytes(message.begin(), message.end());
}

Bytes joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(IcmpMessages, ReadsADatagramWithItsIpHeader) {
    const Bytes reply = echoReply(0xBEEF, 7);
    struct Case {
        const char* what;
        Bytes datagram;
        bool readable;
    };
    const Case cases[] = {
        {"plain header", joined(ipHeader(0x45, 64, 0), reply), true},
        {"header with options", joined(ipHeader(0x47, 64, 8), reply), true},
        {"header length of 4 words", joined(ipHeader(0x44, 64, 0), reply), false},
        {"version 6", joined(ipHeader(0x65, 64, 0), reply), false},
        {"shorter than an IPv4 header", Bytes(19, 0x45), false},
        {"options run past the data", joined(ipHeader(0x4F, 64, 0), reply), false},
        {"ICMP header cut short", joined(ipHeader(0x45, 64, 0), Bytes(reply.begin(), reply.begin() + 7)),
         false},
        {"ICMP header alone", joined(ipHeader(0x45, 64, 0), Bytes(reply.begin(), reply.begin() + 8)), true},
    };
    for (const Case& c : cases) {
        const std::optional<os::icmp::Message> message =
            os::icmp::readWithIpHeader(c.datagram.data(), c.datagram.size());
        ASSERT_EQ(message.has_value(), c.readable) << c.what;
        if (!message) continue;
        EXPECT_EQ(message->type, os::icmp::kEchoReply) << c.what;
        EXPECT_EQ(message->identifier, 0xBEEF) << c.what;
        EXPECT_EQ(message->sequence, 7) << c.what;
        EXPECT_EQ(message->timeToLive, 64) << c.what;
        EXPECT_EQ(message->source, 0x7F000009u) << c.what;
        EXPECT_EQ(message->icmpLength, c.datagram.size() - (c.datagram[0] & 0x0F) * 4u) << c.what;
    }
}

// ---- Pings on the loopback.

// Whether this process may open an ICMP socket of any kind here.
bool mayPing() {
    try {
        os::pinger probe("127.0.0.1");
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

#define REQUIRE_ICMP_SOCKET()                                                                  \
    if (!mayPing()) {                                                                          \
        GTEST_SKIP() << "this process may open neither an ICMP datagram socket nor a raw one"; \
    }

TEST(Ping, EmptyHostFailsAtOnce) {
    test::LogCapture log;
    EXPECT_FALSE(os::ping(""));
    EXPECT_TRUE(log.contains(L"Failure ping empty ip", L"WARN"));
}

TEST(Ping, LoopbackAnswers) {
    REQUIRE_ICMP_SOCKET();
    test::LogCapture log;
    EXPECT_TRUE(os::ping("127.0.0.1"));
    EXPECT_TRUE(log.contains(L"ping: 16 bytes from 127.0.0.1: icmp_seq=", L"DEBUG"));
    EXPECT_FALSE(log.contains(L"ping: Request timed out"));
}

TEST(Ping, ConcurrentPingsEachGetTheirOwnReply) {
    REQUIRE_ICMP_SOCKET();
    // Every raw socket sees the requests and replies of all the others.
    constexpr int kCount = 8;
    std::vector<std::thread> threads;
    std::vector<int> answered(kCount, -1);
    std::vector<std::uint16_t> sequences(kCount, 0);
    for (int i = 0; i < kCount; ++i) {
        threads.emplace_back([&, i] {
            os::pinger request("127.0.0.1");
            answered[i] = request.run() ? 1 : 0;
            sequences[i] = request.sequenceNumber();
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::count(answered.begin(), answered.end(), 1), kCount);
    EXPECT_EQ(std::set<std::uint16_t>(sequences.begin(), sequences.end()).size(),
              static_cast<std::size_t>(kCount));
}

// The two kinds of ICMP socket. A new network namespace lets no group open datagram sockets,
// so a ping there falls back to a raw socket until ping_group_range takes in this program's group.
struct SocketKind {
    const char* name;
    bool raw;
};
const SocketKind kSocketKinds[] = {{"raw", true}, {"datagram", false}};

bool chooseSocketKind(const test::PrivateNetwork& network, const SocketKind& kind) {
    const std::string group = std::to_string(::getgid());
    return kind.raw || network.setSysctl("ipv4/ping_group_range", group + " " + group);
}

TEST(Ping, WorksThroughEitherKindOfSocket) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    for (const SocketKind& kind : kSocketKinds) {
        test::PrivateNetwork network;
        ASSERT_TRUE(chooseSocketKind(network, kind)) << kind.name;
        os::pinger request("127.0.0.1");
        EXPECT_EQ(request.usesRawSocket(), kind.raw) << kind.name;
        EXPECT_TRUE(request.run()) << kind.name;
        EXPECT_TRUE(request.replied()) << kind.name;
    }
}

TEST(Ping, SilentHostTimesOut) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    for (const SocketKind& kind : kSocketKinds) {
        test::PrivateNetwork network;
        ASSERT_TRUE(chooseSocketKind(network, kind)) << kind.name;
        ASSERT_TRUE(network.setSysctl("ipv4/icmp_echo_ignore_all", "1"));
        test::LogCapture log;
        EXPECT_FALSE(os::ping("127.0.0.1")) << kind.name;
        EXPECT_TRUE(log.contains(L"ping: Request timed out", L"DEBUG")) << kind.name;
    }
}

std::string sendOf(const os::SocketHandle& socket, const Bytes& message, const std::string& to) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, to.c_str(), &address.sin_addr);
    if (::sendto(socket.get(), message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address) < 0) {
        return std::string("send: ") + std::strerror(errno);
    }
    return "";
}

os::SocketHandle rawIcmpSocket(const std::string& localIp) {
    os::SocketHandle socket(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!socket.isOpen()) throw std::system_error(errno, std::generic_category(), "raw socket");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, localIp.c_str(), &local.sin_addr);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        throw std::system_error(errno, std::generic_category(), "bind");
    }
    return socket;
}

Bytes withChecksum(Bytes message) {
    message[2] = message[3] = 0;
    const std::uint16_t sum = os::icmp::checksum(message.data(), message.size());
    message[2] = static_cast<std::uint8_t>(sum >> 8);
    message[3] = static_cast<std::uint8_t>(sum & 0xFF);
    return message;
}

// Stands in for a host that does not answer by itself: waits for the first echo request, then
// sends what a busy network might put before its reply, and the reply itself when asked to.
class Responder {
public:
    explicit Responder(bool withReply)
        : socket_(rawIcmpSocket("127.0.0.1")), otherHost_(rawIcmpSocket("127.0.0.2")), withReply_(withReply) {
        thread_ = std::thread([this] { serve(); });
    }
    ~Responder() { finish(); }
    // Waits for the thread to end; what went wrong in it, if anything.
    std::string finish() {
        if (thread_.joinable()) thread_.join();
        return failure_;
    }

private:
    void serve() {
        Bytes buffer(65536);
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd wanted{socket_.get(), POLLIN, 0};
            if (::poll(&wanted, 1, 100) != 1) continue;
            const ssize_t received = ::recv(socket_.get(), buffer.data(), buffer.size(), 0);
            if (received < 0) continue;
            const auto message =
                os::icmp::readWithIpHeader(buffer.data(), static_cast<std::size_t>(received));
            if (!message || message->type != os::icmp::kEchoRequest) continue;
            answer(message->identifier, message->sequence);
            return;
        }
        failure_ = "no echo request came";
    }

    void answer(std::uint16_t identifier, std::uint16_t sequence) {
        Bytes unreachable = echoReply(identifier, sequence);
        unreachable[0] = 3;
        const Bytes messages[] = {
            withChecksum(echoReply(identifier, static_cast<std::uint16_t>(sequence + 1))),
            withChecksum(echoReply(static_cast<std::uint16_t>(identifier + 1), sequence)),
            withChecksum(unreachable),
        };
        for (const Bytes& message : messages) record(sendOf(socket_, message, "127.0.0.1"));
        // The right reply from the wrong host.
        record(sendOf(otherHost_, withChecksum(echoReply(identifier, sequence)), "127.0.0.1"));
        if (withReply_) record(sendOf(socket_, withChecksum(echoReply(identifier, sequence)), "127.0.0.1"));
    }

    void record(const std::string& failure) {
        if (!failure.empty()) failure_ = failure;
    }

    os::SocketHandle socket_;
    os::SocketHandle otherHost_;
    bool withReply_;
    std::string failure_;
    std::thread thread_;
};

TEST(Ping, WaitsThroughOtherMessagesForItsOwnReply) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    for (const SocketKind& kind : kSocketKinds) {
        test::PrivateNetwork network;
        ASSERT_TRUE(chooseSocketKind(network, kind)) << kind.name;
        ASSERT_TRUE(network.setSysctl("ipv4/icmp_echo_ignore_all", "1"));
        for (const bool withReply : {true, false}) {
            Responder responder(withReply);
            const bool answered = os::ping("127.0.0.1");
            EXPECT_EQ(responder.finish(), "") << kind.name;
            EXPECT_EQ(answered, withReply) << kind.name << (withReply ? " with" : " without") << " the reply";
        }
    }
}

}  // namespace
