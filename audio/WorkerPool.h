#pragma once
// A fixed set of threads that run posted jobs in the order posted, several at once. The
// channels run their device requests on one, so that hundreds of loudspeakers are switched in
// parallel rather than one round trip after another; a loudspeaker that does not answer holds
// one thread for its resend interval and never the others.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace audio {

class WorkerPool {
public:
    using Job = std::function<void()>;

    // `name` names the threads (at most 15 characters). The threads are started by a thread of
    // their own, so that making a pool costs its maker no time; jobs posted meanwhile wait for them.
    WorkerPool(const std::string& name, std::size_t threads);
    // Runs what was posted, then ends the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // A job that throws is logged; the thread goes on with the next one.
    void post(Job job);
    // Posts the jobs and waits until all of them ran or the deadline passed; true when all ran.
    // Jobs still waiting or running at the deadline go on after the return.
    bool runAll(std::vector<Job> jobs, std::chrono::steady_clock::time_point deadline =
                                           std::chrono::steady_clock::time_point::max());

private:
    void start(const std::string& name, std::size_t threads);
    void run();

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool ending_ = false;
    // Written by the starter only; read once it has ended.
    std::vector<std::thread> threads_;
    std::thread starter_;
};

}  // namespace audio
