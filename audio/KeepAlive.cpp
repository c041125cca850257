#include "audio/KeepAlive.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/Clock.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"

namespace audio {
namespace {
constexpr std::chrono::seconds kPeriod{1};
}

std::array<std::uint8_t, 188> nullTransportPacket() {
    std::array<std::uint8_t, 188> packet{};
    packet.fill(0xFF);
    // Sync byte, PID 0x1FFF, payload only, continuity counter 0.
    packet[0] = 0x47;
    packet[1] = 0x1F;
    packet[2] = 0xFF;
    packet[3] = 0x10;
    return packet;
}

KeepAlive::KeepAlive(IdleCheck idle, TargetSource target)
    : idle_(std::move(idle)), target_(std::move(target)), thread_([this] { run(); }) {}

KeepAlive::~KeepAlive() {
    stop();
}

void KeepAlive::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void KeepAlive::run() {
    pthread_setname_np(pthread_self(), "keep-alive");
    std::unique_lock<std::mutex> guard(lock_);
    // Due times come from the clock seam, read once a round.
    auto due = base::clock::steadyNow();
    while (!stopping_) {
        const auto now = base::clock::steadyNow();
        if (now < due) {
            wake_.wait_for(guard, due - now);
            continue;
        }
        guard.unlock();
        if (idle_()) send(target_(), pref::getString(setting::netInterfaceIp));
        guard.lock();
        due = now + kPeriod;
    }
}

void KeepAlive::send(const StreamTarget& target, const std::string& interfaceIp) {
    const debug::Place place("audio::KeepAlive::send");
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        place.warn(L"Keep-alive socket failed (%1%)", errno);
        return;
    }
    const unsigned char ttl = static_cast<unsigned char>(target.ttl);
    setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    in_addr outbound{};
    if (inet_pton(AF_INET, interfaceIp.c_str(), &outbound) == 1)
        setsockopt(socket, IPPROTO_IP, IP_MULTICAST_IF, &outbound, sizeof outbound);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(target.port);
    inet_pton(AF_INET, target.group.c_str(), &to.sin_addr);
    const auto packet = nullTransportPacket();
    if (sendto(socket, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) <
        0)
        place.trace(L"Keep-alive not sent to %1%:%2% (%3%)", target.group, target.port, errno);
    ::close(socket);
}

}  // namespace audio
