#include "audio/Playlist.h"

#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Storage.h"
#include "foundation/ThreadDispatcher.h"

namespace {

std::size_t textSize(const Playlist::Item& item) {
    return storage::writtenSize(item.title) + storage::writtenSize(item.path);
}

void reportEmpty(const std::wstring& title, const std::wstring& path) {
    debug::Place("Playlist::Item::Item")
        .warn(L"Internal error. Title or path is empty, title is '%1%', path is '%2%'", title, path);
}

}  // namespace

Playlist::Item::Item(std::wstring title, std::wstring path, int index)
    : title(std::move(title)), path(std::move(path)), index(index) {
    if (this->title.empty() || this->path.empty()) reportEmpty(this->title, this->path);
}

Playlist::Playlist(const std::wstring& name, bool repeat) : name_(name), repeat_(repeat) {}

void Playlist::deleteSelected() {
    std::lock_guard<std::mutex> guard(lock_);
    for (const std::size_t index : selectionWithin(items_.size())) textBytes_ -= textSize(items_[index]);
    const std::size_t before = eraseSelected(items_, position_);
    ++revision_;
    position_ -= before;
    if (position_ >= items_.size()) position_ = items_.empty() ? 0 : items_.size() - 1;
    changes_.mark();
}

long Playlist::moveItem(long from, long to) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!move(items_, from, to)) return from;
    position_ = followMove(position_, from, to);
    ++revision_;
    changes_.mark();
    return to;
}

bool Playlist::checkItem(const std::wstring& path) {
    for (const wchar_t* scheme : {L"http://", L"sine://", L"adev://", L"line://"})
        if (path.find(scheme) != std::wstring::npos) return true;
    return base::pathExists(path);
}

bool Playlist::append(Item item, bool check) {
    if (item.title.empty() || item.path.empty()) {
        reportEmpty(item.title, item.path);
        return false;
    }
    if (check && !checkItem(item.path)) {
        debug::Place("Playlist::add").warn(L"Путь некорректный '%1%'", item.path);
        return false;
    }
    const std::size_t bytes = textSize(item);
    std::lock_guard<std::mutex> guard(lock_);
    items_.push_back(std::move(item));
    textBytes_ += bytes;
    ++revision_;
    changes_.mark();
    return true;
}

bool Playlist::add(const std::wstring& title, const std::wstring& path) {
    return append(Item(title, path), true);
}

void Playlist::add(const std::vector<Item>& items) {
    for (const Item& item : items) append(item, true);
}

bool Playlist::restore(Item item) {
    return append(std::move(item), false);
}

bool Playlist::update(const Item& item) {
    if (!checkItem(item.path)) {
        debug::Place("Playlist::update").warn(L"Путь некорректный '%1%'", item.path);
        return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (item.index < 0 || static_cast<std::size_t>(item.index) >= items_.size()) {
        debug::Place("Playlist::update").warn(L"Internal error. list index out of bounds");
        return false;
    }
    Item& updated = items_[static_cast<std::size_t>(item.index)];
    textBytes_ = textBytes_ - textSize(updated) + textSize(item);
    updated.title = item.title;
    updated.path = item.path;
    ++revision_;
    changes_.mark();
    return true;
}

void Playlist::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    items_.clear();
    position_ = 0;
    textBytes_ = 0;
    ended_ = false;
    ++revision_;
    changes_.mark();
}

std::optional<Playlist::Item> Playlist::current(std::size_t position) {
    std::lock_guard<std::mutex> guard(lock_);
    if (position >= items_.size()) {
        debug::Place("Playlist::current")
            .warn(L"Internal error. Position %1% is outside the playlist (%2% items)", position,
                  items_.size());
        return std::nullopt;
    }
    if (position_ != position) changes_.mark();
    position_ = position;
    ended_ = false;
    Item item = items_[position_];
    item.index = static_cast<int>(position_);
    return item;
}

std::optional<Playlist::Item> Playlist::getCurrentItem() const {
    std::lock_guard<std::mutex> guard(lock_);
    return itemAt(position_);
}

