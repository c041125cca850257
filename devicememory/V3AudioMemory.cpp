#include "devicememory/V3AudioMemory.h"

#include <utility>

#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/ScanFields.h"
#include "foundation/ThreadDispatcher.h"

namespace device::v3::memory {
namespace {

using device::memory::level::all;

constexpr std::uint32_t kReadyPollMs = 500;

bool notReady(const std::string& reply) {
    return base::scan::containsIgnoringCase(reply, "off");
}

}  // namespace

std::shared_ptr<AudioMemory> AudioMemory::create(const std::shared_ptr<DeviceBase>& device,
                                                 std::shared_ptr<TransferProtocol>,
                                                 device::memory::PlayStateHandler playStateHandler,
                                                 bool blank) {
    auto [model, link] = linked<AudioModel>(device, commands);
    return attach(new AudioMemory(std::move(model), std::move(link), std::move(playStateHandler)), blank);
}

std::shared_ptr<AudioMemory> AudioMemory::fromImage(const std::string& image) {
    auto [model, link] = detached<AudioModel>(image, commands);
    return loadDetached(new AudioMemory(std::move(model), std::move(link), nullptr));
}

AudioMemory::~AudioMemory() {
    if (deferredWriteId_ == 0) return;
    try {
        base::ThreadDispatcher::remove(deferredWriteId_);
    } catch (const std::exception& error) {
        debug::Place("device::v3::memory::AudioMemory::~AudioMemory").error(L"%1%", exception::textOf(error));
    }
}

// ---------------------------------------------------------------------------------------------
// The write of changes: erase, wait until ready, then the write of the base.

void AudioMemory::writeChanges(device::memory::ProgressHandler progress) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (notReady(link().transfer("voiceMemIsReady"))) throw exception::UserResponse(L"busy", L"");
    const std::int32_t running = link().getWriteProgress();
    if (running >= 0 && running < 100) throw exception::UserResponse(L"busy", L"");
    checkPossibilityOfWritingChanges();
    // The erase destroys the whole flash: everything must be in memory first.
    model().initLevel(all);
    const std::uint64_t serial = beginWrite(std::move(progress));
    try {
        link().transfer("voiceMemErase");
        readyDeadline_ = base::clock::steadyNow() + readyWait;
        writeWhenReady(serial);
    } catch (...) {
        link().failWrite(serial);
        throw;
    }
}

void AudioMemory::writeWhenReady(std::uint64_t serial) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    deferredWriteId_ = 0;
    if (!link().isWriteOpen(serial)) return;
    if (notReady(link().transfer("voiceMemIsReady"))) {
        if (base::clock::steadyNow() >= readyDeadline_) {
            debug::Place("device::v3::memory::AudioMemory::writeWhenReady")
                .warn(L"The device did not become ready to write its audio memory");
            link().failWrite(serial);
            return;
        }
        const std::weak_ptr<IAudioControl> self = weak_from_this();
        deferredWriteId_ =
            base::ThreadDispatcher::add(L"It is deferred writing changes.", kReadyPollMs, [self, serial] {
                if (const std::shared_ptr<IAudioControl> memory = self.lock())
                    static_cast<AudioMemory&>(*memory).resumeWrite(serial);
            });
        return;
    }
    // After the erase every fragment's data must be written again.
    model().writeAllData();
    sendChanges(serial);
}

void AudioMemory::resumeWrite(std::uint64_t serial) {
    // Nobody waits on this thread: whatever ends the write is reported through its progress.
    try {
        writeWhenReady(serial);
    } catch (const std::exception& error) {
        debug::Place("device::v3::memory::AudioMemory::writeWhenReady")
            .warn(L"%1%", exception::textOf(error));
        link().failWrite(serial);
    }
}

}  // namespace device::v3::memory
