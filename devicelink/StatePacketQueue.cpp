#include "devicelink/StatePacketQueue.h"

#include <chrono>

#include "foundation/Clock.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

// One job gives the executor back after this many packets or this long, so that other work
// queued on the dispatcher is not held up by a flood of packets.
constexpr int kPacketsPerJob = 1024;
constexpr auto kTimePerJob = std::chrono::milliseconds(50);

}  // namespace

StatePacketQueue::StatePacketQueue(Handler handler, std::size_t capacity)
    : handler_(std::move(handler)), capacity_(capacity) {}

bool StatePacketQueue::push(StatePacket packet) {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return false;
    if (packets_.size() >= capacity_) {
        if (!overflowLogged_) {
            overflowLogged_ = true;
            debug::Place("device::StatePacketQueue::push")
                .warn(
                    L"Status packets come faster than they are handled: %1% wait, further ones are dropped "
                    L"(from %2%)",
                    packets_.size(), packet.from.getWideText());
        }
        return false;
    }
    packets_.push_back(std::move(packet));
    if (!scheduled_) scheduleJob();
    return true;
}

void StatePacketQueue::scheduleJob() {
    const std::shared_ptr<StatePacketQueue> self = shared_from_this();
    base::ThreadDispatcher::add(L"parsing state packet", 0, [self] { self->drain(); });
    scheduled_ = true;
}

void StatePacketQueue::close() {
    std::unique_lock<std::mutex> guard(lock_);
    closed_ = true;
    packets_.clear();
    // A handler that closes its own queue cannot wait for itself.
    if (drainer_ == std::this_thread::get_id()) return;
    idle_.wait(guard, [this] { return !running_; });
}

std::size_t StatePacketQueue::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return packets_.size();
}

void StatePacketQueue::drain() {
    std::unique_lock<std::mutex> guard(lock_);
    running_ = true;
    drainer_ = std::this_thread::get_id();
    const auto deadline = base::clock::steadyNow() + kTimePerJob;
    try {
        for (int handled = 0; handled < kPacketsPerJob && !closed_ && !packets_.empty(); ++handled) {
            const StatePacket packet = std::move(packets_.front());
            packets_.pop_front();
            guard.unlock();
            handler_(packet);
            guard.lock();
            if (base::clock::steadyNow() >= deadline) break;
        }
    } catch (...) {
        // The failing packet is dropped; the dispatcher reports the exception and the rest still go on.
        if (!guard.owns_lock()) guard.lock();
        finishJob(guard);
        throw;
    }
    finishJob(guard);
}

void StatePacketQueue::finishJob(std::unique_lock<std::mutex>& guard) {
    running_ = false;
    drainer_ = std::thread::id();
    scheduled_ = false;
    idle_.notify_all();
    if (packets_.empty()) overflowLogged_ = false;
    if (!closed_ && !packets_.empty()) scheduleJob();
    guard.unlock();
}

}  // namespace device
