#include "audio/StreamSettings.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <memory>

#include "foundation/NetworkAddress.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"

namespace audio {
namespace {

// The bit rates that the MPEG audio layer II encoder takes, kbit/s.
bool isEncoderBitrate(int kbps) {
    for (int allowed : {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384})
        if (kbps == allowed) return true;
    return false;
}

}  // namespace

StreamTarget streamTargetFromSettings(int portOffset, const setting::Int& bitrate) {
    const debug::Place place("audio::streamTargetFromSettings");
    StreamTarget target;
    target.group = pref::getString(setting::multicastAddress);
    if (!net::isMulticast(target.group)) {
        place.warn(L"Некорректный адрес мультикаст-группы '%1%', используется %2%", target.group,
                   setting::multicastAddress.fallback);
        target.group = setting::multicastAddress.fallback;
    }
    const int basePort = pref::getInt(setting::multicastBasePort);
    const int port = basePort + portOffset;
    if (port <= portOffset || port > 65535) {
        place.warn(L"Некорректный базовый порт %1%, используется %2%", basePort,
                   setting::multicastBasePort.fallback);
        target.port = static_cast<std::uint16_t>(setting::multicastBasePort.fallback + portOffset);
    } else {
        target.port = static_cast<std::uint16_t>(port);
    }
    const int ttl = pref::getInt(setting::multicastTtl);
    target.ttl = ttl >= 1 && ttl <= 255 ? ttl : setting::multicastTtl.fallback;
    target.interfaceName = interfaceNameOf(pref::getString(setting::netInterfaceIp));
    const int kbps = pref::getInt(bitrate);
    if (!isEncoderBitrate(kbps)) {
        place.warn(L"Некорректная скорость потока %1% кбит/с, используется %2%", kbps, bitrate.fallback);
        target.bitrateKbps = bitrate.fallback;
    } else {
        target.bitrateKbps = kbps;
    }
    return target;
}

std::string interfaceNameOf(const std::string& ip) {
    in_addr wanted{};
    if (ip.empty() || inet_pton(AF_INET, ip.c_str(), &wanted) != 1) return std::string();
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) return std::string();
    std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> list(raw, freeifaddrs);
    for (const ifaddrs* entry = raw; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == wanted.s_addr)
            return entry->ifa_name;
    }
    return std::string();
}

}  // namespace audio
