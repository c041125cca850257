#pragma once
// The audio memory of a device as the window and the devices use it: a model of the memory
// (AudioMemoryModel.h, built from the flash's bytes) and the link that talks with the device
// (AudioMemoryLink.h), composed under one lock. Every edit and query holds the lock; the
// completions of a write never take it. An edit is refused while the device plays from its
// memory or a write runs.
//
// A layout's factory builds the parts (linked or detached), then the memory, then loads it: an
// attached one asks its device for the size of the flash first; a detached one reads the image
// its model holds (see also BaseAudioControlImages.cpp).

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "devicelink/IAudioControl.h"
#include "devicememory/AudioMemoryLink.h"
#include "devicememory/AudioMemoryModel.h"

namespace device::memory {

class BaseAudioControl : public IAudioControl {
public:
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

protected:
    // A memory of `model` talking through `link`; a link without a device makes a detached
    // memory.
    BaseAudioControl(std::unique_ptr<AudioMemoryModel> model, std::unique_ptr<AudioMemoryLink> link,
                     PlayStateHandler playStateHandler);

    // The parts of a memory: a model of the layout Model and a link in `words`.
    template <class Model>
    struct Parts {
        std::unique_ptr<Model> model;
        std::unique_ptr<AudioMemoryLink> link;
    };
    // Parts whose model reads the flash of `device` through the link.
    template <class Model>
    static Parts<Model> linked(const std::shared_ptr<DeviceBase>& device, const CommandWords& words) {
        Parts<Model> parts;
        parts.link = std::make_unique<AudioMemoryLink>(device, words);
        AudioMemoryLink* const link = parts.link.get();
        parts.model = std::make_unique<Model>(AudioMemoryModel::FlashReader(
            [link](std::uint32_t address, std::uint32_t size) { return link->read(address, size); }));
        return parts;
    }
    // Parts whose model reads the bytes of an image, with a link to no device.
    template <class Model>
    static Parts<Model> detached(const std::string& image, const CommandWords& words) {
        return {std::make_unique<Model>(image), std::make_unique<AudioMemoryLink>(nullptr, words)};
    }

    // Asks the device for the size of its flash and loads the memory (or an empty one when
    // `blank`). Run once, by attach.
    void requestMemorySize(bool blank);
    // Takes a memory just built by the most derived class and loads it: an attached one from
    // its device, a detached one from its image (every level).
    template <class Memory>
    static std::shared_ptr<Memory> attach(Memory* memory, bool blank) {
        std::shared_ptr<Memory> owned(memory);
        static_cast<BaseAudioControl&>(*owned).requestMemorySize(blank);
        return owned;
    }
    template <class Memory>
    static std::shared_ptr<Memory> loadDetached(Memory* memory) {
        std::shared_ptr<Memory> owned(memory);
        static_cast<BaseAudioControl&>(*owned).model_->initLevel(level::all);
        return owned;
    }

    AudioMemoryModel& model() { return *model_; }
    AudioMemoryLink& link() { return *link_; }

    // A write of changes: opens the link's session; its end sets the model's write flags.
    std::uint64_t beginWrite(ProgressHandler progress);
    // Checks, counts and queues every piece of the open write.
    void sendChanges(std::uint64_t serial);
    void checkPossibilityOfWritingChanges();
    // Whether the device, or this memory, plays from the memory now. Exchanges.
    bool playsInternally();
    // Refuses while the device plays from its memory or a write runs.
    void checkNotBusy();

    // Guards the model and the link's playing state; every operation holds it. The completions
    // of a write never take it.
    std::recursive_mutex lock_;

private:
    // Forgets the playing and the write's progress, as a memory built anew does.
    void resetState();
    // Hands every region of the layout, checked, to the link's program commands for `writer`.
    void writeLayout(const AudioMemoryLink::CommandWriter& writer);
    // Clears this memory and fills it with the given entries and data, through its own
    // operations; puts the model back when any of them refuses.
    void fillFrom(const std::vector<std::pair<FragmentEntry, std::string>>& fragments,
                  const std::vector<ScenarioEntry>& scenarios);
    void play(std::int16_t id, bool scenario);

    PlayStateHandler playStateHandler_;
    std::int16_t playingId_ = -1;
    // Declared before the link: a write the link fails as it goes sets the model's flags.
    const std::unique_ptr<AudioMemoryModel> model_;
    const std::unique_ptr<AudioMemoryLink> link_;
};

}  // namespace device::memory
