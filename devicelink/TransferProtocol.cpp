#include "devicelink/TransferProtocol.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

constexpr std::size_t kReceiveBuffer = 1500;
constexpr std::int64_t kHourUs = 3600LL * 1000000LL;
constexpr std::int64_t kDefaultResendUs = 1000000;

std::string text(const net::IpAndPort& address) {
    return base::toUtf8(address.getWideText());
}

net::IpAndPort fromSockaddr(const sockaddr_in& socketAddress) {
    char buffer[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &socketAddress.sin_addr, buffer, sizeof buffer);
    return net::IpAndPort(buffer, ntohs(socketAddress.sin_port));
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

}  // namespace

struct TransferProtocol::transfer_data_t {
    int priority = 0;
    std::uint32_t number = 0;
    std::string request;
    std::string response;
    TransferHandler handler;
    std::condition_variable_any done_condition;
    std::uint64_t resend_interval_us = 0;
    bool has_response = false;
    bool done = false;
    // Set when a sync gave up on this request while it was in flight: requests queued
    // from then on (numbers from `abandoned_before` up) have not waited for this one and
    // do not fail with it.
    bool abandoned = false;
    std::uint32_t abandoned_before = 0;
};

struct TransferProtocol::device_data_t {
    net::IpAndPort address;
    std::uint32_t send_count = 0;
    std::uint32_t next_number = 0;
    std::int64_t last_send_us = 0;
    TransferPtr current;
    // A heap: the greatest priority on top, equal priorities first in, first out.
    std::vector<TransferPtr> queue;

    static bool below(const TransferPtr& a, const TransferPtr& b) {
        return a->priority < b->priority || (a->priority == b->priority && a->number > b->number);
    }
    void push(TransferPtr transfer) {
        queue.push_back(std::move(transfer));
        std::push_heap(queue.begin(), queue.end(), below);
    }
    TransferPtr pop() {
        std::pop_heap(queue.begin(), queue.end(), below);
        TransferPtr top = std::move(queue.back());
        queue.pop_back();
        return top;
    }
    bool withdraw(const TransferPtr& transfer) {
        const auto found = std::find(queue.begin(), queue.end(), transfer);
        if (found == queue.end()) return false;
        queue.erase(found);
        std::make_heap(queue.begin(), queue.end(), below);
        return true;
    }
};

struct TransferProtocol::received_data_t {
    bool ok = false;
    std::string data;
    net::IpAndPort from;
    std::int64_t received_us = 0;
};

const std::string& TransferProtocol::noAnswerText() {
    static const std::string text = base::narrow(L"Устройство не отвечает");
    return text;
}

std::int64_t TransferProtocol::nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(base::clock::steadyNow().time_since_epoch())
        .count();
}

TransferProtocol::Key TransferProtocol::keyOf(const net::IpAndPort& address) {
    return Key(address.getAddress(), address.getPort());
}

TransferProtocol::TransferProtocol(unsigned basePort, const std::string& interfaceAddress) {
    create_socket(basePort, interfaceAddress);
}

TransferProtocol::~TransferProtocol() {
    const debug::Place place("device::TransferProtocol::~TransferProtocol");
    place.trace(L"~TransferProtocol() begin");
    stop();
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
}

void TransferProtocol::run() {
    {
        std::lock_guard<std::recursive_mutex> main(mainLock_);
        stopping_ = false;
        running_ = true;
    }
    m_receiver_thread = std::thread([this] { receiver_thread(); });
    m_sender_thread = std::thread([this] { sender_thread(); });
    responderThread_ = std::thread([this] { responder_thread(); });
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
    m_sniffers[keyOf(address)] = std::move(handler);
}

void TransferProtocol::clearSniffers() {
    std::lock_guard<std::recursive_mutex> main(mainLock_);
    m_sniffers.clear();
}

