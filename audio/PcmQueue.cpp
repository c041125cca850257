#include "audio/PcmQueue.h"

#include <algorithm>
#include <cstring>

namespace audio {

PcmQueue::PcmQueue(std::size_t capacityBytes) : capacity_(capacityBytes), ring_(capacityBytes) {}

bool PcmQueue::write(const void* data, std::size_t bytes) {
    const auto* source = static_cast<const std::uint8_t*>(data);
    std::unique_lock<std::mutex> guard(lock_);
    while (bytes > 0) {
        changed_.wait(guard, [&] { return !accepting_ || size_ < capacity_; });
        if (!accepting_) return false;
        const std::size_t tail = (head_ + size_) % capacity_;
        const std::size_t count = std::min({bytes, capacity_ - size_, capacity_ - tail});
        std::memcpy(ring_.data() + tail, source, count);
        size_ += count;
        source += count;
        bytes -= count;
        changed_.notify_all();
    }
    return true;
}

std::size_t PcmQueue::read(void* data, std::size_t bytes, std::chrono::steady_clock::time_point deadline) {
    auto* target = static_cast<std::uint8_t*>(data);
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_until(guard, deadline, [&] { return readersWoken_ || size_ >= bytes; });
    if (readersWoken_) return 0;
    std::size_t taken = 0;
    const std::size_t wanted = std::min(bytes, size_);
    while (taken < wanted) {
        const std::size_t count = std::min(wanted - taken, capacity_ - head_);
        std::memcpy(target + taken, ring_.data() + head_, count);
        head_ = (head_ + count) % capacity_;
        size_ -= count;
        taken += count;
    }
    if (taken > 0) changed_.notify_all();
    return taken;
}

void PcmQueue::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    head_ = 0;
    size_ = 0;
    changed_.notify_all();
}

void PcmQueue::setAccepting(bool accepting) {
    std::lock_guard<std::mutex> guard(lock_);
    accepting_ = accepting;
    changed_.notify_all();
}

bool PcmQueue::accepting() const {
    std::lock_guard<std::mutex> guard(lock_);
    return accepting_;
}

void PcmQueue::setReadersWoken(bool woken) {
    std::lock_guard<std::mutex> guard(lock_);
    readersWoken_ = woken;
    changed_.notify_all();
}

bool PcmQueue::readersWoken() const {
    std::lock_guard<std::mutex> guard(lock_);
    return readersWoken_;
}

bool PcmQueue::waitEmpty(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_until(guard, deadline, [&] { return size_ == 0 || readersWoken_; }) && size_ == 0;
}

std::size_t PcmQueue::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return size_;
}

}  // namespace audio
