#pragma once
// The model of a device's audio memory that every layout version shares: a parsed copy of the
// flash (root, fragment, scenario and name records) beside the editable lists of fragments and
// scenarios, the name texts and the fragments' data; editing under the memory's limits, the
// consistency checks (BaseAudioControlChecks.cpp), and the exchange with the device: reading
// the flash, the piecewise asynchronous write with its progress, playing and stopping
// (BaseAudioControlExchange.cpp). A layout version supplies its record sizes, command texts,
// name coding, loader and write layout through the protected slots; LayoutAudioControl.h fills
// the slots that follow from the version's records and command words.
//
// An attached memory is built in two steps: the constructor stores the device, and the most
// derived class's factory then runs requestMemorySize, so that loading already goes through
// that class's own slots. A detached memory is built the same way from the bytes of an image
// (BaseAudioControlImages.cpp), which it reads instead of a device.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devicelink/IAudioControl.h"
#include "devicememory/V4Records.h"
#include "foundation/NetworkAddress.h"

namespace device {
class DeviceBase;
class TransferProtocol;
}  // namespace device

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

class BaseAudioControl : public IAudioControl {
public:
    using Root = v4::memory::Root;
    using Fragment = v4::memory::Fragment;
    using Scenario = v4::memory::Scenario;
    using Name = v4::memory::Name;

    ~BaseAudioControl() override;

    void setChangeHandlers(Notification onChanging, Notification onChanged) override;
    void setWriteHandlers(Notification onWriteStarted, Notification onWriteFinished) override;

    bool isPlaying() override;
    void playFragment(std::int16_t id) override;
    void playScenario(std::int16_t id) override;
    std::int16_t getPlayingId() override;
    void stop() override;

    std::int16_t addFragment(const std::string& data, const std::wstring& name) override;
    bool hasFragment(std::int16_t id) override;
    std::int32_t getFragmentOrder(std::int16_t id) override;
    std::int32_t getFragmentId(std::int32_t order) override;
    void removeFragment(std::int16_t id) override;
    FragmentEntry getFragment(std::int16_t id) override;
    std::vector<FragmentEntry> getFragments() override;
    std::string getFragmentFile(std::int16_t id) override;

    std::int16_t addScenario(std::int16_t gongId, std::int16_t fragmentId, std::uint16_t repeatPeriod,
                             const std::wstring& name) override;
    bool hasScenario(std::int16_t id) override;
    std::int32_t getScenarioOrder(std::int16_t id) override;
    std::int32_t getScenarioId(std::int32_t order) override;
    void removeScenario(std::int16_t id) override;
    ScenarioEntry getScenario(std::int16_t id) override;
    std::vector<ScenarioEntry> getScenarios() override;

    // The write without erase: refusals, then every piece queued at once.
    void writeChanges(ProgressHandler progress) override;
    std::int32_t getWriteProgress() override;
    std::uint32_t getSizeOfFreeMemory() override;
    std::uint32_t getMemorySize() override;
    void clear() override;
    bool hasChanges() override;
    void reload() override;

    std::wstring getHash() override;
    bool isLess(IAudioControl& other) override;
    bool isEqual(IAudioControl& other) override;
    bool isNotEqual(IAudioControl& other) override;

    std::string getImage(bool raw) override;
    void setImage(const std::string& bytes) override;
    void copyTo(const std::shared_ptr<IAudioControl>& target) override;

    // A consistency check failed: the memory refuses to be written until it is built again.
    bool isBroken();
    // The device postponed the request ("is deferred" in its reply).
    static bool isDeferred(const std::string& reply);

protected:
    struct RecordSizes {
        std::uint32_t root;
        std::uint32_t fragment;
        std::uint32_t scenario;
        std::uint32_t name;
    };
    // Takes one program command of a region; false when it could not be sent.
    using CommandWriter = std::function<bool(const std::string& command)>;
    // Takes one region of the memory as it is to lie in the flash.
    using PartWriter =
        std::function<void(std::uint32_t address, const std::uint8_t* data, std::uint32_t size)>;

    BaseAudioControl(std::uint16_t version, const std::shared_ptr<DeviceBase>& device,
                     std::shared_ptr<TransferProtocol> transport, PlayStateHandler playStateHandler);
    // A detached memory over the bytes of an image, as long as its flash; nothing is loaded yet.
    BaseAudioControl(std::uint16_t version, const std::string& image);

