#pragma once
// A TCP port on a loopback address whose connection attempts are dropped, as a host behind a
// firewall drops them: its accept queue of one place is kept full, so the kernel ignores every
// further connection request and a connect waits until it gives up, minutes later.

#include <cstdint>
#include <string>

#include "foundation/NetworkProbes.h"

namespace test {

class DroppingTcpPort {
public:
    explicit DroppingTcpPort(const std::string& address = "127.0.0.250");
    ~DroppingTcpPort();
    DroppingTcpPort(const DroppingTcpPort&) = delete;
    DroppingTcpPort& operator=(const DroppingTcpPort&) = delete;

    // The port as the target of the internet probe.
    os::InternetTarget target() const { return {address_, std::to_string(port_)}; }
    // Whether some socket of this machine is waiting for its connection request to be answered.
    bool attemptWaiting() const;

private:
    const std::string address_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int queued_ = -1;
};

}  // namespace test
