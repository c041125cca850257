#include "devicememory/V3AudioMemory.h"

#include <vector>

#include "devicememory/CommandText.h"
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
namespace level = device::memory::level;

constexpr std::uint32_t kLargestValue = 255;
constexpr std::uint32_t kReadyPollMs = 500;

const wchar_t* const structureError = L"Ошибка в структуре аудио памяти";

[[noreturn]] void refuseStructure(const wchar_t* what) {
    throw exception::ExternalError(std::wstring(structureError) + what, L"");
}

bool notReady(const std::string& reply) {
    return base::scan::containsIgnoringCase(reply, "off");
}

}  // namespace

AudioMemory::AudioMemory(const std::shared_ptr<DeviceBase>& device,
                         std::shared_ptr<TransferProtocol> transport,
                         device::memory::PlayStateHandler playStateHandler)
    : BaseAudioControl(4, device, std::move(transport), std::move(playStateHandler)) {}

AudioMemory::~AudioMemory() {
    if (deferredWriteId_ == 0) return;
    try {
        base::ThreadDispatcher::remove(deferredWriteId_);
    } catch (const std::exception& error) {
        debug::Place("device::v3::memory::AudioMemory::~AudioMemory").error(L"%1%", error.what());
    }
}

// ---------------------------------------------------------------------------------------------
// Commands and names.

AudioMemory::RecordSizes AudioMemory::recordSizes() const {
    return RecordSizes{Root::size, Fragment::size, Scenario::size, Name::size};
}

std::string AudioMemory::makePlayCommand(std::uint32_t order) {
    return commandText("voicePlay %u", order);
}

std::string AudioMemory::makePlayScenarioCommand(std::uint32_t order) {
    return commandText("voicePlaySc %u", order);
}

std::string AudioMemory::makeIsPlayingCommand() {
    return "voiceIsPlaying";
}

std::string AudioMemory::makeStopCommand() {
    return "voiceStop";
}

std::string AudioMemory::makeMemSizeCommand() {
    return "voiceMemSize";
}

std::string AudioMemory::makeMemReadCommand(std::uint32_t address, std::uint32_t length) {
    return commandText("voiceMemRead %08X %u", address, length);
}

std::string AudioMemory::makeMemProgramCommand(std::uint32_t address, const std::string& hex) {
    return commandText("voiceMemProgram %08X %u %s", address, static_cast<unsigned>(hex.size() / 2),
                       hex.c_str());
}

std::string AudioMemory::encodeName(const std::wstring& name) {
    return base::toUtf8(name) + '\0';
}

std::uint32_t AudioMemory::getNameLength(const std::wstring& name) {
    return getEncodedNameSize(name);
}

std::uint32_t AudioMemory::getEncodedNameSize(const std::wstring& name) {
    return static_cast<std::uint32_t>(encodeName(name).size());
}

std::wstring AudioMemory::decodeName(const Name& record) {
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
// Loading. Each level is read whole and taken only when all of it is sound, so a level that
// fails leaves nothing of itself behind.

void AudioMemory::initLevel(std::uint32_t mask) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    bool loaded = false;
    const auto load = [&](std::uint32_t bit, void (AudioMemory::*loader)()) {
        if ((mask & bit) == 0 || (loadedLevels_ & bit) != 0) return;
        (this->*loader)();
        loadedLevels_ |= bit;
        loaded = true;
    };
    load(level::root, &AudioMemory::loadRoot);
    load(level::names, &AudioMemory::loadNames);
    load(level::fragments, &AudioMemory::loadFragments);
    load(level::scenarios, &AudioMemory::loadScenarios);
    load(level::dataSlots, &AudioMemory::loadDataSlots);
    load(level::data, &AudioMemory::loadData);
    if (loaded) checkInvariant();
}