TransferProtocol::DevicePtr TransferProtocol::add_to_queue(const net::IpAndPort& address,
                                                           const TransferPtr& transfer) {
    const debug::Place place("device::TransferProtocol::add_to_queue");
    std::lock_guard<std::recursive_mutex> main(mainLock_);
    if (!address.isValid()) {
        place.warn(L"Адрес отправки не определён");
        return nullptr;
    }
    DevicePtr& device = devices_[keyOf(address)];
    if (!device) {
        device = std::make_shared<device_data_t>();
        device->address = address;
        place.trace(L"It is the first request of the device, ip: %1%", text(address));
    }
    place.trace2(L"add_to_queue, ip: %1%, len: %2%, data: %3%", text(address), transfer->request.size(),
                 transfer->request);
    transfer->number = device->next_number++;
    device->push(transfer);
    if (running_ && !device->current) {
        // An idle device gets its request at once from the caller's thread, sparing a
        // wake-up of the sender on every exchange; the sender still keeps the resend time.
        device->current = device->pop();
        std::int64_t beforeResend = kDefaultResendUs;
        sendCurrent(*device, nowUs(), beforeResend);
    }
    senderCondition_.notify_all();
    return device;
}

bool TransferProtocol::sync(const net::IpAndPort& address, const std::string& request, std::string& response,
                            int priority, unsigned intervalMs) {
    const debug::Place place("device::TransferProtocol::sync");
    place.trace2(L"synchronous transfer is started. the request '%1%'", request);
    auto transfer = std::make_shared<transfer_data_t>();
    transfer->priority = priority;
    transfer->request = request + "\n";
    transfer->resend_interval_us = static_cast<std::uint64_t>(intervalMs) * 1000u;
    if (transfer->resend_interval_us < 1000) {
        place.error(L"Время ожидания перед повторной отправкой слишком мало");
        transfer->resend_interval_us = kDefaultResendUs;
    }
    const DevicePtr device = add_to_queue(address, transfer);
    if (!device) return false;

    const auto deadline = base::clock::steadyNow() + std::chrono::milliseconds(2ULL * intervalMs + 50);
    std::unique_lock<std::recursive_mutex> main(mainLock_);
    while (!transfer->done) {
        const auto now = base::clock::steadyNow();
        if (now >= deadline) break;
        transfer->done_condition.wait_for(main, std::min<std::chrono::steady_clock::duration>(
                                                    deadline - now, std::chrono::milliseconds(100)));
    }
    if (!transfer->done) {
        place.important(L"transfer_sync: timeout. ip: %1%, request: %2%", text(address), transfer->request);
        // A request that never went out is withdrawn: the caller was told it failed,
        // so it must not be carried out later.
        if (device->withdraw(transfer)) {
            place.debug(L"transfer_sync: the request was never sent and is withdrawn. ip: %1%",
                        text(address));
        } else if (device->current == transfer) {
            transfer->abandoned = true;
            transfer->abandoned_before = device->next_number;
        }
    }
    if (transfer->has_response) {
        response = transfer->response;
        place.trace2(
            L"transfer_sync: synchronous transfer is ended. the request '%1%' has the response '%2%'",
            transfer->request, transfer->response);
        return true;
    }
    place.debug(L"transfer_sync: device does not response(timeout). ip: %1%, request: %2%", text(address),
                transfer->request);
    return false;
}

bool TransferProtocol::async(const net::IpAndPort& address, const std::string& request,
                             TransferHandler handler, int priority, unsigned intervalMs) {
    const debug::Place place("device::TransferProtocol::async");
    place.trace2(L"transfer asynchronous");
    auto transfer = std::make_shared<transfer_data_t>();
    transfer->priority = priority;
    transfer->request = request + "\n";
    transfer->handler = std::move(handler);
    transfer->resend_interval_us = static_cast<std::uint64_t>(intervalMs) * 1000u;
    if (transfer->resend_interval_us < 1000) {
        place.error(L"Время ожидания перед повторной отправкой слишком мало");
        transfer->resend_interval_us = kDefaultResendUs;
    }
    return add_to_queue(address, transfer) != nullptr;
}

bool TransferProtocol::isErasing(const Key& key) {
    std::lock_guard<std::mutex> guard(erasingLock_);
    return erasing_.count(key) != 0;
}

