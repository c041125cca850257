#pragma once
// The audio memory of the loudspeakers that speak the "voice" command set: the model of
// versions 3 and 4 (V3AudioModel.h), and the write of changes that erases the flash first and
// waits until the device is ready again.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "devicememory/BaseAudioControl.h"
#include "devicememory/V3AudioModel.h"

namespace device::v3::memory {

// The command words of versions 3 and 4.
inline constexpr device::memory::CommandWords commands{"voicePlay %u",
                                                       "voicePlaySc %u",
                                                       "voiceIsPlaying",
                                                       "voiceStop",
                                                       "voiceMemSize",
                                                       "voiceMemRead %08X %u",
                                                       "voiceMemProgram %08X %u %s"};

class AudioMemory : public device::memory::BaseAudioControl {
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
    using BaseAudioControl::BaseAudioControl;

private:
    // Asks whether the device is ready and writes, or asks again later up to the deadline.
    void writeWhenReady(std::uint64_t serial);
    void resumeWrite(std::uint64_t serial);

    std::uint32_t deferredWriteId_ = 0;
    std::chrono::steady_clock::time_point readyDeadline_{};
};

}  // namespace device::v3::memory
