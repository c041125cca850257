#include "support/TestDevice.h"

#include <algorithm>
#include <charconv>

#include "devicelink/DeviceReply.h"

namespace test {

bool TestDevice::setVolume(std::int32_t level) {
    char digits[16];
    const auto written = std::to_chars(std::begin(digits), std::end(digits), level);
    if (!transfer("set vol " + std::string(digits, written.ptr), nullptr, false)) return false;
    volume = level;
    return true;
}

bool TestDevice::parseState(const std::string& packet, const net::IpAndPort& sender) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> guard(packetsLock_);
        hook = hook_;
    }
    if (hook) hook(packet);
    device::Version version;
    if (!parseStateVersion(packet, &version)) return false;
    setVersion(version);
    setAddress(sender);
    {
        std::lock_guard<std::mutex> guard(packetsLock_);
        packets_.push_back(packet);
    }
    lastPacketTime = now();
    lastStateTime = now();
    stateReceived = true;
    return acceptPackets.load();
}

void TestDevice::handleVolume(const std::string& reply) {
    std::int32_t level = 0;
    if (device::DeviceBase::parseIntValue(reply, level, 0, 100)) volume = level;
}

std::vector<std::string> TestDevice::packets() const {
    std::lock_guard<std::mutex> guard(packetsLock_);
    return packets_;
}

void TestDevice::setPacketHook(std::function<void(const std::string& packet)> hook) {
    std::lock_guard<std::mutex> guard(packetsLock_);
    hook_ = std::move(hook);
}

bool TestDevice::hasCachedStatus() const {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    return std::any_of(status_.begin(), status_.end(), [](bool flag) { return flag; });
}

}  // namespace test
