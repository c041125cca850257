#pragma once
// A private PulseAudio server for one test, with a null sink "test" whose monitor "test.monitor"
// is a capture source that hears whatever is played into the sink. Its runtime folder is the
// test's own, and the test process is pointed at it through PULSE_SERVER.

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/TempFolder.h"

namespace test {

class PulseServer {
public:
    static constexpr const char* kSink = "test";
    static constexpr const char* kSource = "test.monitor";

    // Starts the server and waits until it takes clients; ready() tells whether it did.
    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    bool ready() const { return ready_; }
    // Plays a sine into the sink from a thread of its own until stopTone().
    void playTone(double hertz);
    void stopTone();
    // Removes the null sink, as when a capture device is unplugged.
    bool unloadSink();

private:
    bool command(const std::string& arguments) const;

    TempFolder runtime_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string oldServer_;
    bool hadOldServer_ = false;
    std::atomic<bool> toneStopping_{false};
    std::thread tone_;
};

}  // namespace test

// Skips the test where no PulseAudio server can be started (the package is missing).
#define MELVOX_REQUIRE_PULSE(server) \
    if (!(server).ready()) GTEST_SKIP() << "no PulseAudio server could be started";
