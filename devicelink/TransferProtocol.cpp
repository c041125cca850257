#include "devicelink/TransferProtocol.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/format.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "devicelink/ReplyWatch.h"
#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/SerialJobs.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "foundation/ThreadRole.h"

namespace device {
namespace {

constexpr std::size_t kReceiveBuffer = 1500;
// Datagrams taken from the socket in one call.
constexpr unsigned kReceiveBatch = 32;
// Calls for the dispatcher that the network brings (sniffers, unknown replies) that may wait; the
// completions of requests always find room.
constexpr std::size_t kWaitingCalls = 4096;
// Received datagrams that may wait for the responder, in all and from one sender.
constexpr std::size_t kWaitingDatagrams = 4096;
constexpr std::uint32_t kWaitingPerSender = 128;
// Room for received datagrams that the queues keep after a burst.
constexpr std::size_t kKeptCapacity = 256;
// Senders whose addresses the responder keeps as values; a flood of others starts the list anew.
constexpr std::size_t kKeptSenders = 8192;
// Completions the responder gathers before it wakes the dispatcher, and for how long at most.
constexpr std::size_t kHeldCompletions = 128;
constexpr auto kHoldTime = std::chrono::milliseconds(1);
// Requests kept for reuse once done, and the room of their texts that they may keep in all.
constexpr std::size_t kIdleTransfers = 4096;
constexpr std::size_t kIdleTextBytes = 4 * 1024 * 1024;
// How long the sender lets the responder match replies that have arrived before it resends or
// fails a request.
constexpr int kReplyGraceSteps = 5;
constexpr auto kReplyGraceStep = std::chrono::milliseconds(1);
// How often one datagram is handed to the socket before a failed send counts as its own.
constexpr int kSendTries = 3;
// How long run() gives each of its threads to start or to end.
constexpr auto kStartWait = std::chrono::milliseconds(100);
// The time before a resend that the sender tells when no request was sent again, in microseconds.
constexpr std::int64_t kDefaultBeforeResend = 1'000'000;

inline void relaxCpu() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

net::IpAndPort fromSockaddr(const sockaddr_in& socketAddress) {
    return net::IpAndPort(ntohl(socketAddress.sin_addr.s_addr), ntohs(socketAddress.sin_port));
}

sockaddr_in toSockaddr(const net::IpAndPort& address) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = htonl(address.getAddress());
    socketAddress.sin_port = htons(address.getPort());
    return socketAddress;
}

const char* boolText(bool value) {
    return value ? "true" : "false";
}

std::uint64_t senderKey(const RequestQueue::Key& from) {
    return std::uint64_t{from.first} << 16 | from.second;
}

}  // namespace

// A request with what its waiting caller sleeps on, made by the transport's Transfers and given
// back to them when its last holder lets go.
struct TransferProtocol::Transfer : RequestQueue::Request {
    std::mutex lock;
    std::condition_variable finished;
    bool signalled = false;
    // How the request ended, for its completion: no answer (the failure text) or the reply, and
    // whether it failed in flight or queued behind the one that did.
    bool failed = false;
    bool failedInFlight = false;
    // The device it went to.
    RequestQueue::Key device;
    Transfers* owner = nullptr;
    // The place in the owner's list of all transfers.
    std::size_t slot = 0;
    // The room of its texts, counted while it waits for reuse.
    std::size_t keptBytes = 0;

private:
    void recycle() override;
};

// The requests of one transport, made once and used again, texts and all. They belong to it:
// those that a completion queue closed at the end never gave back go with it. A completion that
// runs holds them too, since its handler may let go of the transport itself.
class TransferProtocol::Transfers : public std::enable_shared_from_this<Transfers> {
public:
    Transfers() = default;
    Transfers(const Transfers&) = delete;
    Transfers& operator=(const Transfers&) = delete;
    ~Transfers() {
        for (Transfer* transfer : all_) delete transfer;
    }

    TransferPtr take() {
        Transfer* transfer = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!idle_.empty()) {
                transfer = idle_.back();
                idle_.pop_back();
                idleBytes_ -= transfer->keptBytes;
            }
        }
        if (transfer) {
            reset(*transfer);
            return TransferPtr(transfer);
        }
        auto made = std::make_unique<Transfer>();
        made->owner = this;
        std::lock_guard<std::mutex> guard(lock_);
        made->slot = all_.size();
        all_.push_back(made.get());
        return TransferPtr(made.release());
    }

    void put(Transfer* transfer) {
        // What the handler holds goes now, and outside the lock.
        transfer->handler = nullptr;
        transfer->keptBytes = transfer->text.capacity() + transfer->response.capacity();
        std::unique_lock<std::mutex> guard(lock_);
        if (idle_.size() < kIdleTransfers && idleBytes_ + transfer->keptBytes <= kIdleTextBytes) {
            idleBytes_ += transfer->keptBytes;
            idle_.push_back(transfer);
            return;
        }
        Transfer* const last = all_.back();
        last->slot = transfer->slot;
        all_[transfer->slot] = last;
        all_.pop_back();
        guard.unlock();
        delete transfer;
    }

private:
    // What the request itself carried, RequestQueue::makeRequest makes anew.
    static void reset(Transfer& transfer) {
        transfer.signalled = false;
        transfer.failed = false;
        transfer.failedInFlight = false;
        transfer.device = RequestQueue::Key();
    }

    std::mutex lock_;
    std::vector<Transfer*> all_;
    std::vector<Transfer*> idle_;
    std::size_t idleBytes_ = 0;
};

void TransferProtocol::Transfer::recycle() {
    owner->put(this);
}

