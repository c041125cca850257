#pragma once
// The road of status packets from the transport's responder thread to their handler on the
// thread dispatcher. Packets wait in one bounded queue and are handled by at most one dispatcher
// job at a time, in arrival order, so two packets are never handled at once even while the
// dispatcher's engine runs items beside a busy executor; one job handles many packets, so the
// dispatcher's hand-off per item does not limit the rate.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/NetworkAddress.h"

namespace device {

struct StatePacket {
    std::string text;
    net::IpAndPort from;
    net::HardwareAddress address;
};

class StatePacketQueue : public std::enable_shared_from_this<StatePacketQueue> {
public:
    using Handler = std::function<void(const StatePacket& packet)>;

    StatePacketQueue(Handler handler, std::size_t capacity);
    StatePacketQueue(const StatePacketQueue&) = delete;
    StatePacketQueue& operator=(const StatePacketQueue&) = delete;

    // Queues the packet and makes sure a job will handle it; false when it was dropped: the queue
    // is closed, or full (logged once until the queue has emptied).
    bool push(StatePacket packet);
    // After it returns the handler is never called again; a handler call that is running on
    // another thread is waited for.
    void close();

    std::size_t size() const;

private:
    void drain();
    // Called with the lock held when a job ends: hands what is left to a new job.
    void finishJob(std::unique_lock<std::mutex>& guard);
    void scheduleJob();

    const Handler handler_;
    const std::size_t capacity_;
    mutable std::mutex lock_;
    std::condition_variable idle_;
    std::deque<StatePacket> packets_;
    bool scheduled_ = false;
    bool running_ = false;
    bool closed_ = false;
    bool overflowLogged_ = false;
    std::thread::id drainer_;
};

}  // namespace device
