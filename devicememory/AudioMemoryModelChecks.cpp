// The consistency checks of the audio memory model. A violated rule is logged and marks the
// model broken; nothing is repaired.

#include "devicememory/AudioMemoryModel.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/Validators.h"

namespace device::memory {
namespace {

const char* const invariantPlace = "device::memory::BaseAudioControl::checkInvariant";

// Whether a table of `count` records of `recordSize` bytes at `address` does not fit.
bool outside(std::uint64_t memorySize, std::uint64_t address, std::uint64_t count, std::uint64_t recordSize) {
    return memorySize < address || memorySize < count || memorySize < address + recordSize * count;
}

}  // namespace

void AudioMemoryModel::checkInvariant() {
    const debug::Place place(invariantPlace);
    const RecordSizes sizes = recordSizes();
    const std::uint64_t size = memorySize_;
    const auto violated = [&](const wchar_t* message, auto... flags) {
        broken_ = true;
        place.error(message, flags...);
    };

    // 1. The root's tables lie inside the flash.
    const bool wrongVersion = root_.version != version_;
    const bool fragmentTable = outside(size, root_.fragmentTable, root_.fragmentCount, sizes.fragment);
    const bool scenarioTable = outside(size, root_.scenarioTable, root_.scenarioCount, sizes.scenario);
    const bool nameTable = outside(size, root_.nameTable, root_.nameCount, sizes.name);
    if (wrongVersion || fragmentTable || scenarioTable || nameTable) {
        violated(L"Violated audio memory invariant: incorrect root. %1%,%2%,%3%,%4%", wrongVersion,
                 fragmentTable, scenarioTable, nameTable);
    }
    // 2.
    if (fragments_.size() != fragmentData_.size())
        violated(L"Violated audio memory invariant: different sizes of fragments.");

    debug::throwIfFalse(usedSize() <= size, "device::memory::BaseAudioControl::getSizeOfFreeMemory");

    // 3. Fragment records and their placement.
    const std::uint64_t end = tablesEnd();
    for (const auto& [id, record] : fragments_) {
        const auto data = fragmentData_.find(id);
        const bool noName = names_.count(record.nameId) == 0;
        const bool noData = data == fragmentData_.end();
        const bool wrongSize =
            noData || ((loadedLevels_ & level::data) != 0 && data->second.size() != record.dataSize);
        const std::uint64_t address = record.address;
        const bool misplaced = !((address == 0 || address >= end) && address <= size &&
                                 record.dataSize <= size && address + record.dataSize <= size);
        if (noName || noData || wrongSize || misplaced) {
            violated(L"Violated audio memory invariant: incorrect fragment. %1%,%2%,%3%,%4%", noName, noData,
                     wrongSize, misplaced);
            break;
        }
    }
    // 4, 5. The fragment list agrees with the records.
    if (fragments_.size() != fragmentList_.size())
        violated(L"Violated audio memory invariant: different sizes between helper and its fragments.");
    for (const FragmentEntry& entry : fragmentList_) {
        const auto found = fragments_.find(entry.id);
        if (found == fragments_.end()) {
            violated(L"Violated audio memory invariant: different indexes in fragments and its helper.");
            break;
        }
        const Fragment& record = found->second;
        const bool idAgrees =
            record.id == -1 || (record.id == entry.id && record.id >= getFirstId() && record.id <= 0x7FFE);
        const bool orderAgrees =
            record.order == 0xFFFF || (record.order == entry.order && record.order <= 255);
        const auto text = nameTexts_.find(record.nameId);
        const bool nameAgrees = text != nameTexts_.end() && text->second == entry.name;
        const bool sizeAgrees = record.dataSize == entry.size;
        if (!idAgrees || !orderAgrees || !nameAgrees || !sizeAgrees) {
            violated(L"Violated audio memory invariant: incorrect fragment helper. %1%,%2%,%3%,%4%", idAgrees,
                     orderAgrees, nameAgrees, sizeAgrees);
            break;
        }
    }
    // 6. Scenario records.
    for (const auto& [id, record] : scenarios_) {
        const bool noGong = fragments_.count(record.gongId) == 0;
        const bool noFragment = fragments_.count(record.fragmentId) == 0;
        const bool wrongValue = record.value < 1 || record.value > 255;
        const bool noName = names_.count(record.nameId) == 0;
        if (noGong || noFragment || wrongValue || noName) {
            violated(L"Violated audio memory invariant: incorrect scenario. %1%,%2%,%3%,%4%", noGong,
                     noFragment, wrongValue, noName);
            break;
        }
    }
    // 7, 8. The scenario list agrees with the records, every field of it.
    if (scenarios_.size() != scenarioList_.size())
        violated(L"Violated audio memory invariant: different sizes between helper and its scenarios.");
    for (const ScenarioEntry& entry : scenarioList_) {
        const auto found = scenarios_.find(entry.id);
        if (found == scenarios_.end()) {
            violated(L"Violated audio memory invariant: different indexes in scenarios and its helper.");
            break;
        }
        const Scenario& record = found->second;
        const bool idAgrees = record.id == -1 || record.id == entry.id;
        const bool orderAgrees = record.order == 0xFFFF || record.order == entry.order;
        const auto text = nameTexts_.find(record.nameId);
        const bool nameAgrees = text != nameTexts_.end() && text->second == entry.name;
        const bool valuesAgree = record.value == entry.value &&
                                 static_cast<std::uint16_t>(record.gongId) == entry.gongId &&
                                 static_cast<std::uint16_t>(record.fragmentId) == entry.fragmentId &&
                                 record.repeatPeriod == entry.repeatPeriod;
        if (!idAgrees || !orderAgrees || !nameAgrees || !valuesAgree) {
            violated(L"Violated audio memory invariant: incorrect scenario helper. %1%,%2%,%3%,%4%", idAgrees,
                     orderAgrees, nameAgrees, valuesAgree);
            break;
        }
    }
    // 9. Names.
    if (names_.size() != nameTexts_.size() || fragments_.size() + scenarios_.size() != names_.size())
        violated(L"Violated audio memory invariant. It is different number of names.");
    for (const auto& [key, record] : names_) {
        const auto text = nameTexts_.find(record.id);
        if (text == nameTexts_.end()) {
            violated(L"Violated audio memory invariant: the name not found.");
            break;
        }
        const std::uint32_t encoded = getEncodedNameSize(text->second);
        if (getNameSize(record) != encoded) {
            violated(L"Violated audio memory invariant: different sizes of occupied memory. (%1%, %2%, %3%)",
                     getNameSize(record), encoded, text->second);
            break;
        }
        if (outside(size, record.address, record.length, 1)) {
            violated(L"Violated audio memory invariant: incorrect address or size.");
            break;
        }
        if (key != record.id) {
            violated(L"Violated audio memory invariant: index mismatch");
            break;
        }
        if (!base::isValidName(text->second)) {
            violated(L"Violated audio memory invariant: a name has non printable char");
            break;
        }
    }

    checkVersionSpecificInvariant();
    if (broken_) throw exception::InternalError(L"Violated audio memory invariant");
}

}  // namespace device::memory
