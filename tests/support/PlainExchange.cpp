#include "support/PlainExchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace test {

double plainRoundTripMicros(const net::IpAndPort& device, const std::string& command, int exchanges) {
    const std::string line = command + "\n";
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(device.getPort());
    target.sin_addr.s_addr = htonl(device.getAddress());
    char buffer[1500];
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < exchanges; ++n) {
        ::sendto(fd, line.data(), line.size(), 0, reinterpret_cast<sockaddr*>(&target), sizeof target);
        ::recv(fd, buffer, sizeof buffer, 0);
    }
    const double micros =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() /
        exchanges;
    ::close(fd);
    return micros;
}

}  // namespace test
