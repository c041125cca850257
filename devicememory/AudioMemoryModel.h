#pragma once
// The model of a device's audio memory that every layout version shares, built from the bytes
// of a flash: a parsed copy of it (root, fragment, scenario and name records) beside the
// editable lists of fragments and scenarios, the name texts and the fragments' data; editing
// under the memory's limits and rules, the consistency checks (AudioMemoryModelChecks.cpp),
// loading and laying out (AudioMemoryModelLayout.cpp) and the logical image. It knows no
// device, takes no lock and starts no thread: its owner serialises every call, and only the
// flags a write's completions set are atomic.
//
// The flash is either bytes the model holds (an image) or a reader that fetches them on
// demand; the data of the fragments is fetched only when it is needed. A layout version
// supplies its record sizes, name coding, loader and write layout through the protected slots;
// LayoutAudioModel.h fills the slots that follow from the version's records.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devicelink/IAudioControl.h"
#include "devicememory/V4Records.h"

namespace device::memory {

// Load levels: bits of the mask given to initLevel.
namespace level {
constexpr std::uint32_t root = 1;
constexpr std::uint32_t names = 2;
constexpr std::uint32_t fragments = 4;
constexpr std::uint32_t scenarios = 8;
constexpr std::uint32_t dataSlots = 16;
constexpr std::uint32_t data = 32;
constexpr std::uint32_t allButData = 31;
constexpr std::uint32_t all = 63;
}  // namespace level

class AudioMemoryModel {
public:
    using Root = v4::memory::Root;
    using Fragment = v4::memory::Fragment;
    using Scenario = v4::memory::Scenario;
    using Name = v4::memory::Name;
    // The flash bytes [address, address + size); throws when they cannot be had.
    using FlashReader = std::function<std::string(std::uint32_t address, std::uint32_t size)>;
    // Takes one region of the memory as it is to lie in the flash.
    using PartWriter =
        std::function<void(std::uint32_t address, const std::uint8_t* data, std::uint32_t size)>;

    virtual ~AudioMemoryModel();
    AudioMemoryModel(const AudioMemoryModel&) = delete;
    AudioMemoryModel& operator=(const AudioMemoryModel&) = delete;

    // A model of the layout Model over the bytes of a flash, every level loaded and checked.
    // Throws what loading throws.
    template <class Model>
    static std::unique_ptr<Model> fromFlash(const std::string& bytes) {
        auto model = std::make_unique<Model>(bytes);
        model->initLevel(level::all);
        return model;
    }

    // Tells the change handlers about one edit: the first before it, the second after it, also
    // when the edit fails halfway.
    class ChangeScope {
    public:
        explicit ChangeScope(AudioMemoryModel& model);
        ~ChangeScope();
        ChangeScope(const ChangeScope&) = delete;
        ChangeScope& operator=(const ChangeScope&) = delete;

    private:
        const Notification& onChanged_;
    };
    void setChangeHandlers(Notification onChanging, Notification onChanged);

    // Loads each level of `mask` not loaded yet, then checks the model when anything was.
    virtual void initLevel(std::uint32_t mask) = 0;
    // Lays the whole memory out and hands every region to `writer`, the root last.
    virtual void writeMemoryLogic(const PartWriter& writer) = 0;

    // Forgets everything loaded and edited: an empty model of the same flash.
    void reset();
    // Takes the size of the flash and loads the model from it, or an empty model when `blank`.
    void start(std::uint32_t memorySize, bool blank);
    // An empty model of a flash that is to be written whole.
    void clear();
    // Forgets everything and, when `reload`, loads it again as it was first built.
    void reload(bool reload);

    // Edits: each refuses what breaks the memory's rules before it changes anything.
    std::int16_t addFragment(const std::string& data, const std::wstring& name);
    // `deviceRemovesOnlyLast`: the device, whatever its layout, takes only the removal of the
    // fragment with the greatest id.
    void removeFragment(std::int16_t id, bool deviceRemovesOnlyLast = false);
    std::int16_t addScenario(std::int16_t gongId, std::int16_t fragmentId, std::uint16_t repeatPeriod,
                             const std::wstring& name);
    void removeScenario(std::int16_t id);

