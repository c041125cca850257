#include "devicememory/V3AudioMemory.h"

#include <vector>

#include "devicememory/Crc32Mpeg2.h"
#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/ScanFields.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"

namespace device::v3::memory {
namespace {

using device::memory::level::all;

constexpr std::uint32_t kReadyPollMs = 500;

bool notReady(const std::string& reply) {
    return base::scan::containsIgnoringCase(reply, "off");
}

}  // namespace

AudioMemory::AudioMemory(std::uint16_t version, const std::shared_ptr<DeviceBase>& device,
                         std::shared_ptr<TransferProtocol> transport,
                         device::memory::PlayStateHandler playStateHandler)
    : LayoutAudioControl(version, device, std::move(transport), std::move(playStateHandler)) {}

AudioMemory::AudioMemory(std::uint16_t version, const std::string& image)
    : LayoutAudioControl(version, image) {}

std::shared_ptr<AudioMemory> AudioMemory::create(const std::shared_ptr<DeviceBase>& device,
                                                 std::shared_ptr<TransferProtocol> transport,
                                                 device::memory::PlayStateHandler playStateHandler,
                                                 bool blank) {
    return attach(new AudioMemory(3, device, std::move(transport), std::move(playStateHandler)), blank);
}

std::shared_ptr<AudioMemory> AudioMemory::fromImage(const std::string& image) {
    return loadDetached(new AudioMemory(3, image));
}

AudioMemory::~AudioMemory() {
    if (deferredWriteId_ == 0) return;
    try {
        base::ThreadDispatcher::remove(deferredWriteId_);
    } catch (const std::exception& error) {
        debug::Place("device::v3::memory::AudioMemory::~AudioMemory").error(L"%1%", error.what());
    }
}

// ---------------------------------------------------------------------------------------------
// Names.

std::string AudioMemory::encodeName(const std::wstring& name) {
    return base::toUtf8(name) + '\0';
}

std::uint32_t AudioMemory::getNameLength(const std::wstring& name) {
    return getEncodedNameSize(name);
}

std::wstring AudioMemory::decodeName(const Name& record) {
    // A text holds at least its NUL.
    if (record.length == 0) refuseStructure(L" (Загрузка наименований)");
    std::string bytes = readMemory(record.address, record.length);
    bytes.pop_back();
    const std::wstring text = base::fromUtf8(bytes);
    // The conversion replaces what is not UTF-8; such a text does not convert back.
    if (base::toUtf8(text) != bytes) refuseStructure(L". Некорректное название");
    return text;
}

std::uint16_t AudioMemory::getFirstOrder() {
    return 0;
}

std::uint16_t AudioMemory::getFirstId() {
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Laying the memory out.

std::uint32_t AudioMemory::rootChecksum() {
    std::uint8_t bytes[Root::size];
    Root root = root_;
    root.checksum = 0;
    root.write(bytes);
    std::uint32_t crc = crc32Mpeg2(bytes, sizeof bytes);
    for (const auto& [id, record] : fragments_) {
        std::uint8_t fragment[Fragment::size];
        record.write(fragment);
        crc = crc32Mpeg2(fragment, sizeof fragment, crc);
    }
    for (const auto& [id, record] : scenarios_) {
        std::uint8_t scenario[Scenario::size];
        record.write(scenario);
        crc = crc32Mpeg2(scenario, sizeof scenario, crc);
    }
    return crc;
}

std::uint32_t AudioMemory::updateChecksum() {
    root_.checksum = rootChecksum();
    return root_.checksum;
}

void AudioMemory::checkVersionSpecificInvariant() {
    const debug::Place place("device::v3::memory::AudioMemory::checkVersionSpecificInvariant");
    if (!hasChanges_.load() && root_.fragmentTable >= Root::size && root_.checksum != 0 &&
        root_.checksum != rootChecksum()) {
        broken_ = true;
        place.error(L"Violated audio memory [version specific] invariant: incorrect checksum of root");
    }
    for (const auto& [id, record] : fragments_) {
        const auto data = fragmentData_.find(id);
        if (data == fragmentData_.end()) {
            broken_ = true;
            place.error(L"Violated audio memory [version specific] invariant: file doesn't found");
            return;
        }
        if (!data->second.empty() && crc32Mpeg2(data->second.data(), data->second.size()) != record.dataCrc) {
            broken_ = true;
            place.error(L"Violated audio memory [version specific] invariant: checksum mismatch");
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The write of changes: erase, wait until ready, then the write of the base.

void AudioMemory::writeChanges(device::memory::ProgressHandler progress) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (notReady(transferToDevice("voiceMemIsReady"))) throw exception::UserResponse(L"busy", L"");
    const std::int32_t running = writeProgress_.load();
    if (running >= 0 && running < 100) throw exception::UserResponse(L"busy", L"");
    checkPossibilityOfWritingChanges();
    // The erase destroys the whole flash: everything must be in memory first.
    initLevel(all);
    const std::uint64_t serial = beginWrite(std::move(progress));
    try {
        transferToDevice("voiceMemErase");
        readyDeadline_ = base::clock::steadyNow() + readyWait;
        writeWhenReady(serial);
    } catch (...) {
        failWrite(serial);
        throw;
    }
}

void AudioMemory::writeWhenReady(std::uint64_t serial) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    deferredWriteId_ = 0;
    if (!isWriteOpen(serial)) return;
    if (notReady(transferToDevice("voiceMemIsReady"))) {
        if (base::clock::steadyNow() >= readyDeadline_) {
            debug::Place("device::v3::memory::AudioMemory::writeWhenReady")
                .warn(L"The device did not become ready to write its audio memory");
            failWrite(serial);
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
    writeAllData_ = true;
    sendChanges(serial);
}

void AudioMemory::resumeWrite(std::uint64_t serial) {
    // Nobody waits on this thread: whatever ends the write is reported through its progress.
    try {
        writeWhenReady(serial);
    } catch (const std::exception& error) {
        debug::Place("device::v3::memory::AudioMemory::writeWhenReady").warn(L"%1%", error.what());
        failWrite(serial);
    }
}

}  // namespace device::v3::memory
