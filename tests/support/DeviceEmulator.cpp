#include "support/DeviceEmulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace test {
namespace {

sockaddr_in endpoint(const std::string& ip, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1)
        throw std::invalid_argument("bad address " + ip);
    // Never anything but loopback: an emulated device lives on this machine only.
    if ((ntohl(address.sin_addr.s_addr) >> 24) != 127)
        throw std::invalid_argument("not a loopback address " + ip);
    return address;
}

int boundSocket(const std::string& ip, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    const sockaddr_in address = endpoint(ip, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        throw std::runtime_error("bind " + ip + ":" + std::to_string(port));
    }
    return fd;
}

}  // namespace

std::uint16_t freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

EmulatedDevice::EmulatedDevice(const std::string& ip, std::uint16_t port)
    : EmulatedDevice(ip, port, DeferredStart{}) {
    startServing();
}

EmulatedDevice::EmulatedDevice(const std::string& ip, std::uint16_t port, DeferredStart)
    : ip_(ip), port_(port) {
    socket_ = boundSocket(ip, port);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void EmulatedDevice::startServing() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { serve(); });
}

EmulatedDevice::~EmulatedDevice() {
    stopServing();
    ::close(socket_);
    if (otherSocket_ >= 0) ::close(otherSocket_);
    ::close(wakeFd_);
}

void EmulatedDevice::stopServing() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
}

void EmulatedDevice::on(const std::string& prefix, Handler handler) {
    std::lock_guard<std::mutex> guard(lock_);
    handlers_[prefix] = std::move(handler);
}

void EmulatedDevice::onArrival(std::function<void(const std::string& command)> arrival) {
    std::lock_guard<std::mutex> guard(lock_);
    arrival_ = std::move(arrival);
}

void EmulatedDevice::answer(const std::string& prefix, const std::string& reply) {
    on(prefix, [reply](const std::string&) { return std::optional<std::string>(reply); });
}

void EmulatedDevice::setSilent(bool silent) {
    std::lock_guard<std::mutex> guard(lock_);
    silent_ = silent;
}

void EmulatedDevice::dropNext(int count) {
    std::lock_guard<std::mutex> guard(lock_);
    dropCount_ = count;
}

void EmulatedDevice::setDelay(std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> guard(lock_);
    delay_ = delay;
}

void EmulatedDevice::answerFromPort(std::uint16_t port) {
    std::lock_guard<std::mutex> guard(lock_);
    if (otherSocket_ >= 0) ::close(otherSocket_);
    otherSocket_ = port == 0 ? -1 : boundSocket(ip_, port);
    answerPort_ = port;
}

void EmulatedDevice::answerBusy(int count) {
    std::lock_guard<std::mutex> guard(lock_);
    busyCount_ = count;
}

void EmulatedDevice::loseRepliesNext(int count) {
    std::lock_guard<std::mutex> guard(lock_);
    loseCount_ = count;
}

void EmulatedDevice::answerErrorNext(int count) {
    std::lock_guard<std::mutex> guard(lock_);
    errorCount_ = count;
}

void EmulatedDevice::holdReplies(const std::string& prefix) {
    std::lock_guard<std::mutex> guard(lock_);
    holdPrefix_ = prefix;
}

void EmulatedDevice::releaseReplies() {
    std::vector<std::pair<std::string, sockaddr_in>> held;
    {
        std::lock_guard<std::mutex> guard(lock_);
        holdPrefix_.reset();
        held.swap(held_);
    }
    for (const auto& [reply, to] : held) replyTo(reply, to);
}

bool EmulatedDevice::waitForHeld(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> guard(lock_);
    return receivedSignal_.wait_for(guard, deadline, [&] { return held_.size() >= count; });
}

void EmulatedDevice::setRebootPause(std::chrono::milliseconds pause) {
    std::lock_guard<std::mutex> guard(lock_);
    rebootPause_ = pause;
}

bool EmulatedDevice::isRebooting() const {
    std::lock_guard<std::mutex> guard(lock_);
    return std::chrono::steady_clock::now() < rebootEnds_;
}

