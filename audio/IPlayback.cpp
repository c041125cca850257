#include "audio/IPlayback.h"

namespace frm {

IPlayback::IPlayback(const std::wstring& name) : name_(name) {}

IPlayback::IPlayback(const IPlayback& other) {
    std::lock_guard<std::mutex> guard(other.lock_);
    name_ = other.name_;
    targets_ = other.targets_;
    collection_ = other.collection_;
    keptCollection_ = other.collection_.lock();
}

std::wstring IPlayback::getName() const {
    std::lock_guard<std::mutex> guard(lock_);
    return name_;
}

void IPlayback::setName(const std::wstring& name) {
    std::lock_guard<std::mutex> guard(lock_);
    name_ = name;
}

std::shared_ptr<PlaybackCollection> IPlayback::getCollection() const {
    std::lock_guard<std::mutex> guard(lock_);
    return collection_.lock();
}

void IPlayback::setTargets(const Targets& targets) {
    std::lock_guard<std::mutex> guard(lock_);
    targets_ = targets;
}

Targets IPlayback::getTargets() const {
    std::lock_guard<std::mutex> guard(lock_);
    return targets_;
}

}  // namespace frm
