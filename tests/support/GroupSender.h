#pragma once
// Someone else's stream: datagrams of a given size sent to a multicast group over the loopback,
// one every 20 ms, until the sender goes.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "foundation/SocketHandle.h"

namespace test {

class GroupSender {
public:
    GroupSender(const std::string& group, std::uint16_t port, std::size_t size);
    ~GroupSender();
    GroupSender(const GroupSender&) = delete;
    GroupSender& operator=(const GroupSender&) = delete;

private:
    os::SocketHandle socket_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace test
