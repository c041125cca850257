#pragma once
// The one UDP transport between the head-end and its devices: a text command per
// datagram to the device's address and port, a reply per datagram from it. Requests to
// one device wait in a priority queue and go out one at a time; each is resent once and
// fails one interval after the resend, taking the device's queue with it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/NetworkAddress.h"

namespace device {

// A datagram (text, sender) offered to a handler; true when the handler took it.
using ResponseHandler = std::function<bool(const std::string& data, const net::IpAndPort& from)>;
// A request's completion (reply text, ok), or a sniffer's view of one datagram.
using TransferHandler = std::function<void(const std::string& text, bool ok)>;

class TransferProtocol {
public:
    // Binds the command socket on `interfaceAddress` (any-address unless it is exactly
    // four dotted numbers) and `basePort`; a failure ends the program (StopProgram).
    TransferProtocol(unsigned basePort, const std::string& interfaceAddress);
    ~TransferProtocol();
    TransferProtocol(const TransferProtocol&) = delete;
    TransferProtocol& operator=(const TransferProtocol&) = delete;

    void run();
    void stop();

    void setAllResponseHandler(ResponseHandler handler);
    void setUnknownResponseHandler(ResponseHandler handler);
    void setSniffer(const net::IpAndPort& address, TransferHandler handler);
    void clearSniffers();

    // Blocks until the reply or the deadline (two intervals and 50 ms); true with
    // `response` filled when a reply without error came.
    bool sync(const net::IpAndPort& address, const std::string& request, std::string& response, int priority,
              unsigned intervalMs);
    // Queues the request; the handler runs later on the thread dispatcher.
    bool async(const net::IpAndPort& address, const std::string& request, TransferHandler handler,
               int priority, unsigned intervalMs);
    // Drops the device's queued requests without completing them.
    void eraseQueue(const net::IpAndPort& address);

    // The narrow text a failed request completes with.
    static const std::string& noAnswerText();

private:
    struct transfer_data_t;
    struct device_data_t;
    struct received_data_t;
    using Key = std::pair<std::uint32_t, std::uint16_t>;
    using TransferPtr = std::shared_ptr<transfer_data_t>;
    using DevicePtr = std::shared_ptr<device_data_t>;

    void create_socket(unsigned basePort, const std::string& interfaceAddress);
    DevicePtr add_to_queue(const net::IpAndPort& address, const TransferPtr& transfer);
    void sender_thread();
    void sendCurrent(device_data_t& device, std::int64_t now, std::int64_t& beforeResend);
    void process_sender_timeout(device_data_t& device);
    void receiver_thread();
    void receiveError(char* buffer);
    void receiveDatagram(char* buffer);
    void queueReceived(bool ok, std::string data, const net::IpAndPort& from);
    void responder_thread();
    void respond(received_data_t& record);
    bool isErasing(const Key& key);
    static Key keyOf(const net::IpAndPort& address);
    static std::int64_t nowUs();

    std::recursive_mutex mainLock_;
    std::mutex receiveLock_;
    // Replaced as a whole, so a setter never races the responder that reads them.
    std::shared_ptr<const ResponseHandler> unknownResponseHandler_;
    std::shared_ptr<const ResponseHandler> allResponseHandler_;
    std::map<Key, TransferHandler> m_sniffers;

    int socket_ = -1;
    int wakeFd_ = -1;  // wakes the receiver when the transport stops

    std::condition_variable_any senderCondition_;
    std::condition_variable responderCondition_;
    std::thread m_sender_thread;
    std::thread m_receiver_thread;
    std::thread responderThread_;
    std::atomic<bool> stopping_{false};
    bool running_ = false;  // under the main lock

    // Addresses whose queues eraseQueue is erasing right now.
    std::mutex erasingLock_;
    std::set<Key> erasing_;

    // Ordered by address and port, greater first.
    std::map<Key, DevicePtr, std::greater<Key>> devices_;
    std::deque<received_data_t> received_;
};

}  // namespace device