void AudioMemory::loadRoot() {
    const std::string bytes = buildBlank_ ? std::string(Root::size, '\xFF') : readMemory(0, Root::size);
    Root root = Root::read(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    if (root.version != version_) {
        // An erased flash reads 0xFF: an empty memory.
        if (!buildBlank_ && (root.version & 0xFF) != 0xFF) throw exception::UnknownVersionOfAudioMemory();
        root = Root{};
        root.version = version_;
    }
    const std::uint64_t size = memorySize_;
    const bool sound = root.fragmentTable < size &&
                       std::uint64_t{Fragment::size} * root.fragmentCount < size && root.nameTable < size &&
                       std::uint64_t{Name::size} * root.nameCount < size && root.scenarioTable < size &&
                       std::uint64_t{Scenario::size} * root.scenarioCount < size &&
                       std::uint32_t{root.fragmentCount} + root.scenarioCount == root.nameCount;
    if (!sound) refuseStructure(L". Некорректная загрузочная запись");
    root_ = root;
}

void AudioMemory::loadNames() {
    const std::string table = readMemory(root_.nameTable, Name::size * std::uint32_t{root_.nameCount});
    std::map<std::int16_t, Name> names;
    std::map<std::int16_t, std::wstring> texts;
    std::int16_t last = 0;
    for (std::size_t at = 0; at < table.size(); at += Name::size) {
        const Name record = Name::read(reinterpret_cast<const std::uint8_t*>(table.data() + at));
        // A text holds at least its NUL.
        if (record.address >= memorySize_ || record.length >= memorySize_ || record.length == 0)
            refuseStructure(L" (Загрузка наименований)");
        names[record.id] = record;
        texts[record.id] = decodeName(record);
        last = std::max(last, record.id);
    }
    names_ = std::move(names);
    nameTexts_ = std::move(texts);
    lastNameId_ = last;
}

void AudioMemory::loadFragments() {
    const std::string table =
        readMemory(root_.fragmentTable, Fragment::size * std::uint32_t{root_.fragmentCount});
    std::map<std::int16_t, Fragment> records;
    std::vector<device::memory::FragmentEntry> entries;
    for (std::size_t at = 0; at < table.size(); at += Fragment::size) {
        const Fragment record = Fragment::read(reinterpret_cast<const std::uint8_t*>(table.data() + at));
        if (record.address >= memorySize_ || record.dataSize >= memorySize_ ||
            names_.count(record.nameId) == 0)
            refuseStructure(L" (Загрузка фрагментов)");
        records[record.id] = record;
        entries.push_back(
            {record.id, record.order, nameTexts_[record.nameId], record.dataSize, record.dataCrc});
    }
    fragments_ = std::move(records);
    fragmentList_ = std::move(entries);
}

void AudioMemory::loadScenarios() {
    const std::string table =
        readMemory(root_.scenarioTable, Scenario::size * std::uint32_t{root_.scenarioCount});
    std::map<std::int16_t, Scenario> records;
    std::vector<device::memory::ScenarioEntry> entries;
    std::uint16_t position = 1;
    for (std::size_t at = 0; at < table.size(); at += Scenario::size) {
        const Scenario record = Scenario::read(reinterpret_cast<const std::uint8_t*>(table.data() + at));
        if (fragments_.count(record.gongId) == 0 || fragments_.count(record.fragmentId) == 0 ||
            names_.count(record.nameId) == 0 || record.value < 1 || record.value > kLargestValue) {
            refuseStructure(L" (Загрузка сообщений)");
        }
        records[record.id] = record;
        device::memory::ScenarioEntry entry;
        entry.id = record.id;
        entry.order = record.order;
        entry.position = position++;
        entry.name = nameTexts_[record.nameId];
        entry.value = record.value;
        entry.gongId = static_cast<std::uint16_t>(record.gongId);
        entry.fragmentId = static_cast<std::uint16_t>(record.fragmentId);
        entry.repeatPeriod = record.repeatPeriod;
        entries.push_back(entry);
    }
    scenarios_ = std::move(records);
    scenarioList_ = std::move(entries);
}

void AudioMemory::loadDataSlots() {
    for (const auto& [id, record] : fragments_) fragmentData_.emplace(id, std::string());
}

void AudioMemory::loadData() {
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

void AudioMemory::writeMemoryLogic(const PartWriter& writer) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    debug::Place("device::v3::memory::AudioMemory::writeMemoryLogic").trace(L"Write memory (logic).");
    checkAttached();
    if (nameTexts_.size() != names_.size()) broken_ = true;
    if (fragmentData_.size() != fragments_.size() || nameTexts_.size() != names_.size()) {
        throw exception::InternalError(
            L"Для предотвращения порчи данных на устройстве, запись отменена.\nСистема записи находится в "
            L"рассогласованном состоянии");
    }
    if (relayoutData_) {
        writeAllData_ = true;
        initLevel(level::data);
        relayoutData_ = false;
    }

    const auto fragmentCount = static_cast<std::uint32_t>(fragments_.size());
    const auto scenarioCount = static_cast<std::uint32_t>(scenarios_.size());
    const auto nameCount = static_cast<std::uint32_t>(names_.size());
    root_.fragmentTable = Root::size;
    root_.fragmentCount = static_cast<std::uint16_t>(fragmentCount);
    root_.scenarioTable = root_.fragmentTable + Fragment::size * fragmentCount;
    root_.scenarioCount = static_cast<std::uint16_t>(scenarioCount);
    root_.nameTable = root_.scenarioTable + Scenario::size * scenarioCount;
    root_.nameCount = static_cast<std::uint16_t>(nameCount);

    // Names: the records, then the texts in the same order.
    std::string texts;
    std::string nameTable(std::size_t{Name::size} * nameCount, '\0');
    std::uint32_t at = 0;
    for (auto& [id, record] : names_) {
        const std::string text = encodeName(nameTexts_[id]);
        record.address = static_cast<std::uint32_t>(root_.nameTable + nameTable.size() + texts.size());
        record.length = static_cast<std::uint32_t>(text.size());
        record.write(reinterpret_cast<std::uint8_t*>(&nameTable[at]));
        at += Name::size;
        texts += text;
    }
    nameTable += texts;

    // Fragment data from the top of the flash down, the smallest id highest; the last byte
    // stays free. Its end must stay above the end of the texts.
    const std::uint64_t textsEnd = std::uint64_t{root_.nameTable} + nameTable.size();
    std::uint64_t sum = 0;
    for (auto& [id, record] : fragments_) {
        sum += record.dataSize;
        if (textsEnd + sum + 1 > memorySize_) {
            broken_ = true;
            throw exception::InternalError(L"Непредвиденное исчерпание памяти, запись не произведена");
        }
        record.address = static_cast<std::uint32_t>(memorySize_ - sum - 1);
    }

    std::string fragmentTable(std::size_t{Fragment::size} * fragmentCount, '\0');
    at = 0;
    for (const auto& [id, record] : fragments_) {
        record.write(reinterpret_cast<std::uint8_t*>(&fragmentTable[at]));
        at += Fragment::size;
    }
    std::string scenarioTable(std::size_t{Scenario::size} * scenarioCount, '\0');
    at = 0;
    for (const auto& [id, record] : scenarios_) {
        record.write(reinterpret_cast<std::uint8_t*>(&scenarioTable[at]));
        at += Scenario::size;
    }

    const auto part = [&writer](std::uint32_t address, const std::string& bytes) {
        if (!bytes.empty())
            writer(address, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   static_cast<std::uint32_t>(bytes.size()));
    };
    // The old root is blanked first, so that a write that stops halfway leaves an erased root.
    part(0, std::string(Root::size, '\xFF'));
    part(root_.fragmentTable, fragmentTable);
    part(root_.scenarioTable, scenarioTable);
    part(root_.nameTable, nameTable);
    if (writeAllData_) {
        for (const device::memory::FragmentEntry& entry : fragmentList_) {
            const std::string& data = fragmentData_[entry.id];
            // After an erase a fragment without its data would lie under a valid root.
            if (data.empty() && entry.size != 0)
                throw exception::InternalError(L"Внутренняя ошибка. Небыли загружены данные из аудио флеш");
            part(fragments_[entry.id].address, data);
        }
    }
    updateChecksum();
    std::uint8_t root[Root::size];
    root_.write(root);
    writer(0, root, Root::size);
    relayoutData_ = false;
    writeAllData_ = false;
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
