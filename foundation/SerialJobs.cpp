#include "foundation/SerialJobs.h"

#include <chrono>

#include "foundation/Clock.h"
#include "foundation/Log.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"

namespace base {
namespace {

// One dispatcher item gives the executor back after this many jobs or this long.
constexpr int kJobsPerItem = 1024;
constexpr auto kTimePerItem = std::chrono::milliseconds(50);

}  // namespace

SerialJobs::SerialJobs(std::wstring description, std::size_t capacity, std::wstring overflow,
                       std::size_t perSender)
    : description_(std::move(description)),
      capacity_(capacity),
      perSender_(perSender),
      overflow_(std::move(overflow)) {}

bool SerialJobs::push(Job job, bool droppable, std::uint64_t sender) {
    std::lock_guard<std::mutex> guard(lock_);
    const bool queued = admit(job, droppable, sender, nullptr);
    if (queued && !scheduled_) scheduleItem();
    return queued;
}

void SerialJobs::push(std::vector<Item>& items) {
    if (items.empty()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (Item& item : items) admit(item.job, item.droppable, item.sender, item.describe);
        // Jobs held back earlier go along.
        if (!jobs_.empty() && !scheduled_ && !closed_) scheduleItem();
    }
    items.clear();
}

void SerialJobs::hold(std::vector<Item>& items) {
    if (items.empty()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (Item& item : items) admit(item.job, item.droppable, item.sender, item.describe);
    }
    items.clear();
}

void SerialJobs::release() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!jobs_.empty() && !scheduled_ && !closed_) scheduleItem();
}

bool SerialJobs::admit(Job& job, bool droppable, std::uint64_t sender, Describe describe) {
    if (closed_) return false;
    if (droppable && perSender_ < capacity_ && !counting_ && jobs_.size() >= perSender_) {
        for (Entry& entry : jobs_) {
            if (!entry.droppable) continue;
            ++bySender_[entry.sender];
            entry.counted = true;
        }
        counting_ = true;
    }
    const bool counted = droppable && counting_;
    if (droppable && (jobs_.size() >= capacity_ || (counted && bySender_[sender] >= perSender_))) {
        std::uint64_t skipped = 0;
        if (!overflowLogged_ && overflowLines_.pass(0, skipped)) {
            debug::Place("base::SerialJobs::push").warn(overflow_.c_str(), jobs_.size());
        }
        overflowLogged_ = true;
        return false;
    }
    if (counted) ++bySender_[sender];
    jobs_.push_back(Entry{std::move(job), sender, droppable, counted, describe});
    return true;
}

void SerialJobs::scheduleItem() {
    const std::shared_ptr<SerialJobs> self = shared_from_this();
    // The dispatcher lists the item by the job it is queued for; each job tells of itself as it runs.
    const Entry& first = jobs_.front();
    ThreadDispatcher::addBatch(
        Log::TRACE2 >= Log::activeLevel() && first.describe ? first.describe(first.job) : description_,
        [self] { self->drain(); });
    scheduled_ = true;
}

void SerialJobs::close() {
    std::unique_lock<std::mutex> guard(lock_);
    closed_ = true;
    std::deque<Entry> dropped;
    dropped.swap(jobs_);
    bySender_.clear();
    counting_ = false;
    // A job that closes its own queue cannot wait for itself.
    if (drainer_ != std::this_thread::get_id()) idle_.wait(guard, [this] { return !running_; });
    guard.unlock();
}

std::size_t SerialJobs::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return jobs_.size();
}

void SerialJobs::drain() {
    std::unique_lock<std::mutex> guard(lock_);
    running_ = true;
    drainer_ = std::this_thread::get_id();
    auto now = clock::steadyNow();
    const auto deadline = now + kTimePerItem;
    try {
        for (int done = 0; done < kJobsPerItem && !closed_ && !jobs_.empty(); ++done) {
            {
                const Job job = std::move(jobs_.front().job);
                const Describe describe = jobs_.front().describe;
                release(jobs_.front());
                jobs_.pop_front();
                guard.unlock();
                now = ThreadDispatcher::runJob(job, describe, description_, now);
            }
            guard.lock();
            if (now >= deadline) break;
        }
    } catch (...) {
        // The thread is being stopped: the rest of the jobs wait for an item that will not run.
        if (!guard.owns_lock()) guard.lock();
        finishItem(guard);
        throw;
    }
    finishItem(guard);
}

void SerialJobs::release(const Entry& entry) {
    if (entry.counted) {
        const auto found = bySender_.find(entry.sender);
        if (found != bySender_.end() && --found->second == 0) bySender_.erase(found);
    }
    // The last job leaves: every counted one has been let go.
    if (jobs_.size() == 1) counting_ = false;
}

void SerialJobs::finishItem(std::unique_lock<std::mutex>& guard) {
    running_ = false;
    drainer_ = std::thread::id();
    scheduled_ = false;
    idle_.notify_all();
    if (jobs_.empty()) overflowLogged_ = false;
    if (!closed_ && !jobs_.empty()) scheduleItem();
    guard.unlock();
}

}  // namespace base
