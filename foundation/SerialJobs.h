#pragma once
// Work that leaves an input/output thread in a stream (status packets, replies to requests): the
// jobs wait in one bounded queue and run on the thread dispatcher one at a time, in the order
// queued, many per dispatcher item, so the dispatcher's hand-off does not limit the rate and two
// jobs never run at once even while the engine runs items beside a busy executor. A dispatcher
// item gives the executor back after a while, so that other work is not held up by a flood.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "foundation/LogThrottle.h"

namespace base {

class SerialJobs : public std::enable_shared_from_this<SerialJobs> {
public:
    using Job = std::function<void()>;
    // Makes the description of a job (of the job as queued: it is asked before the job runs, and
    // after a job that failed); asked only while a line that tells it can be written.
    using Describe = std::wstring (*)(const Job& job);
    // A job with what `push` is told of it.
    struct Item {
        Job job;
        bool droppable = true;
        std::uint64_t sender = 0;
        // Null: the queue's own description.
        Describe describe = nullptr;
    };

    // `description` names the dispatcher items, and the jobs that have no description of their own,
    // in the lines with which the dispatcher tells of each job as of an item of its own (its start,
    // a long run, a failure); an item is listed by the job it is queued for while the dispatcher's
    // listing is written. `overflow` is the WARN text (with %1% for the
    // number waiting) logged once when jobs are dropped, until the queue has emptied again. One
    // sender's droppable jobs take at most `perSender` places, so that it cannot crowd out the rest.
    SerialJobs(std::wstring description, std::size_t capacity, std::wstring overflow,
               std::size_t perSender = static_cast<std::size_t>(-1));
    SerialJobs(const SerialJobs&) = delete;
    SerialJobs& operator=(const SerialJobs&) = delete;

    // Queues the job and makes sure an item will run it; false when it was dropped: the queue is
    // closed, or full and the job `droppable` (work that the network brings; a job that someone
    // waits for is never dropped).
    bool push(Job job, bool droppable = true, std::uint64_t sender = 0);
    // Queues the items in order as `push` would, under one lock and waking the dispatcher at most
    // once for all of them; the vector is emptied.
    void push(std::vector<Item>& items);
    // Queues the items in order without waking the dispatcher for them: they run with an item
    // already on its way, or once a later push or `release` hands them over.
    void hold(std::vector<Item>& items);
    // Hands the jobs held back to the dispatcher.
    void release();
    // After it returns no job runs any more; a job running on another thread is waited for.
    void close();

    std::size_t size() const;

private:
    // Under the lock: queues one job unless it is dropped.
    bool admit(Job& job, bool droppable, std::uint64_t sender, Describe describe);
    void drain();
    // Called with the lock held when an item ends: hands what is left to a new item.
    void finishItem(std::unique_lock<std::mutex>& guard);
    void scheduleItem();
    struct Entry;
    void release(const Entry& entry);

    const std::wstring description_;
    const std::size_t capacity_;
    const std::size_t perSender_;
    const std::wstring overflow_;
    mutable std::mutex lock_;
    std::condition_variable idle_;
    struct Entry {
        Job job;
        std::uint64_t sender = 0;
        bool droppable = false;
        bool counted = false;
        Describe describe = nullptr;
    };
    std::deque<Entry> jobs_;
    // The droppable jobs of each sender, counted only while the queue is long enough for one
    // sender to reach its share.
    std::unordered_map<std::uint64_t, std::size_t> bySender_;
    bool counting_ = false;
    bool scheduled_ = false;
    bool running_ = false;
    bool closed_ = false;
    bool overflowLogged_ = false;
    // Episodes of drops are told at most about once a second.
    LogThrottle overflowLines_;
    std::thread::id drainer_;
};

}  // namespace base
