#pragma once
// The one UDP transport between the head-end and its devices: a text command per
// datagram to the device's address and port, a reply per datagram from it. The rules of the
// requests (RequestQueue) run under one lock, which the socket's sends do without; three threads
// carry them out: the receiver reads the socket, the responder matches replies and sends each
// device's next request, and the sender resends and fails requests whose interval ran out. A reply
// to a waiting `sync` wakes that caller directly; completions of `async` requests run on the thread
// dispatcher, many per dispatcher item, one at a time in reply order. While replies come in quick
// succession from devices that already have their next request out, the responder gathers their
// completions (up to a number, for at most a millisecond) and wakes the dispatcher once for them.
// Requests, their texts and the received datagrams keep their room from one use to the next, so
// the road of a request takes nothing from the heap once the transport has warmed up.

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "devicelink/RequestQueue.h"
#include "foundation/LogThrottle.h"
#include "foundation/NetworkAddress.h"
#include "foundation/SerialJobs.h"

namespace device {

// A datagram (text, sender) offered to a handler; true when the handler took it.
using ResponseHandler = std::function<bool(const std::string& data, const net::IpAndPort& from)>;

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

    // Blocks until the reply, the deadline (two intervals and 50 ms) or the stop; true with
    // `response` filled when a reply without error came. Called on the window's thread it logs an
    // ERROR (foundation/ThreadRole.h); on a thread of the transport it fails at once, refused.
    bool sync(const net::IpAndPort& address, const std::string& request, std::string& response, int priority,
              unsigned intervalMs);
    // The same; `refused` tells a failure of a request that never reached the device (the network
    // refused it because nothing listens at its port, or it never went out), as against one that
    // went unanswered. A request to a module behind the device (`silence`) fails alone when
    // unanswered, and gives way to the device's own requests while it waits.
    bool sync(const net::IpAndPort& address, const std::string& request, std::string& response, int priority,
              unsigned intervalMs, bool& refused,
              RequestQueue::Silence silence = RequestQueue::Silence::device);
    // Queues the request; the handler runs later on the thread dispatcher. A request of a job's
    // `group` (newGroup) is dropped with the job's other requests by eraseQueue of that group. The
    // device answers it in its answer words unless `answer` says it may answer in any text.
    bool async(const net::IpAndPort& address, const std::string& request, TransferHandler handler,
               int priority, unsigned intervalMs, RequestQueue::Group group = 0,
               RequestQueue::Silence silence = RequestQueue::Silence::device,
               RequestQueue::Answer answer = RequestQueue::Answer::deviceWords);
    // A group that no request has had yet, for the requests of one job.
    RequestQueue::Group newGroup();
    // Drops the device's queued requests without completing them.
    void eraseQueue(const net::IpAndPort& address);
    // Drops the device's queued requests of one group without completing them: the requests of
    // other callers stay queued and are sent.
    void eraseQueue(const net::IpAndPort& address, RequestQueue::Group group);

    // The narrow text a failed request completes with.
    static const std::string& noAnswerText();

private:
    struct Transfer;
    class Transfers;
    struct CompletionCall;
    struct Received {
        bool ok = false;
        std::string data;
        // The sender, as RequestQueue keys it.
        RequestQueue::Key from;
        RequestQueue::TimePoint receivedAt;
        // For the network's refusal of a datagram sent: that datagram.
        std::string refused;
    };
    using TransferPtr = boost::intrusive_ptr<Transfer>;
    // What ending requests leaves to do once the sends of the moment are out: the waiting callers
    // to wake, and the calls for the dispatcher in the order they were made.
    struct Calls {
        std::vector<TransferPtr> waiters;
        std::vector<base::SerialJobs::Item> jobs;
        // Every call is the completion of a request whose device has its next request out.
        bool followed = true;
    };