int EmulatedDevice::rebootCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return rebootCount_;
}

void EmulatedDevice::beginReboot() {
    std::lock_guard<std::mutex> guard(lock_);
    ++rebootCount_;
    rebootEnds_ = std::chrono::steady_clock::now() + rebootPause_;
}

void EmulatedDevice::faultOn(const std::string& prefix, std::size_t skip, Fault fault, int count,
                             const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    faults_.push_back(FaultRule{prefix, skip, fault, count, text});
}

void EmulatedDevice::send(const std::string& data, const net::IpAndPort& to) {
    const sockaddr_in destination = endpoint(to.getText(), to.getPort());
    ::sendto(socket_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
             sizeof destination);
}

std::vector<std::string> EmulatedDevice::received() const {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
}

std::size_t EmulatedDevice::receivedCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return received_.size();
}

bool EmulatedDevice::waitForReceived(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> guard(lock_);
    return receivedSignal_.wait_for(guard, deadline, [&] { return received_.size() >= count; });
}

void EmulatedDevice::clearReceived() {
    std::lock_guard<std::mutex> guard(lock_);
    received_.clear();
}

std::optional<std::string> EmulatedDevice::handle(const std::string& command) {
    Handler handler;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::size_t best = 0;
        for (const auto& [prefix, candidate] : handlers_) {
            if (command.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= best) {
                best = prefix.size();
                handler = candidate;
            }
        }
    }
    if (!handler) return std::nullopt;
    return handler(command);
}

void EmulatedDevice::serve() {
    char buffer[2048];
    for (;;) {
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents & POLLIN) return;
        if (!(fds[0].revents & POLLIN)) continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t length =
            ::recvfrom(socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0) continue;
        std::string command(buffer, static_cast<std::size_t>(length));
        if (!command.empty() && command.back() == '\n') command.pop_back();
        std::function<void(const std::string&)> arrival;
        {
            std::lock_guard<std::mutex> guard(lock_);
            arrival = arrival_;
        }
        if (arrival) arrival(command);

        std::optional<std::string> reply;
        std::chrono::milliseconds delay;
        {
            std::lock_guard<std::mutex> guard(lock_);
            received_.push_back(command);
            receivedSignal_.notify_all();
            delay = delay_;
            if (silent_ || std::chrono::steady_clock::now() < rebootEnds_) continue;
            if (dropCount_ > 0) {
                --dropCount_;
                continue;
            }
            bool silenced = false;
            for (FaultRule& rule : faults_) {
                if (command.compare(0, rule.prefix.size(), rule.prefix) != 0) continue;
                if (rule.skip > 0) {
                    --rule.skip;
                } else if (rule.count > 0) {
                    --rule.count;
                    silenced = rule.fault == Fault::silence;
                    if (rule.fault == Fault::error)
                        reply = !rule.text.empty()
                                    ? rule.text
                                    : "ERR[" + command.substr(0, command.find(' ')) + "]: fault";
                    if (rule.fault == Fault::busy) reply = kBusyText;
                    if (rule.fault == Fault::echo) reply = command;
                    break;
                }
            }
            if (silenced) continue;
            if (!reply && busyCount_ > 0) {
                --busyCount_;
                reply = kBusyText;
            } else if (!reply && errorCount_ > 0) {
                --errorCount_;
                reply = "ERR";
            }
        }
        if (!reply) reply = handle(command);
        if (!reply) continue;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (loseCount_ > 0) {
                --loseCount_;
                continue;
            }
            if (holdPrefix_ && command.compare(0, holdPrefix_->size(), *holdPrefix_) == 0) {
                held_.emplace_back(*reply, from);
                receivedSignal_.notify_all();
                continue;
            }
        }
        if (delay.count() > 0) std::this_thread::sleep_for(delay);
        replyTo(*reply, from);
    }
}

void EmulatedDevice::replyTo(const std::string& reply, const sockaddr_in& to) {
    std::lock_guard<std::mutex> guard(lock_);
    const int fd = otherSocket_ >= 0 ? otherSocket_ : socket_;
    ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

}  // namespace test
