// Images of an audio memory and copies between memories. A copy that fails halfway leaves its
// target as it was.

#include <map>
#include <utility>

#include "devicememory/AudioMemoryImage.h"
#include "devicememory/BaseAudioControl.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device::memory {

std::string BaseAudioControl::getImage(bool raw) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (raw || model_->getMemorySize() == 0) return model_->rawImage();
    link_->checkAttached();
    return model_->logicalImage();
}

void BaseAudioControl::setImage(const std::string& bytes) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    checkNotBusy();
    if (bytes.size() < model_->rootSize()) throw exception::UserError(L"Некорректный размер образа", L"");
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
        model_->checkInvariant();
        if (model_->isBroken() || model_->hasWriteFailed())
            throw exception::ExternalError(
                L"Копирование запрещено, если внутреннее состояние содержит ошибку", L"");
        if (model_->getMemorySize() - model_->getSizeOfFreeMemory() > room) {
            throw exception::UserResponse(L"littleMemory",
                                          L"Данный образ содержит данных больше, чем доступно памяти");
        }
        if (copy == this) {
            debug::Place("device::memory::BaseAudioControl::copyTo")
                .info(L"It is the same devices for copy flash memory");
            return;
        }
        model_->initLevel(level::all);
        for (const FragmentEntry& entry : model_->getFragments())
            fragments.emplace_back(entry, model_->getFragmentFile(entry.id));
        scenarios = model_->getScenarios();
    }
    copy->fillFrom(fragments, scenarios);
}

void BaseAudioControl::fillFrom(const std::vector<std::pair<FragmentEntry, std::string>>& fragments,
                                const std::vector<ScenarioEntry>& scenarios) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    AudioMemoryModel::State saved = model_->save();
    const std::int32_t progress = link_->getWriteProgress();
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
        AudioMemoryModel::ChangeScope change(*model_);
        model_->restore(std::move(saved), true);
        link_->setWriteProgress(progress);
        throw;
    }
}

}  // namespace device::memory
