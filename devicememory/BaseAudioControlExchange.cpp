// The audio memory's dialogue with its device: the memory size, reading the flash, the write of
// changes with one completion per piece, and playing and stopping.

#include <algorithm>

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceReply.h"
#include "devicelink/TransferProtocol.h"
#include "devicememory/BaseAudioControl.h"
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

// Runs a handler of the caller's; what it throws is logged, never passed on to a completion.
template <class Handler, class... Args>
void notify(const Handler& handler, Args... args) {
    if (!handler) return;
    try {
        handler(args...);
    } catch (const std::exception& error) {
        debug::Place(writePlace).error(L"A handler of the write failed: %1%", error.what());
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Exchanges.

std::string BaseAudioControl::transferToDevice(const std::string& request) {
    checkAttached();
    const std::shared_ptr<DeviceBase> device = lockDevice();
    if (!device) throw exception::ServerError();
    return device->transfer(request);
}

void BaseAudioControl::requestMemorySize(bool blank) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::string reply = transferToDevice(makeMemSizeCommand());
    std::uint32_t size = 0;
    if (!DeviceReply::parseInt(reply, size, 0, 0xFFFFFFFF))
        throw exception::InternalError(L"Неверный ответ устройства");
    if (size < kSmallestMemory) throw exception::DeviceReason(L"Получен неверный размер аудио памяти", L"");
    memorySize_ = size;
    resetImage();
    hasChanges_ = blank;
    buildBlank_ = blank;
    // A blank memory reads nothing from the device: every level of it is empty.
    initLevel(blank ? level::all : level::allButData);
}

std::string BaseAudioControl::readMemory(std::uint32_t address, std::uint32_t size) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (size == 0) return std::string();
    // The last byte of the flash is never read.
    if (std::uint64_t{address} + size + 1 > memorySize_)
        throw exception::InternalError(L"Область чтения за пределами аудио памяти");
    if (imageMode_) return image_.substr(address, size);
    const debug::Place place("device::memory::BaseAudioControl::readMemory");
    std::string bytes;
    for (std::uint64_t offset = 0; offset < size; offset += kPieceSize) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPieceSize, size - offset));
        std::string reply;
        bool refused = false;
        try {
            reply = transferToDevice(makeMemReadCommand(static_cast<std::uint32_t>(address + offset), count));
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

void BaseAudioControl::writeMemory(std::uint32_t address, const std::uint8_t* data, std::uint32_t size,
                                   const CommandWriter& writer) {
    checkAttached();
    if (broken_) {
        throw exception::InternalError(
            L"В ходе работы программы, произошла ошибка, которая повлияла на внутреннее состояние "
            L"данных.\nДля "
            L"предотвращения порчи данных на устройстве, запись отменена");
    }
    if (size == 0) return;
    if (std::uint64_t{address} + size + 1 > memorySize_)
        throw exception::InternalError(L"Область записи за пределами аудио памяти");
    if (imageRaw_) {
        image_.replace(address, size, reinterpret_cast<const char*>(data), size);
        return;
    }
    const std::string hex = base::toHex(data, size);
    if (hex.size() != 2 * std::size_t{size}) throw exception::InternalError(L"Ошибка конвертации данных");
    for (std::uint64_t offset = 0; offset < size; offset += kPieceSize) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPieceSize, size - offset));
        const std::string command = makeMemProgramCommand(static_cast<std::uint32_t>(address + offset),
                                                          hex.substr(2 * offset, 2 * std::size_t{count}));
        if (!writer(command)) throw exception::InternalError(L"Ошибка записи в аудио флеш");
    }
}

// ---------------------------------------------------------------------------------------------
// The write of changes.

void BaseAudioControl::writeChanges(ProgressHandler progress) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::int32_t running = writeProgress_.load();
    if (running >= 0 && running < 100) throw exception::UserResponse(L"busy", L"");
    checkPossibilityOfWritingChanges();
    const std::uint64_t serial = beginWrite(std::move(progress));
    try {
        sendChanges(serial);
    } catch (...) {
        failWrite(serial);
        throw;
    }
}

