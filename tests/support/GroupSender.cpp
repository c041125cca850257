#include "support/GroupSender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <stdexcept>

namespace test {

std::string transportStreamPackets(std::size_t count) {
    // Null packets (PID 0x1FFF) filled with stuffing.
    std::string packets;
    for (std::size_t i = 0; i < count; ++i) {
        std::string packet(188, '\xFF');
        packet[0] = '\x47';
        packet[1] = '\x1F';
        packet[2] = '\xFF';
        packet[3] = '\x10';
        packets += packet;
    }
    return packets;
}

GroupSender::GroupSender(const std::string& group, std::uint16_t port, std::string payload)
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
    thread_ = std::thread([this, to, payload = std::move(payload)] {
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
