#pragma once
// Sound capture through PulseAudio: a thread that reads a capture source (a microphone, a line
// input, the monitor of an output) and hands the PCM on, and the list of the sources present.

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace audio {

class PulseCapture {
public:
    // Takes a block of PCM in the output module's format; false ends the capture.
    using Sink = std::function<bool(const void* pcm, std::size_t bytes)>;
    // Told once when the source fails or vanishes while capturing.
    using FailureHandler = std::function<void()>;

    PulseCapture() = default;
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Opens the source (empty: the system's default) and starts the thread; false (logged) when
    // the source cannot be opened.
    bool start(const std::wstring& source, Sink sink, FailureHandler onFailure);
    // Whoever feeds the sink must let it return first (a blocked sink holds the thread).
    void stop();

private:
    void run(Sink sink, FailureHandler onFailure);

    void* stream_ = nullptr;  // pa_simple
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The names of the capture sources of the PulseAudio server; empty without a server.
std::vector<std::wstring> captureSources();

}  // namespace audio
