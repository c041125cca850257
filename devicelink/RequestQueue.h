#pragma once
// The rules of the requests to devices, apart from the socket, the threads and the locks of the
// transport: one priority queue per device address and port, at most one request in flight per
// device, one resend an interval after the first send, failure an interval after the resend
// (taking the device's queue with it, unless it asked a module behind the device), replies matched
// to the request they answer, and what a caller that gave up on a request leaves behind. A module's
// request waits while the device has requests of its own to send, and one in flight gives way to
// the device's next: it stays out, resent and failed on its own times, so that a silent module
// never holds up its device. Two requests of a device may then wait at once; a reply goes to the one
// its frame names, or, naming none, to the one it reads as the answer of, and never to a request
// sent after it came. Time comes from the clock seam. The transport calls it under its lock and
// carries out what it asks for: the sends and the completions.

#include <atomic>
#include <boost/container/small_vector.hpp>
#include <boost/smart_ptr/intrusive_ptr.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/NetworkAddress.h"

namespace device {

// A request's completion (reply text, ok), or a sniffer's view of one datagram.
using TransferHandler = std::function<void(const std::string& text, bool ok)>;

class RequestQueue {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // A device's address and port.
    using Key = std::pair<std::uint32_t, std::uint16_t>;
    // The requests of one job (a firmware update, a write of a device's memory), which a failure of
    // the job drops together; 0 for a request of no job.
    using Group = std::uint64_t;
    // Whose silence an unanswered request tells: the device's, so the requests queued behind it fail
    // with it; or only a module's behind the device (its line control), so it fails alone, gives way
    // to the device's own requests and the device's queue goes on.
    enum class Silence { device, module };
    // How the device answers a request of its own, which decides a reply that names no command while
    // a module's request waits beside it: in its answer words ("OK", "SUCCESS", "ERR" or its busy
    // text), so that any other text is the module's; or in text of any kind (a command the operator
    // typed, a poll of its diagnostic text), so that every reply naming no command is its.
    enum class Answer { deviceWords, anyText };

    struct Request {
        virtual ~Request() = default;
        int priority = 0;
        // Order of arrival within the device.
        std::uint32_t number = 0;
        // The command with its line feed.
        std::string text;
        // Empty for a request whose caller waits for it.
        TransferHandler handler;
        Group group = 0;
        Silence silence = Silence::device;
        Answer answer = Answer::deviceWords;
        std::chrono::microseconds interval{0};
        // When a waiting caller gives up, counted from queueing.
        TimePoint giveUpAt;
        // Set once, when the request is completed.
        bool done = false;
        // The socket took a datagram of it; set by the transport.
        bool sent = false;
        // When it was first sent: a datagram that came before cannot answer it.
        TimePoint firstSentAt{};
        // A datagram came for it: a reply, or the network's refusal (ok false).
        bool answered = false;
        bool ok = false;
        std::string response;
        // A waiting caller gave up while the request was in flight: requests queued from then on
        // (numbers from `abandonedBefore` up) have not waited for it and do not fail with it.
        bool abandoned = false;
        std::uint32_t abandonedBefore = 0;

    protected:
        // Called when the last holder lets go; a plain request is deleted, the transport's are
        // used again.
        virtual void recycle() { delete this; }

    private:
        // The queue, a waiting caller and a completion on its way each hold the request.
        std::atomic<std::uint32_t> holders_{0};
        friend void intrusive_ptr_add_ref(Request* request) {
            request->holders_.fetch_add(1, std::memory_order_relaxed);
        }
        friend void intrusive_ptr_release(Request* request) {
            if (request->holders_.fetch_sub(1, std::memory_order_acq_rel) == 1) request->recycle();
        }
    };
    using RequestPtr = boost::intrusive_ptr<Request>;

    struct Send {
        // The device's, which lives as long as the queue.
        const net::IpAndPort* address = nullptr;
        RequestPtr request;
        std::uint32_t attempt = 0;
    };
    struct Completion {
        RequestPtr request;
        // Set on a failed request: the text the handler gets.
        bool failed = false;
        // Whether the failed request was the one in flight.
        bool wasInFlight = false;
        // The device's next request went out at once, so its reply is on the way.
        bool followed = false;
    };
    // What the transport is to do after a call, in order: the sends, then the completions. A call
    // about one request finds room for them in place.
    struct Actions {
        boost::container::small_vector<Send, 2> sends;
        boost::container::small_vector<Completion, 2> completions;
        // The earliest deadline moved earlier: the thread that waits for it must wake.
        bool earlierDeadline = false;
        void clear() {
            sends.clear();
            completions.clear();
            earlierDeadline = false;
        }
    };

    enum class Match {
        accepted,
        // Nothing was sent to this address and port.
        noDevice,
        // Nothing waits, the reply names another command, or it is the late answer of one that ended.
        unexpected,
        // Received before the first send of the request it would answer (skippedText names it).
        beforeSending,
    };

    // Makes `request` (a new one, or one used before, of which nothing stays) the request for
    // `command`, of no group, whose silence is the device's and which it answers in its words. A
    // zero interval means one second (`zeroInterval` tells so). The deadline of a waiting caller is
    // two intervals as given plus 50 ms, counted from now.
    static RequestPtr makeRequest(RequestPtr request, const std::string& command, int priority,
                                  unsigned intervalMs, bool& zeroInterval);
    static Key keyOf(const net::IpAndPort& address) { return Key(address.getAddress(), address.getPort()); }

