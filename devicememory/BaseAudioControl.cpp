#include "devicememory/BaseAudioControl.h"

#include "devicelink/DeviceBase.h"
#include "devicememory/ILoudspeaker.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device::memory {

BaseAudioControl::BaseAudioControl(std::unique_ptr<AudioMemoryModel> model,
                                   std::unique_ptr<AudioMemoryLink> link, PlayStateHandler playStateHandler)
    : playStateHandler_(std::move(playStateHandler)), model_(std::move(model)), link_(std::move(link)) {
    debug::throwIfFalse(model_ != nullptr && link_ != nullptr,
                        "device::memory::BaseAudioControl::BaseAudioControl");
}

BaseAudioControl::~BaseAudioControl() = default;

void BaseAudioControl::setChangeHandlers(Notification onChanging, Notification onChanged) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    model_->setChangeHandlers(std::move(onChanging), std::move(onChanged));
}

void BaseAudioControl::setWriteHandlers(Notification onWriteStarted, Notification onWriteFinished) {
    link_->setWriteHandlers(std::move(onWriteStarted), std::move(onWriteFinished));
}

bool BaseAudioControl::isBroken() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->isBroken();
}

void BaseAudioControl::resetState() {
    link_->resetPlaying();
    link_->setWriteProgress(100);
    playingId_ = -1;
}

void BaseAudioControl::requestMemorySize(bool blank) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::uint32_t size = link_->requestMemorySize();
    resetState();
    model_->start(size, blank);
}

void BaseAudioControl::checkNotBusy() {
    if (isPlaying()) throw exception::UserResponse(L"internalPlaying", L"device is busy (internal playing)");
    const std::int32_t progress = link_->getWriteProgress();
    if (progress >= 0 && progress < 100) throw exception::UserResponse(L"busy", L"");
}

void BaseAudioControl::checkPossibilityOfWritingChanges() {
    debug::Place("device::memory::BaseAudioControl::checkPossibilityOfWritingChanges")
        .trace(L"Check possibility of writing changes.");
    link_->checkAttached();
    model_->checkInvariant();
    if (playsInternally())
        throw exception::UserResponse(L"internalPlaying", L"device is busy (internal playing)");
    if (!model_->hasChanges()) throw exception::UserResponse(L"noChanges", L"");
}

bool BaseAudioControl::playsInternally() {
    const std::shared_ptr<DeviceBase> device = link_->device();
    return (device && device->hasInternalPlaying()) || isPlaying();
}

// ---------------------------------------------------------------------------------------------
// Fragments and scenarios.

std::int16_t BaseAudioControl::addFragment(const std::string& data, const std::wstring& name) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    debug::Place("device::memory::BaseAudioControl::addFragment").trace(L"Add a fragment.");
    checkNotBusy();
    return model_->addFragment(data, name);
}

bool BaseAudioControl::hasFragment(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->hasFragment(id);
}

std::int32_t BaseAudioControl::getFragmentOrder(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getFragmentOrder(id);
}

std::int32_t BaseAudioControl::getFragmentId(std::int32_t order) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getFragmentId(order);
}

void BaseAudioControl::removeFragment(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    checkNotBusy();
    const std::shared_ptr<DeviceBase> device = link_->device();
    auto* loudspeaker = dynamic_cast<ILoudspeaker*>(device.get());
    model_->removeFragment(id, loudspeaker && loudspeaker->removesOnlyLastFragment());
}

FragmentEntry BaseAudioControl::getFragment(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getFragment(id);
}

std::vector<FragmentEntry> BaseAudioControl::getFragments() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getFragments();
}

std::string BaseAudioControl::getFragmentFile(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getFragmentFile(id);
}

std::int16_t BaseAudioControl::addScenario(std::int16_t gongId, std::int16_t fragmentId,
                                           std::uint16_t repeatPeriod, const std::wstring& name) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    debug::Place("device::memory::BaseAudioControl::addScenario").trace(L"Add a scenario.");
    checkNotBusy();
    return model_->addScenario(gongId, fragmentId, repeatPeriod, name);
}

bool BaseAudioControl::hasScenario(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->hasScenario(id);
}

std::int32_t BaseAudioControl::getScenarioOrder(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getScenarioOrder(id);
}

std::int32_t BaseAudioControl::getScenarioId(std::int32_t order) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getScenarioId(order);
}

void BaseAudioControl::removeScenario(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    checkNotBusy();
    model_->removeScenario(id);
}

ScenarioEntry BaseAudioControl::getScenario(std::int16_t id) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getScenario(id);
}

std::vector<ScenarioEntry> BaseAudioControl::getScenarios() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getScenarios();
}

// ---------------------------------------------------------------------------------------------
// The whole memory.

std::int32_t BaseAudioControl::getWriteProgress() {
    return link_->getWriteProgress();
}

std::uint32_t BaseAudioControl::getSizeOfFreeMemory() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getSizeOfFreeMemory();
}

std::uint32_t BaseAudioControl::getMemorySize() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getMemorySize();
}

bool BaseAudioControl::hasChanges() {
    return model_->hasChanges();
}

void BaseAudioControl::clear() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!model_->isBroken() && !model_->hasWriteFailed()) checkNotBusy();
    resetState();
    model_->clear();
}

