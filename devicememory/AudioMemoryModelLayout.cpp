// Loading and laying out an audio memory, the parts every layout shares: the checks of the
// records against the flash, the fragment data, the placement of the data from the top of the
// flash down, the order in which the regions of a layout are written, and the images. A logical
// image is the layout a write would give, built into a buffer of the flash's size; a raw image
// is the flash as it is. Both leave the model as it was.

#include <algorithm>

#include "devicememory/AudioMemoryModel.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device::memory {
namespace {

constexpr std::uint32_t kLargestValue = 255;

}  // namespace

void AudioMemoryModel::refuseStructure(const wchar_t* what) {
    throw exception::ExternalError(std::wstring(L"Ошибка в структуре аудио памяти") + what, L"");
}

void AudioMemoryModel::initLevels(std::uint32_t mask, const LevelLoaders& loaders) {
    bool loaded = false;
    const auto load = [&](std::uint32_t bit, const std::function<void()>& loader) {
        if ((mask & bit) == 0 || (loadedLevels_ & bit) != 0) return;
        loader();
        loadedLevels_ |= bit;
        loaded = true;
    };
    load(level::root, loaders.root);
    load(level::names, loaders.names);
    load(level::fragments, loaders.fragments);
    load(level::scenarios, loaders.scenarios);
    load(level::dataSlots, [this] { loadDataSlots(); });
    load(level::data, [this] { loadData(); });
    if (loaded) checkInvariant();
}

void AudioMemoryModel::acceptRoot(Root root) {
    if (root.version != version_) {
        // An erased flash reads 0xFF: an empty memory.
        if (!buildBlank_ && (root.version & 0xFF) != 0xFF) {
            debug::Place("device::memory::AudioMemoryModel::initLevel")
                .debug(L"Audio memory versions are different %1% != %2%", root.version, version_);
            throw exception::UnknownVersionOfAudioMemory();
        }
        root = Root{};
        root.version = version_;
    }
    const RecordSizes sizes = recordSizes();
    const std::uint64_t size = memorySize_;
    const bool sound = root.fragmentTable < size &&
                       std::uint64_t{sizes.fragment} * root.fragmentCount < size && root.nameTable < size &&
                       std::uint64_t{sizes.name} * root.nameCount < size && root.scenarioTable < size &&
                       std::uint64_t{sizes.scenario} * root.scenarioCount < size &&
                       std::uint32_t{root.fragmentCount} + root.scenarioCount == root.nameCount;
    if (!sound) refuseStructure(L". Некорректная загрузочная запись");
    root_ = root;
}

void AudioMemoryModel::acceptNames(const std::vector<Name>& records) {
    for (const Name& record : records) {
        if (record.address >= memorySize_ || record.length >= memorySize_)
            refuseStructure(L" (Загрузка наименований)");
    }
    std::map<std::int16_t, Name> names;
    std::map<std::int16_t, std::wstring> texts;
    std::int16_t last = 0;
    for (const Name& record : records) {
        names[record.id] = record;
        texts[record.id] = decodeName(record);
        last = std::max(last, record.id);
    }
    names_ = std::move(names);
    nameTexts_ = std::move(texts);
    lastNameId_ = last;
}

void AudioMemoryModel::acceptFragments(const std::vector<Fragment>& records) {
    std::map<std::int16_t, Fragment> fragments;
    std::vector<FragmentEntry> entries;
    for (const Fragment& record : records) {
        if (record.address >= memorySize_ || record.dataSize >= memorySize_ ||
            names_.count(record.nameId) == 0)
            refuseStructure(L" (Загрузка фрагментов)");
        fragments[record.id] = record;
        entries.push_back(
            {record.id, record.order, findName(record.nameId), record.dataSize, record.dataCrc});
    }
    fragments_ = std::move(fragments);
    fragmentList_ = std::move(entries);
}

void AudioMemoryModel::acceptScenarios(const std::vector<Scenario>& records) {
    std::map<std::int16_t, Scenario> scenarios;
    std::vector<ScenarioEntry> entries;
    std::uint16_t position = 1;
    for (const Scenario& record : records) {
        if (fragments_.count(record.gongId) == 0 || fragments_.count(record.fragmentId) == 0 ||
            names_.count(record.nameId) == 0 || record.value < 1 || record.value > kLargestValue) {
            refuseStructure(L" (Загрузка сообщений)");
        }
        scenarios[record.id] = record;
        ScenarioEntry entry;
        entry.id = record.id;
        entry.order = record.order;
        entry.position = position++;
        entry.name = findName(record.nameId);
        entry.value = record.value;
        entry.gongId = static_cast<std::uint16_t>(record.gongId);
        entry.fragmentId = static_cast<std::uint16_t>(record.fragmentId);
        entry.repeatPeriod = record.repeatPeriod;
        entries.push_back(entry);
    }
    scenarios_ = std::move(scenarios);
    scenarioList_ = std::move(entries);
}

void AudioMemoryModel::loadDataSlots() {
    for (const auto& [id, record] : fragments_) fragmentData_.emplace(id, std::string());
}

