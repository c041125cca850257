#pragma once
// A set of threads that run posted jobs in the order posted, several at once. The channels run
// their device requests on one, so that hundreds of loudspeakers are switched in parallel rather
// than one round trip after another; a loudspeaker that does not answer holds one thread for its
// resend interval and never the others. A pool may grow beyond its first threads when more jobs
// wait than threads are free, up to its most, so that a broadcast's every loudspeaker has a thread
// of its own; the threads beyond the first end once they have been idle for a while.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace audio {

class WorkerPool {
public:
    using Job = std::function<void()>;

    // An extra thread idle this long ends.
    static constexpr std::chrono::seconds kIdleEnd{30};

    // `name` names the threads (at most 15 characters). The first `threads` are started by a
    // thread of their own, so that making a pool costs its maker no time; jobs posted meanwhile
    // wait for them. It grows up to `most` threads (never beyond `threads` when `most` is less);
    // those beyond the first end once idle for `idleEnd`.
    WorkerPool(const std::string& name, std::size_t threads, std::size_t most = 0,
               std::chrono::milliseconds idleEnd = kIdleEnd);
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
    void start(std::size_t threads);
    // Posts under lock_ and tells how many threads to add.
    std::size_t queue(std::vector<Job>& jobs);
    void grow(std::size_t threads);
    // Starts one thread into threads_ (under threadsLock_); false when the system refused.
    bool startThread(bool extra);
    void run(bool extra);

    const std::string name_;
    const std::size_t most_;
    const std::chrono::milliseconds idleEnd_;

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool ending_ = false;
    // Threads started or about to be, and those of them waiting for a job or not yet running.
    std::size_t started_ = 0;
    std::size_t free_ = 0;
    // Extra threads that ended by themselves, to be joined.
    std::vector<std::thread::id> ended_;

    // Guards threads_; taken before lock_, never inside it.
    std::mutex threadsLock_;
    std::list<std::thread> threads_;
    std::thread starter_;
};

}  // namespace audio
