#include "devicememory/V4AudioMemory.h"

#include <utility>

namespace device::v4::memory {

std::shared_ptr<AudioMemory> AudioMemory::create(const std::shared_ptr<DeviceBase>& device,
                                                 std::shared_ptr<TransferProtocol>,
                                                 device::memory::PlayStateHandler playStateHandler,
                                                 bool blank) {
    auto [model, link] = linked<AudioModel>(device, device::v3::memory::commands);
    return attach(new AudioMemory(std::move(model), std::move(link), std::move(playStateHandler)), blank);
}

std::shared_ptr<AudioMemory> AudioMemory::fromImage(const std::string& image) {
    auto [model, link] = detached<AudioModel>(image, device::v3::memory::commands);
    return loadDetached(new AudioMemory(std::move(model), std::move(link), nullptr));
}

}  // namespace device::v4::memory