std::uint64_t BaseAudioControl::beginWrite(ProgressHandler progress) {
    checkAttached();
    const std::shared_ptr<DeviceBase> device = lockDevice();
    if (!device) throw exception::ServerError();
    std::lock_guard<std::recursive_mutex> guard(writeLock_);
    session_ = WriteSession{};
    session_.serial = ++lastSerial_;
    session_.open = true;
    session_.address = device->getAddress();
    session_.progress = std::move(progress);
    writeProgress_ = 0;
    return session_.serial;
}

bool BaseAudioControl::isWriteOpen(std::uint64_t serial) {
    std::lock_guard<std::recursive_mutex> guard(writeLock_);
    return session_.open && session_.serial == serial;
}

void BaseAudioControl::failWrite(std::uint64_t serial) {
    std::unique_lock<std::recursive_mutex> session(writeLock_);
    if (!session_.open || session_.serial != serial) return;
    endWrite(session, false);
}

void BaseAudioControl::sendChanges(std::uint64_t serial) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const debug::Place place(writePlace);
    const std::shared_ptr<DeviceBase> device = lockDevice();
    place.trace(L"Write the audio memory, device hw=%1%",
                device ? device->getHardwareAddress().toCharArray() : std::string());
    if (device && device->hasInternalPlaying()) {
        failWrite(serial);
        throw exception::UserResponse(L"internalPlaying", L"");
    }
    checkPossibilityOfWritingChanges();
    if (writeFailed_.exchange(false)) writeAllData_ = true;

    // The counting pass walks exactly the pieces of the sending pass and sends nothing.
    const bool allData = writeAllData_;
    const bool relayout = relayoutData_;
    std::uint32_t count = 0;
    const CommandWriter counter = [&count](const std::string&) {
        ++count;
        return true;
    };
    writeMemoryLogic([&](std::uint32_t address, const std::uint8_t* data, std::uint32_t size) {
        writeMemory(address, data, size, counter);
    });
    checkInvariant();
    writeAllData_ = allData;
    relayoutData_ = relayout;
    place.trace(L"Calculation of parts is completed. It is number of parts: %1%", count);

    Notification started;
    {
        std::lock_guard<std::recursive_mutex> session(writeLock_);
        if (!session_.open || session_.serial != serial) return;
        session_.total = count;
        started = onWriteStarted_;
    }
    notify(started);

    // The sending pass holds the completions back until every piece is queued; the last piece
    // is kept until the others were acknowledged.
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
    writeMemoryLogic([&](std::uint32_t address, const std::uint8_t* data, std::uint32_t size) {
        writeMemory(address, data, size, queueing);
    });
    if (sent != session_.total || held.empty()) {
        throw exception::InternalError(L"Для предотвращения порчи данных на устройстве, запись отменена");
    }
    session_.lastPiece = held;
    if (session_.total == 1) {
        session_.lastPieceQueued = true;
        if (!queuePiece(serial, held)) throw exception::InternalError(L"Ошибка записи в аудио флеш");
    }
}

bool BaseAudioControl::queuePiece(std::uint64_t serial, const std::string& command) {
    const std::weak_ptr<IAudioControl> self = weak_from_this();
    debug::throwIfFalse(!self.expired(), "device::memory::BaseAudioControl::writeAsync");
    debug::Place("device::memory::BaseAudioControl::writeAsync").trace2(L"write audio memory (async)");
    return transfer_->async(
        session_.address, command,
        [self, serial, command](const std::string& reply, bool gotReply) {
            // A memory that is gone has reported its write as failed already.
            if (const std::shared_ptr<IAudioControl> memory = self.lock())
                static_cast<BaseAudioControl&>(*memory).writeMemoryCallback(serial, command, reply, gotReply);
        },
        kPiecePriority, kPieceIntervalMs);
}

void BaseAudioControl::writeMemoryCallback(std::uint64_t serial, const std::string& command,
                                           const std::string& reply, bool gotReply) {
    const debug::Place place(callbackPlace);
    const std::shared_ptr<DeviceBase> device = lockDevice();
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
        place.error(L"%1%", error.what());
        if (!session.owns_lock()) session.lock();
        if (session_.open && session_.serial == serial) endWrite(session, false);
    }
}

