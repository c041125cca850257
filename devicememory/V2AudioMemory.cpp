#include "devicememory/V2AudioMemory.h"

#include <limits>
#include <vector>

#include "devicememory/CommandText.h"
#include "devicememory/V2Records.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device::v2::memory {
namespace {

constexpr std::uint32_t kSurrogates = 0xD800;
constexpr std::uint32_t kLowSurrogates = 0xDC00;
constexpr std::uint32_t kSurrogatesEnd = 0xE000;

std::string toUtf16(const std::wstring& text) {
    std::string bytes;
    const auto unit = [&bytes](std::uint32_t value) {
        bytes.push_back(static_cast<char>(value & 0xFF));
        bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
    };
    for (const wchar_t character : text) {
        const auto code = static_cast<std::uint32_t>(character);
        if (code <= 0xFFFF) {
            unit(code);
        } else {
            const std::uint32_t rest = code - 0x10000;
            unit(kSurrogates + ((rest >> 10) & 0x3FF));
            unit(kLowSurrogates + (rest & 0x3FF));
        }
    }
    return bytes;
}

// False for a surrogate without its partner.
bool fromUtf16(const std::string& bytes, std::wstring& text) {
    const auto unit = [&bytes](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8;
    };
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const std::uint32_t code = unit(at);
        if (code < kSurrogates || code >= kSurrogatesEnd) {
            text.push_back(static_cast<wchar_t>(code));
            continue;
        }
        if (code >= kLowSurrogates || at + 3 >= bytes.size()) return false;
        const std::uint32_t low = unit(at + 2);
        if (low < kLowSurrogates || low >= kSurrogatesEnd) return false;
        text.push_back(static_cast<wchar_t>(0x10000 + ((code - kSurrogates) << 10) + (low - kLowSurrogates)));
        at += 2;
    }
    return true;
}

}  // namespace

AudioMemory::AudioMemory(const std::shared_ptr<DeviceBase>& device,
                         std::shared_ptr<TransferProtocol> transport,
                         device::memory::PlayStateHandler playStateHandler)
    : BaseAudioControl(2, device, std::move(transport), std::move(playStateHandler)) {}

AudioMemory::AudioMemory(const std::string& image) : BaseAudioControl(2, image) {}

std::shared_ptr<AudioMemory> AudioMemory::create(const std::shared_ptr<DeviceBase>& device,
                                                 std::shared_ptr<TransferProtocol> transport,
                                                 device::memory::PlayStateHandler playStateHandler,
                                                 bool asNew) {
    return attach(new AudioMemory(device, std::move(transport), std::move(playStateHandler)), asNew);
}

std::shared_ptr<AudioMemory> AudioMemory::fromImage(const std::string& image) {
    return loadDetached(new AudioMemory(image));
}

// ---------------------------------------------------------------------------------------------
// Commands and names.

AudioMemory::RecordSizes AudioMemory::recordSizes() const {
    return RecordSizes{root_t::size, fragment_t::size, scenario_t::size, name_t::size};
}

std::string AudioMemory::makePlayCommand(std::uint32_t order) {
    return commandText("aplay %u", order);
}

std::string AudioMemory::makePlayScenarioCommand(std::uint32_t order) {
    return commandText("aplaysc %u", order);
}

std::string AudioMemory::makeIsPlayingCommand() {
    return "aisplay";
}

std::string AudioMemory::makeStopCommand() {
    return "astop";
}

std::string AudioMemory::makeMemSizeCommand() {
    return "aflashsz";
}

std::string AudioMemory::makeMemReadCommand(std::uint32_t address, std::uint32_t length) {
    return commandText("aflashrd %08X %u", address, length);
}

std::string AudioMemory::makeMemProgramCommand(std::uint32_t address, const std::string& hex) {
    return commandText("aflash %08X %u %s", address, static_cast<unsigned>(hex.size() / 2), hex.c_str());
}

