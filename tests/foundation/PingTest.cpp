#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <future>
#include <optional>
#include <set>
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
    // An odd last byte is a high byte; RFC 1071's example; the carry of the fold is added back.
    const std::pair<Bytes, std::uint16_t> cases[] = {
        {{}, 0xFFFF},
        {{0x01}, 0xFEFF},
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0x0000},
        {{0xFF, 0xFF, 0x00, 0x01}, 0xFFFE}};
    for (const auto& [data, sum] : cases)
        EXPECT_EQ(os::icmp::checksum(data.data(), data.size()), sum) << data.size();
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

// An IPv4 header from 127.0.0.9 with `optionBytes` bytes of options.
Bytes ipHeader(std::uint8_t versionAndLength, std::uint8_t timeToLive, std::size_t optionBytes) {
    Bytes header(20 + optionBytes, 0);
    header[0] = versionAndLength;
    header[8] = timeToLive;
    header[12] = 127;
    header[15] = 9;
    return header;
}

// An ICMP message of the echo layout with a valid checksum.
Bytes echoMessage(std::uint16_t identifier, std::uint16_t sequence,
                  std::uint8_t type = os::icmp::kEchoReply) {
    const auto request = os::icmp::makeEchoRequest(identifier, sequence);
    Bytes message(request.begin(), request.end());
    message[0] = type;
    message[2] = message[3] = 0;
    const std::uint16_t sum = os::icmp::checksum(message.data(), message.size());
    message[2] = static_cast<std::uint8_t>(sum >> 8);
    message[3] = static_cast<std::uint8_t>(sum & 0xFF);
    return message;
}

Bytes joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(IcmpMessages, ReadsADatagramWithItsIpHeader) {
    const Bytes reply = echoMessage(0xBEEF, 7);
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

TEST(Ping, LoopbackAnswersAndAnEmptyHostFailsAtOnce) {
    test::LogCapture log;
    EXPECT_FALSE(os::ping(""));
    EXPECT_TRUE(log.contains(L"Failure ping empty ip", L"WARN"));
    REQUIRE_ICMP_SOCKET();
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

TEST(Ping, WorksThroughEitherKindOfSocketAndASilentHostTimesOut) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    for (const SocketKind& kind : kSocketKinds) {
        test::PrivateNetwork network;
        ASSERT_TRUE(chooseSocketKind(network, kind)) << kind.name;
        os::pinger request("127.0.0.1");
        EXPECT_EQ(request.usesRawSocket(), kind.raw) << kind.name;
        EXPECT_TRUE(request.run()) << kind.name;
        EXPECT_TRUE(request.replied()) << kind.name;

        ASSERT_TRUE(network.setSysctl("ipv4/icmp_echo_ignore_all", "1"));
        test::LogCapture log;
        EXPECT_FALSE(os::ping("127.0.0.1")) << kind.name;
        EXPECT_TRUE(log.contains(L"ping: Request timed out", L"DEBUG")) << kind.name;
    }
}

os::SocketHandle rawIcmpSocket(const std::string& localIp) {
    os::SocketHandle socket(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, localIp.c_str(), &local.sin_addr);
    if (!socket.isOpen() ||
        ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        throw std::system_error(errno, std::generic_category(), "raw ICMP socket on " + localIp);
    }
    return socket;
}

// The next echo request that the socket sees; nullopt when none came within a generous deadline.
std::optional<os::icmp::Message> nextEchoRequest(const os::SocketHandle& socket) {
    Bytes buffer(65536);
    for (const auto end = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < end;) {
        pollfd wanted{socket.get(), POLLIN, 0};
        if (::poll(&wanted, 1, 100) != 1) continue;
        const ssize_t received = ::recv(socket.get(), buffer.data(), buffer.size(), 0);
        if (received < 0) continue;
        const auto message = os::icmp::readWithIpHeader(buffer.data(), static_cast<std::size_t>(received));
        if (message && message->type == os::icmp::kEchoRequest) return message;
    }
    return std::nullopt;
}

void sendToLoopback(const os::SocketHandle& socket, const Bytes& message) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::sendto(socket.get(), message.data(), message.size(), 0,
                       reinterpret_cast<const sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(message.size()))
        << std::strerror(errno);
}

TEST(Ping, WaitsThroughOtherMessagesForItsOwnReply) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    for (const SocketKind& kind : kSocketKinds) {
        test::PrivateNetwork network;
        ASSERT_TRUE(chooseSocketKind(network, kind)) << kind.name;
        // The test stands in for the host, which does not answer by itself.
        ASSERT_TRUE(network.setSysctl("ipv4/icmp_echo_ignore_all", "1"));
        for (const bool withReply : {true, false}) {
            SCOPED_TRACE(std::string(kind.name) + (withReply ? " with" : " without") + " the reply");
            const os::SocketHandle host = rawIcmpSocket("127.0.0.1");
            const os::SocketHandle otherHost = rawIcmpSocket("127.0.0.2");
            std::future<bool> answered = std::async(std::launch::async, [] { return os::ping("127.0.0.1"); });
            const std::optional<os::icmp::Message> request = nextEchoRequest(host);
            ASSERT_TRUE(request.has_value());
            const std::uint16_t id = request->identifier;
            const std::uint16_t sequence = request->sequence;
            // What a busy network might put before the reply: the replies of other pings, an error
            // message, and the right reply from the wrong host.
            sendToLoopback(host, echoMessage(id, static_cast<std::uint16_t>(sequence + 1)));
            sendToLoopback(host, echoMessage(static_cast<std::uint16_t>(id + 1), sequence));
            sendToLoopback(host, echoMessage(id, sequence, 3));
            sendToLoopback(otherHost, echoMessage(id, sequence));
            if (withReply) sendToLoopback(host, echoMessage(id, sequence));
            EXPECT_EQ(answered.get(), withReply);
        }
    }
}

}  // namespace
