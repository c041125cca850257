#include "devicememory/AudioMemoryModel.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "devicememory/Crc32Mpeg2.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/Validators.h"

namespace device::memory {
namespace {

constexpr std::uint32_t kOrderLimit = 256;
constexpr std::size_t kScenarioLimit = 64;
// The greatest id the consistency check accepts.
constexpr std::int32_t kLargestId = 0x7FFE;

// The entry of a fragment or scenario list with that id, or the end of the list.
template <class Entry>
auto findId(const std::vector<Entry>& list, std::int16_t id) {
    return std::find_if(list.begin(), list.end(), [id](const Entry& entry) { return entry.id == id; });
}

template <class Entry>
std::int32_t orderOf(const std::vector<Entry>& list, std::int16_t id) {
    const auto found = findId(list, id);
    return found == list.end() ? -1 : found->order;
}

template <class Entry>
std::int32_t idOf(const std::vector<Entry>& list, std::int32_t order) {
    for (const Entry& entry : list) {
        if (entry.order == order) return entry.id;
    }
    return -1;
}

}  // namespace

AudioMemoryModel::ChangeScope::ChangeScope(AudioMemoryModel& model) : onChanged_(model.onChanged_) {
    if (model.onChanging_) model.onChanging_();
}

AudioMemoryModel::ChangeScope::~ChangeScope() {
    if (!onChanged_) return;
    try {
        onChanged_();
    } catch (const std::exception& error) {
        debug::Place("device::memory::BaseAudioControl::onChanged").error(L"%1%", exception::textOf(error));
    }
}

AudioMemoryModel::AudioMemoryModel(std::uint16_t version, const std::string& image)
    : version_(version), flash_(image) {
    // The loader refuses an image that no 32-bit flash size describes.
    debug::throwIfFalse(image.size() <= std::numeric_limits<std::uint32_t>::max(),
                        "device::memory::BaseAudioControl::BaseAudioControl");
    root_.version = version;
    reset();
    memorySize_ = static_cast<std::uint32_t>(image.size());
}

AudioMemoryModel::AudioMemoryModel(std::uint16_t version, FlashReader reader)
    : version_(version), reader_(std::move(reader)) {
    root_.version = version;
    reset();
}

AudioMemoryModel::~AudioMemoryModel() = default;

void AudioMemoryModel::setChangeHandlers(Notification onChanging, Notification onChanged) {
    onChanging_ = std::move(onChanging);
    onChanged_ = std::move(onChanged);
}

// ---------------------------------------------------------------------------------------------
// The whole model.

void AudioMemoryModel::reset() {
    fragments_.clear();
    fragmentList_.clear();
    scenarios_.clear();
    scenarioList_.clear();
    names_.clear();
    nameTexts_.clear();
    fragmentData_.clear();
    const std::uint16_t rootVersion = root_.version;
    root_ = Root{};
    root_.version = rootVersion;
    loadedLevels_ = 0;
    buildBlank_ = false;
    broken_ = false;
    relayoutData_ = false;
    writeAllData_ = false;
    hasChanges_ = false;
    writeFailed_ = false;
    lastNameId_ = 0;
}

void AudioMemoryModel::start(std::uint32_t memorySize, bool blank) {
    memorySize_ = memorySize;
    reset();
    hasChanges_ = blank;
    buildBlank_ = blank;
    // A blank memory reads nothing from the flash: every level of it is empty.
    initLevel(blank ? level::all : level::allButData);
}

void AudioMemoryModel::clear() {
    reset();
    buildBlank_ = true;
    initLevel(level::all);
    hasChanges_ = true;
}

void AudioMemoryModel::reload(bool reload) {
    // A memory built blank has nothing in the flash to read back.
    const bool blank = buildBlank_;
    reset();
    if (!reload) return;
    buildBlank_ = blank;
    initLevel(blank ? level::all : level::allButData);
}

std::int16_t AudioMemoryModel::addName(const std::wstring& text) {
    if (!base::isValidName(text)) throw exception::InternalError(L"Название недопустимо");
    const auto id = static_cast<std::int16_t>(lastNameId_ + 1);
    lastNameId_ = id;
    Name record;
    record.id = id;
    record.length = getNameLength(text);
    names_[id] = record;
    nameTexts_[id] = text;
    return id;
}

std::wstring AudioMemoryModel::findName(std::int16_t id) const {
    const auto found = nameTexts_.find(id);
    if (found == nameTexts_.end()) throw exception::InternalError(L"Название не найдено");
    return found->second;
}

std::uint32_t AudioMemoryModel::getNameSize(const Name& record) const {
    const auto found = names_.find(record.id);
    if (found == names_.end()) throw exception::InternalError(L"Index of name isn't found");
    return found->second.length;
}

void AudioMemoryModel::rebuildRecords() {
    const std::map<std::int16_t, Fragment> old = fragments_;
    fragments_.clear();
    scenarios_.clear();
    names_.clear();
    nameTexts_.clear();
    lastNameId_ = static_cast<std::int16_t>(getFirstId());

    std::uint32_t order = getFirstOrder();
    for (FragmentEntry& entry : fragmentList_) {
        entry.order = static_cast<std::uint16_t>(order++);
        Fragment record;
        record.id = entry.id;
        record.order = entry.order;
        const auto kept = old.find(entry.id);
        record.address = kept == old.end() ? 0 : kept->second.address;
        record.dataSize = entry.size;
        record.dataCrc = entry.dataCrc;
        record.nameId = addName(entry.name);
        fragments_[entry.id] = record;
    }
    order = getFirstOrder();
    std::uint16_t position = 1;
    for (ScenarioEntry& entry : scenarioList_) {
        entry.order = static_cast<std::uint16_t>(order++);
        entry.position = position++;
        Scenario record;
        record.id = entry.id;
        record.order = entry.order;
        record.value = entry.value;
        record.gongId = static_cast<std::int16_t>(entry.gongId);
        record.fragmentId = static_cast<std::int16_t>(entry.fragmentId);
        record.repeatPeriod = entry.repeatPeriod;
        record.nameId = addName(entry.name);
        scenarios_[entry.id] = record;
    }
}

std::uint64_t AudioMemoryModel::tablesEnd() const {
    const RecordSizes sizes = recordSizes();
    std::uint64_t end = sizes.root + std::uint64_t{sizes.fragment} * fragments_.size() +
                        std::uint64_t{sizes.scenario} * scenarios_.size() +
                        std::uint64_t{sizes.name} * names_.size();
    for (const auto& [id, text] : nameTexts_) end += getEncodedNameSize(text);
    return end;
}

std::uint64_t AudioMemoryModel::usedSize() const {
    if (fragmentList_.empty() && scenarioList_.empty()) return 0;
    const RecordSizes sizes = recordSizes();
    std::uint64_t used = sizes.root + std::uint64_t{sizes.fragment + sizes.name} * fragmentList_.size() +
                         std::uint64_t{sizes.scenario + sizes.name} * scenarioList_.size();
    for (const FragmentEntry& entry : fragmentList_) used += entry.size;
    for (const auto& [id, text] : nameTexts_) used += getEncodedNameSize(text);
    return used;
}

std::uint32_t AudioMemoryModel::getSizeOfFreeMemory() const {
    if (fragmentList_.empty() && scenarioList_.empty()) return memorySize_;
    const std::uint64_t used = usedSize();
    // The last byte of the flash is never used.
    if (used + 1 > memorySize_) {
        debug::Place("device::memory::BaseAudioControl::getSizeOfFreeMemory")
            .error(L"Used size %1% of the audio memory exceeds its size %2%", used, memorySize_);
        return 0;
    }
    return static_cast<std::uint32_t>(memorySize_ - used - 1);
}

void AudioMemoryModel::requireRoom(std::uint64_t cost, const wchar_t* description) const {
    // An empty model takes nothing yet, but its root comes with the first entry.
    const std::uint64_t used =
        fragmentList_.empty() && scenarioList_.empty() ? recordSizes().root : usedSize();
    if (used + cost + 1 > memorySize_) throw exception::UserResponse(L"littleMemory", description);
}

std::wstring AudioMemoryModel::getHash() const {
    const auto widened = [](std::uint16_t value) {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int16_t>(value)));
    };
    std::uint32_t hash = getSizeOfFreeMemory();
    for (const FragmentEntry& entry : fragmentList_) {
        hash ^=
            widened(entry.order) ^ entry.dataCrc ^ entry.size ^ static_cast<std::uint32_t>(entry.name.size());
    }
    for (const ScenarioEntry& entry : scenarioList_) {
        hash ^= std::uint32_t{entry.repeatPeriod} ^ entry.value ^ widened(entry.position) ^
                static_cast<std::uint32_t>(entry.name.size());
    }
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"%X", hash);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Fragments.

