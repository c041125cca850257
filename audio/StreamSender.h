#pragma once
// One multicast audio stream: the streamer takes PCM from a queue and encodes it to MPEG audio
// (or leaves it raw); libvlc takes the blocks as a memory input, packs them into an MPEG transport
// stream, one PES packet a block, and sends it by UDP to a multicast group. Where the queue runs
// dry the stream carries silence, so it stays continuous and its time stamps follow the wall
// clock. Both streamers are built on it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/PcmQueue.h"
#include "audio/StreamTarget.h"

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_media_t;
struct libvlc_event_t;

namespace audio {

class MpegAudioEncoder;

class StreamSender {
public:
    // `place` names the owner in the log lines.
    StreamSender(PcmQueue& queue, const char* place);
    ~StreamSender();
    StreamSender(const StreamSender&) = delete;
    StreamSender& operator=(const StreamSender&) = delete;

    // Starts sending; false (logged) when libvlc cannot start. A running stream is stopped first.
    bool start(const StreamTarget& target);
    void stop();
    bool running() const { return running_.load(); }
    // Waits until the queue is empty and what was taken from it has had time to leave.
    bool drain(std::chrono::steady_clock::time_point deadline);

    // The libvlc arguments and the stream-output chain for a target (shared with the tests).
    static std::vector<std::string> instanceArguments(const StreamTarget& target);
    static std::string outputChain(const StreamTarget& target);

private:
    static int takeBlock(void* data, const char* cookie, std::int64_t* dts, std::int64_t* pts,
                         unsigned* flags, std::size_t* size, void** output);
    static void releaseBlock(void* data, const char* cookie, std::size_t size, void* block);
    static void onError(const libvlc_event_t* event, void* data);

    PcmQueue& queue_;
    const char* const place_;
    std::mutex lock_;  // start and stop
    std::atomic<bool> running_{false};
    libvlc_instance_t* instance_ = nullptr;
    libvlc_media_t* media_ = nullptr;
    libvlc_media_player_t* player_ = nullptr;

    // Set by start; used only by libvlc's input thread while it runs.
    std::unique_ptr<MpegAudioEncoder> encoder_;  // none for raw PCM
    std::int64_t blockFrames_ = 0;
    std::chrono::microseconds outputLatency_{0};
    std::vector<std::uint8_t> pcm_;
    std::vector<std::uint8_t> block_;
    bool started_ = false;
    std::chrono::steady_clock::time_point origin_;
    std::int64_t frames_ = 0;
    // Stream time (frames) up to which real samples were taken, for drain().
    std::atomic<std::int64_t> lastRealFrame_{0};
    std::atomic<std::int64_t> originMicros_{0};
};

}  // namespace audio
