#include "support/DroppingTcpPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace test {

DroppingTcpPort::DroppingTcpPort(const std::string& address) : address_(address) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    socklen_t size = sizeof local;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &size) != 0)
        throw std::runtime_error("no listening port on " + address_);
    port_ = ntohs(local.sin_port);
    // The one connection that fills the queue; it is never accepted.
    queued_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(queued_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        throw std::runtime_error("the queue of " + address_ + " could not be filled");
}

DroppingTcpPort::~DroppingTcpPort() {
    ::close(queued_);
    ::close(listener_);
}

bool DroppingTcpPort::attemptWaiting() const {
    in_addr address{};
    ::inet_pton(AF_INET, address_.c_str(), &address);
    char remote[32];
    std::snprintf(remote, sizeof remote, "%08X:%04X", address.s_addr, port_);
    // Lines of "sl local remote state ..."; state 02 is a connection request sent and unanswered.
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        if (line.find(std::string(remote) + " 02 ") != std::string::npos) return true;
    }
    return false;
}

}  // namespace test