void BaseAudioControl::acknowledge(std::unique_lock<std::recursive_mutex>& session, std::uint64_t serial) {
    ++session_.acknowledged;
    if (session_.acknowledged >= session_.total) {
        endWrite(session, true);
        return;
    }
    const auto percent =
        static_cast<std::int32_t>(std::uint64_t{session_.acknowledged} * 100 / session_.total);
    writeProgress_ = percent;
    debug::Place(callbackPlace)
        .debug(L"write audio memory, ip %1%, percent %2%%%", session_.address.getText(), percent);
    notify(session_.progress, percent);
    if (session_.acknowledged + 1 == session_.total && !session_.lastPieceQueued) {
        session_.lastPieceQueued = true;
        if (!queuePiece(serial, session_.lastPiece)) endWrite(session, false);
    }
}

void BaseAudioControl::endWrite(std::unique_lock<std::recursive_mutex>& session, bool succeeded) {
    session_.open = false;
    const ProgressHandler progress = std::move(session_.progress);
    session_.progress = nullptr;
    const Notification finished = onWriteFinished_;
    const net::IpAndPort address = session_.address;
    if (succeeded) {
        hasChanges_ = false;
        writeProgress_ = 100;
    } else {
        writeFailed_ = true;
        writeProgress_ = -1;
        transfer_->eraseQueue(address);
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

// ---------------------------------------------------------------------------------------------
// Playing.

bool BaseAudioControl::isPlaying() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::shared_ptr<DeviceBase> device = lockDevice();
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
        reply = transferToDevice(makeIsPlayingCommand());
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
    checkAttached();
    const std::shared_ptr<DeviceBase> device = lockDevice();
    if (device && device->hasInternalPlaying())
        throw exception::UserResponse(L"internalPlaying", L"device is busy (internal playing)");
    if (!(scenario ? hasScenario(id) : hasFragment(id)))
        throw exception::UserError(L"position out of range",
                                   L"Номер сообщения вне диапазона воспроизведения");
    if (hasChanges_.load()) throw exception::UserResponse(L"changes", L"have changes on the device");
    if (lastStopTime_ != std::chrono::steady_clock::time_point{} &&
        base::clock::steadyNow() - lastStopTime_ < kPlayAfterStop) {
        throw exception::UserResponse(L"wait", L"");
    }
    const std::uint32_t order = scenario ? getScenario(id).order : getFragment(id).order;
    // What the device plays changes now: its last answer to the playing query is stale.
    playingCacheTime_ = {};
    std::string reply;
    try {
        reply = transferToDevice(scenario ? makePlayScenarioCommand(order) : makePlayCommand(order));
    } catch (const exception::UnexpectedResponseOfDevice&) {
        throw exception::InternalError(L"Невозможно воспроизвести");
    }
    if (reply.find("ERR:") != std::string::npos) throw exception::InternalError(L"Невозможно воспроизвести");
    if (scenario && isDeferred(reply)) {
        place.notice(L"Scenario playing is deferred.");
        throw exception::UserResponse(L"internalPlaying", L"");
    }
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
    const std::shared_ptr<DeviceBase> device = lockDevice();
    auto* loudspeaker = dynamic_cast<ILoudspeaker*>(device.get());
    if (loudspeaker && !loudspeaker->playbackStoppable())
        throw exception::UserResponse(L"busy",
                                      L"Приоритетное воспроизведение устройства невозможно остановить!");
    playingCacheTime_ = {};
    std::string reply;
    try {
        reply = transferToDevice(makeStopCommand());
    } catch (const exception::UnexpectedResponseOfDevice&) {
        throw exception::InternalError(L"Невозможно остановить воспроизведение");
    }
    if (reply.find("Already stopped!") != std::string::npos) {
        if (playStateHandler_) playStateHandler_(2);
        throw exception::UserResponse(L"busy", L"");
    }
    if (reply.find("ERR:") != std::string::npos)
        throw exception::InternalError(L"Невозможно остановить воспроизведение");
    if (playStateHandler_) playStateHandler_(1);
    lastStopTime_ = base::clock::steadyNow();
}

}  // namespace device::memory