// The completion of an async request on the dispatcher: small enough for the job to hold it in
// place, it carries the holding of its transfer, which it lets go once the handler has run. The
// completion queue moves its jobs and runs each at most once; one it drops when it closes leaves
// its transfer to the Transfers.
struct TransferProtocol::CompletionCall {
    Transfer* transfer;
    void operator()() const {
        // Goes last: the transfer is given back first.
        const std::shared_ptr<Transfers> transfers = transfer->owner->shared_from_this();
        const TransferPtr held(transfer, false);
        try {
            if (held->failed) {
                held->handler(noAnswerText(), false);
            } else {
                held->handler(held->response, held->ok);
            }
        } catch (...) {
            // Told here, while the transfer is still held for the description.
            base::ThreadDispatcher::reportFailure(description());
        }
    }
    std::wstring description() const {
        if (transfer->failed) {
            return transfer->failedInFlight ? L"transfer protocol: timeout for current data"
                                            : L"transfer protocol: timeout";
        }
        return (boost::wformat(L"transfer protocol: callback for device '%1%' with data '%2%'") %
                net::IpAndPort(transfer->device.first, transfer->device.second).getWideText() %
                base::widen(transfer->response))
            .str();
    }
    // For the lines of the completion queue, before the call runs.
    static std::wstring describe(const base::SerialJobs::Job& job) {
        const CompletionCall* call = job.target<CompletionCall>();
        return call ? call->description() : std::wstring();
    }
};

const std::string& TransferProtocol::noAnswerText() {
    static const std::string text = base::narrow(L"Устройство не отвечает");
    return text;
}

TransferProtocol::TransferProtocol(unsigned basePort, const std::string& interfaceAddress)
    : transfers_(std::make_shared<Transfers>()),
      completions_(std::make_shared<base::SerialJobs>(
          L"transfer protocol: completions", kWaitingCalls,
          L"transfer protocol: %1% calls wait for the dispatcher, further replies are dropped")) {
    create_socket(basePort, interfaceAddress);
}

TransferProtocol::~TransferProtocol() {
    const debug::Place place("device::TransferProtocol::~TransferProtocol");
    place.trace(L"~TransferProtocol() begin");
    stop();
    completions_->close();
    if (socket_ >= 0) ::close(socket_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    place.trace2(L"~TransferProtocol() end");
}

void TransferProtocol::create_socket(unsigned basePort, const std::string& interfaceAddress) {
    const debug::Place place("device::TransferProtocol::create_socket");
    unsigned a = 0, b = 0, c = 0, d = 0, port = 0;
    char tail = 0, last = 0;
    const int fields =
        std::sscanf(interfaceAddress.c_str(), "%u.%u.%u.%u%c%u%c", &a, &b, &c, &d, &tail, &port, &last);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(basePort));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fields == 4 && a <= 255 && b <= 255 && c <= 255 && d <= 255) {
        local.sin_addr.s_addr = htonl((a << 24) | (b << 16) | (c << 8) | d);
    }

    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int error = socket_ < 0 ? errno : 0;
    if (error == 0 && ::bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) error = errno;
    if (error != 0) {
        const int code = os::toSocketErrorCode(error);
        if (code == os::kWsaAddressInUse) {
            place.fatal(L"Командный порт занят");
        } else if (code == os::kWsaAddressNotAvailable) {
            place.fatal(
                L"Адрес '%1%' недоступен для привязки (он может быть занят другим устройством в вашей сети)",
                interfaceAddress);
        } else {
            place.fatal(L"Неправильный адрес '%1%'. Код ошибки '%2%', описание '%3%'", interfaceAddress, code,
                        os::errorText(error));
        }
        if (socket_ >= 0) ::close(socket_);
        socket_ = -1;
        base::Log::notifyInstance();
        throw exception::StopProgram();
    }
    // An ICMP "port unreachable" for a request arrives on the error queue with the
    // address it was sent to, so it can complete that device's request at once.
    const int on = 1;
    ::setsockopt(socket_, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    // Hundreds of devices send their status packets at about the same moment; the
    // default receive buffer would drop some of a burst before the receiver reads them.
    const int receiveBuffer = 4 * 1024 * 1024;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Without it the receiver could never be stopped: it will refuse to start.
    if (wakeFd_ < 0) place.error(L"receiver: no wake handle: %1%", os::errorText(errno));
}

void TransferProtocol::run() {
    {
        std::lock_guard<std::recursive_mutex> main(mainLock_);
        stopping_ = false;
    }
    // Nothing is sent before the three threads are known to run.
    startThread(m_receiver_thread, receiverIndex, &TransferProtocol::receiver_thread, L"!m_receiver_thread");
    startThread(m_sender_thread, senderIndex, &TransferProtocol::sender_thread, L"!m_sender_thread");
    startThread(responderThread_, responderIndex, &TransferProtocol::responder_thread, L"!responder_thread");
    RequestQueue::Actions actions;
    {
        std::lock_guard<std::recursive_mutex> main(mainLock_);
        running_ = true;
        // Requests queued before the threads run go out now.
        requests_.startAll(actions);
        carryOut(actions);
    }
    complete(actions);
}

void TransferProtocol::startThread(std::thread& thread, std::size_t index, void (TransferProtocol::*body)(),
                                   const wchar_t* fatalLine) {
    {
        std::lock_guard<std::mutex> guard(startLock_);
        threadStates_[index] = ThreadState::starting;
    }
    thread = std::thread([this, index, body] {
        (this->*body)();
        std::lock_guard<std::mutex> guard(startLock_);
        threadStates_[index] = ThreadState::ended;
        startChanged_.notify_all();
    });
    std::unique_lock<std::mutex> guard(startLock_);
    // A thread that has not ended within the time counts as started.
    startChanged_.wait_for(guard, kStartWait, [&] { return threadStates_[index] != ThreadState::starting; });
    if (threadStates_[index] != ThreadState::ended) return;
    guard.unlock();
    debug::Place("device::TransferProtocol::run").fatal(fatalLine);
    stop();
    base::Log::notifyInstance();
    throw exception::StopProgram();
}

