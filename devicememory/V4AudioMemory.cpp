#include "devicememory/V4AudioMemory.h"

namespace device::v4::memory {

AudioMemory::AudioMemory(const std::shared_ptr<DeviceBase>& device,
                         std::shared_ptr<TransferProtocol> transport,
                         device::memory::PlayStateHandler playStateHandler)
    : device::v3::memory::AudioMemory(4, device, std::move(transport), std::move(playStateHandler)) {}

AudioMemory::AudioMemory(const std::string& image) : device::v3::memory::AudioMemory(4, image) {}

std::shared_ptr<AudioMemory> AudioMemory::create(const std::shared_ptr<DeviceBase>& device,
                                                 std::shared_ptr<TransferProtocol> transport,
                                                 device::memory::PlayStateHandler playStateHandler,
                                                 bool blank) {
    // Only now are this class's slots in place, so loading counts ids from 1.
    return attach(new AudioMemory(device, std::move(transport), std::move(playStateHandler)), blank);
}

std::shared_ptr<AudioMemory> AudioMemory::fromImage(const std::string& image) {
    return loadDetached(new AudioMemory(image));
}

std::uint16_t AudioMemory::getFirstOrder() {
    return 1;
}

std::uint16_t AudioMemory::getFirstId() {
    return 1;
}

}  // namespace device::v4::memory
