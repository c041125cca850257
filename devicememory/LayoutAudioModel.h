#pragma once
// The audio memory model over the flash records of one layout version: loading the flash level
// by level and the layout a write hands out. A version describes itself in a struct:
//
//     struct Layout {
//         using Root = ...; using Fragment = ...; using Scenario = ...; using Name = ...;
//         static constexpr bool idsByPosition = ...;
//         static constexpr bool dataMayStay = ...;
//     };
//
// The record types are PackedRecords whose fields are named as the model's (V4Records.h), so
// that they convert field by field. `idsByPosition`: the fragment and scenario records carry no
// ids, a record's id and play number are its place in its table. `dataMayStay`: a write
// programs the flash without erasing it, so data that is not written again stays where it lies.
// The name coding, the checksum, the first id and the invariant stay with each version.

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "devicememory/AudioMemoryModel.h"
#include "devicememory/PackedRecord.h"
#include "foundation/Place.h"

namespace device::memory {

template <class Layout>
class LayoutAudioModel : public AudioMemoryModel {
public:
    // Each table is read whole in one piece.
    void initLevel(std::uint32_t mask) override {
        initLevels(mask, {[this] { loadRoot(); }, [this] { loadNames(); }, [this] { loadFragments(); },
                          [this] { loadScenarios(); }});
    }

    void writeMemoryLogic(const PartWriter& writer) override {
        debug::Place("device::memory::LayoutAudioModel::writeMemoryLogic").trace(L"Write memory (logic).");
        checkLayoutCounts();

        const auto fragmentCount = static_cast<std::uint32_t>(fragments_.size());
        const auto scenarioCount = static_cast<std::uint32_t>(scenarios_.size());
        root_.fragmentTable = Layout::Root::size;
        root_.fragmentCount = static_cast<std::uint16_t>(fragmentCount);
        root_.scenarioTable = root_.fragmentTable + Layout::Fragment::size * fragmentCount;
        root_.scenarioCount = static_cast<std::uint16_t>(scenarioCount);
        root_.nameTable = root_.scenarioTable + Layout::Scenario::size * scenarioCount;
        root_.nameCount = static_cast<std::uint16_t>(names_.size());
        const std::string names = buildNameArea(
            root_.nameTable, [](const Name& record) { return storedBytes<typename Layout::Name>(record); });
        placeData(std::uint64_t{root_.nameTable} + names.size());

        std::string fragments;
        for (const auto& [id, record] : fragments_)
            fragments += storedBytes<typename Layout::Fragment>(record);
        std::string scenarios;
        for (const auto& [id, record] : scenarios_)
            scenarios += storedBytes<typename Layout::Scenario>(record);
        writeRegions(
            writer, Layout::Root::size,
            {{root_.fragmentTable, fragments}, {root_.scenarioTable, scenarios}, {root_.nameTable, names}},
            Layout::dataMayStay, [this] { return storedBytes<typename Layout::Root>(root_); });
    }

protected:
    using AudioMemoryModel::AudioMemoryModel;

    RecordSizes recordSizes() const override {
        return RecordSizes{Layout::Root::size, Layout::Fragment::size, Layout::Scenario::size,
                           Layout::Name::size};
    }
    std::uint32_t getEncodedNameSize(const std::wstring& name) const override {
        return static_cast<std::uint32_t>(encodeName(name).size());
    }

private:
    void loadRoot() {
        using Stored = typename Layout::Root;
        const std::string bytes =
            buildBlank_ ? std::string(Stored::size, '\xFF') : readMemory(0, Stored::size);
        acceptRoot(
            copyFields<Stored, Root>(Stored::read(reinterpret_cast<const std::uint8_t*>(bytes.data()))));
    }
    void loadNames() {
        acceptNames(readTable<typename Layout::Name, Name>(root_.nameTable, root_.nameCount));
    }
    void loadFragments() {
        acceptFragments(
            readTable<typename Layout::Fragment, Fragment>(root_.fragmentTable, root_.fragmentCount));
        if constexpr (Layout::dataMayStay) relayoutMisplacedData();
    }
    void loadScenarios() {
        acceptScenarios(
            readTable<typename Layout::Scenario, Scenario>(root_.scenarioTable, root_.scenarioCount));
    }

    // The model's records of the table of `count` records at `address`.
    template <class Stored, class Model>
    std::vector<Model> readTable(std::uint32_t address, std::uint32_t count) {
        const std::string table = readMemory(address, Stored::size * count);
        std::vector<Model> records;
        for (std::size_t at = 0; at + Stored::size <= table.size(); at += Stored::size) {
            Model record = copyFields<Stored, Model>(
                Stored::read(reinterpret_cast<const std::uint8_t*>(table.data() + at)));
            if constexpr (Layout::idsByPosition && !std::is_same_v<Model, Name>) {
                record.id = static_cast<std::int16_t>(getFirstId() + records.size());
                record.order = static_cast<std::uint16_t>(getFirstOrder() + records.size());
            }
            records.push_back(record);
        }
        return records;
    }
    // The bytes of the model's `record` as the layout's record type Stored.
    template <class Stored, class Model>
    static std::string storedBytes(const Model& record) {
        std::string bytes(Stored::size, '\0');
        copyFields<Stored, Stored>(record).write(reinterpret_cast<std::uint8_t*>(bytes.data()));
        return bytes;
    }
};

}  // namespace device::memory
