#pragma once
// The audio memory of the loudspeakers that speak the "voice" command set, over the records
// and flash layout of version 4 (V4Records.h, loaded and laid out by LayoutAudioControl.h): its
// UTF-8 names, its checksum, and the write of changes that erases the flash first and waits
// until the device is ready again. Version 3 itself is this class: the version-4 layout with 3 in the
// root's version field, ids and play numbers counted from 0. Version 4 counts them from 1.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "devicememory/LayoutAudioControl.h"
#include "devicememory/V4Records.h"

namespace device::v3::memory {

// The records and command words of versions 3 and 4.
struct Layout {
    using Root = v4::memory::Root;
    using Fragment = v4::memory::Fragment;
    using Scenario = v4::memory::Scenario;
    using Name = v4::memory::Name;
    static constexpr bool idsByPosition = false;
    static constexpr bool dataMayStay = false;
    static constexpr device::memory::CommandWords commands{"voicePlay %u",
                                                           "voicePlaySc %u",
                                                           "voiceIsPlaying",
                                                           "voiceStop",
                                                           "voiceMemSize",
                                                           "voiceMemRead %08X %u",
                                                           "voiceMemProgram %08X %u %s"};
};

class AudioMemory : public device::memory::LayoutAudioControl<Layout> {
public:
    // The memory of `device`, loaded from its flash (all but the fragments' data), or an empty
    // one that ignores the flash when `blank`. Throws what asking and loading throw.
    static std::shared_ptr<AudioMemory> create(const std::shared_ptr<DeviceBase>& device,
                                               std::shared_ptr<TransferProtocol> transport,
                                               device::memory::PlayStateHandler playStateHandler, bool blank);
    // A detached memory over an image, every level loaded. Throws what loading throws.
    static std::shared_ptr<AudioMemory> fromImage(const std::string& image);

    ~AudioMemory() override;

    // Refuses while the device is not ready or a write runs, reads the whole memory back,
    // erases the flash and writes everything anew once the device is ready again.
    void writeChanges(device::memory::ProgressHandler progress) override;

    // How long a write waits for the device to be ready after the erase.
    static constexpr std::chrono::seconds readyWait{300};

protected:
    // `version` is the layout's version field: 3 for this class, 4 for version 4.
    AudioMemory(std::uint16_t version, const std::shared_ptr<DeviceBase>& device,
                std::shared_ptr<TransferProtocol> transport,
                device::memory::PlayStateHandler playStateHandler);
    AudioMemory(std::uint16_t version, const std::string& image);

    // UTF-8 followed by one NUL.
    std::string encodeName(const std::wstring& name) override;
    std::uint32_t getNameLength(const std::wstring& name) override;
    std::wstring decodeName(const Name& record) override;
    std::uint32_t updateChecksum() override;
    std::uint16_t getFirstOrder() override;
    std::uint16_t getFirstId() override;
    void checkVersionSpecificInvariant() override;

private:
    // The checksum of the root (its checksum field taken as 0) and of the fragment and scenario
    // records, in id order.
    std::uint32_t rootChecksum();

    // Asks whether the device is ready and writes, or asks again later up to the deadline.
    void writeWhenReady(std::uint64_t serial);
    void resumeWrite(std::uint64_t serial);

    std::uint32_t deferredWriteId_ = 0;
    std::chrono::steady_clock::time_point readyDeadline_{};
};

}  // namespace device::v3::memory
