#pragma once
// Whether a host answers an ICMP echo request. Where the system lets this program's group ping
// (net.ipv4.ping_group_range) the request goes through an ICMP datagram socket; elsewhere through
// a raw ICMP socket, which needs CAP_NET_RAW.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/SocketHandle.h"

namespace os {

namespace icmp {

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::size_t kEchoRequestSize = 16;

// The Internet checksum (RFC 1071) of `length` bytes read as big-endian 16-bit words; an odd
// last byte is the high byte of a last word.
std::uint16_t checksum(const std::uint8_t* data, std::size_t length);

// An echo request: type, code, checksum, identifier, sequence number, and the body "Hello!" in
// double quotes; multi-byte fields big-endian.
std::array<std::uint8_t, kEchoRequestSize> makeEchoRequest(std::uint16_t identifier, std::uint16_t sequence);

// The fields of a received ICMP message that a ping looks at.
struct Message {
    std::uint8_t type = 0;
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    // From the IPv4 header, when the datagram carried one.
    std::uint8_t timeToLive = 0;
    std::uint32_t source = 0;  // host order
    // The datagram's length without its IPv4 header.
    std::size_t icmpLength = 0;
};

// A datagram as a raw socket gives it: an IPv4 header with its options, then the ICMP message.
// nullopt when the data run short, the version is not 4 or the header is shorter than 5 words.
std::optional<Message> readWithIpHeader(const std::uint8_t* data, std::size_t length);
// A datagram as an ICMP datagram socket gives it: the ICMP message alone.
std::optional<Message> readWithoutIpHeader(const std::uint8_t* data, std::size_t length);

}  // namespace icmp

// One echo request to one host and the wait for its reply. A reply counts only when it is an
// echo reply from that host carrying this request's identifier and sequence number: a raw socket
// also sees the program's own requests, the replies to other pings and other hosts' messages.
class pinger {
public:
    // Opens the socket and resolves `destination` (a dotted address or a host name). Throws
    // std::system_error when the socket cannot be opened, std::runtime_error when the name does not
    // resolve.
    explicit pinger(const char* destination, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    pinger(const pinger&) = delete;
    pinger& operator=(const pinger&) = delete;

    // Sends one request and waits for its reply until the timeout; whether it came. Throws
    // std::system_error when the request cannot be sent.
    bool run();

    bool replied() const { return replied_; }
    bool usesRawSocket() const { return raw_; }
    std::uint16_t sequenceNumber() const { return sequence_; }

private:
    void open_socket();
    void resolve(const char* destination);
    // Sends the next request and sets the deadline of its reply.
    void start_send();
    // Waits for one datagram until the deadline and hands it on; false when the deadline passed.
    bool start_receive();
    void handle_timeout();
    void handle_receive(std::size_t length, std::uint32_t sender, std::optional<std::uint8_t> timeToLive);

    SocketHandle socket_;
    bool raw_ = false;
    std::uint32_t destination_ = 0;  // host order
    std::uint16_t identifier_ = 0;
    std::uint16_t sequence_ = 0;
    std::chrono::steady_clock::time_point timeSent_;
    std::chrono::steady_clock::time_point deadline_;
    std::vector<std::uint8_t> replyBuffer_;
    std::uint32_t numberOfReplies_ = 0;
    bool replied_ = false;
    std::chrono::milliseconds timeout_;
};

// True when `host` answered an echo request within 5 s. Never throws: every failure is a logged
// false.
bool ping(const std::string& host);

// The ping of the default gateway of the interface with address `interfaceIp`; false without
// one, also when no interface has that address.
bool pingGateway(const std::string& interfaceIp);

}  // namespace os