std::string AudioMemory::encodeName(const std::wstring& name) {
    return toUtf16(name);
}

std::uint32_t AudioMemory::getNameLength(const std::wstring& name) {
    return getEncodedNameSize(name) / 2;
}

std::uint32_t AudioMemory::getEncodedNameSize(const std::wstring& name) {
    return static_cast<std::uint32_t>(encodeName(name).size());
}

std::uint32_t AudioMemory::getNameSize(const Name& record) {
    const auto found = names_.find(record.id);
    if (found == names_.end()) throw exception::InternalError(L"Индекс названия не найден");
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(2 * std::uint64_t{found->second.length},
                                                              std::numeric_limits<std::uint32_t>::max()));
}

std::wstring AudioMemory::decodeName(const Name& record) {
    const std::uint64_t size = 2 * std::uint64_t{record.length};
    if (size > std::numeric_limits<std::uint32_t>::max()) refuseStructure(L" (Загрузка наименований)");
    std::wstring text;
    if (!fromUtf16(readMemory(record.address, static_cast<std::uint32_t>(size)), text))
        refuseStructure(L". Некорректное название");
    return text;
}

std::uint16_t AudioMemory::getFirstOrder() {
    return 0;
}

std::uint16_t AudioMemory::getFirstId() {
    return 0;
}

bool AudioMemory::onlyLastFragmentRemovable() {
    return true;
}

// ---------------------------------------------------------------------------------------------
// Loading. A record's id and play number are its place in its table.

void AudioMemory::initLevel(std::uint32_t mask) {
    initLevels(mask, {[this] { loadRoot(); }, [this] { loadNames(); }, [this] { loadFragments(); },
                      [this] { loadScenarios(); }});
}

