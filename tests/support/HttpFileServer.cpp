#include "support/HttpFileServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace test {

HttpFileServer::HttpFileServer(const std::string& filePath) : silent_(filePath.empty()) {
    if (!silent_) {
        std::ifstream in(filePath, std::ios::binary);
        body_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    ::listen(listener_, 8);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
}

HttpFileServer::~HttpFileServer() {
    const std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    thread_.join();
    ::close(listener_);
    ::close(wakeFd_);
}

std::string HttpFileServer::url(const std::string& name) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
}

void HttpFileServer::run() {
    std::vector<int> held;  // the silent server's connections, open until the end
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) break;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        if (silent_) {
            held.push_back(connection);
            continue;
        }
        // The request itself does not matter: every GET gets the whole file.
        char request[4096];
        (void)!::recv(connection, request, sizeof request, 0);
        const std::string head =
            "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " + std::to_string(body_.size()) +
            "\r\nConnection: close\r\n\r\n";
        const std::string reply = head + body_;
        std::size_t sent = 0;
        while (sent < reply.size()) {
            const ssize_t count = ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (count <= 0) break;
            sent += static_cast<std::size_t>(count);
        }
        ::close(connection);
    }
    for (int connection : held) ::close(connection);
}

}  // namespace test
