#include "support/GroupSender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <stdexcept>

namespace test {

GroupSender::GroupSender(const std::string& group, std::uint16_t port, std::size_t size)
    : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    in_addr loopback{};
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, "127.0.0.1", &loopback) != 1 ||
        ::inet_pton(AF_INET, group.c_str(), &to.sin_addr) != 1)
        throw std::invalid_argument(group);
    if (::setsockopt(socket_.get(), IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback) != 0)
        throw std::runtime_error("IP_MULTICAST_IF");
    thread_ = std::thread([this, to, size] {
        const std::string payload(size, 'G');
        while (!stop_) {
            ::sendto(socket_.get(), payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
}

GroupSender::~GroupSender() {
    stop_ = true;
    thread_.join();
}

}  // namespace test