    void create_socket(unsigned basePort, const std::string& interfaceAddress);
    // Queues a request; false for an invalid address.
    bool add_to_queue(const net::IpAndPort& address, const TransferPtr& transfer);
    // Sends what `actions` asks for; called under the main lock, which it lets go while the socket
    // takes the datagrams. A failed send fails the device's requests.
    void carryOut(RequestQueue::Actions& actions);
    // Logs one send and shows it to the device's sniffer; false when it failed.
    bool reportSend(const RequestQueue::Send& send, ssize_t sent, int error);
    // Moves what `actions` finished into `calls`, in order.
    void collect(RequestQueue::Actions& actions, Calls& calls);
    void wakeWaiters(Calls& calls);
    // Wakes the waiting callers and hands the calls to the dispatcher; outside the main lock.
    void finish(Calls& calls);
    // The responder's finish: completions whose devices have their next request out may wait for
    // the next replies' (see holdUntil_).
    void finishBatch(Calls& calls);
    // Hands the completions the responder held back to the dispatcher.
    void releaseHeld();
    // Completes what `actions` finished, outside the main lock.
    void complete(RequestQueue::Actions& actions);
    void wakeSenderIfEarlier(const RequestQueue::Actions& actions);
    // The threads' places in threadStates_.
    enum ThreadIndex : std::size_t { receiverIndex, senderIndex, responderIndex };
    enum class ThreadState { starting, running, ended };
    // Starts a thread and waits up to 100 ms for it to start or end; one that ended logs
    // `fatalLine`, stops the transport and throws exception::StopProgram.
    void startThread(std::thread& thread, std::size_t index, void (TransferProtocol::*body)(),
                     const wchar_t* fatalLine);
    // Called by a thread once it can do its work.
    void reportStarted(std::size_t index);
    void sender_thread();
    void receiver_thread();
    void receiveError(char* buffer);
    void receiveDatagrams();
    // Under the receive-queue lock: a record for one more datagram from `from`, or null when the
    // queue is full or the sender has its share of it (then the datagram is dropped).
    Received* admitReceived(const RequestQueue::Key& from);
    // Lets go of the receive-queue lock after datagrams were queued and wakes the responder; logs
    // the first datagram dropped in an episode of drops.
    void receivedQueued(std::unique_lock<std::mutex>& receive, bool dropped,
                        const RequestQueue::Key& firstDropped);
    void responder_thread();
    void respond(Received& record, RequestQueue::Actions& actions, Calls& calls);
    // Watches, for at most a watch's length, for a datagram queued for the responder; false when
    // none came.
    bool watchForReplies();
    // The sender's address as a value for handlers and log lines, kept from datagram to datagram.
    const net::IpAndPort& senderAddress(const RequestQueue::Key& from);

    // Outlives everything that holds a request.
    std::shared_ptr<Transfers> transfers_;
    std::recursive_mutex mainLock_;
    RequestQueue requests_;
    bool running_ = false;  // under the main lock
    std::map<RequestQueue::Key, TransferHandler> m_sniffers;

    // Replaced as a whole, so a setter never races the responder that reads them.
    std::shared_ptr<const ResponseHandler> unknownResponseHandler_;
    std::shared_ptr<const ResponseHandler> allResponseHandler_;

    int socket_ = -1;
    int wakeFd_ = -1;  // wakes the receiver when the transport stops

    // The sender sleeps until the earliest deadline; only an earlier one wakes it.
    std::condition_variable_any senderCondition_;
    RequestQueue::TimePoint senderWakeAt_ = RequestQueue::TimePoint::max();

    std::mutex receiveLock_;
    std::condition_variable responderCondition_;
    // Bounded, and shared fairly: one sender holds at most its share of it. The senders are counted
    // only once the queue is long enough for one of them to reach its share. The first
    // `receivedCount_` records are queued; the ones behind keep their room for the next datagrams.
    std::vector<Received> received_;
    std::size_t receivedCount_ = 0;
    std::unordered_map<std::uint64_t, std::uint32_t> receivedBySender_;
    bool countingSenders_ = false;
    // Datagrams are being dropped; told once until the responder finds the queue empty.
    bool overflowing_ = false;
    bool responderWaiting_ = false;
    // Set with the first datagram queued for the responder, for a responder that watches instead
    // of sleeping.
    std::atomic<bool> repliesQueued_{false};
    // When a request last went out, in ticks of the steady clock.
    std::atomic<std::int64_t> lastSendAt_{0};
    base::LogThrottle unexpectedLines_;
    // An episode of drops is told at most about once a second.
    base::LogThrottle overflowLines_;

    // The completions of async requests and the other calls for the dispatcher, in reply order.
    std::shared_ptr<base::SerialJobs> completions_;
    // The responder's own: completions it holds back from the dispatcher, until when, and when it
    // last finished a batch of datagrams.
    std::size_t heldCompletions_ = 0;
    RequestQueue::TimePoint holdUntil_ = RequestQueue::TimePoint::max();
    RequestQueue::TimePoint lastBatchAt_;
    std::unordered_map<std::uint64_t, net::IpAndPort> senders_;

    std::mutex startLock_;
    std::condition_variable startChanged_;
    std::array<ThreadState, 3> threadStates_{};

    std::thread m_sender_thread;
    std::thread m_receiver_thread;
    std::thread responderThread_;
    std::atomic<bool> stopping_{false};
    std::atomic<RequestQueue::Group> lastGroup_{0};
    // The callers waiting in sync: a stop wakes them, since no reply can reach them after it.
    std::mutex syncWaitersLock_;
    std::vector<TransferPtr> syncWaiters_;
};

}  // namespace device
