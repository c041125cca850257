#pragma once
// The audio memory of the loudspeakers of the first generations: their own command set (words
// beginning with "a"), the version-2 layout (V2Records.h) with names in UTF-16, ids and play
// numbers counted from 0 and no checksum. The flash has no erase command: a write programs its
// pieces over what the flash holds, and data that does not move is not written again.

#include <cstdint>
#include <memory>
#include <string>

#include "devicememory/LayoutAudioControl.h"
#include "devicememory/V2Records.h"

namespace device::v2::memory {

// The records and command words of version 2.
struct Layout {
    using Root = root_t;
    using Fragment = fragment_t;
    using Scenario = scenario_t;
    using Name = name_t;
    static constexpr bool idsByPosition = true;
    static constexpr bool dataMayStay = true;
    static constexpr device::memory::CommandWords commands{
        "aplay %u", "aplaysc %u", "aisplay", "astop", "aflashsz", "aflashrd %08X %u", "aflash %08X %u %s"};
};

class AudioMemory : public device::memory::LayoutAudioControl<Layout> {
public:
    // The memory of `device`, loaded from its flash (all but the fragments' data), or an empty
    // one that ignores the flash when `asNew`. Throws what asking and loading throw.
    static std::shared_ptr<AudioMemory> create(const std::shared_ptr<DeviceBase>& device,
                                               std::shared_ptr<TransferProtocol> transport,
                                               device::memory::PlayStateHandler playStateHandler, bool asNew);
    // A detached memory over an image, every level loaded. Throws what loading throws.
    static std::shared_ptr<AudioMemory> fromImage(const std::string& image);

protected:
    AudioMemory(const std::shared_ptr<DeviceBase>& device, std::shared_ptr<TransferProtocol> transport,
                device::memory::PlayStateHandler playStateHandler);
    explicit AudioMemory(const std::string& image);

    // UTF-16LE code units, no terminator.
    std::string encodeName(const std::wstring& name) override;
    // Code units.
    std::uint32_t getNameLength(const std::wstring& name) override;
    std::wstring decodeName(const Name& record) override;
    std::uint32_t getNameSize(const Name& record) override;
    // There is no checksum.
    std::uint32_t updateChecksum() override;
    // The fragment records keep none either: a new fragment shows 0, as one read from the flash
    // does, so that a memory and its flash read back have the same hash.
    std::uint32_t dataChecksum(const std::string& data) override;
    std::uint16_t getFirstOrder() override;
    std::uint16_t getFirstId() override;
    // Fragment ids are their places in the table, and scenarios play fragments that exist.
    void checkVersionSpecificInvariant() override;
    // The flash keeps no ids: removing any fragment but the last would renumber the others.
    bool onlyLastFragmentRemovable() override;
};

}  // namespace device::v2::memory
