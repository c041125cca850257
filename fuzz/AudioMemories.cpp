#include "AudioMemories.h"

#include <algorithm>

#include "devicememory/TribelAudioMemory.h"
#include "devicememory/V2AudioMemory.h"
#include "devicememory/V3AudioMemory.h"
#include "devicememory/V4AudioMemory.h"

namespace fuzz {

using device::memory::IAudioControl;

MemoryKind memoryKind(std::uint8_t byte) {
    return static_cast<MemoryKind>(byte % 4);
}

test::AudioFlash::Words commandWords(MemoryKind kind) {
    return kind == MemoryKind::version2 ? test::AudioFlash::Words::older : test::AudioFlash::Words::voice;
}

std::shared_ptr<test::TestDevice> deviceAt(MemoryKind kind, const ScriptedDevice& emulated) {
    static std::uint32_t counter = 0;
    ++counter;
    const device::DeviceType type = kind == MemoryKind::console    ? device::types::tribelT
                                    : kind == MemoryKind::version2 ? device::types::vokarALaterGeneration
                                                                   : device::types::vokarB;
    return test::TestDevice::create(counter, type, net::HardwareAddress(0x027E41, counter & 0xFFFFFF),
                                    emulated.address(), L"fuzz", ScriptedDevice::transport(), nullptr);
}

std::shared_ptr<IAudioControl> deviceMemory(MemoryKind kind,
                                            const std::shared_ptr<device::DeviceBase>& device, bool blank) {
    const auto& transport = ScriptedDevice::transport();
    switch (kind) {
        case MemoryKind::version2:
            return device::v2::memory::AudioMemory::create(device, transport, nullptr, blank);
        case MemoryKind::version3:
            return device::v3::memory::AudioMemory::create(device, transport, nullptr, blank);
        case MemoryKind::version4:
            return device::v4::memory::AudioMemory::create(device, transport, nullptr, blank);
        case MemoryKind::console:
            break;
    }
    return device::tribel::memory::AudioMemory::create(device, transport, nullptr, blank);
}

std::shared_ptr<IAudioControl> imageMemory(MemoryKind kind, const std::string& image) {
    switch (kind) {
        case MemoryKind::version2:
            return device::v2::memory::AudioMemory::fromImage(image);
        case MemoryKind::version3:
            return device::v3::memory::AudioMemory::fromImage(image);
        case MemoryKind::version4:
        case MemoryKind::console:
            break;
    }
    return device::v4::memory::AudioMemory::fromImage(image);
}

Contents contentsOf(IAudioControl& memory) {
    Contents contents{memory.getFragments(), memory.getScenarios()};
    const auto byId = [](const auto& a, const auto& b) { return a.id < b.id; };
    std::sort(contents.fragments.begin(), contents.fragments.end(), byId);
    std::sort(contents.scenarios.begin(), contents.scenarios.end(), byId);
    return contents;
}

bool operator==(const Contents& a, const Contents& b) {
    const auto sameFragment = [](const auto& x, const auto& y) {
        return x.id == y.id && x.order == y.order && x.name == y.name && x.size == y.size &&
               x.dataCrc == y.dataCrc;
    };
    const auto sameScenario = [](const auto& x, const auto& y) {
        return x.id == y.id && x.order == y.order && x.name == y.name && x.value == y.value &&
               x.gongId == y.gongId && x.fragmentId == y.fragmentId && x.repeatPeriod == y.repeatPeriod;
    };
    return std::equal(a.fragments.begin(), a.fragments.end(), b.fragments.begin(), b.fragments.end(),
                      sameFragment) &&
           std::equal(a.scenarios.begin(), a.scenarios.end(), b.scenarios.begin(), b.scenarios.end(),
                      sameScenario);
}

std::map<std::wstring, std::string> dataByName(IAudioControl& memory) {
    std::map<std::wstring, std::string> data;
    for (const device::memory::FragmentEntry& entry : memory.getFragments())
        data[entry.name] = memory.getFragmentFile(entry.id);
    return data;
}

}  // namespace fuzz
