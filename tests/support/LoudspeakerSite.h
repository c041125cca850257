#pragma once
// A site of emulated loudspeakers on loopback (127.3.x.y) and the head-end's side of it: the
// transport and the device registry, into which the loudspeakers come through their status
// packets. A thread keeps sending their packets, so that they stay online for as long as a test
// runs. The thread dispatcher must exist first.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/PlaybackTargets.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/TransferProtocol.h"
#include "devices/VokarInfo.h"
#include "support/LoudspeakerEmulator.h"

namespace test {

class LoudspeakerSite {
public:
    LoudspeakerSite(std::size_t count, std::uint16_t port,
                    device::VokarVersion generation = device::vokarV3_A128);
    // One loudspeaker of each generation, in that order.
    LoudspeakerSite(const std::vector<device::VokarVersion>& generations, std::uint16_t port);
    ~LoudspeakerSite();
    LoudspeakerSite(const LoudspeakerSite&) = delete;
    LoudspeakerSite& operator=(const LoudspeakerSite&) = delete;

    // Waits until every loudspeaker is registered, online and answering with its volume known.
    bool waitOnline(std::chrono::milliseconds deadline = std::chrono::seconds(30));

    std::size_t size() const { return emulators_.size(); }
    LoudspeakerEmulator& emulator(std::size_t n) { return *emulators_.at(n); }
    // The registry's device of emulator n; null before it came.
    std::shared_ptr<device::VokarInfo> device(std::size_t n) const;
    // The devices of the emulators numbered.
    frm::Targets targets(const std::vector<std::size_t>& numbers) const;
    const std::shared_ptr<device::DeviceCollection>& registry() const { return registry_; }

private:
    void sendPackets();

    std::shared_ptr<device::TransferProtocol> transport_;
    std::shared_ptr<device::DeviceCollection> registry_;
    std::vector<std::unique_ptr<LoudspeakerEmulator>> emulators_;
    const net::IpAndPort headEnd_;

    std::mutex lock_;
    std::condition_variable wake_;
    bool ending_ = false;
    std::thread sender_;
};

}  // namespace test
