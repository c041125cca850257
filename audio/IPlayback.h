#pragma once
// Something to play on a set of target devices: a playlist (PlaybackPlaylist) or a message file
// (PlaybackTrack), kept in a PlaybackCollection. The scheduler's tasks hold clones and run their
// action on the scheduler's thread while the window reads and changes the originals, so every
// field is read and written under the playback's lock.

#include <memory>
#include <mutex>
#include <string>

#include "audio/PlaybackTargets.h"

namespace frm {

class PlaybackCollection;

class IPlayback {
public:
    explicit IPlayback(const std::wstring& name);
    virtual ~IPlayback() = default;

    // The operations in their slot order.
    // Starts the playback on its targets; false when its channel refused (logged).
    virtual bool action() = 0;
    virtual std::wstring getName() const;
    virtual void setName(const std::wstring& name);
    // The collection that holds it; null when none does.
    virtual std::shared_ptr<PlaybackCollection> getCollection() const;
    virtual void setTargets(const Targets& targets);
    virtual Targets getTargets() const;
    // An independent copy, in the same collection, which the copy keeps while it lives (the
    // collection does not hold the copy, and may be replaced by a new one meanwhile).
    virtual std::shared_ptr<IPlayback> clone() const = 0;

protected:
    IPlayback(const IPlayback& other);
    IPlayback& operator=(const IPlayback&) = delete;
    std::mutex& lock() const { return lock_; }

private:
    friend class PlaybackCollection;

    mutable std::mutex lock_;
    std::wstring name_;
    Targets targets_;
    std::weak_ptr<PlaybackCollection> collection_;
    std::shared_ptr<PlaybackCollection> keptCollection_;
};

}  // namespace frm
