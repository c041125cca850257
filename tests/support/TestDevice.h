#pragma once
// A device class with just enough behaviour to drive the device base and the registry without
// the loudspeaker and console classes: it takes status packets like they do (address, version,
// time stamps), reads and sets the volume with "get vol" / "set vol", and lets a test watch
// and hold up its packet handling.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devicelink/DeviceBase.h"

namespace test {

class TestDevice : public device::DeviceBase {
public:
    // Builds a device of this class or of a test's own kind derived from it, the way the
    // device classes' factories do.
    template <class Device = TestDevice>
    static std::shared_ptr<Device> create(std::uint32_t id, device::DeviceType type,
                                          const net::HardwareAddress& hardwareAddress,
                                          const net::IpAndPort& address, const std::wstring& title,
                                          const std::shared_ptr<device::TransferProtocol>& protocol,
                                          const device::StateHandler& stateHandler) {
        auto device = std::make_shared<Device>(id, hardwareAddress, address, title, protocol);
        device->setThisBasePtr(device);
        device->setStateHandler(stateHandler);
        device::Version version;
        version.type = type;
        device->setVersion(version);
        return device;
    }
    using DeviceBase::DeviceBase;

    bool checkUpgradePossibility(const std::shared_ptr<device::IFirmware>&) override { return false; }
    // "set vol <level>"; the volume follows when the device took it.
    bool setVolume(std::int32_t level) override;
    bool parseState(const std::string& packet, const net::IpAndPort& sender) override;
    bool hasInternalPlaying() override { return internalPlaying.load(); }
    std::wstring getTypeText() override { return L"test"; }
    // No settings, no diagnostics and no self test of its own.
    device::CommonConfig getCommonConfig(bool) override { return device::CommonConfig(); }
    bool setCommonConfig(const device::CommonConfig&) override { return false; }
    std::string getDebugInfo() override { return transfer(debugInfoRequest(false)); }
    std::string debugInfoRequest(bool) const override { return "get dbg"; }
    void startDeviceTest() override {}
    bool isTestRunning() const override { return false; }
    // A "get vol" reply of 0 to 100.
    void handleVolume(const std::string& reply) override;
    void startUpgrade() override { ++startUpgradeCalls; }
    void resetPlaybackType() override { ++resetPlaybackTypeCalls; }
    void releaseAudioMemory() override {
        ++releaseAudioMemoryCalls;
        DeviceBase::releaseAudioMemory();
    }

    std::vector<std::string> packets() const;
    // Called at the start of parseState with the packet; set it before packets can arrive.
    void setPacketHook(std::function<void(const std::string& packet)> hook);

    std::atomic<bool> internalPlaying{false};
    std::atomic<bool> acceptPackets{true};
    std::atomic<int> startUpgradeCalls{0};
    std::atomic<int> resetPlaybackTypeCalls{0};
    std::atomic<int> releaseAudioMemoryCalls{0};

    // Test access to what the device classes keep in the base.
    bool hasCachedStatus() const;
    void markStatus() {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        status_.fill(true);
    }

private:
    mutable std::mutex packetsLock_;
    std::vector<std::string> packets_;
    std::function<void(const std::string& packet)> hook_;
};

}  // namespace test