std::int16_t AudioMemoryModel::addFragment(const std::string& data, const std::wstring& name) {
    if (data.empty()) throw exception::UserError(L"Трек имеет нулевой размер", L"");
    if (!base::isValidName(name))
        throw exception::UserError(L"Некорректное название",
                                   L"Название имеет недопустимые символы или длину");
    for (const FragmentEntry& entry : fragmentList_) {
        if (entry.name == name) throw exception::UserResponse(L"titleExists", L"");
    }
    const RecordSizes sizes = recordSizes();
    requireRoom(std::uint64_t{data.size()} + sizes.fragment + sizes.name + getEncodedNameSize(name),
                L"На устройстве мало доступной памяти для данного файла");

    std::int32_t id = getFirstId();
    std::uint32_t order = getFirstOrder();
    for (const FragmentEntry& entry : fragmentList_) {
        id = std::max<std::int32_t>(id, entry.id + 1);
        order = std::max<std::uint32_t>(order, entry.order + 1u);
    }
    if (order >= kOrderLimit || id > kLargestId)
        throw exception::UserResponse(L"maxOrder", L"Достигнуто максимальное количество фрагментов");

    ChangeScope change(*this);
    const auto newId = static_cast<std::int16_t>(id);
    fragmentData_[newId] = data;
    writeAllData_ = true;
    hasChanges_ = true;
    FragmentEntry entry;
    entry.id = newId;
    entry.order = static_cast<std::uint16_t>(order);
    entry.name = name;
    entry.size = static_cast<std::uint32_t>(data.size());
    entry.dataCrc = dataChecksum(data);
    fragmentList_.push_back(entry);
    rebuildRecords();
    return newId;
}

