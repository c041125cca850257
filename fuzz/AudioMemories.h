#pragma once
// What the audio-memory fuzz programs share: the memories the devices keep (the loudspeakers' of
// versions 2, 3 and 4 and the console's), made over a device or over an image by the loader of
// that kind alone, and what the operator sees of a memory, to compare two of them.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedDevice.h"
#include "devicelink/IAudioControl.h"
#include "support/TestDevice.h"

namespace fuzz {

enum class MemoryKind { version2, version3, version4, console };

// The kind a byte of the input chooses.
MemoryKind memoryKind(std::uint8_t byte);
// The command words of a device with a memory of that kind.
test::AudioFlash::Words commandWords(MemoryKind kind);

// A loudspeaker or a console at the emulated device's address.
std::shared_ptr<test::TestDevice> deviceAt(MemoryKind kind, const ScriptedDevice& emulated);
// The device's memory of that kind, read from its flash, or empty when `blank`. Throws what
// reading the flash throws.
std::shared_ptr<device::memory::IAudioControl> deviceMemory(MemoryKind kind,
                                                            const std::shared_ptr<device::DeviceBase>& device,
                                                            bool blank);
// A detached memory over the image, taken by the loader of that kind only (the console's memory
// has the version-4 layout). Throws what loading throws.
std::shared_ptr<device::memory::IAudioControl> imageMemory(MemoryKind kind, const std::string& image);

// What the operator sees of a memory, in the order of the ids.
struct Contents {
    std::vector<device::memory::FragmentEntry> fragments;
    std::vector<device::memory::ScenarioEntry> scenarios;
};
Contents contentsOf(device::memory::IAudioControl& memory);
bool operator==(const Contents& a, const Contents& b);
// Every fragment's data by the fragment's name, which is unique in a memory the operator can
// edit; a copy numbers the fragments anew.
std::map<std::wstring, std::string> dataByName(device::memory::IAudioControl& memory);

}  // namespace fuzz