void AudioMemory::loadRoot() {
    const std::string bytes = buildBlank_ ? std::string(root_t::size, '\xFF') : readMemory(0, root_t::size);
    const root_t stored = root_t::read(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    Root root;
    root.version = stored.version;
    root.fragmentTable = stored.fragmentTable;
    root.fragmentCount = stored.fragmentCount;
    root.scenarioTable = stored.scenarioTable;
    root.scenarioCount = stored.scenarioCount;
    root.nameTable = stored.nameTable;
    root.nameCount = stored.nameCount;
    acceptRoot(root);
}

void AudioMemory::loadNames() {
    std::vector<Name> records;
    for (const name_t& stored : readTable<name_t>(root_.nameTable, root_.nameCount)) {
        Name record;
        record.id = stored.id;
        record.address = stored.address;
        record.length = stored.length;
        records.push_back(record);
    }
    acceptNames(records);
}

void AudioMemory::loadFragments() {
    std::vector<Fragment> records;
    for (const fragment_t& stored : readTable<fragment_t>(root_.fragmentTable, root_.fragmentCount)) {
        Fragment record;
        record.id = static_cast<std::int16_t>(getFirstId() + records.size());
        record.order = static_cast<std::uint16_t>(getFirstOrder() + records.size());
        record.address = stored.address;
        record.dataSize = stored.dataSize;
        record.dataCrc = 0;
        record.nameId = stored.nameId;
        records.push_back(record);
    }
    acceptFragments(records);
    // A write gives every fragment its place from the top of the flash down and writes only
    // the data of new fragments. Data that lies elsewhere moves with the next write, which
    // reads and writes all of it.
    std::uint64_t sum = 0;
    for (const auto& [id, record] : fragments_) {
        sum += record.dataSize;
        if (record.address + sum + 1 != memorySize_) {
            debug::Place("device::v2::memory::AudioMemory::initLevel")
                .debug(L"The data of fragment %1% lies apart from its place: the next write moves it", id);
            relayoutData_ = true;
            writeAllData_ = true;
            break;
        }
    }
}

void AudioMemory::loadScenarios() {
    std::vector<Scenario> records;
    for (const scenario_t& stored : readTable<scenario_t>(root_.scenarioTable, root_.scenarioCount)) {
        Scenario record;
        record.id = static_cast<std::int16_t>(getFirstId() + records.size());
        record.order = static_cast<std::uint16_t>(getFirstOrder() + records.size());
        record.value = stored.value;
        record.gongId = stored.gongId;
        record.fragmentId = stored.fragmentId;
        record.repeatPeriod = stored.repeatPeriod;
        record.nameId = stored.nameId;
        records.push_back(record);
    }
    acceptScenarios(records);
}

// ---------------------------------------------------------------------------------------------
// Laying the memory out.

std::uint32_t AudioMemory::updateChecksum() {
    return 0;
}

void AudioMemory::writeMemoryLogic(const PartWriter& writer) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    debug::Place("device::v2::memory::AudioMemory::writeMemoryLogic").trace(L"Write memory (logic).");
    checkAttached();
    checkLayoutCounts();

    const auto fragmentCount = static_cast<std::uint32_t>(fragments_.size());
    const auto scenarioCount = static_cast<std::uint32_t>(scenarios_.size());
    root_.fragmentTable = root_t::size;
    root_.fragmentCount = static_cast<std::uint16_t>(fragmentCount);
    root_.scenarioTable = root_.fragmentTable + fragment_t::size * fragmentCount;
    root_.scenarioCount = static_cast<std::uint16_t>(scenarioCount);
    root_.nameTable = root_.scenarioTable + scenario_t::size * scenarioCount;
    root_.nameCount = static_cast<std::uint16_t>(names_.size());
    const std::string names = buildNameArea(root_.nameTable, [](const Name& record) {
        name_t stored;
        stored.id = record.id;
        stored.length = record.length;
        stored.address = record.address;
        return recordBytes(stored);
    });
    placeData(std::uint64_t{root_.nameTable} + names.size());

    std::string fragments;
    for (const auto& [id, record] : fragments_) {
        fragment_t stored;
        stored.address = record.address;
        stored.dataSize = record.dataSize;
        stored.nameId = record.nameId;
        fragments += recordBytes(stored);
    }
    std::string scenarios;
    for (const auto& [id, record] : scenarios_) {
        scenario_t stored;
        stored.value = record.value;
        stored.gongId = record.gongId;
        stored.fragmentId = record.fragmentId;
        stored.repeatPeriod = record.repeatPeriod;
        stored.nameId = record.nameId;
        scenarios += recordBytes(stored);
    }
    // Without an erase, data that is not written stays where it lies.
    writeRegions(
        writer, root_t::size,
        {{root_.fragmentTable, fragments}, {root_.scenarioTable, scenarios}, {root_.nameTable, names}}, true,
        [this] {
            root_t stored;
            stored.version = static_cast<std::uint8_t>(root_.version);
            stored.fragmentTable = root_.fragmentTable;
            stored.fragmentCount = root_.fragmentCount;
            stored.scenarioTable = root_.scenarioTable;
            stored.scenarioCount = root_.scenarioCount;
            stored.nameTable = root_.nameTable;
            stored.nameCount = root_.nameCount;
            return recordBytes(stored);
        });
}

void AudioMemory::checkVersionSpecificInvariant() {
    const debug::Place place("device::v2::memory::AudioMemory::checkVersionSpecificInvariant");
    std::int32_t expected = 0;
    for (const auto& [id, record] : fragments_) {
        if (id != expected++) {
            broken_ = true;
            place.error(L"Violated audio memory [version specific] invariant: incorrect fragment");
            break;
        }
    }
    const auto count = static_cast<std::int16_t>(fragments_.size());
    for (const auto& [id, record] : scenarios_) {
        if (record.gongId >= count || record.fragmentId >= count) {
            broken_ = true;
            place.error(L"violated audio memory [version specific] invariant: incorrect scenario");
            return;
        }
    }
}

}  // namespace device::v2::memory
