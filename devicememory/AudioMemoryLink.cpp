#include "devicememory/AudioMemoryLink.h"

#include <algorithm>

#include "devicelink/DeviceBase.h"
#include "devicememory/CommandText.h"
#include "devicememory/ILoudspeaker.h"
#include "foundation/Checks.h"
#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/HexText.h"
#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/ScanFields.h"

namespace device::memory {
namespace {

constexpr std::uint32_t kPieceSize = 512;
constexpr std::uint32_t kSmallestMemory = 512;
constexpr int kPiecePriority = 1;
constexpr unsigned kPieceIntervalMs = 1000;
constexpr auto kPlayingCacheAge = std::chrono::milliseconds(10);
constexpr auto kPlayAfterStop = std::chrono::seconds(2);

const char* const writePlace = "device::memory::BaseAudioControl::writeChanges";
const char* const callbackPlace = "device::memory::BaseAudioControl::writeMemoryCallback";
const char* const queuePlace = "device::memory::BaseAudioControl::writeAsync";

// Runs a handler of the caller's; what it throws is logged, never passed on to a completion.
template <class Handler, class... Args>
void notify(const Handler& handler, Args... args) {
    if (!handler) return;
    try {
        handler(args...);
    } catch (const std::exception& error) {
        debug::Place(writePlace).error(L"A handler of the write failed: %1%", exception::textOf(error));
    }
}

}  // namespace

AudioMemoryLink::AudioMemoryLink(const std::shared_ptr<DeviceBase>& device, const CommandWords& words)
    : attached_(device != nullptr), device_(device), words_(words) {}

AudioMemoryLink::~AudioMemoryLink() {
    std::uint64_t serial = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(writeLock_);
        if (session_.open) serial = session_.serial;
    }
    if (serial != 0) failWrite(serial);
}

std::shared_ptr<DeviceBase> AudioMemoryLink::device() const {
    return device_.lock();
}

bool AudioMemoryLink::isAttached() const {
    return attached_ && !device_.expired();
}

void AudioMemoryLink::checkAttached() const {
    if (isAttached()) return;
    debug::Place("device::memory::BaseAudioControl::checkAttached")
        .error(L"the image isn't attached to a device.");
    throw exception::ServerError();
}

// ---------------------------------------------------------------------------------------------
// Exchanges.

std::string AudioMemoryLink::transfer(const std::string& request) {
    checkAttached();
    const std::shared_ptr<DeviceBase> device = this->device();
    if (!device) throw exception::ServerError();
    return device->transfer(request);
}

std::uint32_t AudioMemoryLink::requestMemorySize() {
    const std::string reply = transfer(words_.memSize);
    std::uint32_t size = 0;
    if (!DeviceBase::parseIntValue(reply, size, 0, 0xFFFFFFFF))
        throw exception::InternalError(L"Неверный ответ устройства");
    if (size < kSmallestMemory) throw exception::DeviceReason(L"Получен неверный размер аудио памяти", L"");
    return size;
}

std::string AudioMemoryLink::read(std::uint32_t address, std::uint32_t size) {
    const debug::Place place("device::memory::BaseAudioControl::readMemory");
    std::string bytes;
    for (std::uint64_t offset = 0; offset < size; offset += kPieceSize) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPieceSize, size - offset));
        std::string reply;
        bool refused = false;
        try {
            reply =
                transfer(commandText(words_.memRead, static_cast<std::uint32_t>(address + offset), count));
        } catch (const exception::UnexpectedResponseOfDevice& error) {
            reply = error.response;
            refused = true;
        }
        base::trim(reply);
        if (refused || reply.find("ERR:") != std::string::npos) {
            place.important(L"Ответ устройства: '%1%'", reply);
            throw exception::InternalError(L"Возвращена ошибка с устройства");
        }
        // Every piece must be as long as asked: pieces that are too long and too short do not
        // make up for each other.
        if (reply.size() != 2 * std::size_t{count}) {
            throw exception::InternalError(
                L"Ошибка чтения из аудио флеш.\nРазмер запрашиваемых данных не соответствует полученным");
        }
        std::string piece;
        if (base::fromHex(reply, piece) != count)
            throw exception::InternalError(L"Ошибка конвертации данных из аудио памяти");
        bytes += piece;
    }
    return bytes;
}

void AudioMemoryLink::program(std::uint32_t address, const std::uint8_t* data, std::uint32_t size,
                              const CommandWriter& writer) {
    const std::string hex = base::toHex(data, size);
    if (hex.size() != 2 * std::size_t{size}) throw exception::InternalError(L"Ошибка конвертации данных");
    for (std::uint64_t offset = 0; offset < size; offset += kPieceSize) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPieceSize, size - offset));
        const std::string text = hex.substr(2 * offset, 2 * std::size_t{count});
        const std::string command =
            commandText(words_.memProgram, static_cast<std::uint32_t>(address + offset),
                        static_cast<unsigned>(text.size() / 2), text.c_str());
        if (!writer(command)) throw exception::InternalError(L"Ошибка записи в аудио флеш");
    }
}

