#include "audio/StreamSender.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>

#include "audio/InputPlugin.h"
#include "foundation/Place.h"

namespace audio {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kBytesPerFrame = MELVOX_PCM_CHANNELS * MELVOX_PCM_BITS / 8;
// One MPEG audio frame of samples per block.
constexpr std::int64_t kBlockFrames = 1152;
// libvlc holds this much of a memory input before it starts; silence fills it at once when
// no samples wait, so that the first datagram leaves without that delay.
constexpr std::int64_t kPrerollMicros = 300000;
// From the last sample taken to its datagram: the input's hold plus the muxer's shaping.
constexpr milliseconds kOutputLatency{450};

std::int64_t framesToMicros(std::int64_t frames) {
    return frames * 1000000 / MELVOX_PCM_RATE;
}

void forwardLibraryLog(void* data, int level, const libvlc_log_t*, const char* format, va_list arguments) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    debug::Place(static_cast<const char*>(data)).debug(L"libvlc(%1%): %2%", level, std::string(text));
}

}  // namespace

StreamSender::StreamSender(PcmQueue& queue, const char* place)
    : queue_(queue), place_(place), block_(kBlockFrames * kBytesPerFrame) {}

StreamSender::~StreamSender() {
    stop();
}

std::vector<std::string> StreamSender::instanceArguments(const StreamTarget& target) {
    std::vector<std::string> arguments = {
        "--no-video", "--no-stats", "--ttl=" + std::to_string(target.ttl),
        // Datagrams leave as soon as the muxer gives them, and the muxer holds little.
        "--sout-mux-caching=0", "--sout-udp-caching=0", "--sout-ts-dts-delay=0", "--sout-ts-shaping=100",
        target.localOutput ? "--aout=pulse" : "--aout=adummy"};
    if (!target.interfaceName.empty()) arguments.push_back("--miface=" + target.interfaceName);
    if (!target.libraryLog) arguments.push_back("--quiet");
    return arguments;
}

std::string StreamSender::outputChain(const StreamTarget& target) {
    const std::string destination = "std{access=udp,mux=" + std::string(target.rawPcm ? "raw" : "ts") +
                                    ",dst=" + target.group + ":" + std::to_string(target.port) + "}";
    const std::string sending =
        target.localOutput ? "duplicate{dst=display,dst=" + destination + "}" : destination;
    if (target.rawPcm) return "#" + sending;
    return "#transcode{acodec=mpga,ab=" + std::to_string(target.bitrateKbps) +
           ",channels=" + std::to_string(MELVOX_PCM_CHANNELS) +
           ",samplerate=" + std::to_string(MELVOX_PCM_RATE) + "}:" + sending;
}

bool StreamSender::start(const StreamTarget& target) {
    const debug::Place place(place_);
    stop();
    std::lock_guard<std::mutex> guard(lock_);
    const std::vector<std::string> arguments = instanceArguments(target);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    instance_ = libvlc_new(static_cast<int>(argv.size()), argv.data());
    if (instance_ == nullptr) {
        place.error(L"Не удалось запустить аудио-поток: libvlc не создан (%1%:%2%)", target.group,
                    target.port);
        return false;
    }
    if (target.libraryLog) libvlc_log_set(instance_, forwardLibraryLog, const_cast<char*>(place_));
    media_ = libvlc_media_new_location(instance_, "imem://");
    char option[128];
    std::snprintf(option, sizeof option, ":imem-get=%" PRIuPTR, reinterpret_cast<std::uintptr_t>(&takeBlock));
    libvlc_media_add_option(media_, option);
    std::snprintf(option, sizeof option, ":imem-release=%" PRIuPTR,
                  reinterpret_cast<std::uintptr_t>(&releaseBlock));
    libvlc_media_add_option(media_, option);
    std::snprintf(option, sizeof option, ":imem-data=%" PRIuPTR, reinterpret_cast<std::uintptr_t>(this));
    libvlc_media_add_option(media_, option);
    for (const char* fixed : {":imem-cat=1", ":imem-codec=s16l"}) libvlc_media_add_option(media_, fixed);
    libvlc_media_add_option(media_, (":imem-channels=" + std::to_string(MELVOX_PCM_CHANNELS)).c_str());
    libvlc_media_add_option(media_, (":imem-samplerate=" + std::to_string(MELVOX_PCM_RATE)).c_str());
    libvlc_media_add_option(media_, (":sout=" + outputChain(target)).c_str());
    player_ = libvlc_media_player_new_from_media(media_);
    started_ = false;
    frames_ = 0;
    lastRealFrame_.store(0);
    queue_.setReadersWoken(false);
    if (player_ != nullptr) {
        libvlc_event_attach(libvlc_media_player_event_manager(player_), libvlc_MediaPlayerEncounteredError,
                            &StreamSender::onError, const_cast<char*>(place_));
    }
    if (player_ == nullptr || libvlc_media_player_play(player_) != 0) {
        place.error(L"Не удалось запустить аудио-поток %1%:%2%", target.group, target.port);
        if (player_ != nullptr) libvlc_media_player_release(player_);
        libvlc_media_release(media_);
        libvlc_release(instance_);
        player_ = nullptr;
        media_ = nullptr;
        instance_ = nullptr;
        return false;
    }
    running_.store(true);
    place.info(L"Audio stream started: %1%:%2%, %3% kbit/s%4%", target.group, target.port, target.bitrateKbps,
               target.rawPcm ? L", PCM" : L"");
    return true;
}

