#pragma once
// The test-tone source: a thread that writes a sine of one frequency into a PCM queue for as
// long as it runs, as fast as the queue takes it.

#include <atomic>
#include <thread>

#include "audio/PcmQueue.h"

namespace audio {

class SineGenerator {
public:
    SineGenerator() = default;
    ~SineGenerator();
    SineGenerator(const SineGenerator&) = delete;
    SineGenerator& operator=(const SineGenerator&) = delete;

    // Frequencies from 1 Hz to just below half the sample rate.
    static bool validFrequency(double hertz);
    void start(PcmQueue& queue, double hertz);
    // The queue must refuse writes first (PcmQueue::setAccepting), so that the thread ends.
    void stop();

private:
    void run(PcmQueue& queue, double hertz);

    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The frequency of a "sine://" path ("sine://1000"); 0 when the text after the scheme is not
// a frequency the generator plays.
double sineFrequencyOf(const std::wstring& path);

}  // namespace audio
