#include "audio/mp3streamf.h"

#include <lame/lame.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "audio/InputPlugin.h"
#include "audio/Mp3FileDecoder.h"
#include "audio/StreamSettings.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"

namespace {
constexpr std::size_t kQueueBytes = MELVOX_PCM_RATE * MELVOX_PCM_CHANNELS * MELVOX_PCM_BITS / 8;
constexpr auto kDrainLimit = std::chrono::seconds(5);
constexpr auto kDrainStep = std::chrono::milliseconds(50);
constexpr int kRecordKbps = 128;
}  // namespace

// The MP3 file the microphone is recorded into. A file into which no sound came is removed: a
// capture that failed at once made no recording.
struct mp3streamf::Recorder {
    explicit Recorder(const std::wstring& target)
        : path(base::toUtf8(target)), file(std::fopen(path.c_str(), "wb")) {
        if (file == nullptr) return;
        flags = lame_init();
        lame_set_in_samplerate(flags, MELVOX_PCM_RATE);
        lame_set_num_channels(flags, MELVOX_PCM_CHANNELS);
        lame_set_brate(flags, kRecordKbps);
        if (lame_init_params(flags) < 0) {
            lame_close(flags);
            flags = nullptr;
        }
    }
    ~Recorder() {
        if (flags != nullptr) {
            std::vector<unsigned char> tail(7200);
            const int size = lame_encode_flush(flags, tail.data(), static_cast<int>(tail.size()));
            if (size > 0) std::fwrite(tail.data(), 1, static_cast<std::size_t>(size), file);
            lame_close(flags);
        }
        if (file != nullptr) std::fclose(file);
        if (file != nullptr && !recorded) std::remove(path.c_str());
    }
    bool ok() const { return file != nullptr && flags != nullptr; }
    void write(const void* pcm, std::size_t bytes) {
        const int frames = static_cast<int>(bytes / (MELVOX_PCM_CHANNELS * MELVOX_PCM_BITS / 8));
        if (frames <= 0) return;
        recorded = true;
        encoded.resize(static_cast<std::size_t>(frames * 5 / 4 + 7200));
        const int size =
            lame_encode_buffer_interleaved(flags, static_cast<short*>(const_cast<void*>(pcm)), frames,
                                           encoded.data(), static_cast<int>(encoded.size()));
        if (size > 0) std::fwrite(encoded.data(), 1, static_cast<std::size_t>(size), file);
    }

    const std::string path;
    std::FILE* file = nullptr;
    lame_global_flags* flags = nullptr;
    std::vector<unsigned char> encoded;
    bool recorded = false;
};

audio::StreamTarget mp3streamf::targetFromSettings() {
    audio::StreamTarget target = audio::streamTargetFromSettings(audio::kPriorityStreamOffset,
                                                                 setting::multicastMessagesStreamBitrate);
    target.rawPcm = pref::getBool(setting::debugEnablePcm);
    target.libraryLog = pref::getBool(setting::debugLogVlclib);
    return target;
}

mp3streamf::mp3streamf(const audio::StreamTarget& target)
    : target_(target), queue_(kQueueBytes), sender_(queue_, "mp3streamf") {}

mp3streamf::~mp3streamf() {
    stream_close();
}

base::SingletonSlot<mp3streamf>& mp3streamf::instanceSlot() {
    static base::SingletonSlot<mp3streamf> slot;
    return slot;
}

void mp3streamf::set_read_mode(int mode) {
    std::lock_guard<std::mutex> guard(lock_);
    mode_ = mode == microphone ? microphone : files;
}

void mp3streamf::set_microphone_name(const std::wstring& name) {
    std::lock_guard<std::mutex> guard(lock_);
    microphone_ = name;
}

void mp3streamf::set_files(const std::vector<std::wstring>& paths) {
    std::lock_guard<std::mutex> guard(lock_);
    files_ = paths;
}

void mp3streamf::set_record_path(const std::wstring& path) {
    std::lock_guard<std::mutex> guard(lock_);
    recordPath_ = path;
}

