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
    // Each device's endpoint and the replies left to come, by its address and port.
    struct Device {
        sockaddr_in endpoint;
        int left = 0;
    };
    std::map<std::pair<std::uint32_t, std::uint16_t>, Device> left;
    const auto send = [&](const Device& device) {
        ::sendto(fd, line.data(), line.size(), 0, reinterpret_cast<const sockaddr*>(&device.endpoint),
                 sizeof device.endpoint);
    };
    for (const net::IpAndPort& device : devices)
        left[{device.getAddress(), device.getPort()}] = Device{endpointOf(device), exchanges};
    char buffer[1500];
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [key, device] : left) send(device);
    std::size_t busy = left.size();
    while (busy > 0) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 1000) == 0) {
            for (const auto& [key, device] : left) {
                if (device.left > 0) send(device);
            }
            continue;
        }
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) < 0)
            continue;
        const auto found = left.find({ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
        if (found == left.end() || found->second.left == 0) continue;
        if (--found->second.left == 0) {
            --busy;
        } else {
            send(found->second);
        }
    }
    const double micros =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    return micros;
}

}  // namespace test
