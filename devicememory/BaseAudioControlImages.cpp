// Images of an audio memory and copies between memories. A logical image is the layout a write
// would give, built into a buffer of the flash's size; a raw image is the flash as it is. Both
// leave the memory being edited as it was, and a copy that fails halfway leaves its target as
// it was.

#include <map>
#include <utility>

#include "devicememory/AudioMemoryImage.h"
#include "devicememory/BaseAudioControl.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device::memory {

BaseAudioControl::ModelState BaseAudioControl::saveModel() {
    ModelState state;
    state.root = root_;
    state.fragments = fragments_;
    state.fragmentList = fragmentList_;
    state.scenarios = scenarios_;
    state.scenarioList = scenarioList_;
    state.names = names_;
    state.nameTexts = nameTexts_;
    state.fragmentData = fragmentData_;
    state.lastNameId = lastNameId_;
    state.loadedLevels = loadedLevels_;
    state.buildBlank = buildBlank_;
    state.relayoutData = relayoutData_;
    state.writeAllData = writeAllData_;
    state.hasChanges = hasChanges_.load();
    state.writeFailed = writeFailed_.load();
    state.broken = broken_;
    state.writeProgress = writeProgress_.load();
    return state;
}

void BaseAudioControl::restoreModel(ModelState&& state, bool writeState) {
    root_ = state.root;
    fragments_ = std::move(state.fragments);
    fragmentList_ = std::move(state.fragmentList);
    scenarios_ = std::move(state.scenarios);
    scenarioList_ = std::move(state.scenarioList);
    names_ = std::move(state.names);
    nameTexts_ = std::move(state.nameTexts);
    fragmentData_ = std::move(state.fragmentData);
    lastNameId_ = state.lastNameId;
    loadedLevels_ = state.loadedLevels;
    buildBlank_ = state.buildBlank;
    relayoutData_ = state.relayoutData;
    writeAllData_ = state.writeAllData;
    broken_ = broken_ || state.broken;
    if (!writeState) return;
    hasChanges_ = state.hasChanges;
    writeFailed_ = state.writeFailed;
    writeProgress_ = state.writeProgress;
}

std::string BaseAudioControl::getImage(bool raw) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (memorySize_ == 0) throw exception::InternalError(L"Образ памяти пуст");
    if (raw) {
        // The last byte of the flash is never read.
        std::string bytes = readMemory(0, memorySize_ - 1);
        bytes.push_back('\xFF');
        return bytes;
    }
    checkAttached();
    // The layout passes move records, load data and clear the write flags: the memory being
    // edited gets all of it back.
    ModelState saved = saveModel();
    // Every build starts from an erased flash, so that no earlier build shows through.
    image_.assign(memorySize_, '\xFF');
    imageRaw_ = true;
    relayoutData_ = true;
    const PartWriter intoImage = [this](std::uint32_t address, const std::uint8_t* data, std::uint32_t size) {
        writeMemory(address, data, size, nullptr);
    };
    try {
        // The first pass loads every fragment's data and places it; the second hands out records
        // that carry the final addresses and the matching checksum.
        writeMemoryLogic(intoImage);
        checkInvariant();
        writeMemoryLogic(intoImage);
    } catch (...) {
        imageRaw_ = false;
        image_.clear();
        restoreModel(std::move(saved), false);
        throw;
    }
    imageRaw_ = false;
    std::string image = std::move(image_);
    image_.clear();
    restoreModel(std::move(saved), false);
    if (image.empty()) throw exception::InternalError(L"Образ памяти пуст");
    return image;
}

void BaseAudioControl::setImage(const std::string& bytes) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    checkNotBusy();
    if (bytes.size() < recordSizes().root) throw exception::UserError(L"Некорректный размер образа", L"");
    loadImage(bytes)->copyTo(shared_from_this());
}

void BaseAudioControl::copyTo(const std::shared_ptr<IAudioControl>& target) {
    auto* copy = dynamic_cast<BaseAudioControl*>(target.get());
    debug::throwIfFalse(copy != nullptr, "device::memory::BaseAudioControl::copyTo");
    // Asked before this memory is locked: two copies the other way round never wait for each
    // other.
    const std::uint32_t room = copy->getMemorySize();
    std::vector<std::pair<FragmentEntry, std::string>> fragments;
    std::vector<ScenarioEntry> scenarios;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        checkNotBusy();
        checkInvariant();
        if (broken_ || writeFailed_.load())
            throw exception::ExternalError(
                L"Копирование запрещено, если внутреннее состояние содержит ошибку", L"");
        if (memorySize_ - getSizeOfFreeMemory() > room) {
            throw exception::UserResponse(L"littleMemory",
                                          L"Данный образ содержит данных больше, чем доступно памяти");
        }
        if (copy == this) {
            debug::Place("device::memory::BaseAudioControl::copyTo")
                .info(L"It is the same devices for copy flash memory");
            return;
        }
        initLevel(level::all);
        for (const FragmentEntry& entry : fragmentList_)
            fragments.emplace_back(entry, getFragmentFile(entry.id));
        scenarios = scenarioList_;
    }
    copy->fillFrom(fragments, scenarios);
}

void BaseAudioControl::fillFrom(const std::vector<std::pair<FragmentEntry, std::string>>& fragments,
                                const std::vector<ScenarioEntry>& scenarios) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ModelState saved = saveModel();
    // Refuses a busy memory before anything changes; after it no write can run.
    clear();
    try {
        // The source's ids, and the ids this memory gave the same fragments.
        std::map<std::uint16_t, std::int16_t> ids;
        for (const auto& [entry, data] : fragments)
            ids[static_cast<std::uint16_t>(entry.id)] = addFragment(data, entry.name);
        const auto newId = [&ids](std::uint16_t id) {
            const auto found = ids.find(id);
            if (found == ids.end()) throw exception::InternalError(L"fragment position out of range");
            return found->second;
        };
        for (const ScenarioEntry& entry : scenarios)
            addScenario(newId(entry.gongId), newId(entry.fragmentId), entry.repeatPeriod, entry.name);
    } catch (...) {
        ChangeScope change(*this);
        restoreModel(std::move(saved), true);
        throw;
    }
}

}  // namespace device::memory