    // Asks the device for the size of its flash and loads the memory (or an empty one when
    // `blank`). Run once by the most derived class after its construction.
    void requestMemorySize(bool blank);
    // Takes a memory just built by the most derived class and loads it through that class's
    // slots: an attached one from its device, a detached one from its image (every level).
    template <class Memory>
    static std::shared_ptr<Memory> attach(Memory* memory, bool blank) {
        std::shared_ptr<Memory> owned(memory);
        static_cast<BaseAudioControl&>(*owned).requestMemorySize(blank);
        return owned;
    }
    template <class Memory>
    static std::shared_ptr<Memory> loadDetached(Memory* memory) {
        std::shared_ptr<Memory> owned(memory);
        static_cast<BaseAudioControl&>(*owned).initLevel(level::all);
        return owned;
    }

    // The slots of a layout version.
    virtual RecordSizes recordSizes() const = 0;
    virtual std::string makePlayCommand(std::uint32_t order) = 0;
    virtual std::string makePlayScenarioCommand(std::uint32_t order) = 0;
    virtual std::string makeIsPlayingCommand() = 0;
    virtual std::string makeStopCommand() = 0;
    virtual std::string makeMemSizeCommand() = 0;
    virtual std::string makeMemReadCommand(std::uint32_t address, std::uint32_t length) = 0;
    virtual std::string makeMemProgramCommand(std::uint32_t address, const std::string& hex) = 0;
    virtual std::string encodeName(const std::wstring& name) = 0;
    // The length a name record stores for the text.
    virtual std::uint32_t getNameLength(const std::wstring& name) = 0;
    virtual std::wstring decodeName(const Name& record) = 0;
    // The bytes the text takes in the flash.
    virtual std::uint32_t getEncodedNameSize(const std::wstring& name) = 0;
    // Loads each level of `mask` not loaded yet, then checks the model when anything was.
    virtual void initLevel(std::uint32_t mask) = 0;
    // Lays the whole memory out and hands every region to `writer`, the root last.
    virtual void writeMemoryLogic(const PartWriter& writer) = 0;
    virtual std::uint32_t updateChecksum() = 0;
    virtual std::uint16_t getFirstOrder() = 0;
    virtual std::uint16_t getFirstId() = 0;
    virtual void checkVersionSpecificInvariant() = 0;

    // Loading, shared by the layouts (BaseAudioControlLayout.cpp): each layout reads its own
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

    // The bytes the text of the name record with that id takes in the flash.
    virtual std::uint32_t getNameSize(const Name& record);
    // Only the fragment with the greatest id may be removed: the others' data would move.
    virtual bool onlyLastFragmentRemovable();
    // The checksum of a fragment's data as its record keeps it.
    virtual std::uint32_t dataChecksum(const std::string& data);

    // Exchanges with the device.
    std::string transferToDevice(const std::string& request);
    // The flash bytes [address, address + size), in 512-byte reads.
    std::string readMemory(std::uint32_t address, std::uint32_t size);
    // Cuts [address, address + size) into program commands of 512 bytes for `writer`.
    void writeMemory(std::uint32_t address, const std::uint8_t* data, std::uint32_t size,
                     const CommandWriter& writer);

    // A write of changes. It opens when the first command that changes the flash is about to
    // go, and ends exactly once: at 100 when every piece was acknowledged, or at -1.
    std::uint64_t beginWrite(ProgressHandler progress);
    bool isWriteOpen(std::uint64_t serial);
    // Ends the write at -1 unless it has ended already.
    void failWrite(std::uint64_t serial);
    // Checks, counts and queues every piece of the open write.
    void sendChanges(std::uint64_t serial);

    // Checks.
    void checkAttached();
    void checkNotBusy();
    void checkPossibilityOfWritingChanges();
    void checkInvariant();
    std::int16_t addName(const std::wstring& text);
    std::wstring findName(std::int16_t id);

    // The model.
    void resetImage();
    void rebuildRecords();
    // Where fragment data may begin: the end of the tables and name texts.
    std::uint64_t tablesEnd();
    // The bytes the model takes in the flash; 0 for an empty model.
    std::uint64_t usedSize();
    // The device, or null once it is gone.
    std::shared_ptr<DeviceBase> lockDevice();

