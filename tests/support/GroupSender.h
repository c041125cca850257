#pragma once
// Someone else's stream: one datagram sent again and again to a multicast group over the
// loopback, every 20 ms, until the sender goes.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "foundation/SocketHandle.h"

namespace test {

class GroupSender {
public:
    GroupSender(const std::string& group, std::uint16_t port, std::string payload);
    ~GroupSender();
    GroupSender(const GroupSender&) = delete;
    GroupSender& operator=(const GroupSender&) = delete;

private:
    os::SocketHandle socket_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// `count` transport-stream packets of 188 bytes, as a stream of the program or another copy's
// sends them: each begins with the sync byte 0x47.
std::string transportStreamPackets(std::size_t count);

}  // namespace test
