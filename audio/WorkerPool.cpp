#include "audio/WorkerPool.h"

#include <pthread.h>

#include <algorithm>
#include <system_error>

#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace audio {
namespace {

// Counts the jobs of one runAll that have not run yet.
struct Batch {
    std::mutex lock;
    std::condition_variable done;
    std::size_t left = 0;
};

}  // namespace

WorkerPool::WorkerPool(const std::string& name, std::size_t threads, std::size_t most,
                       std::chrono::milliseconds idleEnd)
    : name_(name.substr(0, 15)),
      most_(std::max(threads, most)),
      idleEnd_(idleEnd),
      started_(threads),
      free_(threads) {
    starter_ = std::thread([this, threads] { start(threads); });
}

void WorkerPool::start(std::size_t threads) {
    pthread_setname_np(pthread_self(), name_.c_str());
    std::size_t running = 0;
    {
        std::lock_guard<std::mutex> guard(threadsLock_);
        while (running < threads && startThread(false)) ++running;
    }
    if (running == threads) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        started_ -= threads - running;
        free_ -= threads - running;
    }
    debug::Place("audio::WorkerPool::start")
        .error(L"Потоков '%1%' запущено %2% из %3%", name_, running, threads);
    // A pool that got no thread of its own still runs its jobs, one at a time, on this one.
    if (running == 0 && threads > 0) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++started_;
            ++free_;
        }
        run(false);
    }
}

bool WorkerPool::startThread(bool extra) {
    try {
        threads_.emplace_back([this, extra] {
            pthread_setname_np(pthread_self(), name_.c_str());
            run(extra);
        });
        return true;
    } catch (const std::system_error& error) {
        debug::Place("audio::WorkerPool::startThread")
            .debug(L"No thread for '%1%': %2%", name_, exception::textOf(error));
    }
    return false;
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
    }
    wake_.notify_all();
    // Threads that the starter makes from here on run what is left and end.
    starter_.join();
    std::lock_guard<std::mutex> guard(threadsLock_);
    for (std::thread& thread : threads_) thread.join();
}

std::size_t WorkerPool::queue(std::vector<Job>& jobs) {
    std::lock_guard<std::mutex> guard(lock_);
    for (Job& job : jobs) jobs_.push_back(std::move(job));
    if (jobs_.size() <= free_ || started_ >= most_) return 0;
    const std::size_t more = std::min(jobs_.size() - free_, most_ - started_);
    started_ += more;
    free_ += more;
    return more;
}

void WorkerPool::post(Job job) {
    std::vector<Job> one;
    one.push_back(std::move(job));
    const std::size_t more = queue(one);
    wake_.notify_one();
    if (more > 0) grow(more);
}

void WorkerPool::grow(std::size_t threads) {
    std::lock_guard<std::mutex> guard(threadsLock_);
    std::vector<std::thread::id> ended;
    {
        std::lock_guard<std::mutex> jobsGuard(lock_);
        ended.swap(ended_);
    }
    for (auto thread = threads_.begin(); thread != threads_.end();) {
        if (std::find(ended.begin(), ended.end(), thread->get_id()) == ended.end()) {
            ++thread;
            continue;
        }
        thread->join();
        thread = threads_.erase(thread);
    }
    std::size_t added = 0;
    while (added < threads && startThread(true)) ++added;
    if (added == threads) return;
    std::lock_guard<std::mutex> jobsGuard(lock_);
    started_ -= threads - added;
    free_ -= threads - added;
}

bool WorkerPool::runAll(std::vector<Job> jobs, std::chrono::steady_clock::time_point deadline) {
    auto batch = std::make_shared<Batch>();
    batch->left = jobs.size();
    std::vector<Job> counted;
    counted.reserve(jobs.size());
    for (Job& job : jobs) {
        counted.push_back([batch, job = std::move(job)] {
            struct Count {
                Batch& batch;
                ~Count() {
                    std::lock_guard<std::mutex> guard(batch.lock);
                    if (--batch.left == 0) batch.done.notify_all();
                }
            } count{*batch};
            job();
        });
    }
    const std::size_t more = queue(counted);
    wake_.notify_all();
    if (more > 0) grow(more);
    std::unique_lock<std::mutex> guard(batch->lock);
    const auto allRan = [&] { return batch->left == 0; };
    if (deadline == std::chrono::steady_clock::time_point::max()) {
        batch->done.wait(guard, allRan);
        return true;
    }
    return batch->done.wait_until(guard, deadline, allRan);
}

void WorkerPool::run(bool extra) {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        const auto ready = [this] { return ending_ || !jobs_.empty(); };
        const bool woken = extra ? wake_.wait_for(guard, idleEnd_, ready) : (wake_.wait(guard, ready), true);
        if (!woken || jobs_.empty()) {
            --started_;
            --free_;
            if (extra) ended_.push_back(std::this_thread::get_id());
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        --free_;
        guard.unlock();
        try {
            job();
        } catch (const std::exception& error) {
            debug::Place("audio::WorkerPool::run")
                .error(L"Ошибка фоновой задачи: %1%", exception::textOf(error));
        } catch (...) {
            debug::Place("audio::WorkerPool::run").error(L"Ошибка фоновой задачи");
        }
        job = nullptr;
        guard.lock();
        ++free_;
    }
}

}  // namespace audio