void BaseAudioControl::reload() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::shared_ptr<DeviceBase> device = link_->device();
    const bool reachable = device && device->isOnline() && device->stateReceived.load();
    if (reachable) checkNotBusy();
    resetState();
    model_->reload(reachable);
}

std::wstring BaseAudioControl::getHash() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return model_->getHash();
}

bool BaseAudioControl::isLess(IAudioControl& other) {
    return getHash() < other.getHash();
}

bool BaseAudioControl::isEqual(IAudioControl& other) {
    return getHash() == other.getHash();
}

bool BaseAudioControl::isNotEqual(IAudioControl& other) {
    return !isEqual(other);
}

// ---------------------------------------------------------------------------------------------
// The write of changes.

void BaseAudioControl::writeChanges(ProgressHandler progress) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::int32_t running = link_->getWriteProgress();
    if (running >= 0 && running < 100) throw exception::UserResponse(L"busy", L"");
    if (playsInternally()) {
        // A view that waits for the write's end hears of the refusal as of a failed write.
        link_->setWriteProgress(-1);
        if (progress) progress(-1);
        throw exception::UserResponse(L"internalPlaying", L"");
    }
    checkPossibilityOfWritingChanges();
    const std::uint64_t serial = beginWrite(std::move(progress));
    try {
        sendChanges(serial);
    } catch (...) {
        link_->failWrite(serial);
        throw;
    }
}

std::uint64_t BaseAudioControl::beginWrite(ProgressHandler progress) {
    AudioMemoryModel* const model = model_.get();
    return link_->beginWrite(std::move(progress), weak_from_this(), [model](bool succeeded) {
        if (succeeded) {
            model->writeSucceeded();
        } else {
            model->writeFailed();
        }
    });
}

void BaseAudioControl::writeLayout(const AudioMemoryLink::CommandWriter& writer) {
    link_->checkAttached();
    model_->writeMemoryLogic([&](std::uint32_t address, const std::uint8_t* data, std::uint32_t size) {
        link_->checkAttached();
        if (model_->checkRegion(address, size)) link_->program(address, data, size, writer);
    });
}

void BaseAudioControl::sendChanges(std::uint64_t serial) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const debug::Place place("device::memory::BaseAudioControl::writeChanges");
    const std::shared_ptr<DeviceBase> device = link_->device();
    place.trace(L"Write the audio memory, device hw=%1%",
                device ? device->getHardwareAddress().toCharArray() : std::string());
    if (device && device->hasInternalPlaying()) {
        link_->failWrite(serial);
        throw exception::UserResponse(L"internalPlaying", L"");
    }
    checkPossibilityOfWritingChanges();
    model_->takeWriteFailure();

    // The counting pass walks exactly the pieces of the sending pass and sends nothing.
    const AudioMemoryModel::WriteFlags flags = model_->getWriteFlags();
    std::uint32_t count = 0;
    writeLayout([&count](const std::string&) {
        ++count;
        return true;
    });
    model_->checkInvariant();
    model_->setWriteFlags(flags);
    place.trace(L"Calculation of parts is completed. It is number of parts: %1%", count);

    if (!link_->countPieces(serial, count)) return;
    link_->sendPieces(serial, [this](const AudioMemoryLink::CommandWriter& writer) { writeLayout(writer); });
}

// ---------------------------------------------------------------------------------------------
// Playing.

bool BaseAudioControl::isPlaying() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return link_->isPlaying();
}

std::int16_t BaseAudioControl::getPlayingId() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return playingId_;
}

void BaseAudioControl::playFragment(std::int16_t id) {
    play(id, false);
}

void BaseAudioControl::playScenario(std::int16_t id) {
    play(id, true);
}

void BaseAudioControl::play(std::int16_t id, bool scenario) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const debug::Place place(scenario ? "device::memory::BaseAudioControl::playScenario"
                                      : "device::memory::BaseAudioControl::playFragment");
    place.trace(scenario ? L"play scenario, scenario id=%1%" : L"play fragment, fragment id=%1%", id);
    link_->checkAttached();
    const std::shared_ptr<DeviceBase> device = link_->device();
    if (device && device->hasInternalPlaying())
        throw exception::UserResponse(L"internalPlaying", L"device is busy (internal playing)");
    if (!(scenario ? model_->hasScenario(id) : model_->hasFragment(id)))
        throw exception::UserError(L"position out of range",
                                   L"Номер сообщения вне диапазона воспроизведения");
    if (model_->hasChanges()) throw exception::UserResponse(L"changes", L"have changes on the device");
    link_->play(scenario ? model_->getScenario(id).order : model_->getFragment(id).order, scenario);
    playingId_ = id;
    if (playStateHandler_) playStateHandler_(scenario ? 4 : 3);
}

void BaseAudioControl::stop() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const debug::Place place("device::memory::BaseAudioControl::stop");
    place.trace(L"Stop playing.");
    if (!isPlaying()) {
        place.mark(L"Воспроизведение из внутренней памяти остановлено досрочно.");
        throw exception::UserResponse(L"noPlay", L"");
    }
    if (!link_->stop()) {
        if (playStateHandler_) playStateHandler_(2);
        throw exception::UserResponse(L"busy", L"");
    }
    if (playStateHandler_) playStateHandler_(1);
}

}  // namespace device::memory
