#pragma once
// The PCM between a source and a streamer: a bounded queue of bytes of 16-bit stereo samples.
// Writers wait while it is full; the streamer takes blocks with a deadline and pads what is
// missing with silence itself. Closing it for writers lets a waiting writer go at once.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace audio {

class PcmQueue {
public:
    explicit PcmQueue(std::size_t capacityBytes);
    PcmQueue(const PcmQueue&) = delete;
    PcmQueue& operator=(const PcmQueue&) = delete;

    // Appends all the bytes, waiting for room; false (with what did not fit dropped) once the
    // queue does not take writes.
    bool write(const void* data, std::size_t bytes);
    // Takes up to `bytes` bytes, waiting until that many are queued, the deadline passes or
    // readers are woken; returns how many it took.
    std::size_t read(void* data, std::size_t bytes, std::chrono::steady_clock::time_point deadline);

    // Drops everything queued.
    void clear();
    // While false, writes are refused and waiting writers return at once.
    void setAccepting(bool accepting);
    bool accepting() const;
    // Makes waiting and later reads return at once (for stopping the streamer) until reset.
    void setReadersWoken(bool woken);
    bool readersWoken() const;
    // Waits until the queue is empty; false after the deadline.
    bool waitEmpty(std::chrono::steady_clock::time_point deadline);
    std::size_t size() const;

private:
    const std::size_t capacity_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::uint8_t> ring_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    bool accepting_ = true;
    bool readersWoken_ = false;
};

}  // namespace audio