std::optional<Playlist::Item> Playlist::itemAt(std::size_t position) const {
    if (position >= items_.size()) return std::nullopt;
    Item item = items_[position];
    item.index = static_cast<int>(position);
    return item;
}

std::size_t Playlist::getCurrentPosition() const {
    std::lock_guard<std::mutex> guard(lock_);
    return position_;
}

std::optional<Playlist::Item> Playlist::next() {
    std::size_t position = 0;
    bool atEnd = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (items_.empty()) return std::nullopt;
        if (position_ + 1 < items_.size()) {
            position = position_ + 1;
        } else if (repeat_) {
            position = 0;
        } else {
            if (position_ != 0) changes_.mark();
            position_ = 0;
            ended_ = true;
            atEnd = true;
        }
    }
    if (!atEnd) return current(position);
    queueCallback(false, true);
    return std::nullopt;
}

std::optional<Playlist::Item> Playlist::previous() {
    std::size_t position = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (items_.empty()) return std::nullopt;
        position = position_ > 0 ? position_ - 1 : (repeat_ ? items_.size() - 1 : 0);
    }
    return current(position);
}

bool Playlist::empty() const {
    std::lock_guard<std::mutex> guard(lock_);
    return items_.empty();
}

void Playlist::reserve(std::size_t count) {
    std::lock_guard<std::mutex> guard(lock_);
    items_.reserve(count);
}

std::vector<Playlist::Item> Playlist::getItems() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Item> items = items_;
    for (std::size_t index = 0; index < items.size(); ++index) items[index].index = static_cast<int>(index);
    return items;
}

std::size_t Playlist::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return items_.size();
}

std::optional<Playlist::Item> Playlist::getItem(std::size_t position) const {
    std::lock_guard<std::mutex> guard(lock_);
    return itemAt(position);
}

std::pair<std::wstring, std::wstring> Playlist::longestTexts() const {
    std::lock_guard<std::mutex> guard(lock_);
    const Item* title = nullptr;
    const Item* path = nullptr;
    for (const Item& item : items_) {
        if (!title || item.title.size() > title->title.size()) title = &item;
        if (!path || item.path.size() > path->path.size()) path = &item;
    }
    return {title ? title->title : std::wstring(), path ? path->path : std::wstring()};
}

std::wstring Playlist::getName() const {
    std::lock_guard<std::mutex> guard(lock_);
    return name_;
}

void Playlist::setName(const std::wstring& name) {
    debug::Place("Playlist::setName").trace(L"Playlist::setName(%1%)", name);
    std::lock_guard<std::mutex> guard(lock_);
    name_ = name;
    changes_.mark();
}

void Playlist::markChangesIn(base::ChangeMark changes) {
    std::lock_guard<std::mutex> guard(lock_);
    changes_ = std::move(changes);
}

bool Playlist::isPlayable() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !items_.empty() && !ended_;
}

Playlist::Written Playlist::written() const {
    std::lock_guard<std::mutex> guard(lock_);
    return {name_, position_, items_.size(), textBytes_, revision_};
}

bool Playlist::readItems(std::size_t first, std::size_t count, std::uint64_t revision,
                         const std::function<void(const Item&)>& take) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (revision != revision_) return false;
    for (std::size_t index = first; index < items_.size() && index - first < count; ++index)
        take(items_[index]);
    return true;
}

void Playlist::setCallbackIfPlaying(PlayingCallback callback) {
    std::lock_guard<std::mutex> guard(lock_);
    callback_ = std::move(callback);
}

void Playlist::notifyPlaying(bool playing) {
    queueCallback(playing, false);
}

void Playlist::notifyStop() {
    queueCallback(false, true);
}

void Playlist::queueCallback(bool playing, bool finished) {
    PlayingCallback callback;
    {
        std::lock_guard<std::mutex> guard(lock_);
        callback = callback_;
    }
    if (!callback) return;
    base::ThreadDispatcher::add(L"playlist playing notification", 0,
                                [callback, playing, finished] { callback(playing, finished); });
}
