#include "foundation/LogThrottle.h"

#include "foundation/Clock.h"

namespace base {
namespace {

constexpr std::size_t kRememberedSenders = 4096;

}  // namespace

LogThrottle::LogThrottle(std::chrono::milliseconds period) : period_(period) {}

bool LogThrottle::pass(std::uint64_t sender, std::uint64_t& skipped) {
    const auto now = clock::steadyNow();
    std::lock_guard<std::mutex> guard(lock_);
    if (senders_.size() >= kRememberedSenders && senders_.count(sender) == 0) {
        for (auto entry = senders_.begin(); entry != senders_.end();) {
            entry = now - entry->second.written >= period_ ? senders_.erase(entry) : std::next(entry);
        }
        // Still full of senders that all wrote within the period: the newcomer waits its turn.
        if (senders_.size() >= kRememberedSenders) return false;
    }
    const auto found = senders_.find(sender);
    if (found == senders_.end()) {
        senders_.emplace(sender, Sender{now, 0});
        skipped = 0;
        return true;
    }
    Sender& known = found->second;
    if (now - known.written < period_) {
        ++known.skipped;
        return false;
    }
    skipped = known.skipped;
    known = Sender{now, 0};
    return true;
}

void LogThrottle::forget() {
    std::lock_guard<std::mutex> guard(lock_);
    senders_.clear();
}

}  // namespace base
