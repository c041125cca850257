#pragma once
// What the rest of the system sees of a device's audio memory: the recorded fragments and
// the scenarios that play them, which a device keeps in its flash and plays on its own. The
// layouts behind it live in devicememory/; the device base holds one through this interface.
//
// The lists are the memory's own. These may exchange with the device and wait for its replies
// (devicelink/DeviceBase.h), so never on the window's thread: the edits (addFragment,
// removeFragment, addScenario, removeScenario, clear, setImage), which first ask whether the
// memory plays, isPlaying, playFragment, playScenario, stop, getFragmentFile, writeChanges, reload,
// getImage and copyTo (which read the fragments' data that is not loaded yet).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace device::memory {

// One recorded fragment as the operator edits it.
struct FragmentEntry {
    std::int16_t id = 0;
    std::uint16_t order = 0;  // the play number the device knows the fragment by
    std::wstring name;
    std::uint32_t size = 0;  // bytes of data
    std::uint32_t dataCrc = 0;
};

// One scenario: a gong fragment followed by a message fragment, repeated at an interval.
struct ScenarioEntry {
    std::int16_t id = 0;
    std::uint16_t order = 0;     // the play number
    std::uint16_t position = 0;  // 1-based place in the list
    std::wstring name;
    std::uint16_t value = 1;
    std::uint16_t gongId = 0;
    std::uint16_t fragmentId = 0;
    std::uint16_t repeatPeriod = 0;  // seconds
};

// Percent 0..100 of a running write, -1 when it failed.
using ProgressHandler = std::function<void(int percent)>;
// 3 a fragment started, 4 a scenario started, 1 playing was stopped, 2 it had already stopped.
using PlayStateHandler = std::function<void(int event)>;
using Notification = std::function<void()>;

class IAudioControl : public std::enable_shared_from_this<IAudioControl> {
public:
    virtual ~IAudioControl() = default;

    // Called before and after every edit of the lists.
    virtual void setChangeHandlers(Notification onChanging, Notification onChanged) = 0;
    // Called once per write before its first piece is sent, and when it ends either way.
    virtual void setWriteHandlers(Notification onWriteStarted, Notification onWriteFinished) = 0;

    virtual bool isPlaying() = 0;
    virtual void playFragment(std::int16_t id) = 0;
    virtual void playScenario(std::int16_t id) = 0;
    virtual std::int16_t getPlayingId() = 0;
    virtual void stop() = 0;

    virtual std::int16_t addFragment(const std::string& data, const std::wstring& name) = 0;
    virtual bool hasFragment(std::int16_t id) = 0;
    // -1 when absent.
    virtual std::int32_t getFragmentOrder(std::int16_t id) = 0;
    virtual std::int32_t getFragmentId(std::int32_t order) = 0;
    virtual void removeFragment(std::int16_t id) = 0;
    virtual FragmentEntry getFragment(std::int16_t id) = 0;
    virtual std::vector<FragmentEntry> getFragments() = 0;
    // The fragment's data, read from the device when it is not loaded yet.
    virtual std::string getFragmentFile(std::int16_t id) = 0;

    virtual std::int16_t addScenario(std::int16_t gongId, std::int16_t fragmentId, std::uint16_t repeatPeriod,
                                     const std::wstring& name) = 0;
    virtual bool hasScenario(std::int16_t id) = 0;
    virtual std::int32_t getScenarioOrder(std::int16_t id) = 0;
    virtual std::int32_t getScenarioId(std::int32_t order) = 0;
    virtual void removeScenario(std::int16_t id) = 0;
    virtual ScenarioEntry getScenario(std::int16_t id) = 0;
    virtual std::vector<ScenarioEntry> getScenarios() = 0;

    // Erases and rewrites the device's memory; the progress comes later from other threads.
    virtual void writeChanges(ProgressHandler progress) = 0;
    virtual std::int32_t getWriteProgress() = 0;
    virtual std::uint32_t getSizeOfFreeMemory() = 0;
    virtual std::uint32_t getMemorySize() = 0;
    virtual void clear() = 0;
    virtual bool hasChanges() = 0;
    // Drops the edits and reads the memory again when the device is online.
    virtual void reload() = 0;

    // The whole flash as an image file holds it: `raw` reads the flash as it is (its last byte
    // 0xFF); otherwise the image is laid out from the model, with every fragment's data.
    // Leaves the memory as it was.
    virtual std::string getImage(bool raw) = 0;
    // Makes the memory's contents those of an image of any known layout; nothing reaches the
    // device until the next write.
    virtual void setImage(const std::string& bytes) = 0;
    // Rebuilds the target's fragments and scenarios from this memory's; a copy that fails
    // halfway leaves the target as it was.
    virtual void copyTo(const std::shared_ptr<IAudioControl>& target) = 0;

    // A text that tells memories of different content apart.
    virtual std::wstring getHash() = 0;
    virtual bool isLess(IAudioControl& other) = 0;
    virtual bool isEqual(IAudioControl& other) = 0;
    virtual bool isNotEqual(IAudioControl& other) = 0;
};

}  // namespace device::memory
