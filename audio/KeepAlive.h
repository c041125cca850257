#pragma once
// The idle keep-alive of the common stream: while nothing streams to the base port plus one, a
// thread sends there once a second one MPEG-TS null packet (PID 0x1FFF), so that the multicast
// group stays joined along the way and the loudspeakers see the head-end alive.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "audio/StreamTarget.h"

namespace audio {

// One transport-stream null packet.
std::array<std::uint8_t, 188> nullTransportPacket();

class KeepAlive {
public:
    // Asked before every datagram: whether the common stream is idle now.
    using IdleCheck = std::function<bool()>;
    // Asked before every datagram: where it goes (the settings may change meanwhile).
    using TargetSource = std::function<StreamTarget()>;

    KeepAlive(IdleCheck idle, TargetSource target);
    ~KeepAlive();
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;

    void stop();

private:
    void run();
    void send(const StreamTarget& target, const std::string& interfaceIp);

    const IdleCheck idle_;
    const TargetSource target_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace audio