void TransferProtocol::eraseQueue(const net::IpAndPort& address) {
    const debug::Place place("device::TransferProtocol::eraseQueue");
    place.trace(L"Erase a queue of the device '%1%'.", text(address));
    const Key key = keyOf(address);
    {
        std::lock_guard<std::mutex> guard(erasingLock_);
        if (!erasing_.insert(key).second) {
            place.debug(L"Skip. Queue is already erasing (ip=%1%)", text(address));
            return;
        }
    }
    {
        std::lock_guard<std::recursive_mutex> main(mainLock_);
        const auto found = devices_.find(key);
        if (found != devices_.end()) {
            found->second->send_count = 0;
            found->second->queue.clear();
            place.debug(L"transfer protocol: erased queue for address %1%", text(address));
        }
    }
    std::lock_guard<std::mutex> guard(erasingLock_);
    erasing_.erase(key);
}

void TransferProtocol::sender_thread() {
    const debug::Place place("device::TransferProtocol::sender_thread");
    std::unique_lock<std::recursive_mutex> main(mainLock_);
    // The first pass runs at once, so requests queued before run go out now.
    std::int64_t wait = 0;
    for (;;) {
        place.trace3(L"sender: entry wait for %1% uS", wait);
        const std::int64_t before = nowUs();
        bool reached = true;
        if (wait > 0 && !stopping_) {
            reached =
                senderCondition_.wait_for(main, std::chrono::microseconds(wait)) == std::cv_status::timeout;
        }
        std::int64_t now = nowUs();
        const std::int64_t elapsed = now - before;
        place.trace3(L"sender: leave wait. Time was reached=%1%", boolText(reached));
        if (stopping_) {
            place.debug(L"sender: Thread stopped");
            return;
        }
        if (wait > 0 && elapsed + 5000 > wait) {
            // A resend is due: let replies that have already arrived be matched first.
            place.trace3(L"sender: the thread is overslept, duration %1% uS", elapsed);
            main.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::unique_lock<std::mutex> receive(receiveLock_);
            while (!received_.empty() && !stopping_) {
                receive.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                place.trace3(L"sender: wait response processing...");
                receive.lock();
            }
            receive.unlock();
            main.lock();
            now = nowUs();
        }

        bool nothingToDo = true;
        std::int64_t minimumWait = std::numeric_limits<std::int64_t>::max();
        std::int64_t beforeResend = kDefaultResendUs;
        for (auto& entry : devices_) {
            device_data_t& device = *entry.second;
            if (device.queue.empty() && !device.current) continue;
            nothingToDo = false;
            const std::int64_t since = now - device.last_send_us;
            place.trace3(L"sender: device ip is '%1%'. elapsed time is %2% uS. queue size is %3%",
                         text(device.address), since, device.queue.size());
            if (device.current) {
                const auto interval = static_cast<std::int64_t>(device.current->resend_interval_us);
                if (since < interval) {
                    minimumWait = std::min(minimumWait, interval - since);
                    place.trace3(L"sender: continue to wait");
                    continue;
                }
                place.trace3(L"sender: resend timeout = %1% uS", interval);
            } else {
                device.current = device.pop();
            }
            if (device.send_count >= 2) {
                place.debug(L"sender: process a timeout.");
                process_sender_timeout(device);
                continue;
            }
            sendCurrent(device, now, beforeResend);
        }
        wait = nothingToDo ? kHourUs : std::min(minimumWait, beforeResend) + 400;
        place.trace3(
            L"sender: calculated waiting time is %1% uS (minimum waiting is %2% uS, time before resend is "
            L"%3% uS)",
            wait, minimumWait, beforeResend);
    }
}

