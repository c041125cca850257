#include "foundation/NetworkProbes.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/InternetProbe.h"
#include "foundation/NetworkAddress.h"
#include "foundation/NetworkInterfaces.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/SocketHandle.h"
#include "foundation/TextConversion.h"

namespace os {
namespace {

constexpr auto kStreamWait = std::chrono::milliseconds(1200);
// The largest datagram UDP carries: the probe reads every one whole.
constexpr std::size_t kStreamBufferSize = 65536;
constexpr std::size_t kTransportPacketSize = 188;
constexpr unsigned char kTransportSyncByte = 0x47;
constexpr auto kInternetWait = std::chrono::seconds(1);

[[noreturn]] void throwSystemError(int error, const std::string& step) {
    throw std::system_error(error, errorCategory(), step);
}

sockaddr_in endpoint(const std::string& ip, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) {
        throwSystemError(EINVAL, "'" + ip + "' is not an IPv4 address");
    }
    return address;
}

std::string addressText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

SocketHandle openUdpSocket() {
    SocketHandle socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket.isOpen()) throwSystemError(errno, "open a UDP socket");
    return socket;
}

void bindTo(const SocketHandle& socket, const sockaddr_in& address) {
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throwSystemError(errno,
                         "bind to " + addressText(address) + ":" + std::to_string(ntohs(address.sin_port)));
    }
}

SocketHandle udpSocketBoundTo(const std::string& localIp) {
    const sockaddr_in local = endpoint(localIp, 0);
    SocketHandle socket = openUdpSocket();
    bindTo(socket, local);
    return socket;
}

void setOption(const SocketHandle& socket, int level, int name, const void* value, socklen_t size,
               const char* step) {
    if (::setsockopt(socket.get(), level, name, value, size) != 0) throwSystemError(errno, step);
}

