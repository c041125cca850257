#include "foundation/Ping.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/NetworkInterfaces.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"

namespace os {
namespace icmp {
namespace {

constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kMinimumIpHeaderSize = 20;
constexpr std::uint8_t kBody[] = {0x22, 0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x21, 0x22};

std::uint16_t readBigEndian16(const std::uint8_t* data) {
    return static_cast<std::uint16_t>(data[0] << 8 | data[1]);
}

void writeBigEndian16(std::uint8_t* data, std::uint16_t value) {
    data[0] = static_cast<std::uint8_t>(value >> 8);
    data[1] = static_cast<std::uint8_t>(value & 0xFF);
}

Message readIcmpHeader(const std::uint8_t* data, std::size_t length) {
    Message message;
    message.type = data[0];
    message.identifier = readBigEndian16(data + 4);
    message.sequence = readBigEndian16(data + 6);
    message.icmpLength = length;
    return message;
}

}  // namespace

std::uint16_t checksum(const std::uint8_t* data, std::size_t length) {
    std::uint32_t sum = 0;
    std::size_t at = 0;
    for (; at + 1 < length; at += 2) sum += readBigEndian16(data + at);
    if (at < length) sum += static_cast<std::uint32_t>(data[at]) << 8;
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::array<std::uint8_t, kEchoRequestSize> makeEchoRequest(std::uint16_t identifier, std::uint16_t sequence) {
    std::array<std::uint8_t, kEchoRequestSize> request{};
    request[0] = kEchoRequest;
    request[1] = 0;
    writeBigEndian16(request.data() + 4, identifier);
    writeBigEndian16(request.data() + 6, sequence);
    std::copy(std::begin(kBody), std::end(kBody), request.begin() + kIcmpHeaderSize);
    writeBigEndian16(request.data() + 2, checksum(request.data(), request.size()));
    return request;
}

std::optional<Message> readWithIpHeader(const std::uint8_t* data, std::size_t length) {
    if (length < kMinimumIpHeaderSize) return std::nullopt;
    const unsigned version = data[0] >> 4;
    const std::size_t headerSize = static_cast<std::size_t>(data[0] & 0x0F) * 4;
    if (version != 4 || headerSize < kMinimumIpHeaderSize) return std::nullopt;
    if (length < headerSize + kIcmpHeaderSize) return std::nullopt;
    Message message = readIcmpHeader(data + headerSize, length - headerSize);
    message.timeToLive = data[8];
    message.source = static_cast<std::uint32_t>(data[12]) << 24 | static_cast<std::uint32_t>(data[13]) << 16 |
                     static_cast<std::uint32_t>(data[14]) << 8 | data[15];
    return message;
}

std::optional<Message> readWithoutIpHeader(const std::uint8_t* data, std::size_t length) {
    if (length < kIcmpHeaderSize) return std::nullopt;
    return readIcmpHeader(data, length);
}

}  // namespace icmp

namespace {

constexpr std::size_t kReplyBufferSize = 65536;

// Shared by every ping of the process, so that pings running at the same time never take each
// other's replies.
std::atomic<std::uint16_t> lastSequenceNumber{0};

[[noreturn]] void throwSystemError(int error, const std::string& step) {
    throw std::system_error(error, errorCategory(), step);
}

std::string dottedText(std::uint32_t hostOrder) {
    in_addr address{};
    address.s_addr = htonl(hostOrder);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

}  // namespace

pinger::pinger(const char* destination, std::chrono::milliseconds timeout)
    : replyBuffer_(kReplyBufferSize), timeout_(timeout) {
    open_socket();
    resolve(destination ? destination : "");
}

void pinger::open_socket() {
    socket_ = SocketHandle(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (socket_.isOpen()) {
        const int on = 1;
        // A datagram socket hands over no IPv4 header; the time to live comes beside the data.
        ::setsockopt(socket_.get(), IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
        return;
    }
    socket_ = SocketHandle(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!socket_.isOpen()) throwSystemError(errno, "open an ICMP socket");
    raw_ = true;
    identifier_ = static_cast<std::uint16_t>(::getpid() & 0xFFFF);
}

void pinger::resolve(const char* destination) {
    in_addr address{};
    // A dotted address needs no resolver, which would refuse it on a machine with no address but
    // the loopback.
    if (::inet_pton(AF_INET, destination, &address) == 1) {
        destination_ = ntohl(address.s_addr);
        return;
    }
    addrinfo hints{};
    hints.ai_flags = AI_ADDRCONFIG;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    hints.ai_protocol = IPPROTO_ICMP;
    addrinfo* results = nullptr;
    const int error = ::getaddrinfo(destination, nullptr, &hints, &results);
    if (error != 0 || results == nullptr) {
        throw std::runtime_error(std::string("cannot resolve '") + destination +
                                 "': " + ::gai_strerror(error));
    }
    destination_ = ntohl(reinterpret_cast<const sockaddr_in*>(results->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(results);
}

bool pinger::run() {
    start_send();
    while (!replied_) {
        if (!start_receive()) {
            handle_timeout();
            break;
        }
    }
    return replied_;
}

void pinger::start_send() {
    sequence_ = static_cast<std::uint16_t>(++lastSequenceNumber);
    const auto request = icmp::makeEchoRequest(identifier_, sequence_);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(destination_);
    timeSent_ = base::clock::steadyNow();
    if (::sendto(socket_.get(), request.data(), request.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        throwSystemError(errno, "send the echo request to " + dottedText(destination_));
    }
    if (!raw_) {
        // The system puts the socket's own identifier into the request and hands this socket only
        // the replies that carry it.
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
            throwSystemError(errno, "read the identifier of the ICMP socket");
        }
        identifier_ = ntohs(local.sin_port);
    }
    numberOfReplies_ = 0;
    deadline_ = timeSent_ + timeout_;
}

bool pinger::start_receive() {
    const auto left = deadline_ - base::clock::steadyNow();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    pollfd wanted{socket_.get(), POLLIN, 0};
    const int ready =
        ::poll(&wanted, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    if (ready < 0 && errno != EINTR) throwSystemError(errno, "wait for the echo reply");
    if (ready <= 0) return true;  // interrupted, or the deadline passed: the next round tells

    sockaddr_in sender{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec data{replyBuffer_.data(), replyBuffer_.size()};
    msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = ::recvmsg(socket_.get(), &message, MSG_DONTWAIT);
    // A failed receive (a late error of the network, a datagram taken by nobody) is passed over.
    if (received < 0) return true;

    std::optional<std::uint8_t> timeToLive;
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr; item = CMSG_NXTHDR(&message, item)) {
        if (item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_TTL) {
            int value = 0;
            std::memcpy(&value, CMSG_DATA(item), sizeof value);
            timeToLive = static_cast<std::uint8_t>(value);
        }
    }
    handle_receive(static_cast<std::size_t>(received), ntohl(sender.sin_addr.s_addr), timeToLive);
    return true;
}

void pinger::handle_timeout() {
    if (numberOfReplies_ == 0) debug::Place("os::pinger::handle_timeout").debug(L"ping: Request timed out");
}

void pinger::handle_receive(std::size_t length, std::uint32_t sender,
                            std::optional<std::uint8_t> timeToLive) {
    std::optional<icmp::Message> reply = raw_ ? icmp::readWithIpHeader(replyBuffer_.data(), length)
                                              : icmp::readWithoutIpHeader(replyBuffer_.data(), length);
    if (!reply) return;
    if (!raw_) {
        reply->source = sender;
        reply->timeToLive = timeToLive.value_or(0);
    }
    const bool ours = reply->type == icmp::kEchoReply && reply->identifier == identifier_ &&
                      reply->sequence == sequence_ && reply->source == destination_;
    if (!ours) return;

    ++numberOfReplies_;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(base::clock::steadyNow() - timeSent_);
    debug::Place("os::pinger::handle_receive")
        .debug(L"ping: %1% bytes from %2%: icmp_seq=%3%, ttl=%4%, time=%5%", reply->icmpLength,
               dottedText(reply->source), reply->sequence, static_cast<unsigned>(reply->timeToLive),
               static_cast<long long>(elapsed.count()));
    replied_ = true;
}

bool ping(const std::string& host) {
    const debug::Place place("os::ping");
    if (host.empty()) {
        place.warn(L"Failure ping empty ip");
        return false;
    }
    try {
        pinger request(host.c_str());
        return request.run();
    } catch (const std::system_error& error) {
        if (error.code().value() == EPERM || error.code().value() == EACCES) {
            place.important(L"Exception in ping: no permissions");
        } else {
            place.warn(L"Exception in ping: %1%", exception::textOf(error));
        }
    } catch (const std::exception& error) {
        place.warn(L"Exception in ping: %1%", exception::textOf(error));
    }
    return false;
}

bool pingGateway(const std::string& interfaceIp) {
    const std::optional<NetworkInterface> adapter = getNetworkInterfaceByIp(interfaceIp);
    if (!adapter || adapter->gateway.empty()) {
        debug::Place("os::pingGateway").debug(L"no gateway ip for ping");
        return false;
    }
    return ping(adapter->gateway);
}

}  // namespace os
