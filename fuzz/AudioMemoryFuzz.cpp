// Audio-memory image files ("*.a-bin", "*.raw-a-bin") of every layout: the root, the tables of
// fragments, scenarios and names, the name texts and the fragments' data. Each layout's loader
// reads the image on its own, as it reads a device's flash, not only after the later layouts
// refused it. A memory that is taken reads back as the same memory from its raw image, and one
// that the program's loader takes loads into a device's memory, as "load image" does, which
// saves it as an image ("save image") that loads into such a memory again as the same memory.
// What is not taken is refused with the system's error, never with a fault of the program.
//
// The image's last byte is never read, as the flash's last byte is not: it chooses the memory of
// the device (a loudspeaker's of version 2, 3 or 4, or a console's).

#include "AudioMemories.h"
#include "FuzzSupport.h"
#include "devicememory/AudioMemoryImage.h"
#include "foundation/Exceptions.h"

namespace {

using device::memory::IAudioControl;
using fuzz::MemoryKind;

constexpr std::size_t kFlashUnit = 512;

// A memory taken by a loader: its raw image, the flash as it was read, reads back through the
// same loader as the same memory.
template <class Loader>
void checkTaken(IAudioControl& memory, Loader reload) {
    fuzz::require(memory.getSizeOfFreeMemory() <= memory.getMemorySize(), "the free memory is part of it");
    memory.getHash();
    std::shared_ptr<IAudioControl> again;
    try {
        again = reload(memory.getImage(true));
    } catch (const exception::Base&) {
        fuzz::fail("a memory's raw image reads back");
    }
    fuzz::require(fuzz::contentsOf(*again) == fuzz::contentsOf(memory),
                  "a memory's raw image reads back as the same memory");
}

// Loading an image into a device's memory copies it into an empty memory as large.
void checkCopy(IAudioControl& memory) {
    const fuzz::Contents contents = fuzz::contentsOf(memory);
    const auto target = device::memory::loadImage(std::string(memory.getMemorySize(), '\xFF'));
    try {
        memory.copyTo(target);
    } catch (const exception::ExternalError&) {
        // Refused for the operator: a memory that breaks its rules or holds more than fits.
        return;
    }
    const fuzz::Contents copied = fuzz::contentsOf(*target);
    fuzz::require(copied.fragments.size() == contents.fragments.size() &&
                      copied.scenarios.size() == contents.scenarios.size(),
                  "a copy takes every fragment and scenario");
}

// "load image" into a device's memory, "save image" of it and "load image" of that into the
// memory of a device of the same kind.
void checkRoundTrip(const std::string& image, IAudioControl& loaded, MemoryKind kind) {
    const std::size_t flashSize =
        std::max(kFlashUnit, (image.size() + kFlashUnit - 1) / kFlashUnit * kFlashUnit);
    const auto emulated = fuzz::ScriptedDevice::next(flashSize, fuzz::commandWords(kind));
    const auto device = fuzz::deviceAt(kind, *emulated);
    const auto first = fuzz::deviceMemory(kind, device, true);
    try {
        first->setImage(image);
    } catch (const exception::ExternalError&) {
        // Refused for the operator, as the copy may be.
        return;
    }
    const fuzz::Contents source = fuzz::contentsOf(loaded);
    const fuzz::Contents taken = fuzz::contentsOf(*first);
    fuzz::require(taken.fragments.size() == source.fragments.size(), "a loaded image gives every fragment");
    fuzz::require(taken.scenarios.size() == (kind == MemoryKind::console ? 0 : source.scenarios.size()),
                  "a loaded image gives every scenario a loudspeaker plays");
    fuzz::require(fuzz::dataByName(*first) == fuzz::dataByName(loaded),
                  "a loaded image gives every fragment's data");
    fuzz::require(first->hasChanges(), "a loaded image waits to be written");

    std::string saved;
    try {
        saved = first->getImage(false);
    } catch (const exception::Base&) {
        fuzz::fail("a memory that took an image saves it");
    }
    fuzz::require(saved.size() == first->getMemorySize(), "a saved image is as large as the flash");
    const auto second = fuzz::deviceMemory(kind, device, true);
    try {
        second->setImage(saved);
    } catch (const exception::Base&) {
        fuzz::fail("a saved image loads again");
    }
    fuzz::require(second->isEqual(*first), "a saved image loads as an equal memory");
    fuzz::require(fuzz::contentsOf(*second) == taken, "a saved image loads as the same memory");
    fuzz::require(fuzz::dataByName(*second) == fuzz::dataByName(*first),
                  "a saved image keeps every fragment's data");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string image = fuzz::text(data, size);
    for (const MemoryKind kind : {MemoryKind::version2, MemoryKind::version3, MemoryKind::version4}) {
        std::shared_ptr<IAudioControl> memory;
        try {
            memory = fuzz::imageMemory(kind, image);
        } catch (const exception::Base&) {
            continue;
        }
        checkTaken(*memory, [kind](const std::string& raw) { return fuzz::imageMemory(kind, raw); });
    }

    std::shared_ptr<IAudioControl> memory;
    try {
        memory = device::memory::loadImage(image);
    } catch (const exception::Base&) {
        // Refused: no layout takes the image.
        return 0;
    }
    checkTaken(*memory, [](const std::string& raw) { return device::memory::loadImage(raw); });
    checkCopy(*memory);
    checkRoundTrip(image, *memory, fuzz::memoryKind(data[size - 1]));
    return 0;
}