    bool hasFragment(std::int16_t id) const;
    std::int32_t getFragmentOrder(std::int16_t id) const;
    std::int32_t getFragmentId(std::int32_t order) const;
    FragmentEntry getFragment(std::int16_t id) const;
    const std::vector<FragmentEntry>& getFragments() const { return fragmentList_; }
    // The data of the fragment, fetched from the flash when it is not loaded yet.
    std::string getFragmentFile(std::int16_t id);
    bool hasScenario(std::int16_t id) const;
    std::int32_t getScenarioOrder(std::int16_t id) const;
    std::int32_t getScenarioId(std::int32_t order) const;
    ScenarioEntry getScenario(std::int16_t id) const;
    const std::vector<ScenarioEntry>& getScenarios() const { return scenarioList_; }

    std::uint32_t getSizeOfFreeMemory() const;
    std::uint32_t getMemorySize() const { return memorySize_; }
    // The bytes of the layout's root record: no image is shorter.
    std::uint32_t rootSize() const { return recordSizes().root; }
    bool hasChanges() const { return hasChanges_.load(); }
    // A consistency check failed: the memory refuses to be written until it is built again.
    bool isBroken() const { return broken_; }
    // The last write failed and nothing rebuilt the model since.
    bool hasWriteFailed() const { return writeFailed_.load(); }
    // Built empty, ignoring what the flash held.
    bool isBlank() const { return buildBlank_; }
    std::wstring getHash() const;

    // Refuses a model that breaks a rule, and marks it broken.
    void checkInvariant();
    // Refuses a region a write may not program: any once the model is broken, or one outside
    // the flash. False for an empty region, which is not written.
    bool checkRegion(std::uint32_t address, std::uint32_t size) const;
    // The flash bytes [address, address + size); the last byte of the flash is never read.
    std::string readMemory(std::uint32_t address, std::uint32_t size);
    // The flash as it is, its last byte erased.
    std::string rawImage();
    // The layout a write would give, in a buffer of the flash's size; the model stays as it was.
    std::string logicalImage();

    // The write of changes. What the next write must program besides the tables.
    struct WriteFlags {
        bool allData = false;
        bool relayout = false;
    };
    // After a failed write every fragment's data is written again.
    void takeWriteFailure();
    WriteFlags getWriteFlags() const { return {writeAllData_, relayoutData_}; }
    void setWriteFlags(WriteFlags flags);
    // The flash was erased: every fragment's data must be written again.
    void writeAllData() { writeAllData_ = true; }
    // Called by the completions of a write, which hold no lock of the owner.
    void writeSucceeded() { hasChanges_ = false; }
    void writeFailed() { writeFailed_ = true; }
    void markChanged() { hasChanges_ = true; }

    // What an edit or an image build may change of the model, kept to put it back.
    struct State {
        Root root;
        std::map<std::int16_t, Fragment> fragments;
        std::vector<FragmentEntry> fragmentList;
        std::map<std::int16_t, Scenario> scenarios;
        std::vector<ScenarioEntry> scenarioList;
        std::map<std::int16_t, Name> names;
        std::map<std::int16_t, std::wstring> nameTexts;
        std::map<std::int16_t, std::string> fragmentData;
        std::int16_t lastNameId = 0;
        std::uint32_t loadedLevels = 0;
        bool buildBlank = false;
        bool relayoutData = false;
        bool writeAllData = false;
        bool hasChanges = false;
        bool writeFailed = false;
        bool broken = false;
    };
    State save() const;
    // A broken mark stays: what was found wrong is not forgotten. `writeState` puts back the
    // flags that the completions of a write change too; only when no write can run.
    void restore(State&& state, bool writeState);

protected:
    struct RecordSizes {
        std::uint32_t root;
        std::uint32_t fragment;
        std::uint32_t scenario;
        std::uint32_t name;
    };

    // A model over the bytes of a flash, as long as the flash; nothing is loaded yet.
    AudioMemoryModel(std::uint16_t version, const std::string& image);
    // A model over a flash that `reader` fetches; its size comes with start().
    AudioMemoryModel(std::uint16_t version, FlashReader reader);

