#include "audio/WorkerPool.h"

#include <pthread.h>

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

WorkerPool::WorkerPool(const std::string& name, std::size_t threads)
    : starter_([this, name, threads] { start(name, threads); }) {}

void WorkerPool::start(const std::string& name, std::size_t threads) {
    const std::string shortName = name.substr(0, 15);
    pthread_setname_np(pthread_self(), shortName.c_str());
    try {
        for (std::size_t n = 0; n < threads; ++n) {
            threads_.emplace_back([this, shortName] {
                pthread_setname_np(pthread_self(), shortName.c_str());
                run();
            });
        }
    } catch (const std::system_error& error) {
        debug::Place("audio::WorkerPool::start")
            .error(L"Потоков '%1%' запущено %2% из %3%: %4%", shortName, threads_.size(), threads,
                   exception::textOf(error));
    }
    // A pool that got no thread of its own still runs its jobs, one at a time, on this one.
    if (threads_.empty() && threads > 0) run();
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
    }
    wake_.notify_all();
    // Threads that the starter makes from here on run what is left and end.
    starter_.join();
    for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::post(Job job) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

bool WorkerPool::runAll(std::vector<Job> jobs, std::chrono::steady_clock::time_point deadline) {
    auto batch = std::make_shared<Batch>();
    batch->left = jobs.size();
    for (Job& job : jobs) {
        post([batch, job = std::move(job)] {
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
    std::unique_lock<std::mutex> guard(batch->lock);
    const auto allRan = [&] { return batch->left == 0; };
    if (deadline == std::chrono::steady_clock::time_point::max()) {
        batch->done.wait(guard, allRan);
        return true;
    }
    return batch->done.wait_until(guard, deadline, allRan);
}

void WorkerPool::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return ending_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        try {
            job();
        } catch (const std::exception& error) {
            debug::Place("audio::WorkerPool::run")
                .error(L"Ошибка фоновой задачи: %1%", exception::textOf(error));
        } catch (...) {
            debug::Place("audio::WorkerPool::run").error(L"Ошибка фоновой задачи");
        }
    }
}

}  // namespace audio