void mp3streamf::set_end_handler(EndHandler handler) {
    std::lock_guard<std::mutex> guard(lock_);
    endHandler_ = std::move(handler);
}

bool mp3streamf::stream_create() {
    stream_close();
    std::lock_guard<std::mutex> guard(lock_);
    audio::StreamTarget target = target_;
    target.localOutput = localOutput.load();
    stopping_.store(false);
    queue_.clear();
    queue_.setAccepting(true);
    if (!sender_.start(target)) return false;
    running_.store(true);
    ++created_;
    if (mode_ == files || !files_.empty()) {
        // In microphone mode the files (a gong) come first, then the capture.
        decoder_ = std::thread([this, paths = files_, capture = mode_ == microphone, microphone = microphone_,
                                record = recordPath_] {
            if (!decodeFiles(paths, !capture) || !capture || stopping_.load()) return;
            if (!startCapture(microphone, record)) finish(false, std::wstring());
        });
        return true;
    }
    if (startCapture(microphone_, recordPath_)) return true;
    sender_.stop();
    running_.store(false);
    return false;
}

bool mp3streamf::startCapture(const std::wstring& microphone, const std::wstring& recordPath) {
    const debug::Place place("mp3streamf::startCapture");
    Recorder* recorder = nullptr;
    if (!recordPath.empty()) {
        auto opened = std::make_unique<Recorder>(recordPath);
        if (opened->ok()) {
            recorder = opened.get();
            std::lock_guard<std::mutex> guard(recorderLock_);
            recorder_ = std::move(opened);
        } else {
            place.error(L"Не удалось открыть файл записи '%1%'", recordPath);
        }
    }
    const bool started = capture_.start(
        microphone,
        [this, recorder](const void* pcm, std::size_t bytes) {
            if (recorder != nullptr) recorder->write(pcm, bytes);
            return queue_.write(pcm, bytes);
        },
        [this] { finish(false, std::wstring()); });
    if (!started) {
        std::lock_guard<std::mutex> guard(recorderLock_);
        recorder_.reset();
    }
    return started;
}

bool mp3streamf::decodeFiles(const std::vector<std::wstring>& paths, bool tellEnd) {
    pthread_setname_np(pthread_self(), "messages decoder");
    const debug::Place place("mp3streamf::decodeFiles");
    for (const std::wstring& path : paths) {
        const audio::DecodeResult result = audio::decodeMp3File(
            path,
            [this](const std::int16_t* pcm, std::size_t frames) {
                return !stopping_.load() &&
                       queue_.write(pcm, frames * MELVOX_PCM_CHANNELS * sizeof(std::int16_t));
            },
            [this] { return stopping_.load(); });
        if (result == audio::DecodeResult::stopped) return false;
        if (result == audio::DecodeResult::failed) {
            place.error(L"Файл сообщения не воспроизводится: '%1%'", path);
            finish(false, path);
            return false;
        }
    }
    if (!tellEnd) return true;
    // Every sample on its way before the end is told; a stop meanwhile ends the wait within a step.
    const auto limit = std::chrono::steady_clock::now() + kDrainLimit;
    while (!stopping_.load()) {
        const auto step = std::min(limit, std::chrono::steady_clock::now() + kDrainStep);
        if (sender_.drain(step) || step == limit) break;
    }
    if (!stopping_.load()) finish(true, std::wstring());
    return true;
}

void mp3streamf::finish(bool ok, const std::wstring& failed) {
    EndHandler handler;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handler = endHandler_;
    }
    if (handler) handler(ok, failed);
}

void mp3streamf::stream_close() {
    stopping_.store(true);
    queue_.setAccepting(false);
    if (decoder_.joinable() && decoder_.get_id() != std::this_thread::get_id()) decoder_.join();
    capture_.stop();
    {
        std::lock_guard<std::mutex> guard(recorderLock_);
        recorder_.reset();
    }
    std::lock_guard<std::mutex> guard(lock_);
    sender_.stop();
    queue_.clear();
    running_.store(false);
}