    // The slots of a layout version.
    virtual RecordSizes recordSizes() const = 0;
    virtual std::string encodeName(const std::wstring& name) const = 0;
    // The length a name record stores for the text.
    virtual std::uint32_t getNameLength(const std::wstring& name) const = 0;
    virtual std::wstring decodeName(const Name& record) = 0;
    // The bytes the text takes in the flash.
    virtual std::uint32_t getEncodedNameSize(const std::wstring& name) const = 0;
    virtual std::uint32_t updateChecksum() = 0;
    virtual std::uint16_t getFirstOrder() const = 0;
    virtual std::uint16_t getFirstId() const = 0;
    virtual void checkVersionSpecificInvariant() = 0;
    // The bytes the text of the name record with that id takes in the flash.
    virtual std::uint32_t getNameSize(const Name& record) const;
    // Only the fragment with the greatest id may be removed: the others' data would move.
    virtual bool onlyLastFragmentRemovable() const;
    // The checksum of a fragment's data as its record keeps it.
    virtual std::uint32_t dataChecksum(const std::string& data) const;

    // Loading, shared by the layouts (AudioMemoryModelLayout.cpp): each layout reads its own
    // bytes into the model's record types and hands them over here, where they are checked
    // against the flash and taken whole, so a level that fails leaves nothing of itself behind.
    struct LevelLoaders {
        std::function<void()> root;
        std::function<void()> names;
        std::function<void()> fragments;
        std::function<void()> scenarios;
    };
    // Loads each level of `mask` not loaded yet, in level order, then checks the model when
    // anything was loaded.
    void initLevels(std::uint32_t mask, const LevelLoaders& loaders);
    // A structure error of the flash: exception::ExternalError with `what` after the common text.
    [[noreturn]] static void refuseStructure(const wchar_t* what);
    // A root of another version is refused, unless the flash is erased or the memory is built
    // blank: then the root is that of an empty memory.
    void acceptRoot(Root root);
    void acceptNames(const std::vector<Name>& records);
    void acceptFragments(const std::vector<Fragment>& records);
    void acceptScenarios(const std::vector<Scenario>& records);
    void loadDataSlots();
    void loadData();
    // For a flash written without an erase: data that another writer left apart from the place
    // a write gives it is read and written again by the next write.
    void relayoutMisplacedData();

    // Laying out, shared by the layouts.
    struct Region {
        std::uint32_t address;
        std::string bytes;
    };
    // Refuses a model whose records and data, or names and texts, do not pair up.
    void checkLayoutCounts();
    // The name records in id order, then their texts, from `start`; gives the records their
    // addresses and lengths.
    std::string buildNameArea(std::uint32_t start, const std::function<std::string(const Name&)>& serialize);
    // Loads the data a relayout moves, then places the fragments from the top of the flash down,
    // the smallest id highest, the last byte left free, all of it above `tablesEnd`.
    void placeData(std::uint64_t tablesEnd);
    // Hands the regions of a layout to `writer`: a blank root first, so that a write that stops
    // halfway leaves an erased root, then the tables, the data when all of it is written, and
    // the real root last. `dataMayStay`: a fragment whose data is not loaded keeps it in the
    // flash; otherwise it is refused.
    void writeRegions(const PartWriter& writer, std::uint32_t rootSize, const std::vector<Region>& tables,
                      bool dataMayStay, const std::function<std::string()>& root);

    const std::uint16_t version_;
    std::uint32_t loadedLevels_ = 0;
    bool buildBlank_ = false;
    std::uint32_t memorySize_ = 0;
    bool broken_ = false;
    Root root_;
    std::map<std::int16_t, Fragment> fragments_;
    std::vector<FragmentEntry> fragmentList_;
    std::map<std::int16_t, Scenario> scenarios_;
    std::vector<ScenarioEntry> scenarioList_;
    std::map<std::int16_t, Name> names_;
    std::map<std::int16_t, std::wstring> nameTexts_;
    std::int16_t lastNameId_ = 0;
    // An empty string is a fragment whose data is not loaded.
    std::map<std::int16_t, std::string> fragmentData_;
    bool relayoutData_ = false;
    bool writeAllData_ = false;
    std::atomic<bool> hasChanges_{false};
    // The last write failed: the next one writes every fragment's data again.
    std::atomic<bool> writeFailed_{false};

private:
    std::int16_t addName(const std::wstring& text);
    std::wstring findName(std::int16_t id) const;
    void rebuildRecords();
    // Where fragment data may begin: the end of the tables and name texts.
    std::uint64_t tablesEnd() const;
    // The bytes the model takes in the flash; 0 for an empty model.
    std::uint64_t usedSize() const;
    void requireRoom(std::uint64_t cost, const wchar_t* description) const;

    // The flash of a model over an image; empty when a reader fetches it.
    const std::string flash_;
    const FlashReader reader_;
    Notification onChanging_;
    Notification onChanged_;
};

}  // namespace device::memory
