#include "foundation/ChangeMark.h"

namespace base {

ChangeMark::ChangeMark() : shared_(std::make_shared<Shared>()) {}

void ChangeMark::mark() const {
    ++shared_->revision;
    // Under the lock, so that a watcher that ends is not called after it ended.
    std::lock_guard<std::mutex> guard(shared_->lock);
    if (shared_->wake) shared_->wake();
}

void ChangeMark::watch(std::function<void()> wake) const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->wake = std::move(wake);
}

}  // namespace base
