#include "devicememory/V2AudioMemory.h"

#include <utility>

namespace device::v2::memory {

std::shared_ptr<AudioMemory> AudioMemory::create(const std::shared_ptr<DeviceBase>& device,
                                                 std::shared_ptr<TransferProtocol>,
                                                 device::memory::PlayStateHandler playStateHandler,
                                                 bool asNew) {
    auto [model, link] = linked<AudioModel>(device, commands);
    return attach(new AudioMemory(std::move(model), std::move(link), std::move(playStateHandler)), asNew);
}

std::shared_ptr<AudioMemory> AudioMemory::fromImage(const std::string& image) {
    auto [model, link] = detached<AudioModel>(image, commands);
    return loadDetached(new AudioMemory(std::move(model), std::move(link), nullptr));
}

}  // namespace device::v2::memory