// ---------------------------------------------------------------------------------------------
// Playing.

bool AudioMemoryLink::isPlaying() {
    const std::shared_ptr<DeviceBase> device = this->device();
    if (!attached_ || !device) return false;
    if (auto* loudspeaker = dynamic_cast<ILoudspeaker*>(device.get())) {
        if (loudspeaker->playsFromMemory()) return true;
    } else if (device->hasInternalPlaying()) {
        return true;
    }
    const auto now = base::clock::steadyNow();
    if (now - playingCacheTime_ <= kPlayingCacheAge) return playingCache_;

    std::string reply;
    try {
        reply = transfer(words_.isPlaying);
    } catch (const exception::UnexpectedResponseOfDevice& error) {
        reply = "ERR " + error.response;
    }
    playingCacheTime_ = now;
    if (reply.find("ERR") != std::string::npos) {
        debug::Place("device::memory::BaseAudioControl::isPlaying").warn(L"device is answered '%1%'", reply);
        playingCache_ = false;
        return false;
    }
    playingCache_ =
        reply.find("Playing") != std::string::npos || base::scan::containsIgnoringCase(reply, "on");
    return playingCache_;
}

void AudioMemoryLink::play(std::uint32_t order, bool scenario) {
    if (lastStopTime_ != std::chrono::steady_clock::time_point{} &&
        base::clock::steadyNow() - lastStopTime_ < kPlayAfterStop) {
        throw exception::UserResponse(L"wait", L"");
    }
    // What the device plays changes now: its last answer to the playing query is stale.
    playingCacheTime_ = {};
    std::string reply;
    try {
        reply = transfer(commandText(scenario ? words_.playScenario : words_.play, order));
    } catch (const exception::UnexpectedResponseOfDevice&) {
        throw exception::InternalError(L"Невозможно воспроизвести");
    }
    if (reply.find("ERR:") != std::string::npos) throw exception::InternalError(L"Невозможно воспроизвести");
    if (scenario && reply.find("is deferred") != std::string::npos) {
        debug::Place("device::memory::BaseAudioControl::playScenario")
            .notice(L"Scenario playing is deferred.");
        throw exception::UserResponse(L"internalPlaying", L"");
    }
}

bool AudioMemoryLink::stop() {
    const std::shared_ptr<DeviceBase> device = this->device();
    auto* loudspeaker = dynamic_cast<ILoudspeaker*>(device.get());
    if (loudspeaker && !loudspeaker->playbackStoppable())
        throw exception::UserResponse(L"busy",
                                      L"Приоритетное воспроизведение устройства невозможно остановить!");
    playingCacheTime_ = {};
    std::string reply;
    try {
        reply = transfer(words_.stop);
    } catch (const exception::UnexpectedResponseOfDevice&) {
        throw exception::InternalError(L"Невозможно остановить воспроизведение");
    }
    if (reply.find("Already stopped!") != std::string::npos) return false;
    if (reply.find("ERR:") != std::string::npos)
        throw exception::InternalError(L"Невозможно остановить воспроизведение");
    lastStopTime_ = base::clock::steadyNow();
    return true;
}

void AudioMemoryLink::resetPlaying() {
    playingCache_ = false;
    lastStopTime_ = {};
}

// ---------------------------------------------------------------------------------------------
// The write of changes.

void AudioMemoryLink::setWriteHandlers(Notification onWriteStarted, Notification onWriteFinished) {
    std::lock_guard<std::recursive_mutex> guard(writeLock_);
    onWriteStarted_ = std::move(onWriteStarted);
    onWriteFinished_ = std::move(onWriteFinished);
}

std::uint64_t AudioMemoryLink::beginWrite(ProgressHandler progress, std::weak_ptr<void> keeper,
                                          std::function<void(bool succeeded)> ended) {
    checkAttached();
    const std::shared_ptr<DeviceBase> device = this->device();
    if (!device) throw exception::ServerError();
    std::lock_guard<std::recursive_mutex> guard(writeLock_);
    session_ = WriteSession{};
    session_.serial = ++lastSerial_;
    session_.open = true;
    session_.door = device->asyncDoor();
    session_.progress = std::move(progress);
    session_.keeper = std::move(keeper);
    session_.ended = std::move(ended);
    writeProgress_ = 0;
    return session_.serial;
}

bool AudioMemoryLink::isWriteOpen(std::uint64_t serial) {
    std::lock_guard<std::recursive_mutex> guard(writeLock_);
    return session_.open && session_.serial == serial;
}

void AudioMemoryLink::failWrite(std::uint64_t serial) {
    std::unique_lock<std::recursive_mutex> session(writeLock_);
    if (!session_.open || session_.serial != serial) return;
    endWrite(session, false);
}

bool AudioMemoryLink::countPieces(std::uint64_t serial, std::uint32_t total) {
    Notification started;
    {
        std::lock_guard<std::recursive_mutex> session(writeLock_);
        if (!session_.open || session_.serial != serial) return false;
        session_.total = total;
        started = onWriteStarted_;
    }
    notify(started);
    return true;
}

