#pragma once
// The audio memory model over the records and flash layout of version 4 (V4Records.h, loaded
// and laid out by LayoutAudioModel.h): its UTF-8 names and its checksum. Version 3 itself is
// this class: the version-4 layout with 3 in the root's version field, ids and play numbers
// counted from 0. Version 4 counts them from 1.

#include <cstdint>
#include <string>

#include "devicememory/LayoutAudioModel.h"
#include "devicememory/V4Records.h"

namespace device::v3::memory {

// The records of versions 3 and 4.
struct Layout {
    using Root = v4::memory::Root;
    using Fragment = v4::memory::Fragment;
    using Scenario = v4::memory::Scenario;
    using Name = v4::memory::Name;
    static constexpr bool idsByPosition = false;
    static constexpr bool dataMayStay = false;
};

class AudioModel : public device::memory::LayoutAudioModel<Layout> {
public:
    // Over the bytes of a flash, as long as the flash; nothing is loaded yet.
    explicit AudioModel(const std::string& image);
    // Over a flash that `reader` fetches.
    explicit AudioModel(FlashReader reader);

protected:
    // `version` is the layout's version field: 3 for this class, 4 for version 4.
    AudioModel(std::uint16_t version, const std::string& image);
    AudioModel(std::uint16_t version, FlashReader reader);

    // UTF-8 followed by one NUL.
    std::string encodeName(const std::wstring& name) const override;
    std::uint32_t getNameLength(const std::wstring& name) const override;
    std::wstring decodeName(const Name& record) override;
    std::uint32_t updateChecksum() override;
    std::uint16_t getFirstOrder() const override;
    std::uint16_t getFirstId() const override;
    void checkVersionSpecificInvariant() override;

private:
    // The checksum of the root (its checksum field taken as 0) and of the fragment and scenario
    // records, in id order.
    std::uint32_t rootChecksum() const;
};

}  // namespace device::v3::memory
