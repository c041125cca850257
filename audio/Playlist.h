#pragma once
// A named list of titled paths or URLs with a current position, played by the Player. The
// player reads it from the dispatcher's and the GUI thread, so every operation takes the
// playlist's mutex. Its playing callback is told, on the dispatcher's executor, when the player
// starts, stops or fails one of its items.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/BaseControlList.h"
#include "foundation/ChangeMark.h"

class Playlist : public BaseControlList {
public:
    struct Item {
        // An empty title or path is logged as an internal error.
        Item(std::wstring title, std::wstring path, int index = -1);
        std::wstring title;
        std::wstring path;
        // The item's place in its playlist; -1 for a new item.
        int index = -1;
    };
    // (playing, finished): playing tells whether an item of the playlist plays now; finished is
    // set when the playlist was stopped or ran to its end.
    using PlayingCallback = std::function<void(bool playing, bool finished)>;

    // With repeat the playlist starts again at its first item after its last.
    Playlist(const std::wstring& name, bool repeat);

    void deleteSelected() override;
    long moveItem(long from, long to) override;

    // A path a playlist takes: an http, sine, capture or line URL, or an existing file.
    static bool checkItem(const std::wstring& path);
    // Appends the item when its title and path are not empty and checkItem takes the path.
    bool add(const std::wstring& title, const std::wstring& path);
    void add(const std::vector<Item>& items);
    // Appends without checking the path: for items read back from the playlist file, whose
    // files may be on a drive that is not there now.
    bool restore(Item item);
    // Replaces the item at item.index, when checkItem takes its path.
    bool update(const Item& item);
    void clear();

    // Makes the item at the position current; out of range is refused with a warning.
    std::optional<Item> current(std::size_t position);
    std::optional<Item> getCurrentItem() const;
    // The item at the position, with its index; none out of range.
    std::optional<Item> getItem(std::size_t position) const;
    std::size_t getCurrentPosition() const;
    // One item forward; at the end of a playlist without repeat the end notification runs, the
    // position goes back to the first item and there is no item.
    std::optional<Item> next();
    std::optional<Item> previous();

    bool empty() const;
    // Room for that many items, before they are restored.
    void reserve(std::size_t count);
    std::vector<Item> getItems() const;
    // What a view of the playlist reads as it draws, without a copy of every item: the number of
    // items (getItem gives one by one), and the longest title and path, by their characters.
    std::size_t size() const;
    std::pair<std::wstring, std::wstring> longestTexts() const;
    std::wstring getName() const;
    void setName(const std::wstring& name);
    // The mark of the list that keeps the playlist, which each change of the playlist marks: its
    // items, name or position.
    void markChangesIn(base::ChangeMark changes);
    bool isRepeat() const { return repeat_; }
    // Has items and has not run to its end since it was last positioned.
    bool isPlayable() const;

    // What a file of the playlist writes, taken together: the bytes of its items' titles and paths
    // (storage::writtenSize), kept as the items change, and the revision of its items, which each
    // change of them moves on.
    struct Written {
        std::wstring name;
        std::size_t position = 0;
        std::size_t items = 0;
        std::size_t textBytes = 0;
        std::uint64_t revision = 0;
    };
    Written written() const;
    // Hands `take` the items from `first` on, at most `count` of them, under the playlist's lock;
    // false, with nothing handed, when the items changed since `revision`. A writer so reads a
    // long playlist a slice at a time, and never holds those who change it for long.
    bool readItems(std::size_t first, std::size_t count, std::uint64_t revision,
                   const std::function<void(const Item&)>& take) const;

    void setCallbackIfPlaying(PlayingCallback callback);
    void notifyPlaying(bool playing);
    void notifyStop();

private:
    bool append(Item item, bool check);
    // The item at the position with its index, the lock held.
    std::optional<Item> itemAt(std::size_t position) const;
    void queueCallback(bool playing, bool finished);

    mutable std::mutex lock_;
    std::wstring name_;
    const bool repeat_;
    std::vector<Item> items_;
    std::size_t position_ = 0;
    std::size_t textBytes_ = 0;
    std::uint64_t revision_ = 0;
    bool ended_ = false;
    PlayingCallback callback_;
    base::ChangeMark changes_;
};