    // Queues a request. With `start`, an idle device's request goes out at once (a send in
    // `out`); otherwise it waits for startAll. False, with nothing queued, for an invalid address.
    bool add(const net::IpAndPort& address, const RequestPtr& request, bool start, Actions& out);
    // Sends the first request of every idle device that has some.
    void startAll(Actions& out);
    // The send of a request failed: the device's requests fail as on a time-out.
    void sendFailed(const Key& key, Actions& out);
    // Resends and fails the requests whose interval ran out by now.
    void expire(Actions& out);
    // The earliest time at which expire has something to do; max when nothing is in flight.
    TimePoint nextDeadline() const;
    // Matches a datagram from `from`, received at `receivedAt`, with the device's request in flight
    // or its module's that gave way. A reply that names a command in its frame goes to the one it
    // names whole, else to the one it names by first words, unless it names whole a request that
    // ended while its late answer may still come. One that names none goes to the only request
    // waiting; with two, to the one in flight when it is in the device's answer words or that
    // request takes any text, else to the module's. An accepted reply completes its request, and
    // the device's next request goes out.
    // `refused`, when not empty, is the datagram whose refusal by the network this is: it fails
    // the request that datagram carried, not an earlier request.
    Match reply(const Key& from, TimePoint receivedAt, bool ok, const std::string& data, Actions& out,
                const std::string& refused = std::string());
    // A waiting caller gives up: a request not sent yet is withdrawn (true); one in flight (or out,
    // having given way) is left to finish without taking later requests with it.
    bool giveUp(const Key& key, const RequestPtr& request);
    // Drops the queued requests of the device without completing them; the one in flight stays.
    bool erase(const Key& key);
    // The same for the device's queued requests of one group: the other callers' requests stay.
    // The count dropped.
    std::size_t erase(const Key& key, Group group);

    // The request that the last datagram received before its first send would have answered.
    const std::string& skippedText() const { return skipped_; }
    // Devices with a request in flight, out or queued.
    std::size_t busyDevices() const;
    std::size_t queuedRequests(const Key& key) const;

private:
    // A queued request with its order beside it, so that the heap compares without reaching into
    // the requests.
    struct Queued {
        int priority = 0;
        std::uint32_t number = 0;
        RequestPtr request;
    };
    struct Device;
    using Deadlines = std::set<std::pair<TimePoint, Device*>>;
    struct Device {
        net::IpAndPort address;
        std::uint32_t attempts = 0;
        std::uint32_t nextNumber = 0;
        TimePoint lastSend{};
        // The earlier of the resend or failure of `current` (`due`) and the end of `aside`.
        TimePoint deadline = TimePoint::max();
        TimePoint due = TimePoint::max();
        // The place of the device's deadline among the others while it has none, kept for the next.
        Deadlines::node_type spareDeadline;
        RequestPtr current;
        // A module's request that gave way to the device's own: out, sent `asideAttempts` times; at
        // `asideUntil` it is sent again, or fails once it was.
        RequestPtr aside;
        std::uint32_t asideAttempts = 0;
        TimePoint asideUntil = TimePoint::max();
        // Requests that ended while an answer of theirs may still come (failed, or answered once of
        // two sends), until when; a few of the latest.
        struct Ended {
            std::string text;
            TimePoint until;
        };
        std::vector<Ended> ended;
        // A heap: the greatest priority on top, equal priorities first in, first out.
        std::vector<Queued> queue;
    };

    static bool below(const Queued& a, const Queued& b);
    static void push(Device& device, RequestPtr request);
    static RequestPtr pop(Device& device);
    // The device's next request to send: its own first; a module's only while none of its own waits
    // and no other module's is out. Null when there is none.
    static RequestPtr popNext(Device& device);
    void startNext(Device& device, TimePoint now, Actions& out);
    void send(Device& device, TimePoint now, Actions& out);
    // The module's request in flight gives way to the device's requests waiting.
    void giveWay(Device& device, TimePoint now, Actions& out);
    // Files the device's deadline anew from `due` and `asideUntil`.
    void reschedule(Device& device, Actions& out);
    void setDeadline(Device& device, TimePoint deadline, Actions& out);
    void fail(Device& device, Actions& out);
    void resendAside(Device& device, TimePoint now, Actions& out);
    void failAside(Device& device, Actions& out);
    // Keeps the text of a request that ended while an answer of it may still come.
    static void remember(Device& device, const Request& request, TimePoint now);
    // Where a request of the device waits: in flight or aside.
    using Slot = RequestPtr Device::*;
    // The request a datagram answers: the device's in flight, its module's aside, or neither (null).
    static Slot answeredBy(const Device& device, const std::string& data, const std::string& refused,
                           TimePoint receivedAt);
    static RequestPtr takeAside(Device& device);
    // With a request in flight, files the device's deadline anew; without, sends its next request.
    void goOn(Device& device, Actions& out);

    // Ordered by address and port, greater first.
    std::map<Key, Device, std::greater<Key>> devices_;
    Deadlines deadlines_;
    std::string skipped_;
};

}  // namespace device
