#pragma once
// Keeps a flood from the network out of the log: of the lines of one kind from one sender, about
// one a second is written, with the count of those left out since the last one written.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace base {

class LogThrottle {
public:
    explicit LogThrottle(std::chrono::milliseconds period = std::chrono::seconds(1));
    LogThrottle(const LogThrottle&) = delete;
    LogThrottle& operator=(const LogThrottle&) = delete;

    // True when the line of `sender` may be written; `skipped` then tells how many of its lines
    // were left out before it.
    bool pass(std::uint64_t sender, std::uint64_t& skipped);
    // Every sender is new again.
    void forget();

private:
    struct Sender {
        std::chrono::steady_clock::time_point written;
        std::uint64_t skipped = 0;
    };

    const std::chrono::milliseconds period_;
    std::mutex lock_;
    // Bounded: senders quiet for a period are forgotten when it grows.
    std::unordered_map<std::uint64_t, Sender> senders_;
};

}  // namespace base