    // Guards the model; every operation holds it. The completions of a write never take it.
    std::recursive_mutex lock_;

    const std::uint16_t version_;
    std::uint32_t loadedLevels_ = 0;
    bool buildBlank_ = false;
    std::uint32_t memorySize_ = 0;
    bool broken_ = false;
    const bool attached_;
    // Weak, so that a device and the memory it keeps do not keep each other alive.
    const std::weak_ptr<DeviceBase> device_;
    const std::shared_ptr<TransferProtocol> transfer_;
    // Reads copy from image_ (a detached memory); writes copy into it (a logical image is built).
    const bool imageMode_;
    bool imageRaw_ = false;
    std::string image_;
    Root root_;
    std::map<std::int16_t, Fragment> fragments_;
    std::vector<FragmentEntry> fragmentList_;
    std::map<std::int16_t, Scenario> scenarios_;
    std::vector<ScenarioEntry> scenarioList_;
    std::map<std::int16_t, Name> names_;
    std::map<std::int16_t, std::wstring> nameTexts_;
    std::int16_t lastNameId_ = 0;
    std::int16_t playingId_ = -1;
    // An empty string is a fragment whose data is not loaded.
    std::map<std::int16_t, std::string> fragmentData_;
    bool relayoutData_ = false;
    bool writeAllData_ = false;
    bool playingCache_ = false;
    std::chrono::steady_clock::time_point playingCacheTime_{};
    std::chrono::steady_clock::time_point lastStopTime_{};

    std::atomic<std::int32_t> writeProgress_{100};
    std::atomic<bool> hasChanges_{false};
    // The last write failed: the next one writes every fragment's data again.
    std::atomic<bool> writeFailed_{false};

private:
    // Tells the change handlers about one edit: the first before it, the second after it, also
    // when the edit fails halfway.
    class ChangeScope {
    public:
        explicit ChangeScope(BaseAudioControl& memory);
        ~ChangeScope();
        ChangeScope(const ChangeScope&) = delete;
        ChangeScope& operator=(const ChangeScope&) = delete;

    private:
        const Notification& onChanged_;
    };

    // What an edit or an image build may change of the model, kept to put it back.
    struct ModelState {
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
        std::int32_t writeProgress = 100;
    };
    ModelState saveModel();
    // A broken mark stays: what was found wrong is not forgotten. `writeState` puts back the
    // flags that the completions of a write change too; only when no write can run.
    void restoreModel(ModelState&& state, bool writeState);
    // Clears this memory and fills it with the given entries and data, through its own
    // operations; puts the model back when any of them refuses.
    void fillFrom(const std::vector<std::pair<FragmentEntry, std::string>>& fragments,
                  const std::vector<ScenarioEntry>& scenarios);

    struct WriteSession {
        std::uint64_t serial = 0;
        bool open = false;
        net::IpAndPort address;
        ProgressHandler progress;
        std::uint32_t total = 0;
        std::uint32_t acknowledged = 0;
        // The last piece (the root) goes only once every other piece was acknowledged.
        std::string lastPiece;
        bool lastPieceQueued = false;
    };

    std::int16_t addFragmentLocked(const std::string& data, const std::wstring& name);
    void requireRoom(std::uint64_t cost, const wchar_t* description);
    bool queuePiece(std::uint64_t serial, const std::string& command);
    void writeMemoryCallback(std::uint64_t serial, const std::string& command, const std::string& reply,
                             bool gotReply);
    void acknowledge(std::unique_lock<std::recursive_mutex>& session, std::uint64_t serial);
    // Closes the write under the session lock; the last progress report and the finished
    // notification follow after the lock is released, so no other report of it can come later.
    void endWrite(std::unique_lock<std::recursive_mutex>& session, bool succeeded);
    void play(std::int16_t id, bool scenario);

    PlayStateHandler playStateHandler_;
    Notification onChanging_;
    Notification onChanged_;

    // Held by every completion for its whole run, so that the completions of one memory never
    // overlap; guards the session and the write handlers.
    std::recursive_mutex writeLock_;
    WriteSession session_;
    std::uint64_t lastSerial_ = 0;
    Notification onWriteStarted_;
    Notification onWriteFinished_;
};

}  // namespace device::memory
