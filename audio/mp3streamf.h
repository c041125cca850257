#pragma once
// The messages streamer: the priority stream to the base port plus two. Its input is either a
// list of message files (a gong, then the message), decoded by libmp3lame's decoder on its
// decoder thread, or the microphone, captured through PulseAudio (after the files, a gong, when
// some are set) and, when a record path is set, recorded into an MP3 file as well. It sends MPEG audio at
// `multicast.messagesStream.bitrate`, or raw 16-bit PCM with `debug.enablePCM`; `debug.log.vlclib` passes
// libvlc's log on.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/PcmQueue.h"
#include "audio/PulseCapture.h"
#include "audio/StreamSender.h"
#include "audio/StreamTarget.h"
#include "foundation/SingletonSlot.h"

class mp3streamf {
public:
    enum ReadMode { files = 0, microphone = 1 };
    // Told once when the input ends: ok false names the file that did not decode, or is empty
    // when the capture device failed. It runs on the decoder or capture thread and must hand
    // stream_close to another thread.
    using EndHandler = std::function<void(bool ok, const std::wstring& failed)>;

    // The target of the priority stream from the settings (the group, base port plus two, ...).
    static audio::StreamTarget targetFromSettings();

    explicit mp3streamf(const audio::StreamTarget& target);
    ~mp3streamf();
    mp3streamf(const mp3streamf&) = delete;
    mp3streamf& operator=(const mp3streamf&) = delete;

    void set_read_mode(int mode);
    // Empty selects the system's default capture device.
    void set_microphone_name(const std::wstring& name);
    void set_files(const std::vector<std::wstring>& paths);
    // Where the microphone is recorded as MP3; empty records nothing.
    void set_record_path(const std::wstring& path);
    void set_end_handler(EndHandler handler);

    // Creates and starts the stream with the chosen input; false (logged) when it cannot start.
    bool stream_create();
    // Stops and releases it; the end handler is not called for a stop.
    void stream_close();
    bool is_stream() const { return running_.load(); }
    // The stream is shared by the alarm channel and the capture-device test: each holds it for a
    // run of set_* calls and stream_create, or for stream_close, so that the other's calls never
    // fall in between.
    std::unique_lock<std::mutex> hold() { return std::unique_lock<std::mutex>(users_); }
    // How many streams were started: a user compares it with the count its own start gave to tell
    // whether the running stream is still its own.
    std::uint64_t created() const { return created_.load(); }

    // While set, stream_create also plays the stream on the computer's own sound output.
    std::atomic<bool> localOutput{false};

    // The process-wide priority streamer, shared by the alarm channel and the capture-device test.
    static base::SingletonSlot<mp3streamf>& instanceSlot();

private:
    // False when the decoding stopped or a file failed (told); with tellEnd the end is told.
    bool decodeFiles(const std::vector<std::wstring>& paths, bool tellEnd);
    // Starts the capture, and the recording when a path is given; false (logged) on failure.
    bool startCapture(const std::wstring& microphone, const std::wstring& recordPath);
    void finish(bool ok, const std::wstring& failed);

    audio::StreamTarget target_;
    audio::PcmQueue queue_;
    audio::StreamSender sender_;
    audio::PulseCapture capture_;
    std::mutex lock_;
    int mode_ = files;
    std::wstring microphone_;
    std::wstring recordPath_;
    std::vector<std::wstring> files_;
    EndHandler endHandler_;
    std::atomic<bool> running_{false};
    std::atomic<std::uint64_t> created_{0};
    std::mutex users_;
    std::atomic<bool> stopping_{false};
    std::thread decoder_;
    struct Recorder;
    std::mutex recorderLock_;
    std::unique_ptr<Recorder> recorder_;
};