void StreamSender::stop() {
    std::lock_guard<std::mutex> guard(lock_);
    if (player_ == nullptr) return;
    // The input thread may wait in takeBlock: wake it, so that libvlc can end the input.
    queue_.setReadersWoken(true);
    libvlc_media_player_stop(player_);
    libvlc_media_player_release(player_);
    libvlc_media_release(media_);
    libvlc_release(instance_);
    player_ = nullptr;
    media_ = nullptr;
    instance_ = nullptr;
    running_.store(false);
    queue_.setReadersWoken(false);
    debug::Place(place_).info(L"Audio stream stopped");
}

bool StreamSender::drain(steady_clock::time_point deadline) {
    if (!queue_.waitEmpty(deadline)) return false;
    if (!running_.load()) return true;
    const std::int64_t origin = originMicros_.load();
    const auto lastOut =
        steady_clock::time_point(microseconds(origin + framesToMicros(lastRealFrame_.load()))) -
        microseconds(kPrerollMicros) + kOutputLatency;
    const auto until = std::min(deadline, lastOut);
    if (until > steady_clock::now()) std::this_thread::sleep_until(until);
    return lastOut <= deadline;
}

int StreamSender::takeBlock(void* data, const char*, std::int64_t* dts, std::int64_t* pts, unsigned* flags,
                            std::size_t* size, void** output) {
    auto* self = static_cast<StreamSender*>(data);
    if (!self->started_) {
        self->started_ = true;
        self->origin_ = steady_clock::now();
        self->originMicros_.store(
            std::chrono::duration_cast<microseconds>(self->origin_.time_since_epoch()).count());
    }
    const std::int64_t streamMicros = framesToMicros(self->frames_);
    // The latest moment for this block: later, silence goes in its place.
    const auto due = self->origin_ + microseconds(streamMicros - kPrerollMicros);
    const std::size_t wanted = self->block_.size();
    const std::size_t taken = self->queue_.read(self->block_.data(), wanted, due);
    if (taken == 0 && self->queue_.readersWoken()) return 1;  // stopping
    if (taken < wanted) std::memset(self->block_.data() + taken, 0, wanted - taken);
    if (taken > 0)
        self->lastRealFrame_.store(self->frames_ + static_cast<std::int64_t>(taken / kBytesPerFrame));
    self->frames_ += kBlockFrames;
    *dts = *pts = streamMicros;
    *flags = 0;
    *size = wanted;
    *output = self->block_.data();
    return 0;
}

void StreamSender::releaseBlock(void*, const char*, std::size_t, void*) {}

void StreamSender::onError(const libvlc_event_t*, void* data) {
    debug::Place(static_cast<const char*>(data)).error(L"Ошибка аудио-потока (libvlc)");
}

}  // namespace audio