void TransferProtocol::reportStarted(std::size_t index) {
    std::lock_guard<std::mutex> guard(startLock_);
    threadStates_[index] = ThreadState::running;
    startChanged_.notify_all();
}

void TransferProtocol::stop() {
    clearSniffers();
    {
        std::lock_guard<std::recursive_mutex> main(mainLock_);
        std::lock_guard<std::mutex> receive(receiveLock_);
        stopping_ = true;
        running_ = false;
    }
    senderCondition_.notify_all();
    responderCondition_.notify_all();
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    // Every thread is joined before the socket can go away.
    for (std::thread* thread : {&m_sender_thread, &m_receiver_thread, &responderThread_}) {
        if (thread->joinable()) thread->join();
    }
    // No reply can come any more: the callers still waiting fail now rather than at their
    // give-up times.
    Calls waiting;
    {
        std::lock_guard<std::mutex> guard(syncWaitersLock_);
        waiting.waiters = syncWaiters_;
    }
    wakeWaiters(waiting);
    if (wakeFd_ >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(wakeFd_, &count, sizeof count);
    }
}

void TransferProtocol::setAllResponseHandler(ResponseHandler handler) {
    debug::Place("device::TransferProtocol::setAllResponseHandler").trace(L"setAllResponseHandler");
    std::atomic_store(&allResponseHandler_, std::make_shared<const ResponseHandler>(std::move(handler)));
}

void TransferProtocol::setUnknownResponseHandler(ResponseHandler handler) {
    debug::Place("device::TransferProtocol::setUnknownResponseHandler").trace(L"setUnknownResponseHandler");
    std::atomic_store(&unknownResponseHandler_, std::make_shared<const ResponseHandler>(std::move(handler)));
}

void TransferProtocol::setSniffer(const net::IpAndPort& address, TransferHandler handler) {
    std::lock_guard<std::recursive_mutex> main(mainLock_);
    m_sniffers[RequestQueue::keyOf(address)] = std::move(handler);
}

void TransferProtocol::clearSniffers() {
    std::lock_guard<std::recursive_mutex> main(mainLock_);
    m_sniffers.clear();
}

bool TransferProtocol::add_to_queue(const net::IpAndPort& address, const TransferPtr& transfer) {
    const debug::Place place("device::TransferProtocol::add_to_queue");
    RequestQueue::Actions actions;
    {
        std::lock_guard<std::recursive_mutex> main(mainLock_);
        place.trace2(L"add_to_queue, ip: %1%, len: %2%, data: %3%", address.getWideText(),
                     transfer->text.size(), transfer->text);
        transfer->device = RequestQueue::keyOf(address);
        // An idle device gets its request at once from the caller's thread.
        if (!requests_.add(address, transfer, running_, actions)) {
            place.warn(L"Адрес отправки не определён");
            return false;
        }
        carryOut(actions);
        wakeSenderIfEarlier(actions);
    }
    complete(actions);
    return true;
}

void TransferProtocol::wakeSenderIfEarlier(const RequestQueue::Actions& actions) {
    if (!actions.earlierDeadline) return;
    const RequestQueue::TimePoint next = requests_.nextDeadline();
    if (next >= senderWakeAt_) return;
    senderWakeAt_ = next;
    senderCondition_.notify_one();
}

