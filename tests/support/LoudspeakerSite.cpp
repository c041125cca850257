#include "support/LoudspeakerSite.h"

#include <atomic>

#include "devicelink/DeviceFactory.h"
#include "support/FakeGuiThread.h"

namespace test {
namespace {

constexpr auto kPacketPause = std::chrono::milliseconds(500);

std::string ipOf(std::size_t n) {
    return "127.3." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
}

net::HardwareAddress addressOf(std::size_t n) {
    return net::HardwareAddress(net::HardwareAddress::vendorPrefix, static_cast<std::uint32_t>(n + 1));
}

}  // namespace

LoudspeakerSite::LoudspeakerSite(std::size_t count, std::uint16_t port, device::VokarVersion generation)
    : LoudspeakerSite(std::vector<device::VokarVersion>(count, generation), port) {}

LoudspeakerSite::LoudspeakerSite(const std::vector<device::VokarVersion>& generations, std::uint16_t port)
    : transport_(std::make_shared<device::TransferProtocol>(port, "127.0.0.1")),
      registry_(std::make_shared<device::DeviceCollection>(transport_, port)),
      headEnd_("127.0.0.1", port) {
    registry_->setFactory(device::types::loudspeaker,
                          std::make_shared<device::DeviceFactoryOf<device::VokarInfo>>());
    auto lastId = std::make_shared<std::atomic<std::uint32_t>>(0);
    registry_->setNewDeviceHandler(
        [lastId](const std::string&, const net::HardwareAddress&, const std::wstring&) { return ++*lastId; });
    for (std::size_t n = 0; n < generations.size(); ++n)
        emulators_.push_back(
            std::make_unique<LoudspeakerEmulator>(ipOf(n), port, addressOf(n).toCharArray(), generations[n]));
    transport_->run();
    sender_ = std::thread([this] { sendPackets(); });
}

LoudspeakerSite::~LoudspeakerSite() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
    }
    wake_.notify_all();
    sender_.join();
    registry_->stop();
    transport_->stop();
}

void LoudspeakerSite::sendPackets() {
    std::unique_lock<std::mutex> guard(lock_);
    do {
        guard.unlock();
        for (std::size_t n = 0; n < emulators_.size(); ++n) {
            emulators_[n]->sendStatus(headEnd_);
            // Bursts small enough for the receive buffer.
            if (n % 64 == 63) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        guard.lock();
    } while (!wake_.wait_for(guard, kPacketPause, [this] { return ending_; }));
}

bool LoudspeakerSite::waitOnline(std::chrono::milliseconds deadline) {
    return waitFor(
        [this] {
            for (std::size_t n = 0; n < emulators_.size(); ++n) {
                const auto loudspeaker = device(n);
                if (!loudspeaker || !loudspeaker->isOnlineAndResponding() ||
                    loudspeaker->volume.load() == device::kUnknownVolume)
                    return false;
            }
            return true;
        },
        deadline);
}

std::shared_ptr<device::VokarInfo> LoudspeakerSite::device(std::size_t n) const {
    return registry_->searchFor(addressOf(n));
}

frm::Targets LoudspeakerSite::targets(const std::vector<std::size_t>& numbers) const {
    frm::Targets result;
    for (std::size_t n : numbers) result.insert(device(n));
    return result;
}

}  // namespace test