void AudioMemoryLink::sendPieces(std::uint64_t serial,
                                 const std::function<void(const CommandWriter& writer)>& walk) {
    std::unique_lock<std::recursive_mutex> session(writeLock_);
    if (!session_.open || session_.serial != serial) return;
    std::string held;
    std::uint32_t sent = 0;
    const CommandWriter queueing = [&](const std::string& command) {
        ++sent;
        if (!held.empty() && !queuePiece(serial, held)) return false;
        held = command;
        return true;
    };
    walk(queueing);
    if (sent != session_.total || held.empty()) {
        throw exception::InternalError(L"Для предотвращения порчи данных на устройстве, запись отменена");
    }
    session_.lastPiece = held;
    if (session_.total == 1) {
        session_.lastPieceQueued = true;
        if (!queuePiece(serial, held)) throw exception::InternalError(L"Ошибка записи в аудио флеш");
    }
}

bool AudioMemoryLink::queuePiece(std::uint64_t serial, const std::string& command) {
    const std::weak_ptr<void> keeper = session_.keeper;
    debug::throwIfFalse(!keeper.expired(), queuePlace);
    const debug::Place place(queuePlace);
    if (!session_.progress) place.trace2(L"not used callback for progress of write");
    ++session_.queued;
    const std::uint32_t percent =
        static_cast<std::uint32_t>(std::uint64_t{session_.queued} * 100 / std::max(session_.total, 1u));
    place.trace(L"write audio memory (async): percent %1%, rate %2%, amount %3%", percent, session_.queued,
                session_.total);
    return session_.door.send(
        command,
        [this, keeper, serial, command](const std::string& reply, bool gotReply) {
            // A memory that is gone has reported its write as failed already.
            if (const std::shared_ptr<void> owner = keeper.lock())
                writeMemoryCallback(serial, command, reply, gotReply);
        },
        kPiecePriority, kPieceIntervalMs);
}

void AudioMemoryLink::writeMemoryCallback(std::uint64_t serial, const std::string& command,
                                          const std::string& reply, bool gotReply) {
    const debug::Place place(callbackPlace);
    const std::shared_ptr<DeviceBase> device = this->device();
    if (gotReply && device) device->touchLastState();

    std::unique_lock<std::recursive_mutex> session(writeLock_);
    // Decided under the lock: a completion that waited while another failed the write changes
    // nothing.
    if (!session_.open || session_.serial != serial) return;
    try {
        bool accepted = false;
        if (device && gotReply) {
            std::string text = reply;
            // A device still busy with an earlier command has not written this piece, and only its
            // success answer says that it did.
            accepted = reply.find(kBusyReply) == std::string::npos && device->handleResponse(text);
            if (!accepted) {
                place.debug(L"Repeat the request...");
                accepted = device->transferAcknowledged(command);
                if (!accepted)
                    place.warn(L"Устройство вернуло ошибку '%1%'. Аудио память не записана.", reply);
            }
        }
        if (!accepted) {
            endWrite(session, false);
            return;
        }
        acknowledge(session, serial);
    } catch (const std::exception& error) {
        place.error(L"%1%", exception::textOf(error));
        if (!session.owns_lock()) session.lock();
        if (session_.open && session_.serial == serial) endWrite(session, false);
    }
}

void AudioMemoryLink::acknowledge(std::unique_lock<std::recursive_mutex>& session, std::uint64_t serial) {
    ++session_.acknowledged;
    if (session_.acknowledged >= session_.total) {
        endWrite(session, true);
        return;
    }
    const auto percent =
        static_cast<std::int32_t>(std::uint64_t{session_.acknowledged} * 100 / session_.total);
    writeProgress_ = percent;
    debug::Place(callbackPlace)
        .debug(L"write audio memory, ip %1%, percent %2%%%", session_.door.address().getText(), percent);
    notify(session_.progress, percent);
    if (session_.acknowledged + 1 == session_.total && !session_.lastPieceQueued) {
        session_.lastPieceQueued = true;
        if (!queuePiece(serial, session_.lastPiece)) endWrite(session, false);
    }
}

void AudioMemoryLink::endWrite(std::unique_lock<std::recursive_mutex>& session, bool succeeded) {
    session_.open = false;
    const ProgressHandler progress = std::move(session_.progress);
    session_.progress = nullptr;
    const Notification finished = onWriteFinished_;
    const net::IpAndPort address = session_.door.address();
    if (session_.ended) session_.ended(succeeded);
    if (succeeded) {
        writeProgress_ = 100;
    } else {
        writeProgress_ = -1;
        session_.door.drop();
    }
    session.unlock();

    notify(progress, succeeded ? 100 : -1);
    const debug::Place place(callbackPlace);
    if (succeeded) {
        place.info(L"Запись аудио памяти успешно завершена (100%%)");
    } else {
        place.warn(L"Ошибка записи в аудио память. Устройство с IP адресом '%1%'.", address.getText());
    }
    notify(finished);
}

}  // namespace device::memory
