#pragma once
// The audio memory's dialogue with its device, in the command words of a layout version: the
// size of the flash, reading it, the write of changes in pieces with one completion each, and
// playing and stopping. It talks only through the device base, and knows nothing of the
// memory's records. Every exchange but the write's pieces waits for the device's answer.
//
// A write is a session: it opens when the first command that changes the flash is about to
// go, and ends exactly once: at 100 when every piece was acknowledged, or at -1. Its owner
// walks the layout once to count the pieces and once to send them.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "devicelink/DeviceBase.h"
#include "devicelink/IAudioControl.h"

namespace device::memory {

// The command texts of a version; the patterns take what their comments say.
struct CommandWords {
    const char* play;          // play number
    const char* playScenario;  // play number
    const char* isPlaying;
    const char* stop;
    const char* memSize;
    const char* memRead;     // address, length
    const char* memProgram;  // address, length, hex text of the bytes
};

class AudioMemoryLink {
public:
    // Takes one program command of a region; false when it could not be sent.
    using CommandWriter = std::function<bool(const std::string& command)>;

    // A link to `device`, kept weakly so that a device and the memory it keeps do not keep each
    // other alive; a link without a device refuses every exchange.
    AudioMemoryLink(const std::shared_ptr<DeviceBase>& device, const CommandWords& words);
    // A write whose pieces are still on their way is reported as failed: nobody is left to
    // take its completions.
    ~AudioMemoryLink();
    AudioMemoryLink(const AudioMemoryLink&) = delete;
    AudioMemoryLink& operator=(const AudioMemoryLink&) = delete;

    // The device, or null once it is gone.
    std::shared_ptr<DeviceBase> device() const;
    // Refuses (exception::ServerError, logged) once the device is gone or when there was none.
    void checkAttached() const;
    bool isAttached() const;

    // One exchange with the device; throws what the device base throws.
    std::string transfer(const std::string& request);
    // The size of the device's flash; refuses an answer that is no size or below 512 bytes.
    std::uint32_t requestMemorySize();
    // The flash bytes [address, address + size), in 512-byte reads.
    std::string read(std::uint32_t address, std::uint32_t size);
    // Cuts [address, address + size) into program commands of 512 bytes for `writer`.
    void program(std::uint32_t address, const std::uint8_t* data, std::uint32_t size,
                 const CommandWriter& writer);

    // Playing. The device's answer to the playing query is kept for a moment.
    bool isPlaying();
    // Asks the device to play the fragment or scenario with that play number. Refuses a play
    // that follows a stop too closely, one the device refuses, and a scenario it postpones.
    void play(std::uint32_t order, bool scenario);
    // Asks the device to stop; false when it had stopped already. Refuses playing the device
    // may not stop and a stop it refuses.
    bool stop();
    // Forgets the answer kept and the last stop, as a memory built anew does.
    void resetPlaying();

    // The write of changes.
    void setWriteHandlers(Notification onWriteStarted, Notification onWriteFinished);
    std::int32_t getWriteProgress() const { return writeProgress_.load(); }
    void setWriteProgress(std::int32_t progress) { writeProgress_ = progress; }
    // Opens a write. `keeper` stays locked while a completion runs, so that what the
    // completions touch outlives them; `ended` runs under the session lock when the write ends,
    // with whether it succeeded.
    std::uint64_t beginWrite(ProgressHandler progress, std::weak_ptr<void> keeper,
                             std::function<void(bool succeeded)> ended);
    bool isWriteOpen(std::uint64_t serial);
    // Ends the write at -1 unless it has ended already.
    void failWrite(std::uint64_t serial);
    // Sets the number of pieces and reports the start; false when the write has ended already.
    bool countPieces(std::uint64_t serial, std::uint32_t total);
    // Queues every piece `walk` hands out, holding the completions back until all are queued;
    // the last piece is kept until the others were acknowledged.
    void sendPieces(std::uint64_t serial, const std::function<void(const CommandWriter& writer)>& walk);

private:
    struct WriteSession {
        std::uint64_t serial = 0;
        bool open = false;
        DeviceBase::AsyncDoor door;
        ProgressHandler progress;
        std::weak_ptr<void> keeper;
        std::function<void(bool)> ended;
        std::uint32_t total = 0;
        std::uint32_t acknowledged = 0;
        std::uint32_t queued = 0;
        // The last piece (the root) goes only once every other piece was acknowledged.
        std::string lastPiece;
        bool lastPieceQueued = false;
    };

    bool queuePiece(std::uint64_t serial, const std::string& command);
    void writeMemoryCallback(std::uint64_t serial, const std::string& command, const std::string& reply,
                             bool gotReply);
    void acknowledge(std::unique_lock<std::recursive_mutex>& session, std::uint64_t serial);
    // Closes the write under the session lock; the last progress report and the finished
    // notification follow after the lock is released, so no other report of it can come later.
    void endWrite(std::unique_lock<std::recursive_mutex>& session, bool succeeded);

    const bool attached_;
    const std::weak_ptr<DeviceBase> device_;
    const CommandWords words_;

    bool playingCache_ = false;
    std::chrono::steady_clock::time_point playingCacheTime_{};
    std::chrono::steady_clock::time_point lastStopTime_{};

    std::atomic<std::int32_t> writeProgress_{100};
    // Held by every completion for its whole run, so that the completions of one memory never
    // overlap; guards the session and the write handlers.
    mutable std::recursive_mutex writeLock_;
    WriteSession session_;
    std::uint64_t lastSerial_ = 0;
    Notification onWriteStarted_;
    Notification onWriteFinished_;
};

}  // namespace device::memory