bool AudioMemoryModel::hasFragment(std::int16_t id) const {
    return findId(fragmentList_, id) != fragmentList_.end();
}

std::int32_t AudioMemoryModel::getFragmentOrder(std::int16_t id) const {
    return orderOf(fragmentList_, id);
}

std::int32_t AudioMemoryModel::getFragmentId(std::int32_t order) const {
    return idOf(fragmentList_, order);
}

void AudioMemoryModel::removeFragment(std::int16_t id, bool deviceRemovesOnlyLast) {
    const auto found = findId(fragmentList_, id);
    if (found == fragmentList_.end())
        throw exception::UserError(L"Номер удаляемого сообщения вне диапазона", L"");
    if (fragmentList_.size() != fragmentData_.size())
        throw exception::InternalError(L"Количество сообщений и их файлов не совпадает");
    for (const ScenarioEntry& scenario : scenarioList_) {
        if (scenario.gongId == static_cast<std::uint16_t>(id) ||
            scenario.fragmentId == static_cast<std::uint16_t>(id))
            throw exception::UserResponse(
                L"entry", L"Сообщение невозможно удалить, пока оно состоит хоть в одном сценарии");
    }
    // The fragment with the greatest id lies lowest in the flash: only its removal moves no
    // other fragment's data.
    const auto last =
        std::max_element(fragmentList_.begin(), fragmentList_.end(),
                         [](const FragmentEntry& a, const FragmentEntry& b) { return a.id < b.id; });
    if (id != last->id && (deviceRemovesOnlyLast || onlyLastFragmentRemovable())) {
        throw exception::UserResponse(
            L"unsupported", L"Неподдерживается удаление не последнего фрагмента для данной версии прибора");
    }

    ChangeScope change(*this);
    fragmentList_.erase(found);
    fragmentData_.erase(id);
    relayoutData_ = true;
    hasChanges_ = true;
    rebuildRecords();
    checkInvariant();
}

std::uint32_t AudioMemoryModel::dataChecksum(const std::string& data) const {
    return crc32Mpeg2(data.data(), data.size());
}

bool AudioMemoryModel::onlyLastFragmentRemovable() const {
    return false;
}

FragmentEntry AudioMemoryModel::getFragment(std::int16_t id) const {
    const auto found = findId(fragmentList_, id);
    if (found == fragmentList_.end()) throw exception::InternalError(L"fragment position out of range");
    return *found;
}

std::string AudioMemoryModel::getFragmentFile(std::int16_t id) {
    if (broken_) throw exception::InternalError(L"Целостность памяти нарушена");
    debug::Place("device::memory::BaseAudioControl::getFragmentFile")
        .trace(L"Get a fragment file, index=%1%", id);
    initLevel(level::all);
    const auto found = fragmentData_.find(id);
    if (found == fragmentData_.end()) throw exception::ServerError();
    // A device's own flash may list a fragment whose size reads zero (nothing checks its data):
    // the operator is told, as when such a fragment is added or loaded from an image.
    if (found->second.empty()) throw exception::UserError(L"Трек имеет нулевой размер", L"");
    return found->second;
}

