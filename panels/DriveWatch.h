#pragma once
// The drive watch: once a second it reads which media are mounted and, when the player plays a
// file of a medium that has gone since its last look, stops the player, whichever panel started
// it. URLs and capture devices lie on no medium and are never stopped.

#include <condition_variable>
#include <mutex>
#include <thread>

namespace frm {

class DriveWatch {
public:
    // Starts the thread.
    DriveWatch();
    // Stops it.
    ~DriveWatch();
    DriveWatch(const DriveWatch&) = delete;
    DriveWatch& operator=(const DriveWatch&) = delete;

    // Ends the thread and waits for it; again, it returns at once. Not from the thread itself.
    void stop();

private:
    void run();

    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace frm
