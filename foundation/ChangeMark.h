#pragma once
// Tells that a kind of kept state changed: a count of its changes, and a wake-up of the one that
// writes the state. A model marks each change of what its file keeps; its copies share the count
// and the wake-up, so that the parts of a model (the playlists of a list, the devices of the
// registry) mark as the model does.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace base {

class ChangeMark {
public:
    ChangeMark();

    // From any thread: counts a change and wakes the watcher, on this thread.
    void mark() const;
    std::uint64_t revision() const { return shared_->revision.load(); }
    // Called at each mark from then on; an empty one ends it. Once this returns, the watcher it
    // replaced is not called any more, so that it may go.
    void watch(std::function<void()> wake) const;

private:
    struct Shared {
        std::atomic<std::uint64_t> revision{0};
        std::mutex lock;
        std::function<void()> wake;
    };
    std::shared_ptr<Shared> shared_;
};

}  // namespace base