void TransferProtocol::carryOut(RequestQueue::Actions& actions) {
    // A failed send adds the device's next request to the list, so it is walked by index; the
    // sends are handed to the socket in batches.
    constexpr std::size_t kBatch = 64;
    sockaddr_in destinations[kBatch];
    iovec parts[kBatch];
    mmsghdr messages[kBatch];
    std::size_t next = 0;
    int failedTries = 0;
    while (next < actions.sends.size()) {
        const std::size_t count = std::min(kBatch, actions.sends.size() - next);
        for (std::size_t i = 0; i < count; ++i) {
            const RequestQueue::Send& send = actions.sends[next + i];
            destinations[i] = toSockaddr(*send.address);
            parts[i] = iovec{const_cast<char*>(send.request->text.data()), send.request->text.size()};
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_name = &destinations[i];
            messages[i].msg_hdr.msg_namelen = sizeof destinations[i];
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        // The socket takes the datagrams without the main lock, which callers queueing requests and
        // the responder matching replies would otherwise wait for. The requests stay as they are
        // meanwhile: their texts never change, and a request in flight is neither resent nor
        // failed before its interval has run. While a sniffer watches a device, the lock is kept, so
        // that no reply is matched, and shown, before the sniffer has seen its request go out.
        const bool unlocked = m_sniffers.empty();
        if (unlocked) mainLock_.unlock();
        const int sent = ::sendmmsg(socket_, messages, static_cast<unsigned>(count), MSG_NOSIGNAL);
        const int error = sent < 0 ? errno : 0;
        if (sent > 0) {
            lastSendAt_.store(ReplyWatch::Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        }
        if (unlocked) mainLock_.lock();
        // The messages before the first that failed went out; the call after a partial batch tells
        // the error of the first one left.
        const std::size_t done = sent < 0 ? 0 : static_cast<std::size_t>(sent);
        for (std::size_t i = 0; i < done; ++i) {
            reportSend(actions.sends[next + i], messages[i].msg_len, 0);
            actions.sends[next + i].request->sent = true;
        }
        next += done;
        if (done > 0) {
            failedTries = 0;
            continue;
        }
        // The socket hands the refusal of an earlier datagram, to any device, to the next send,
        // which then does not go out; only a datagram whose own sends keep failing fails.
        if (++failedTries < kSendTries) continue;
        failedTries = 0;
        const RequestQueue::Key key = RequestQueue::keyOf(*actions.sends[next].address);
        const bool ok = reportSend(actions.sends[next], -1, error);
        ++next;
        if (!ok) requests_.sendFailed(key, actions);
    }
}

bool TransferProtocol::reportSend(const RequestQueue::Send& send, ssize_t sent, int error) {
    const debug::Place place("device::TransferProtocol::reportSend");
    const std::string& text = send.request->text;
    if (send.attempt > 1) place.debug(L"sender: repeat response... %1%", send.attempt);
    const bool whole = sent == static_cast<ssize_t>(text.size());
    place.trace(L"sent udp %3% (%1%, %2%), len: %4%, buf: %5%", boolText(whole), send.attempt,
                send.address->getWideText(), text.size(), text);
    if (!m_sniffers.empty()) {
        const auto sniffer = m_sniffers.find(RequestQueue::keyOf(*send.address));
        if (sniffer != m_sniffers.end() && sniffer->second) sniffer->second(text, whole);
    }
    const int code = os::toSocketErrorCode(error);
    if ((whole && error == 0) || code == os::kWsaMessageTooLong) return true;
    place.warn(L"sender: failed to send message. result sent: %1%, ip: %2%, value: %3%, message: %4%",
               static_cast<long long>(sent), send.address->getWideText(), code, os::errorText(error));
    return false;
}

void TransferProtocol::collect(RequestQueue::Actions& actions, Calls& calls) {
    for (RequestQueue::Completion& completion : actions.completions) {
        TransferPtr transfer(static_cast<Transfer*>(completion.request.detach()), false);
        if (!transfer->handler) {
            calls.waiters.push_back(std::move(transfer));
            continue;
        }
        // The outcome was written under the main lock by this same thread, and an `async` request is
        // completed once: nothing touches it but its completion from here on.
        transfer->failed = completion.failed;
        transfer->failedInFlight = completion.wasInFlight;
        calls.followed = calls.followed && completion.followed;
        calls.jobs.push_back(
            base::SerialJobs::Item{CompletionCall{transfer.detach()}, false, 0, &CompletionCall::describe});
    }
    actions.completions.clear();
}

void TransferProtocol::wakeWaiters(Calls& calls) {
    for (const TransferPtr& transfer : calls.waiters) {
        {
            std::lock_guard<std::mutex> guard(transfer->lock);
            transfer->signalled = true;
        }
        transfer->finished.notify_one();
    }
    calls.waiters.clear();
}

void TransferProtocol::finish(Calls& calls) {
    wakeWaiters(calls);
    calls.followed = true;
    completions_->push(calls.jobs);
}

void TransferProtocol::finishBatch(Calls& calls) {
    wakeWaiters(calls);
    // A bound of real time, whatever clock the requests go by.
    const auto now = std::chrono::steady_clock::now();
    // Replies that come in quick succession are worth gathering; one that comes after a long
    // pause would only make the next wait for the hold to run out.
    const bool quick = now - lastBatchAt_ < kHoldTime;
    lastBatchAt_ = now;
    if (!calls.jobs.empty()) {
        if (quick && calls.followed && heldCompletions_ + calls.jobs.size() <= kHeldCompletions) {
            // The devices of these completions have their next requests out: their replies come
            // soon, and the dispatcher is woken once for all of them.
            if (heldCompletions_ == 0) holdUntil_ = now + kHoldTime;
            heldCompletions_ += calls.jobs.size();
            completions_->hold(calls.jobs);
        } else {
            // Those held back go first.
            completions_->push(calls.jobs);
            heldCompletions_ = 0;
            holdUntil_ = RequestQueue::TimePoint::max();
        }
    }
    calls.followed = true;
    if (heldCompletions_ > 0 && now >= holdUntil_) releaseHeld();
}

void TransferProtocol::releaseHeld() {
    completions_->release();
    heldCompletions_ = 0;
    holdUntil_ = RequestQueue::TimePoint::max();
}

void TransferProtocol::complete(RequestQueue::Actions& actions) {
    Calls calls;
    collect(actions, calls);
    finish(calls);
}

bool TransferProtocol::sync(const net::IpAndPort& address, const std::string& request, std::string& response,
                            int priority, unsigned intervalMs) {
    bool refused = false;
    return sync(address, request, response, priority, intervalMs, refused);
}

bool TransferProtocol::sync(const net::IpAndPort& address, const std::string& request, std::string& response,
                            int priority, unsigned intervalMs, bool& refused, RequestQueue::Silence silence) {
    const debug::Place place("device::TransferProtocol::sync");
    refused = false;
    place.trace2(L"synchronous transfer is started. the request '%1%'", request);
    // The window must never wait on the network, and the transport's own threads would wait on
    // themselves.
    if (!os::mayWaitForDevice("device::TransferProtocol::sync", request, address.getWideText())) {
        refused = true;
        return false;
    }
    const TransferPtr transfer = transfers_->take();
    bool zeroInterval = false;
    RequestQueue::makeRequest(transfer, request, priority, intervalMs, zeroInterval);
    if (zeroInterval) place.error(L"Время ожидания перед повторной отправкой слишком мало");
    transfer->silence = silence;
    {
        std::lock_guard<std::mutex> guard(syncWaitersLock_);
        if (stopping_) {
            place.debug(L"transfer_sync: the transport is stopped. ip: %1%, request: %2%",
                        address.getWideText(), transfer->text);
            refused = true;
            return false;
        }
        syncWaiters_.push_back(transfer);
    }
    const bool queued = add_to_queue(address, transfer);
    if (queued) {
        // The give-up time is on the program's clock, as the sender's resends are: a clock that
        // stands still keeps the caller waiting as it keeps the request in flight, until the
        // transport stops.
        std::unique_lock<std::mutex> guard(transfer->lock);
        while (!transfer->signalled) {
            const auto left = transfer->giveUpAt - base::clock::steadyNow();
            if (left <= left.zero()) break;
            transfer->finished.wait_for(guard, left);
        }
    }
    {
        std::lock_guard<std::mutex> guard(syncWaitersLock_);
        syncWaiters_.erase(std::find(syncWaiters_.begin(), syncWaiters_.end(), transfer));
    }
    if (!queued) return false;
    std::lock_guard<std::recursive_mutex> main(mainLock_);
    if (!transfer->done || !transfer->ok) {
        place.important(L"transfer_sync: timeout. ip: %1%, request: %2%", address.getWideText(),
                        transfer->text);
    }
    if (!transfer->done) {
        // A request that never went out is withdrawn: the caller was told it failed,
        // so it must not be carried out later.
        if (requests_.giveUp(RequestQueue::keyOf(address), transfer)) {
            place.debug(L"transfer_sync: the request was never sent and is withdrawn. ip: %1%",
                        address.getWideText());
        }
    }
    // A request that never left the socket (withdrawn, or failed with the request in flight before
    // it) cannot have reached the device either.
    refused = !transfer->sent || (transfer->done && transfer->answered && !transfer->ok);
    if (transfer->done && transfer->ok) {
        response = transfer->response;
        place.trace2(
            L"transfer_sync: synchronous transfer is ended. the request '%1%' has the response '%2%'",
            transfer->text, transfer->response);
        return true;
    }
    place.debug(L"transfer_sync: device does not response(timeout). ip: %1%, request: %2%",
                address.getWideText(), transfer->text);
    return false;
}

bool TransferProtocol::async(const net::IpAndPort& address, const std::string& request,
                             TransferHandler handler, int priority, unsigned intervalMs,
                             RequestQueue::Group group, RequestQueue::Silence silence,
                             RequestQueue::Answer answer) {
    const debug::Place place("device::TransferProtocol::async");
    place.trace2(L"transfer asynchronous");
    const TransferPtr transfer = transfers_->take();
    bool zeroInterval = false;
    RequestQueue::makeRequest(transfer, request, priority, intervalMs, zeroInterval);
    if (zeroInterval) place.error(L"Время ожидания перед повторной отправкой слишком мало");
    transfer->handler = std::move(handler);
    transfer->group = group;
    transfer->silence = silence;
    transfer->answer = answer;
    return add_to_queue(address, transfer);
}

RequestQueue::Group TransferProtocol::newGroup() {
    return ++lastGroup_;
}

void TransferProtocol::eraseQueue(const net::IpAndPort& address) {
    const debug::Place place("device::TransferProtocol::eraseQueue");
    place.trace(L"Erase a queue of the device '%1%'.", address.getWideText());
    std::lock_guard<std::recursive_mutex> main(mainLock_);
    if (requests_.erase(RequestQueue::keyOf(address))) {
        place.debug(L"transfer protocol: erased queue for address %1%", address.getWideText());
    }
}

void TransferProtocol::eraseQueue(const net::IpAndPort& address, RequestQueue::Group group) {
    const debug::Place place("device::TransferProtocol::eraseQueue");
    place.trace(L"Erase a queue of the device '%1%'.", address.getWideText());
    std::lock_guard<std::recursive_mutex> main(mainLock_);
    const std::size_t dropped = requests_.erase(RequestQueue::keyOf(address), group);
    place.debug(L"transfer protocol: erased queue for address %1%", address.getWideText());
    place.trace(L"%1% requests of the job dropped, %2% of other callers kept queued", dropped,
                requests_.queuedRequests(RequestQueue::keyOf(address)));
}

void TransferProtocol::sender_thread() {
    pthread_setname_np(pthread_self(), "transport-send");
    os::setThreadRole(os::ThreadRole::transportSender);
    const debug::Place place("device::TransferProtocol::sender_thread");
    std::unique_lock<std::recursive_mutex> main(mainLock_);
    reportStarted(senderIndex);
    int graceSteps = 0;
    RequestQueue::TimePoint waitedFrom = base::clock::steadyNow();
    // The shortest interval of the requests that the last pass sent again, which their next
    // deadlines follow.
    std::int64_t beforeResend = kDefaultBeforeResend;
    for (;;) {
        if (stopping_) {
            place.debug(L"sender: Thread stopped");
            return;
        }
        const RequestQueue::TimePoint next = requests_.nextDeadline();
        const RequestQueue::TimePoint now = base::clock::steadyNow();
        if (next > now) {
            graceSteps = 0;
            senderWakeAt_ = next;
            waitedFrom = now;
            if (next == RequestQueue::TimePoint::max()) {
                place.trace3(
                    L"sender: calculated waiting time is %1% uS (minimum waiting is %2% uS, time before "
                    L"resend is %3% uS)",
                    -1, std::numeric_limits<std::int64_t>::max(), beforeResend);
                beforeResend = kDefaultBeforeResend;
                place.trace3(L"sender: entry wait for %1% uS", -1);
                senderCondition_.wait(main);
                place.trace3(L"sender: leave wait. Time was reached=%1%", boolText(false));
            } else {
                // The requests in flight wait for their replies until the earliest deadline.
                const std::int64_t wait =
                    std::chrono::duration_cast<std::chrono::microseconds>(next - now).count();
                place.trace3(L"sender: continue to wait");
                place.trace3(
                    L"sender: calculated waiting time is %1% uS (minimum waiting is %2% uS, time before "
                    L"resend is %3% uS)",
                    wait, wait, beforeResend);
                beforeResend = kDefaultBeforeResend;
                place.trace3(L"sender: entry wait for %1% uS", wait);
                const bool reached = senderCondition_.wait_for(main, next - now) == std::cv_status::timeout;
                place.trace3(L"sender: leave wait. Time was reached=%1%", boolText(reached));
            }
            continue;
        }
        // A resend or a failure is due: replies that have already arrived are matched first.
        bool repliesWaiting = false;
        {
            std::lock_guard<std::mutex> receive(receiveLock_);
            repliesWaiting = receivedCount_ > 0;
        }
        if (repliesWaiting && graceSteps < kReplyGraceSteps) {
            if (graceSteps == 0) {
                place.trace3(L"sender: the thread is overslept, duration %1% uS",
                             std::chrono::duration_cast<std::chrono::microseconds>(now - waitedFrom).count());
            }
            ++graceSteps;
            place.trace3(L"sender: wait response processing...");
            main.unlock();
            std::this_thread::sleep_for(kReplyGraceStep);
            main.lock();
            continue;
        }
        graceSteps = 0;
        RequestQueue::Actions actions;
        requests_.expire(actions);
        for (const RequestQueue::Send& send : actions.sends)
            beforeResend = std::min<std::int64_t>(beforeResend, send.request->interval.count());
        carryOut(actions);
        main.unlock();
        complete(actions);
        main.lock();
    }
}

void TransferProtocol::receiver_thread() {
    pthread_setname_np(pthread_self(), "transport-recv");
    os::setThreadRole(os::ThreadRole::transportReceiver);
    const debug::Place place("device::TransferProtocol::receiver_thread");
    if (socket_ < 0 || wakeFd_ < 0) return;
    reportStarted(receiverIndex);
    char buffer[kReceiveBuffer];
    try {
        for (;;) {
            place.trace2(L"receiver: waiting data...");
            pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            const int ready = ::poll(fds, 2, -1);
            if (stopping_ || (ready > 0 && (fds[1].revents & POLLIN))) {
                place.debug(L"receiver: interruption requested: %1%, code: %2%", boolText(true), 0);
                return;
            }
            if (ready < 0) {
                if (errno == EINTR) continue;
                place.warn(L"receiver: error code: %1%, message: %2%", os::toSocketErrorCode(errno),
                           os::errorText(errno));
                continue;
            }
            if (fds[0].revents & POLLERR) {
                receiveError(buffer);
            } else if (fds[0].revents & POLLIN) {
                receiveDatagrams();
            }
        }
    } catch (const std::system_error& error) {
        place.fatal(L"receiver: udp error, code(value): %1%, code(message)%2%; what: %3%",
                    error.code().value(), os::errorText(error.code().value()), exception::textOf(error));
    } catch (const std::exception& error) {
        place.fatal(L"receiver: udp error, what: %1%", exception::textOf(error));
    } catch (...) {
        place.fatal(L"receiver: unknown udp error");
    }
    // Without its receiver the program cannot reach any device; a thread cannot hand
    // StopProgram to the main loop, so the program ends here once the log is written.
    base::Log::notifyInstance();
    std::_Exit(1);
}

// An error from the socket's error queue, reported as a failed datagram from the
// address the refused request was sent to.
void TransferProtocol::receiveError(char* buffer) {
    const debug::Place place("device::TransferProtocol::receiveError");
    sockaddr_in offender{};
    char control[512];
    iovec part{buffer, kReceiveBuffer};
    msghdr message{};
    message.msg_name = &offender;
    message.msg_namelen = sizeof offender;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = ::recvmsg(socket_, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (length < 0) return;
    int error = 0;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_RECVERR) {
            sock_extended_err extended;
            std::memcpy(&extended, CMSG_DATA(header), sizeof extended);
            error = static_cast<int>(extended.ee_errno);
        }
    }
    const net::IpAndPort from = fromSockaddr(offender);
    const int code = os::toSocketErrorCode(error);
    place.trace(L"received udp %1%:%2% len: %3%, buf: %4%", from.getText(), from.getPort(), 0, "");
    if (code == os::kWsaConnectionReset) {
        place.debug(L"receiver: destination is unreachable. code: %1%, message: %2%", code,
                    os::errorText(error));
    } else if (code == os::kWsaMessageTooLong || code == os::kWsaBadHandle || code == os::kWsaInterrupted) {
        place.debug(L"receiver: error code: %1%, message: %2%", code, os::errorText(error));
    } else {
        place.warn(L"receiver: error code: %1%, message: %2%", code, os::errorText(error));
    }
    if (!from.isValid()) {
        place.debug(L"receiver: incorrect remote ip");
        return;
    }
    const RequestQueue::Key key = RequestQueue::keyOf(from);
    std::unique_lock<std::mutex> receive(receiveLock_);
    Received* record = admitReceived(key);
    if (record) {
        record->ok = false;
        record->data.clear();
        record->from = key;
        record->receivedAt = base::clock::steadyNow();
        // The error queue hands back the refused datagram: the request it carried.
        record->refused.assign(buffer,
                               std::min<std::size_t>(static_cast<std::size_t>(length), kReceiveBuffer));
    }
    receivedQueued(receive, !record, key);
}

void TransferProtocol::receiveDatagrams() {
    const debug::Place place("device::TransferProtocol::receiveDatagrams");
    static thread_local char batch[kReceiveBatch][kReceiveBuffer];
    sockaddr_in sources[kReceiveBatch];
    iovec parts[kReceiveBatch];
    mmsghdr messages[kReceiveBatch];
    for (unsigned i = 0; i < kReceiveBatch; ++i) {
        parts[i] = iovec{batch[i], kReceiveBuffer};
        messages[i] = mmsghdr{};
        messages[i].msg_hdr.msg_name = &sources[i];
        messages[i].msg_hdr.msg_namelen = sizeof sources[i];
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    // MSG_TRUNC: a longer datagram is taken as its first 1500 bytes, never written past.
    const int count = ::recvmmsg(socket_, messages, kReceiveBatch, MSG_TRUNC | MSG_DONTWAIT, nullptr);
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        const int code = os::toSocketErrorCode(errno);
        place.warn(L"receiver: error code: %1%, message: %2%", code, os::errorText(errno));
        return;
    }
    const RequestQueue::TimePoint now = base::clock::steadyNow();
    // The text ends at the first NUL.
    const auto textLength = [&](int i) {
        const std::size_t length = std::min<std::size_t>(messages[i].msg_len, kReceiveBuffer);
        return static_cast<std::size_t>(std::find(batch[i], batch[i] + length, '\0') - batch[i]);
    };
    const auto senderOf = [&](int i) {
        return RequestQueue::Key(ntohl(sources[i].sin_addr.s_addr), ntohs(sources[i].sin_port));
    };
    const auto valid = [](const RequestQueue::Key& from) { return from.first != 0 && from.second != 0; };
    // The lines go before the receive-queue lock is taken; the address text only when it is logged.
    const bool tracing = base::Log::TRACE >= base::Log::activeLevel();
    for (int i = 0; i < count; ++i) {
        if (tracing) {
            const net::IpAndPort from = fromSockaddr(sources[i]);
            place.trace(L"received udp %1%:%2% len: %3%, buf: %4%", from.getText(), from.getPort(),
                        std::min<std::size_t>(messages[i].msg_len, kReceiveBuffer),
                        std::string(batch[i], textLength(i)));
        }
        if (!valid(senderOf(i))) place.debug(L"receiver: incorrect remote ip");
    }
    bool dropped = false;
    RequestQueue::Key firstDropped;
    std::unique_lock<std::mutex> receive(receiveLock_);
    for (int i = 0; i < count; ++i) {
        const RequestQueue::Key from = senderOf(i);
        if (!valid(from)) continue;
        Received* record = admitReceived(from);
        if (!record) {
            if (!dropped) firstDropped = from;
            dropped = true;
            continue;
        }
        record->ok = true;
        record->data.assign(batch[i], textLength(i));
        record->from = from;
        record->receivedAt = now;
        record->refused.clear();
    }
    receivedQueued(receive, dropped, firstDropped);
}

void TransferProtocol::receivedQueued(std::unique_lock<std::mutex>& receive, bool dropped,
                                      const RequestQueue::Key& firstDropped) {
    const bool wake = responderWaiting_ && receivedCount_ > 0;
    if (receivedCount_ > 0) repliesQueued_.store(true, std::memory_order_release);
    const bool firstOfEpisode = dropped && !overflowing_;
    overflowing_ = overflowing_ || dropped;
    receive.unlock();
    if (wake) responderCondition_.notify_one();
    std::uint64_t skipped = 0;
    if (firstOfEpisode && overflowLines_.pass(0, skipped)) {
        debug::Place("device::TransferProtocol::queueReceived")
            .warn(
                L"receiver: datagrams come faster than they are handled; they are dropped until the queue "
                L"empties (the first from %1%)",
                net::IpAndPort(firstDropped.first, firstDropped.second).getWideText());
    }
}

TransferProtocol::Received* TransferProtocol::admitReceived(const RequestQueue::Key& from) {
    if (receivedCount_ >= kWaitingDatagrams) return nullptr;
    if (!countingSenders_ && receivedCount_ >= kWaitingPerSender) {
        for (std::size_t n = 0; n < receivedCount_; ++n) ++receivedBySender_[senderKey(received_[n].from)];
        countingSenders_ = true;
    }
    if (countingSenders_) {
        std::uint32_t& fromSender = receivedBySender_[senderKey(from)];
        if (fromSender >= kWaitingPerSender) return nullptr;
        ++fromSender;
    }
    if (receivedCount_ == received_.size()) received_.emplace_back();
    return &received_[receivedCount_++];
}

void TransferProtocol::responder_thread() {
    pthread_setname_np(pthread_self(), "transport-reply");
    os::setThreadRole(os::ThreadRole::transportResponder);
    const debug::Place place("device::TransferProtocol::responder_thread");
    reportStarted(responderIndex);
    std::vector<Received> batch;
    RequestQueue::Actions actions;
    Calls calls;
    // On one CPU a watching responder would only keep the receiver from the reply.
    ReplyWatch watch(ReplyWatch::callerHasSeveralCpus());
    for (;;) {
        const ReplyWatch::Clock::time_point lastSend{
            ReplyWatch::Clock::duration(lastSendAt_.load(std::memory_order_relaxed))};
        if (watch.shouldWatch(ReplyWatch::Clock::now(), lastSend)) watch.watched(watchForReplies());
        std::size_t count = 0;
        {
            std::unique_lock<std::mutex> receive(receiveLock_);
            while (receivedCount_ == 0 && !stopping_) {
                overflowing_ = false;
                place.trace3(L"responder: wait responses...");
                responderWaiting_ = true;
                if (heldCompletions_ == 0) {
                    responderCondition_.wait(receive);
                } else if (responderCondition_.wait_until(receive, holdUntil_) == std::cv_status::timeout &&
                           receivedCount_ == 0) {
                    // No more replies came meanwhile: the completions held back go now.
                    receive.unlock();
                    releaseHeld();
                    receive.lock();
                }
                responderWaiting_ = false;
                place.trace2(L"responder: woke up...");
            }
            // The two queues trade places at every batch: the records keep their room for the
            // receiver, up to a point.
            batch.swap(received_);
            count = receivedCount_;
            receivedCount_ = 0;
            repliesQueued_.store(false, std::memory_order_relaxed);
            receivedBySender_.clear();
            countingSenders_ = false;
        }
        for (std::size_t n = 0; n < count && !stopping_; ++n) respond(batch[n], actions, calls);
        if (batch.size() > kKeptCapacity) std::vector<Received>().swap(batch);
        // The devices' next requests go out first; then the callers and the dispatcher hear of the
        // replies.
        if (!actions.sends.empty()) {
            std::lock_guard<std::recursive_mutex> main(mainLock_);
            carryOut(actions);
        }
        collect(actions, calls);
        finishBatch(calls);
        actions.clear();
        if (stopping_) {
            // Replies that came before the stop are told as they would have been.
            releaseHeld();
            place.debug(L"responder: Thread stopped");
            return;
        }
    }
}

bool TransferProtocol::watchForReplies() {
    const auto until = ReplyWatch::Clock::now() + ReplyWatch::kLength;
    do {
        for (int n = 0; n < 64; ++n) {
            if (repliesQueued_.load(std::memory_order_acquire) || stopping_) return true;
            relaxCpu();
        }
        // A thread waiting for this CPU, as the one that makes the next request may be, goes first.
        std::this_thread::yield();
    } while (ReplyWatch::Clock::now() < until);
    return false;
}

const net::IpAndPort& TransferProtocol::senderAddress(const RequestQueue::Key& from) {
    const std::uint64_t key = senderKey(from);
    const auto known = senders_.find(key);
    if (known != senders_.end()) return known->second;
    // Senders that come and go cannot grow the list without bound.
    if (senders_.size() >= kKeptSenders) senders_.clear();
    return senders_.emplace(key, net::IpAndPort(from.first, from.second)).first->second;
}

void TransferProtocol::respond(Received& record, RequestQueue::Actions& actions, Calls& calls) {
    const debug::Place place("device::TransferProtocol::respond");
    place.trace3(L"responder: handler for all responses...");
    const net::IpAndPort& from = senderAddress(record.from);
    const std::shared_ptr<const ResponseHandler> takeAll = std::atomic_load(&allResponseHandler_);
    if (takeAll && *takeAll && (*takeAll)(record.data, from)) {
        place.trace3(L"responder: continue");
        return;
    }
    const RequestQueue::Key& key = record.from;
    TransferHandler sniffer;
    bool unexpected = false;
    {
        place.trace3(L"responder: locking access...");
        std::lock_guard<std::recursive_mutex> main(mainLock_);
        place.trace2(L"responder: access is locked");
        const RequestQueue::Match match =
            requests_.reply(key, record.receivedAt, record.ok, record.data, actions, record.refused);
        switch (match) {
            case RequestQueue::Match::accepted:
                place.trace3(L"responder: handled response for device '%1%' with data '%2%'",
                             from.getWideText(), record.data);
                // The device's next request goes out from here, with the others of the batch.
                wakeSenderIfEarlier(actions);
                break;
            case RequestQueue::Match::unexpected: {
                unexpected = true;
                std::uint64_t skipped = 0;
                if (!unexpectedLines_.pass(senderKey(key), skipped)) break;
                if (skipped == 0) {
                    place.external(L"responder: unknown response; ip: %1%, response: %2%", from.getWideText(),
                                   record.data);
                } else {
                    place.external(L"responder: unknown response; ip: %1%, response: %2% (%3% more left out)",
                                   from.getWideText(), record.data, skipped);
                }
                break;
            }
            case RequestQueue::Match::beforeSending: {
                std::uint64_t skipped = 0;
                if (!unexpectedLines_.pass(senderKey(key), skipped)) break;
                place.important(
                    L"responder: The response came before sending. ip: %1%, request: %2%, response: %3%",
                    from.getWideText(), requests_.skippedText(), record.data);
                place.error(L"responder: skip the response: %1%", record.data);
                break;
            }
            case RequestQueue::Match::noDevice:
                break;
        }
        if (!m_sniffers.empty()) {
            const auto sniffed = m_sniffers.find(key);
            if (sniffed != m_sniffers.end()) sniffer = sniffed->second;
        }
    }
    if (unexpected) {
        const std::shared_ptr<const ResponseHandler> unknown = std::atomic_load(&unknownResponseHandler_);
        if (unknown && *unknown) {
            calls.jobs.push_back(base::SerialJobs::Item{
                [unknown, data = record.data, from] { (*unknown)(data, from); }, true, 0,
                [](const base::SerialJobs::Job&) {
                    return std::wstring(L"transfer protocol: unknown response");
                }});
            calls.followed = false;
        }
    }
    if (sniffer) {
        calls.jobs.push_back(base::SerialJobs::Item{
            [sniffer, data = record.data, ok = record.ok] { sniffer(data, ok); }, true, 0,
            [](const base::SerialJobs::Job&) { return std::wstring(L"sniffer callback"); }});
        calls.followed = false;
    }
    // The completion follows the sniffer's view of the same reply.
    collect(actions, calls);
}

}  // namespace device
