#pragma once
// The audio memory of a microphone console: the version-4 memory of its gong and messages. A
// console plays no scenarios, so new ones are ignored and a fragment removal takes every
// scenario the flash still holds with it.

#include <memory>

#include "devicememory/V4AudioMemory.h"

namespace device::tribel::memory {

class AudioMemory : public device::v4::memory::AudioMemory {
public:
    // As the version-4 memory builds itself; the console's own slots take part in loading.
    static std::shared_ptr<AudioMemory> create(const std::shared_ptr<DeviceBase>& device,
                                               std::shared_ptr<TransferProtocol> transport,
                                               device::memory::PlayStateHandler playStateHandler, bool blank);

    // Removes every scenario first, also when the fragment then turns out to be absent.
    void removeFragment(std::int16_t id) override;
    // Adds nothing and gives 0.
    std::int16_t addScenario(std::int16_t gongId, std::int16_t fragmentId, std::uint16_t repeatPeriod,
                             const std::wstring& name) override;

private:
    using device::v4::memory::AudioMemory::AudioMemory;
};

}  // namespace device::tribel::memory
