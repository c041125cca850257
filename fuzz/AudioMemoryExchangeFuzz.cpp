// A device's replies in the audio-memory exchange: the flash size, the pieces read, the readiness
// and playing queries, the erase, the pieces written and play and stop, of loudspeakers of
// versions 2, 3 and 4 and of consoles. The device is an emulated one whose replies the input
// scripts (ScriptedDevice); whatever it answers, the program reads a memory or refuses it, and a
// write of changes ends exactly once: at 100 only when the flash holds the memory, read back as
// an image, with the memory no longer marked changed; at -1 with it still marked.
//
// The input: a byte of choices, the length of the flash image (two bytes, little-endian), the
// image, then the replies separated by 0x1F; an empty reply lets the device answer for itself.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "AudioMemories.h"
#include "FuzzSupport.h"
#include "foundation/Exceptions.h"

namespace {

using device::memory::IAudioControl;
using fuzz::MemoryKind;

constexpr std::size_t kFlashUnit = 512;
constexpr std::size_t kMostReplies = 64;
// Far longer than any write of the small flashes here takes, slow replies included.
constexpr auto kWriteDeadline = std::chrono::seconds(20);

// The choices of the first byte.
struct Choices {
    MemoryKind kind;
    bool blank;
    int edit;
    std::size_t fragmentSize;
};

Choices choicesOf(std::uint8_t byte) {
    return Choices{fuzz::memoryKind(byte), (byte & 4) != 0, byte >> 3 & 3, 1 + std::size_t{byte} / 32 * 150};
}

// The reports of one write.
class Progress {
public:
    device::memory::ProgressHandler handler() {
        return [this](int percent) {
            std::lock_guard<std::mutex> guard(lock_);
            fuzz::require(ends_ == 0, "nothing is reported after the end of a write");
            fuzz::require(percent == -1 || (percent >= last_ && percent <= 100),
                          "a write's progress only grows, up to 100");
            last_ = percent;
            if (percent == 100 || percent == -1) ++ends_;
            changed_.notify_all();
        };
    }
    // The end's percent; a write that does not end within the deadline is a finding.
    int waitEnd() {
        std::unique_lock<std::mutex> guard(lock_);
        fuzz::require(changed_.wait_for(guard, kWriteDeadline, [this] { return ends_ > 0; }), "a write ends");
        return last_;
    }
    int ends() {
        std::lock_guard<std::mutex> guard(lock_);
        return ends_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int last_ = 0;
    int ends_ = 0;
};

// The operator's edit before the write; refusals are the program's to make.
void edit(IAudioControl& memory, const Choices& choices) {
    std::string data(choices.fragmentSize, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + 3);
    try {
        const std::vector<device::memory::FragmentEntry> fragments = memory.getFragments();
        if (choices.edit == 2) {
            if (!fragments.empty()) memory.removeFragment(fragments.back().id);
            return;
        }
        if (choices.edit == 0) return;
        const std::int16_t added = memory.addFragment(data, L"Фрагмент fuzz");
        if (choices.edit == 3)
            memory.addScenario(fragments.empty() ? added : fragments.front().id, added, 30, L"fuzz");
    } catch (const exception::Base&) {
        // Refused: busy, full or against the memory's rules.
    }
}

// The flash as an image, read by the loader of the memory's kind.
std::shared_ptr<IAudioControl> flashMemory(fuzz::ScriptedDevice& emulated, MemoryKind kind) {
    try {
        return fuzz::imageMemory(kind, emulated.flash().flash().contents());
    } catch (const exception::Base&) {
        return nullptr;
    }
}

void write(IAudioControl& memory, fuzz::ScriptedDevice& emulated, MemoryKind kind) {
    Progress progress;
    try {
        memory.writeChanges(progress.handler());
    } catch (const exception::Base&) {
        // Refused before it began, or failed at once: then it ended already.
        fuzz::require(progress.ends() <= 1, "a write ends once");
        if (progress.ends() == 0) return;
    }
    const int end = progress.waitEnd();
    // What the device answers from now on is the truth.
    emulated.setScript({});
    if (end == -1) {
        fuzz::require(memory.hasChanges(), "a failed write leaves the memory marked changed");
        return;
    }
    fuzz::require(!memory.hasChanges(), "a written memory is no longer marked changed");
    const auto written = flashMemory(emulated, kind);
    fuzz::require(written != nullptr, "a memory written at 100 % is in the flash");
    fuzz::require(fuzz::contentsOf(*written) == fuzz::contentsOf(memory),
                  "a memory written at 100 % is in the flash as it is in the program");
    fuzz::require(fuzz::dataByName(*written) == fuzz::dataByName(memory),
                  "a memory written at 100 % has every fragment's data in the flash");
}

void playAndStop(IAudioControl& memory) {
    try {
        memory.isPlaying();
        const auto fragments = memory.getFragments();
        const auto scenarios = memory.getScenarios();
        if (!scenarios.empty()) memory.playScenario(scenarios.front().id);
        if (!fragments.empty()) memory.playFragment(fragments.front().id);
        memory.getPlayingId();
        memory.stop();
    } catch (const exception::Base&) {
        // Refused by the program or the device.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const Choices choices = choicesOf(data[0]);
    const std::size_t imageSize = std::min<std::size_t>(data[1] | data[2] << 8, size - 3);
    const std::string image = fuzz::text(data + 3, imageSize);
    std::vector<std::string> replies =
        fuzz::pieces(fuzz::text(data + 3 + imageSize, size - 3 - imageSize), '\x1F', kMostReplies);
    if (replies.size() == 1 && replies.front().empty()) replies.clear();

    const std::size_t flashSize =
        std::max(kFlashUnit, (image.size() + kFlashUnit - 1) / kFlashUnit * kFlashUnit);
    const auto emulated = fuzz::ScriptedDevice::next(flashSize, fuzz::commandWords(choices.kind));
    emulated->flash().flash().load(0, image);
    emulated->setScript(std::move(replies));
    const auto device = fuzz::deviceAt(choices.kind, *emulated);

    std::shared_ptr<IAudioControl> memory;
    try {
        memory = fuzz::deviceMemory(choices.kind, device, choices.blank);
    } catch (const exception::Base&) {
        // Refused: the device's answers or its flash do not make a memory.
        return 0;
    }
    fuzz::require(memory->getSizeOfFreeMemory() <= memory->getMemorySize(), "the free memory is part of it");
    if (!choices.blank && emulated->repliesGiven() == 0) {
        // Read from a device that told the truth: the memory of its flash as an image.
        if (const auto read = flashMemory(*emulated, choices.kind))
            fuzz::require(fuzz::contentsOf(*memory) == fuzz::contentsOf(*read),
                          "a flash reads from the device as it reads as an image");
    }
    edit(*memory, choices);
    write(*memory, *emulated, choices.kind);
    playAndStop(*memory);
    return 0;
}