void sendTo(const SocketHandle& socket, const std::string& payload, const sockaddr_in& destination) {
    const ssize_t sent = ::sendto(socket.get(), payload.data(), payload.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    if (sent < 0) {
        throwSystemError(
            errno, "send to " + addressText(destination) + ":" + std::to_string(ntohs(destination.sin_port)));
    }
}

int remainingMilliseconds(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - base::clock::steadyNow();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    // Rounded up, so that the wait never ends just before the deadline.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// Waits for the first datagram of the joined group that is a piece of a transport stream, until
// the deadline; the sender's address when one came. Other datagrams are counted and passed over.
std::optional<sockaddr_in> receiveFirst(const SocketHandle& socket,
                                        std::chrono::steady_clock::time_point deadline,
                                        const debug::Place& place) {
    std::vector<unsigned char> buffer(kStreamBufferSize);
    std::size_t passedOver = 0;
    while (true) {
        pollfd wanted{socket.get(), POLLIN, 0};
        const int ready = ::poll(&wanted, 1, remainingMilliseconds(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            place.error(L"Произошла ошибка во время ожидания: '%1%'", errorText(errno));
            return std::nullopt;
        }
        if (ready == 0) {
            if (passedOver > 0)
                place.trace(L"Datagrams on the group that are no transport stream: %1%", passedOver);
            place.trace(L"Out the waiting time for multicast stream.");
            return std::nullopt;
        }
        sockaddr_in sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t received = ::recvfrom(socket.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (received >= 0) {
            if (isTransportStreamDatagram(buffer.data(), static_cast<std::size_t>(received))) return sender;
            ++passedOver;
            continue;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        place.warn(L"Произошла ошибка во время приёма широковещательной рассылки [code=%1%, error='%2%']",
                   toSocketErrorCode(errno), errorText(errno));
        return std::nullopt;
    }
}

// Resolves the target and tries its addresses in turn until one accepts a connection. The
// resolver and the connect wait as long as the system lets them.
bool is_internet_internal_thread(const InternetTarget& target) {
    bool connected = false;
    try {
        addrinfo hints{};
        hints.ai_flags = AI_ADDRCONFIG;
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* results = nullptr;
        if (::getaddrinfo(target.host.c_str(), target.service.c_str(), &hints, &results) == 0) {
            for (const addrinfo* entry = results; entry != nullptr && !connected; entry = entry->ai_next) {
                SocketHandle socket(
                    ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol));
                connected =
                    socket.isOpen() && ::connect(socket.get(), entry->ai_addr, entry->ai_addrlen) == 0;
            }
            ::freeaddrinfo(results);
        }
    } catch (const std::exception&) {
        connected = false;
    }
    debug::Place("os::is_internet_internal_thread")
        .trace2(L"Internet: %1%", std::wstring(connected ? L"connected" : L"broken"));
    return connected;
}

}  // namespace

bool isTransportStreamDatagram(const unsigned char* data, std::size_t size) {
    if (size == 0 || size % kTransportPacketSize != 0) return false;
    for (std::size_t at = 0; at < size; at += kTransportPacketSize) {
        if (data[at] != kTransportSyncByte) return false;
    }
    return true;
}

bool hasStream(const char* group, const char* interfaceIp) {
    const debug::Place place("os::hasStream");
    const std::string groupText = group ? group : "";
    const std::string interfaceText = interfaceIp ? interfaceIp : "";
    place.trace(L"remote address: %1%, network interface: %2%", groupText, interfaceText);
    if (interfaceText == kFactoryAddress) {
        place.warn(
            L"Адрес на сетевом интерфейсе совпадает с адресом вокара по умолчанию '%1%'. Назначьте другой "
            L"адрес.",
            std::string(kFactoryAddress));
    }
    if (!existNetworkInterface(interfaceText)) {
        place.info(L"Сетевой интерфейс с ip='%1%' адресом не существует", interfaceText);
        return false;
    }
    std::string groupAddress;
    std::uint16_t port = 0;
    if (!net::splitIpAndPort(groupText, &groupAddress, &port)) {
        place.error(L"Неверный формат мультикаст адреса '%1%'", groupText);
        return false;
    }

    try {
        const sockaddr_in groupEndpoint = endpoint(groupAddress, port);
        ip_mreq membership{};
        membership.imr_multiaddr = groupEndpoint.sin_addr;
        membership.imr_interface = endpoint(interfaceText, 0).sin_addr;

        SocketHandle socket = openUdpSocket();
        const int on = 1;
        setOption(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on, "allow the address to be shared");
        // Bound to the any-address, a socket would also get the datagrams of every other group that
        // some socket of this machine joined at that port; bound to the group it gets only these.
        bindTo(socket, groupEndpoint);
        setOption(socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership, "join the group");

        const auto deadline = base::clock::steadyNow() + kStreamWait;
        const std::optional<sockaddr_in> sender = receiveFirst(socket, deadline, place);
        if (!sender) return false;
        place.info(
            L"Сеть с адресом '%1%' имеет запущенный поток на широковещательном адресе '%2%'. Адрес источника "
            L"'%3%'",
            interfaceText, groupAddress, addressText(*sender));
        return true;
    } catch (const std::system_error& error) {
        place.error(L"Произошла ошибка во время проверки наличия потока в сети. [code=%1%, what='%2%']",
                    toSocketErrorCode(error.code().value()), exception::textOf(error));
        return false;
    }
}

bool hasInternet(const InternetTarget& target) {
    return InternetProbe::instance().request([target] { return is_internet_internal_thread(target); },
                                             kInternetWait);
}

bool findLostDevices(const std::string& interfaceIp, std::uint16_t port, const DiscoveryTargets& targets) {
    std::thread([interfaceIp, targets] { sendPackageToFactoryStaticAddress(interfaceIp, targets); }).detach();
    return sendBroadcast(interfaceIp, kDiscoveryPayload, port, targets.limitedBroadcast);
}

bool sendPackageToUdpAddress(const std::string& localIp, const std::string& remoteIp, std::uint16_t port) {
    const debug::Place place("os::sendPackageToUdpAddress");
    place.trace(L"");
    try {
        const sockaddr_in remote = endpoint(remoteIp, port);
        const SocketHandle socket = udpSocketBoundTo(localIp);
        sendTo(socket, kDiscoveryPayload, remote);
        return true;
    } catch (const std::exception& error) {
        place.important(L"failure send to static address, error '%1%'", exception::textOf(error));
        return false;
    }
}

void sendPackageToFactoryStaticAddress(const std::string& interfaceIp, const DiscoveryTargets& targets) {
    debug::Place("os::sendPackageToFactoryStaticAddress").trace(L"");
    sendPackageToUdpAddress(interfaceIp, targets.factoryAddress, targets.factoryPort);
}

bool sendBroadcast(const std::string& localIp, const std::string& payload, std::uint16_t port,
                   const std::string& limitedBroadcast) {
    const debug::Place place("os::sendBroadcast");
    place.trace(L"");
    if (!existNetworkInterface(localIp)) {
        place.error(L"Сетевой интерфейс '%1%' не существует. Широковещательная отправка не выполнена",
                    localIp);
        return false;
    }

    SocketHandle socket;
    try {
        socket = udpSocketBoundTo(localIp);
        const int on = 1;
        setOption(socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on, "allow broadcasts");
    } catch (const std::system_error& error) {
        place.warn(L"failure set option for limited broadcast, error '%1%'", exception::textOf(error));
        return false;
    }

    const std::optional<NetworkInterface> adapter = getNetworkInterfaceByIp(localIp);
    if (!adapter || adapter->broadcast.empty()) {
        place.debug(L"There isn't broadcast address for interface, ip=%1%", localIp);
        return false;
    }

    try {
        // The system takes the outgoing adapter of a broadcast from its routes, not from the
        // socket's address; tied to the adapter, both broadcasts leave where they are meant to.
        const std::string device = base::toUtf8(adapter->name);
        setOption(socket, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(), static_cast<socklen_t>(device.size()),
                  "tie the socket to its adapter");
    } catch (const std::system_error& error) {
        place.warn(L"failure set option for limited broadcast, error '%1%'", exception::textOf(error));
        return false;
    }

    try {
        sendTo(socket, payload, endpoint(adapter->broadcast, port));
    } catch (const std::system_error& error) {
        place.warn(L"failure send directional broadcast, error '%1%'", exception::textOf(error));
        return false;
    }
    try {
        sendTo(socket, payload, endpoint(limitedBroadcast, port));
    } catch (const std::system_error& error) {
        place.warn(L"failure send limited broadcast, error '%1%'", exception::textOf(error));
        return false;
    }
    return true;
}

}  // namespace os