void TransferProtocol::sendCurrent(device_data_t& device, std::int64_t now, std::int64_t& beforeResend) {
    const debug::Place place("device::TransferProtocol::sender_thread");
    ++device.send_count;
    device.last_send_us = now;
    if (device.send_count > 1) place.debug(L"sender: repeat response... %1%", device.send_count);
    const TransferPtr transfer = device.current;
    const sockaddr_in destination = toSockaddr(device.address);
    const ssize_t sent = ::sendto(socket_, transfer->request.data(), transfer->request.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    const int error = sent < 0 ? errno : 0;
    const bool whole = sent == static_cast<ssize_t>(transfer->request.size());
    place.trace(L"sent udp %3% (%1%, %2%), len: %4%, buf: %5%", boolText(whole), device.send_count,
                text(device.address), transfer->request.size(), transfer->request);
    const auto sniffer = m_sniffers.find(keyOf(device.address));
    if (sniffer != m_sniffers.end() && sniffer->second) sniffer->second(transfer->request, whole);

    const int code = os::toSocketErrorCode(error);
    if ((whole && error == 0) || code == os::kWsaMessageTooLong) {
        beforeResend = std::min(beforeResend, static_cast<std::int64_t>(transfer->resend_interval_us));
        return;
    }
    place.warn(L"sender: failed to send message. result sent: %1%, ip: %2%, value: %3%, message: %4%",
               static_cast<long long>(sent), text(device.address), code, os::errorText(error));
    process_sender_timeout(device);
}

void TransferProtocol::process_sender_timeout(device_data_t& device) {
    const debug::Place place("device::TransferProtocol::process_sender_timeout");
    place.trace(L"sender: device does not response, ip: %1%", text(device.address));
    if (!device.current) {
        place.fatal(L"invalid internal state");
        base::Log::notifyInstance();
        throw exception::StopProgram();
    }
    const auto fail = [](const TransferPtr& transfer, const wchar_t* description) {
        if (transfer->handler) {
            TransferHandler handler = transfer->handler;
            base::ThreadDispatcher::add(description, 0, [handler] { handler(noAnswerText(), false); });
        } else {
            transfer->done_condition.notify_all();
        }
    };
    fail(device.current, L"transfer protocol: timeout for current data");
    const TransferPtr expired = std::move(device.current);
    device.current.reset();
    device.send_count = 0;
    const Key key = keyOf(device.address);
    std::vector<TransferPtr> spared;
    while (!device.queue.empty()) {
        if (isErasing(key)) {
            device.queue.clear();
            break;
        }
        TransferPtr next = device.pop();
        // A request queued after its caller was told that the expired one had failed
        // (the stop of a test tone after a failed volume change) gets its own chance.
        if (expired->abandoned && next->number >= expired->abandoned_before) {
            spared.push_back(std::move(next));
            continue;
        }
        fail(next, L"transfer protocol: timeout");
    }
    for (TransferPtr& transfer : spared) device.push(std::move(transfer));
}

void TransferProtocol::receiver_thread() {
    const debug::Place place("device::TransferProtocol::receiver_thread");
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
                receiveDatagram(buffer);
            }
        }
    } catch (const std::system_error& error) {
        place.fatal(L"receiver: udp error, code(value): %1%, code(message)%2%; what: %3%",
                    error.code().value(), error.code().message(), error.what());
    } catch (const std::exception& error) {
        place.fatal(L"receiver: udp error, what: %1%", error.what());
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
    const debug::Place place("device::TransferProtocol::receiver_thread");
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
    if (::recvmsg(socket_, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return;
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
    queueReceived(false, std::string(), from);
}

void TransferProtocol::receiveDatagram(char* buffer) {
    const debug::Place place("device::TransferProtocol::receiver_thread");
    sockaddr_in source{};
    socklen_t sourceLength = sizeof source;
    // MSG_TRUNC: a longer datagram is taken as its first 1500 bytes, never written past.
    const ssize_t received = ::recvfrom(socket_, buffer, kReceiveBuffer, MSG_TRUNC | MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&source), &sourceLength);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        const int code = os::toSocketErrorCode(errno);
        place.warn(L"receiver: error code: %1%, message: %2%", code, os::errorText(errno));
        return;
    }
    const std::size_t length = std::min(static_cast<std::size_t>(received), kReceiveBuffer);
    std::string data(buffer, length);
    data.resize(std::strlen(data.c_str()));  // the text ends at the first NUL
    const net::IpAndPort from = fromSockaddr(source);
    place.trace(L"received udp %1%:%2% len: %3%, buf: %4%", from.getText(), from.getPort(), length, data);
    queueReceived(true, std::move(data), from);
}

void TransferProtocol::queueReceived(bool ok, std::string data, const net::IpAndPort& from) {
    if (!from.isValid()) {
        debug::Place("device::TransferProtocol::receiver_thread").debug(L"receiver: incorrect remote ip");
        return;
    }
    {
        std::lock_guard<std::mutex> receive(receiveLock_);
        received_.push_back(received_data_t{ok, std::move(data), from, nowUs()});
    }
    responderCondition_.notify_all();
}

