#pragma once
// The audio memory model of the loudspeakers of the first generations: the version-2 layout
// (V2Records.h) with names in UTF-16, ids and play numbers counted from 0 and no checksum. The
// flash has no erase command: a write programs its pieces over what the flash holds, and data
// that does not move is not written again.

#include <cstdint>
#include <string>

#include "devicememory/LayoutAudioModel.h"
#include "devicememory/V2Records.h"

namespace device::v2::memory {

// The records of version 2.
struct Layout {
    using Root = root_t;
    using Fragment = fragment_t;
    using Scenario = scenario_t;
    using Name = name_t;
    static constexpr bool idsByPosition = true;
    static constexpr bool dataMayStay = true;
};

class AudioModel : public device::memory::LayoutAudioModel<Layout> {
public:
    // Over the bytes of a flash, as long as the flash; nothing is loaded yet.
    explicit AudioModel(const std::string& image);
    // Over a flash that `reader` fetches.
    explicit AudioModel(FlashReader reader);

protected:
    // UTF-16LE code units, no terminator.
    std::string encodeName(const std::wstring& name) const override;
    // Code units.
    std::uint32_t getNameLength(const std::wstring& name) const override;
    std::wstring decodeName(const Name& record) override;
    std::uint32_t getNameSize(const Name& record) const override;
    // There is no checksum.
    std::uint32_t updateChecksum() override;
    // The fragment records keep none either: a new fragment shows 0, as one read from the flash
    // does, so that a memory and its flash read back have the same hash.
    std::uint32_t dataChecksum(const std::string& data) const override;
    std::uint16_t getFirstOrder() const override;
    std::uint16_t getFirstId() const override;
    // Fragment ids are their places in the table, and scenarios play fragments that exist.
    void checkVersionSpecificInvariant() override;
    // The flash keeps no ids: removing any fragment but the last would renumber the others.
    bool onlyLastFragmentRemovable() const override;
};

}  // namespace device::v2::memory