void AudioMemoryModel::loadData() {
    if (fragmentData_.size() != fragments_.size()) {
        broken_ = true;
        throw exception::ExternalError(L"Рассогласовано внутреннее состояние", L"");
    }
    std::map<std::int16_t, std::string> data = fragmentData_;
    for (const auto& [id, record] : fragments_) {
        std::string& slot = data[id];
        if (!slot.empty()) continue;
        if (record.address == 0) {
            broken_ = true;
            throw exception::ExternalError(
                L"Рассогласовано внутреннее состояние: не проинициализирован адрес данных фрагмента", L"");
        }
        slot = readMemory(record.address, record.dataSize);
    }
    fragmentData_ = std::move(data);
    relayoutData_ = false;
}

void AudioMemoryModel::relayoutMisplacedData() {
    std::uint64_t sum = 0;
    for (const auto& [id, record] : fragments_) {
        sum += record.dataSize;
        if (record.address + sum + 1 != memorySize_) {
            debug::Place("device::memory::AudioMemoryModel::initLevel")
                .debug(L"The data of fragment %1% lies apart from its place: the next write moves it", id);
            relayoutData_ = true;
            writeAllData_ = true;
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Laying out.

void AudioMemoryModel::checkLayoutCounts() {
    if (nameTexts_.size() != names_.size()) broken_ = true;
    if (fragmentData_.size() != fragments_.size() || nameTexts_.size() != names_.size()) {
        throw exception::InternalError(
            L"Для предотвращения порчи данных на устройстве, запись отменена.\nСистема записи находится в "
            L"рассогласованном состоянии");
    }
}

std::string AudioMemoryModel::buildNameArea(std::uint32_t start,
                                            const std::function<std::string(const Name&)>& serialize) {
    std::string records;
    std::string texts;
    const std::uint64_t textsStart = start + std::uint64_t{recordSizes().name} * names_.size();
    for (auto& [id, record] : names_) {
        const std::wstring& text = nameTexts_[id];
        record.address = static_cast<std::uint32_t>(textsStart + texts.size());
        record.length = getNameLength(text);
        records += serialize(record);
        texts += encodeName(text);
    }
    return records + texts;
}

void AudioMemoryModel::placeData(std::uint64_t tablesEnd) {
    if (relayoutData_) {
        writeAllData_ = true;
        initLevel(level::data);
        relayoutData_ = false;
    }
    std::uint64_t sum = 0;
    for (auto& [id, record] : fragments_) {
        sum += record.dataSize;
        if (tablesEnd + sum + 1 > memorySize_) {
            broken_ = true;
            throw exception::InternalError(L"Непредвиденное исчерпание памяти, запись не произведена");
        }
        record.address = static_cast<std::uint32_t>(memorySize_ - sum - 1);
    }
}

void AudioMemoryModel::writeRegions(const PartWriter& writer, std::uint32_t rootSize,
                                    const std::vector<Region>& tables, bool dataMayStay,
                                    const std::function<std::string()>& root) {
    const auto part = [&writer](std::uint32_t address, const std::string& bytes) {
        if (!bytes.empty())
            writer(address, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   static_cast<std::uint32_t>(bytes.size()));
    };
    part(0, std::string(rootSize, '\xFF'));
    for (const Region& table : tables) part(table.address, table.bytes);
    if (writeAllData_) {
        for (const FragmentEntry& entry : fragmentList_) {
            const auto data = fragmentData_.find(entry.id);
            if (data == fragmentData_.end() || data->second.empty()) {
                if (dataMayStay || entry.size == 0) continue;
                throw exception::InternalError(L"Внутренняя ошибка. Небыли загружены данные из аудио флеш");
            }
            part(fragments_[entry.id].address, data->second);
        }
    }
    updateChecksum();
    part(0, root());
    relayoutData_ = false;
    writeAllData_ = false;
}

// ---------------------------------------------------------------------------------------------
// Images.

AudioMemoryModel::State AudioMemoryModel::save() const {
    State state;
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
    return state;
}

void AudioMemoryModel::restore(State&& state, bool writeState) {
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
}

std::string AudioMemoryModel::rawImage() {
    if (memorySize_ == 0) throw exception::InternalError(L"Образ памяти пуст");
    // The last byte of the flash is never read.
    std::string bytes = readMemory(0, memorySize_ - 1);
    bytes.push_back('\xFF');
    return bytes;
}

std::string AudioMemoryModel::logicalImage() {
    if (memorySize_ == 0) throw exception::InternalError(L"Образ памяти пуст");
    // The layout passes move records, load data and clear the write flags: the model being
    // edited gets all of it back.
    State saved = save();
    // Every build starts from an erased flash, so that no earlier build shows through.
    std::string image(memorySize_, '\xFF');
    relayoutData_ = true;
    const PartWriter intoImage = [this, &image](std::uint32_t address, const std::uint8_t* data,
                                                std::uint32_t size) {
        if (checkRegion(address, size))
            image.replace(address, size, reinterpret_cast<const char*>(data), size);
    };
    try {
        // The first pass loads every fragment's data and places it; the second hands out records
        // that carry the final addresses and the matching checksum.
        writeMemoryLogic(intoImage);
        checkInvariant();
        writeMemoryLogic(intoImage);
    } catch (...) {
        restore(std::move(saved), false);
        throw;
    }
    restore(std::move(saved), false);
    if (image.empty()) throw exception::InternalError(L"Образ памяти пуст");
    return image;
}

}  // namespace device::memory
