#pragma once
// A named group of playbacks that the scheduler offers as one source: its title, its kind name
// ("playlist", "radio", "device", "serviceMessage" or "microphone", stored in "scheduler.xml")
// and its playbacks in order.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/IPlayback.h"

namespace frm {

class PlaybackCollection : public std::enable_shared_from_this<PlaybackCollection> {
public:
    // Held by a shared pointer, which the playbacks it holds point back to.
    static std::shared_ptr<PlaybackCollection> create(const std::wstring& title, const std::wstring& kind);

    const std::wstring& getTitle() const { return title_; }
    const std::wstring& getKind() const { return kind_; }
    // Appends the playback and makes this its collection.
    void add(const std::shared_ptr<IPlayback>& playback);
    std::vector<std::shared_ptr<IPlayback>> getPlaybacks() const;

private:
    PlaybackCollection(const std::wstring& title, const std::wstring& kind);

    const std::wstring title_;
    const std::wstring kind_;
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<IPlayback>> playbacks_;
};

}  // namespace frm
