#include "devicememory/TribelAudioMemory.h"

#include <mutex>
#include <utility>

#include "foundation/Place.h"

namespace device::tribel::memory {

std::shared_ptr<AudioMemory> AudioMemory::create(const std::shared_ptr<DeviceBase>& device,
                                                 std::shared_ptr<TransferProtocol>,
                                                 device::memory::PlayStateHandler playStateHandler,
                                                 bool blank) {
    auto [model, link] = linked<device::v4::memory::AudioModel>(device, device::v3::memory::commands);
    return attach(new AudioMemory(std::move(model), std::move(link), std::move(playStateHandler)), blank);
}

void AudioMemory::removeFragment(std::int16_t id) {
    // One edit as others see it: no scenario may come back between the removals.
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const device::memory::ScenarioEntry& scenario : getScenarios()) removeScenario(scenario.id);
    device::v4::memory::AudioMemory::removeFragment(id);
}

std::int16_t AudioMemory::addScenario(std::int16_t, std::int16_t, std::uint16_t, const std::wstring&) {
    debug::Place("device::tribel::memory::AudioMemory::addScenario").trace(L"Skip a scenario for Tribel.");
    return 0;
}

}  // namespace device::tribel::memory