void TransferProtocol::responder_thread() {
    const debug::Place place("device::TransferProtocol::responder_thread");
    for (;;) {
        std::deque<received_data_t> batch;
        {
            std::unique_lock<std::mutex> receive(receiveLock_);
            if (received_.empty() && !stopping_) {
                place.trace3(L"responder: wait responses...");
                responderCondition_.wait(receive, [this] { return stopping_ || !received_.empty(); });
                place.trace2(L"responder: woke up...");
            }
            batch.swap(received_);
        }
        for (received_data_t& record : batch) {
            if (stopping_) {
                place.debug(L"responder: Thread stopped");
                return;
            }
            respond(record);
        }
        if (stopping_) {
            place.debug(L"responder: Thread stopped");
            return;
        }
    }
}

void TransferProtocol::respond(received_data_t& record) {
    const debug::Place place("device::TransferProtocol::responder_thread");
    place.trace3(L"responder: handler for all responses...");
    const std::shared_ptr<const ResponseHandler> takeAll = std::atomic_load(&allResponseHandler_);
    if (takeAll && *takeAll && (*takeAll)(record.data, record.from)) {
        place.trace3(L"responder: continue");
        return;
    }
    place.trace3(L"responder: locking access...");
    std::function<void()> completion;
    TransferHandler sniffer;
    TransferPtr finished;
    // The sender is woken only when it has something to send next; its own timer covers
    // the rest, and an idle device takes its next request straight from the caller.
    bool wakeSender = true;
    {
        std::lock_guard<std::recursive_mutex> main(mainLock_);
        place.trace2(L"responder: access is locked");
        const auto found = devices_.find(keyOf(record.from));
        if (found != devices_.end()) {
            device_data_t& device = *found->second;
            bool accept = true;
            if (!device.current) {
                accept = false;
                place.external(L"responder: unknown response; ip: %1%, response: %2%", text(record.from),
                               record.data);
                const std::shared_ptr<const ResponseHandler> unknown = std::atomic_load(&unknownResponseHandler_);
                if (unknown && *unknown) {
                    ResponseHandler handler = *unknown;
                    base::ThreadDispatcher::add(
                        L"transfer protocol: unknown response", 0,
                        [handler, data = record.data, from = record.from] { handler(data, from); });
                }
            } else if (record.received_us < device.last_send_us) {
                place.important(
                    L"responder: The response came before sending. ip: %1%, request: %2%, response: %3%",
                    text(record.from), device.current->request, record.data);
                if (device.send_count <= 1) {
                    place.error(L"responder: skip the response: %1%", record.data);
                    accept = false;
                }
            }
            if (accept) {
                device.send_count = 0;
                device.last_send_us = 0;
                const TransferPtr transfer = device.current;
                transfer->done = true;
                transfer->has_response = record.ok;
                transfer->response = record.data;
                if (transfer->handler) {
                    completion = [handler = transfer->handler, data = record.data, ok = record.ok] {
                        handler(data, ok);
                    };
                } else {
                    finished = transfer;
                }
                device.current.reset();
                wakeSender = !device.queue.empty();
                place.trace3(L"responder: handled response for device '%1%' with data '%2%'",
                             text(record.from), record.data);
            }
        }
        const auto sniffed = m_sniffers.find(keyOf(record.from));
        if (sniffed != m_sniffers.end()) sniffer = sniffed->second;
    }
    // Notified outside the lock, so the waiting caller does not wake into a held lock.
    if (finished) finished->done_condition.notify_all();
    if (wakeSender) senderCondition_.notify_all();
    if (sniffer) {
        base::ThreadDispatcher::add(L"sniffer callback", 0,
                                    [sniffer, data = record.data, ok = record.ok] { sniffer(data, ok); });
    }
    if (completion) {
        const std::wstring description =
            (boost::wformat(L"transfer protocol: callback for device '%1%' with data '%2%'") %
             record.from.getWideText() % base::widen(record.data))
                .str();
        base::ThreadDispatcher::add(description, 0, completion);
    }
}

}  // namespace device
