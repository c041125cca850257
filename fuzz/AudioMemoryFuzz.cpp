// Audio-memory image files ("*.a-bin", "*.raw-a-bin") of every layout: the root, the tables of
// fragments, scenarios and names, the name texts and the fragments' data. An image that is taken
// gives a memory whose raw image reads back as the same memory and which copies whole into an empty
// memory as large, as loading it into a device does; one that is not is refused with the system's
// error, never with a fault of the program.

#include <algorithm>

#include "FuzzSupport.h"
#include "devicememory/AudioMemoryImage.h"
#include "foundation/Exceptions.h"

namespace {

using device::memory::IAudioControl;

struct Contents {
    std::vector<device::memory::FragmentEntry> fragments;
    std::vector<device::memory::ScenarioEntry> scenarios;
};

// What the operator sees of a memory, in the order of the ids.
Contents contentsOf(IAudioControl& memory) {
    Contents contents{memory.getFragments(), memory.getScenarios()};
    const auto byId = [](const auto& a, const auto& b) { return a.id < b.id; };
    std::sort(contents.fragments.begin(), contents.fragments.end(), byId);
    std::sort(contents.scenarios.begin(), contents.scenarios.end(), byId);
    return contents;
}

bool operator==(const Contents& a, const Contents& b) {
    const auto sameFragment = [](const auto& x, const auto& y) {
        return x.id == y.id && x.order == y.order && x.name == y.name && x.size == y.size &&
               x.dataCrc == y.dataCrc;
    };
    const auto sameScenario = [](const auto& x, const auto& y) {
        return x.id == y.id && x.order == y.order && x.name == y.name && x.value == y.value &&
               x.gongId == y.gongId && x.fragmentId == y.fragmentId && x.repeatPeriod == y.repeatPeriod;
    };
    return std::equal(a.fragments.begin(), a.fragments.end(), b.fragments.begin(), b.fragments.end(),
                      sameFragment) &&
           std::equal(a.scenarios.begin(), a.scenarios.end(), b.scenarios.begin(), b.scenarios.end(),
                      sameScenario);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::shared_ptr<IAudioControl> memory;
    try {
        memory = device::memory::loadImage(fuzz::text(data, size));
    } catch (const exception::Base&) {
        // Refused: no layout takes the image.
        return 0;
    }
    const Contents contents = contentsOf(*memory);
    fuzz::require(memory->getSizeOfFreeMemory() <= memory->getMemorySize(), "the free memory is part of it");
    memory->getHash();

    // The raw image is the flash as it was read, which reads back as the same memory.
    std::shared_ptr<IAudioControl> again;
    try {
        again = device::memory::loadImage(memory->getImage(true));
    } catch (const exception::Base&) {
        fuzz::fail("a memory's raw image reads back");
    }
    fuzz::require(contentsOf(*again) == contents, "a memory's raw image reads back as the same memory");

    // Loading an image into a device's memory copies it into an empty memory as large.
    const auto target = device::memory::loadImage(std::string(memory->getMemorySize(), '\xFF'));
    try {
        memory->copyTo(target);
    } catch (const exception::ExternalError&) {
        // Refused for the operator: a memory that breaks its rules or holds more than fits.
        return 0;
    }
    const Contents copied = contentsOf(*target);
    fuzz::require(copied.fragments.size() == contents.fragments.size() &&
                      copied.scenarios.size() == contents.scenarios.size(),
                  "a copy takes every fragment and scenario");
    return 0;
}
