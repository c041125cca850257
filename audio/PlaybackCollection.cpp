#include "audio/PlaybackCollection.h"

namespace frm {

PlaybackCollection::PlaybackCollection(const std::wstring& title, const std::wstring& kind)
    : title_(title), kind_(kind) {}

std::shared_ptr<PlaybackCollection> PlaybackCollection::create(const std::wstring& title,
                                                               const std::wstring& kind) {
    return std::shared_ptr<PlaybackCollection>(new PlaybackCollection(title, kind));
}

void PlaybackCollection::add(const std::shared_ptr<IPlayback>& playback) {
    {
        std::lock_guard<std::mutex> guard(playback->lock_);
        playback->collection_ = weak_from_this();
        // The collection holds it now: it must not hold the collection too.
        playback->keptCollection_.reset();
    }
    std::lock_guard<std::mutex> guard(lock_);
    playbacks_.push_back(playback);
}

std::vector<std::shared_ptr<IPlayback>> PlaybackCollection::getPlaybacks() const {
    std::lock_guard<std::mutex> guard(lock_);
    return playbacks_;
}

}  // namespace frm
