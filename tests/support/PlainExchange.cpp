#include "support/PlainExchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>

namespace test {

int plainLoopbackSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // Replies of hundreds of devices at once: as the transport's socket, room for a burst that
    // comes while the thread is not reading, or a lost reply would cost the floor a resend.
    const int receiveBuffer = 4 * 1024 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    return fd;
}

namespace {

sockaddr_in endpointOf(const net::IpAndPort& device) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(device.getPort());
    target.sin_addr.s_addr = htonl(device.getAddress());
    return target;
}

}  // namespace

double plainRoundTripMicros(const net::IpAndPort& device, const std::string& command, int exchanges) {
    const std::string line = command + "\n";
    const int fd = plainLoopbackSocket();
    const sockaddr_in target = endpointOf(device);
    char buffer[1500];
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < exchanges; ++n) {
        ::sendto(fd, line.data(), line.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
        ::recv(fd, buffer, sizeof buffer, 0);
    }
    const double micros =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() /
        exchanges;
    ::close(fd);
    return micros;
}

double plainExchangesAcrossMicros(const std::vector<net::IpAndPort>& devices, const std::string& command,
                                  int exchanges) {
    const std::string line = command + "\n";
    const int fd = plainLoopbackSocket();
    // Replies left to come, by the device's address and port.
    std::map<std::pair<std::uint32_t, std::uint16_t>, int> left;
    const auto send = [&](const net::IpAndPort& device) {
        const sockaddr_in target = endpointOf(device);
        ::sendto(fd, line.data(), line.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    };
    char buffer[1500];
    const auto start = std::chrono::steady_clock::now();
    for (const net::IpAndPort& device : devices) {
        left[{device.getAddress(), device.getPort()}] = exchanges;
        send(device);
    }
    std::size_t busy = devices.size();
    while (busy > 0) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 1000) == 0) {
            for (const net::IpAndPort& device : devices) {
                if (left[{device.getAddress(), device.getPort()}] > 0) send(device);
            }
            continue;
        }
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) < 0)
            continue;
        const auto found = left.find({ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
        if (found == left.end() || found->second == 0) continue;
        if (--found->second == 0) {
            --busy;
        } else {
            send(net::IpAndPort(found->first.first, found->first.second));
        }
    }
    const double micros =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    return micros;
}

}  // namespace test