// ---------------------------------------------------------------------------------------------
// Scenarios.

std::int16_t AudioMemoryModel::addScenario(std::int16_t gongId, std::int16_t fragmentId,
                                           std::uint16_t repeatPeriod, const std::wstring& name) {
    const RecordSizes sizes = recordSizes();
    requireRoom(std::uint64_t{sizes.scenario} + sizes.name + getEncodedNameSize(name),
                L"На устройстве мало доступной памяти для данного сценария");
    if (!hasFragment(gongId) || !hasFragment(fragmentId))
        throw exception::UserError(L"incorrect positions (gong or fragment)",
                                   L"Заданные номера гонга или сообщения вне диапазона");
    if (!base::isValidName(name))
        throw exception::UserError(L"Некорректное название",
                                   L"Название имеет недопустимые символы или длину");
    for (const ScenarioEntry& entry : scenarioList_) {
        if (entry.name == name) throw exception::UserResponse(L"titleExists", L"");
    }

    std::int32_t id = getFirstId();
    std::uint32_t order = getFirstOrder();
    if (!scenarioList_.empty()) {
        const auto last =
            std::max_element(scenarioList_.begin(), scenarioList_.end(),
                             [](const ScenarioEntry& a, const ScenarioEntry& b) { return a.id < b.id; });
        id = last->id + 1;
        order = last->order + 1u;
    }
    if (scenarioList_.size() + 1 > kScenarioLimit || id > kLargestId)
        throw exception::UserResponse(L"maxOrder", L"Достигнуто максимальное количество сообщений");

    ChangeScope change(*this);
    ScenarioEntry entry;
    entry.id = static_cast<std::int16_t>(id);
    entry.order = static_cast<std::uint16_t>(order);
    entry.position = static_cast<std::uint16_t>(scenarioList_.size() + 1);
    entry.name = name;
    entry.value = 1;
    entry.gongId = static_cast<std::uint16_t>(gongId);
    entry.fragmentId = static_cast<std::uint16_t>(fragmentId);
    entry.repeatPeriod = repeatPeriod;
    scenarioList_.push_back(entry);
    rebuildRecords();
    hasChanges_ = true;
    return entry.id;
}

bool AudioMemoryModel::hasScenario(std::int16_t id) const {
    return findId(scenarioList_, id) != scenarioList_.end();
}

std::int32_t AudioMemoryModel::getScenarioOrder(std::int16_t id) const {
    return orderOf(scenarioList_, id);
}

std::int32_t AudioMemoryModel::getScenarioId(std::int32_t order) const {
    return idOf(scenarioList_, order);
}

void AudioMemoryModel::removeScenario(std::int16_t id) {
    const auto found = findId(scenarioList_, id);
    if (found == scenarioList_.end())
        throw exception::UserError(L"position out of range", L"Номер удаляемого сценария вне диапазона");
    ChangeScope change(*this);
    scenarioList_.erase(found);
    hasChanges_ = true;
    rebuildRecords();
    checkInvariant();
}

ScenarioEntry AudioMemoryModel::getScenario(std::int16_t id) const {
    const auto found = findId(scenarioList_, id);
    if (found == scenarioList_.end()) throw exception::InternalError(L"scenario position out of range");
    return *found;
}

// ---------------------------------------------------------------------------------------------
// The flash and the write.

std::string AudioMemoryModel::readMemory(std::uint32_t address, std::uint32_t size) {
    if (size == 0) return std::string();
    // The last byte of the flash is never read.
    if (std::uint64_t{address} + size + 1 > memorySize_)
        throw exception::InternalError(L"Область чтения за пределами аудио памяти");
    if (!reader_) return flash_.substr(address, size);
    return reader_(address, size);
}

bool AudioMemoryModel::checkRegion(std::uint32_t address, std::uint32_t size) const {
    if (broken_) {
        throw exception::InternalError(
            L"В ходе работы программы, произошла ошибка, которая повлияла на внутреннее состояние "
            L"данных.\nДля "
            L"предотвращения порчи данных на устройстве, запись отменена");
    }
    if (size == 0) return false;
    if (std::uint64_t{address} + size + 1 > memorySize_)
        throw exception::InternalError(L"Область записи за пределами аудио памяти");
    return true;
}

void AudioMemoryModel::takeWriteFailure() {
    if (writeFailed_.exchange(false)) writeAllData_ = true;
}

void AudioMemoryModel::setWriteFlags(WriteFlags flags) {
    writeAllData_ = flags.allData;
    relayoutData_ = flags.relayout;
}

}  // namespace device::memory
