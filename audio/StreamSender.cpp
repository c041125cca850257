#include "audio/StreamSender.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>

#include "audio/InputPlugin.h"
#include "audio/MpegAudioEncoder.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace audio {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kBytesPerFrame = MELVOX_PCM_CHANNELS * MELVOX_PCM_BITS / 8;
// libvlc holds this much of a memory input before it starts; silence fills it at once when
// no samples wait, so that the first datagram leaves without that delay.
constexpr std::int64_t kPrerollMicros = 300000;
// From the last sample taken to its datagram: the input's hold plus the muxer's shaping; the
// blocks add their own length twice, as the packetizer holds one back and the muxer gathers one.
constexpr milliseconds kOutputLatency{450};
// The muxer's interval of program clock references; with the slicing below the gaps between
// them stay under the 100 ms that receivers may rely on.
constexpr int kPcrMillis = 40;

// The muxer cuts the stream into slices (each begins with the program tables) and sends a slice's
// packets spread evenly over its time, but never a packet before its time stamp less two thirds
// of the stamps' delay over the clock. A stream of one frame a PES packet, where latency counts,
// keeps stamps equal to the clock, so that a frame plays as it arrives: its slices of three
// frames (78 ms) go out at the frames' times, with clock references of those times. A stream of
// several frames a PES packet stamps its frames 250 ms ahead of the clock, more than one and a
// half slices of two PES packets, so that every packet goes out on the even spread and clock
// references fall 40-65 ms apart.
std::vector<std::string> slicing(int framesPerPes) {
    if (framesPerPes <= 1) return {"--sout-ts-shaping=70", "--sout-ts-dts-delay=0"};
    return {"--sout-ts-shaping=100", "--sout-ts-dts-delay=250"};
}

std::int64_t framesToMicros(std::int64_t frames) {
    return frames * 1000000 / MELVOX_PCM_RATE;
}

void forwardLibraryLog(void* data, int level, const libvlc_log_t*, const char* format, va_list arguments) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    debug::Place(static_cast<const char*>(data)).debug(L"libvlc(%1%): %2%", level, base::fromSystem(text));
}

}  // namespace

StreamSender::StreamSender(PcmQueue& queue, const char* place) : queue_(queue), place_(place) {}

StreamSender::~StreamSender() {
    stop();
}

std::vector<std::string> StreamSender::instanceArguments(const StreamTarget& target) {
    std::vector<std::string> arguments = {
        "--no-video", "--no-stats", "--ttl=" + std::to_string(target.ttl),
        // Datagrams leave as soon as the muxer gives them, and the muxer holds little.
        "--sout-mux-caching=0", "--sout-udp-caching=0", "--sout-ts-pcr=" + std::to_string(kPcrMillis),
        // The blocks are whole already: the muxer gets them as they are, one PES packet each.
        "--packetizer=copy", target.localOutput ? "--aout=pulse" : "--aout=adummy"};
    if (!target.interfaceName.empty()) arguments.push_back("--miface=" + target.interfaceName);
    if (!target.libraryLog) arguments.push_back("--quiet");
    for (std::string& argument : slicing(target.framesPerPes)) arguments.push_back(std::move(argument));
    return arguments;
}

std::string StreamSender::outputChain(const StreamTarget& target) {
    const std::string destination = "std{access=udp,mux=" + std::string(target.rawPcm ? "raw" : "ts") +
                                    ",dst=" + target.group + ":" + std::to_string(target.port) + "}";
    const std::string sending =
        target.localOutput ? "duplicate{dst=display,dst=" + destination + "}" : destination;
    return "#" + sending;
}

bool StreamSender::start(const StreamTarget& target) {
    const debug::Place place(place_);
    stop();
    std::lock_guard<std::mutex> guard(lock_);
    encoder_.reset();
    blockFrames_ = MpegAudioEncoder::kFrameSamples;
    if (!target.rawPcm) {
        try {
            encoder_ =
                std::make_unique<MpegAudioEncoder>(MELVOX_PCM_RATE, MELVOX_PCM_CHANNELS, target.bitrateKbps);
        } catch (const std::exception& error) {
            place.error(L"Не удалось запустить аудио-поток %1%:%2%: %3%", target.group, target.port,
                        exception::textOf(error));
            return false;
        }
        blockFrames_ *= std::max(1, target.framesPerPes);
    }
    outputLatency_ = kOutputLatency + 2 * microseconds(framesToMicros(blockFrames_));
    pcm_.assign(static_cast<std::size_t>(blockFrames_ * kBytesPerFrame), 0);
    block_.clear();
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
    libvlc_media_add_option(media_, ":imem-cat=1");
    libvlc_media_add_option(media_, encoder_ ? ":imem-codec=mpga" : ":imem-codec=s16l");
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
        microseconds(kPrerollMicros) + outputLatency_;
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
    std::vector<std::uint8_t>& pcm = self->pcm_;
    const std::size_t taken = self->queue_.read(pcm.data(), pcm.size(), due);
    if (taken == 0 && self->queue_.readersWoken()) return 1;  // stopping
    if (taken < pcm.size()) std::memset(pcm.data() + taken, 0, pcm.size() - taken);
    if (taken > 0)
        self->lastRealFrame_.store(self->frames_ + static_cast<std::int64_t>(taken / kBytesPerFrame));
    self->frames_ += self->blockFrames_;
    *dts = *pts = streamMicros;
    *flags = 0;
    if (!self->encoder_) {
        *size = pcm.size();
        *output = pcm.data();
        return 0;
    }
    self->block_.clear();
    const auto* samples = reinterpret_cast<const std::int16_t*>(pcm.data());
    for (std::int64_t frame = 0; frame < self->blockFrames_; frame += MpegAudioEncoder::kFrameSamples) {
        if (!self->encoder_->encode(samples + frame * MELVOX_PCM_CHANNELS, self->block_)) {
            debug::Place(self->place_).error(L"Ошибка кодирования аудио-потока");
            return 1;
        }
    }
    *size = self->block_.size();
    *output = self->block_.data();
    return 0;
}

void StreamSender::releaseBlock(void*, const char*, std::size_t, void*) {}

void StreamSender::onError(const libvlc_event_t*, void* data) {
    debug::Place(static_cast<const char*>(data)).error(L"Ошибка аудио-потока (libvlc)");
}

}  // namespace audio
