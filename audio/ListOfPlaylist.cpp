#include "audio/ListOfPlaylist.h"

#include <limits>
#include <string_view>

#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "foundation/Storage.h"

namespace {

using Tree = boost::property_tree::wptree;

// The pieces of the file around its values, as boost::property_tree's writer puts them.
constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
constexpr std::string_view kListStart = "<listOfPlaylist name=\"";
constexpr std::string_view kListEnd = "</listOfPlaylist>";
constexpr std::string_view kPlaylistStart = "<playlist name=\"";
constexpr std::string_view kRepeat = "\" repeat=\"";
constexpr std::string_view kCurrent = "\" current=\"";
constexpr std::string_view kPlaylistEnd = "</playlist>";
constexpr std::string_view kItemStart = "<item title=\"";
constexpr std::string_view kItemPath = "\" path=\"";
constexpr std::string_view kItemEnd = "\"/>";
// After the attributes: the end of a start tag, or of an element that holds nothing.
constexpr std::string_view kOpen = "\">";
constexpr std::string_view kEmpty = "\"/>";
// How many items a writer reads at a time under a playlist's lock.
constexpr std::size_t kSlice = 4096;

std::string_view flagText(bool value) {
    return value ? "true" : "false";
}

std::size_t itemOverhead() {
    return kItemStart.size() + kItemPath.size() + kItemEnd.size();
}

// The playlist's start tag up to its closing quote, without its name.
std::size_t playlistTagSize(bool repeat, std::size_t position) {
    return kPlaylistStart.size() + kRepeat.size() + flagText(repeat).size() + kCurrent.size() +
           std::to_string(position).size();
}

std::size_t playlistSize(const Playlist::Written& written, bool repeat) {
    const std::size_t tag = playlistTagSize(repeat, written.position) + storage::writtenSize(written.name);
    if (written.items == 0) return tag + kEmpty.size();
    return tag + kOpen.size() + written.items * itemOverhead() + written.textBytes + kPlaylistEnd.size();
}

void appendItem(std::string& out, const Playlist::Item& item) {
    out += kItemStart;
    storage::appendXmlText(out, item.title);
    out += kItemPath;
    storage::appendXmlText(out, item.path);
    out += kItemEnd;
}

// The playlist's element as it stands: its items are read a slice at a time, and read again
// whole, under one lock, when they keep changing meanwhile.
void appendPlaylist(std::string& out, const Playlist& playlist) {
    const std::size_t start = out.size();
    for (std::size_t attempt = 0;; ++attempt) {
        const Playlist::Written written = playlist.written();
        out += kPlaylistStart;
        storage::appendXmlText(out, written.name);
        out += kRepeat;
        out += flagText(playlist.isRepeat());
        out += kCurrent;
        out += std::to_string(written.position);
        if (written.items == 0) {
            out += kEmpty;
            return;
        }
        out += kOpen;
        const std::size_t slice = attempt < 2 ? kSlice : std::numeric_limits<std::size_t>::max();
        bool whole = true;
        for (std::size_t first = 0; whole && first < written.items; first += slice) {
            whole = playlist.readItems(first, slice, written.revision,
                                       [&](const Playlist::Item& item) { appendItem(out, item); });
        }
        if (whole) {
            out += kPlaylistEnd;
            return;
        }
        out.resize(start);
    }
}

template <class Value>
Value valueOf(const std::optional<std::wstring>& text, Value otherwise) {
    // As the tree reads an attribute: a value that does not read is the default.
    return text ? Tree(*text).get_value<Value>(otherwise) : otherwise;
}

}  // namespace

ListOfPlaylist::ListOfPlaylist(const std::wstring& name) : name_(name) {}

void ListOfPlaylist::deleteSelected() {
    std::lock_guard<std::mutex> guard(lock_);
    eraseSelected(playlists_, 0);
    changes_.mark();
}

long ListOfPlaylist::moveItem(long from, long to) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!move(playlists_, from, to)) return from;
    changes_.mark();
    return to;
}

std::vector<std::shared_ptr<Playlist>> ListOfPlaylist::getAll() const {
    std::lock_guard<std::mutex> guard(lock_);
    return playlists_;
}

std::shared_ptr<Playlist> ListOfPlaylist::getOne(std::size_t index) const {
    std::lock_guard<std::mutex> guard(lock_);
    debug::terminateIfOutOfRange(playlists_, static_cast<std::uint32_t>(index), "ListOfPlaylist::getOne");
    return playlists_[index];
}

void ListOfPlaylist::add(const std::shared_ptr<Playlist>& playlist) {
    debug::throwIfFalse(playlist != nullptr, "ListOfPlaylist::add");
    playlist->markChangesIn(changes_);
    std::lock_guard<std::mutex> guard(lock_);
    playlists_.push_back(playlist);
    changes_.mark();
}

Tree ListOfPlaylist::toTree() const {
    // Built in place and item by item without paths: a list may hold a hundred thousand items,
    // and a copy of the tree or a path parsed per item costs as much again.
    Tree file;
    Tree& root = file.add_child(L"listOfPlaylist", Tree());
    root.put(L"<xmlattr>.name", name_);
    for (const auto& playlist : getAll()) {
        Tree& node = root.add_child(L"playlist", Tree());
        node.put(L"<xmlattr>.name", playlist->getName());
        node.put(L"<xmlattr>.repeat", playlist->isRepeat());
        node.put(L"<xmlattr>.current", playlist->getCurrentPosition());
        for (Playlist::Item& item : playlist->getItems()) {
            Tree& attributes =
                node.push_back({L"item", Tree()})->second.push_back({L"<xmlattr>", Tree()})->second;
            attributes.push_back({L"title", Tree(std::move(item.title))});
            attributes.push_back({L"path", Tree(std::move(item.path))});
        }
    }
    return file;
}

std::string ListOfPlaylist::xmlText() const {
    const auto playlists = getAll();
    std::string out;
    out.reserve(writtenSize());
    out += kDeclaration;
    out += kListStart;
    storage::appendXmlText(out, name_);
    if (playlists.empty()) {
        out += kEmpty;
    } else {
        out += kOpen;
        for (const auto& playlist : playlists) appendPlaylist(out, *playlist);
        out += kListEnd;
    }
    if (out.size() > kMaximumFileSize) throw storage::TooLarge(out.size(), kMaximumFileSize);
    return out;
}

void ListOfPlaylist::read(const storage::XmlElement& document) {
    // Every playlist and item the file holds, read from the parsed text without a tree: the
    // text, its parsed elements and the playlists take a few times the file's size.
    std::vector<std::shared_ptr<Playlist>> loaded;
    storage::XmlElement root = document.firstChild();
    while (root && !root.named("listOfPlaylist")) root = root.next();
    for (storage::XmlElement node = root.firstChild(); node; node = node.next()) {
        if (!node.named("playlist")) continue;
        auto playlist = std::make_shared<Playlist>(node.attribute("name").value_or(std::wstring()),
                                                   valueOf(node.attribute("repeat"), true));
        std::size_t items = 0;
        for (storage::XmlElement item = node.firstChild(); item; item = item.next())
            items += item.named("item");
        playlist->reserve(items);
        std::size_t restored = 0;
        for (storage::XmlElement item = node.firstChild(); item; item = item.next()) {
            if (item.named("item") &&
                playlist->restore(Playlist::Item(item.attribute("title").value_or(std::wstring()),
                                                 item.attribute("path").value_or(std::wstring()))))
                ++restored;
        }
        // The stored position counts only where it names an item.
        const long current = valueOf(node.attribute("current"), 0L);
        if (current > 0 && static_cast<std::size_t>(current) < restored)
            playlist->current(static_cast<std::size_t>(current));
        loaded.push_back(playlist);
    }
    for (const auto& playlist : loaded) playlist->markChangesIn(changes_);
    std::lock_guard<std::mutex> guard(lock_);
    playlists_ = std::move(loaded);
    changes_.mark();
}

std::size_t ListOfPlaylist::writtenSize(const Playlist::Item& item) {
    return itemOverhead() + storage::writtenSize(item.title) + storage::writtenSize(item.path);
}

std::size_t ListOfPlaylist::writtenSize() const {
    const auto playlists = getAll();
    std::size_t size = kDeclaration.size() + kListStart.size() + storage::writtenSize(name_);
    if (playlists.empty()) return size + kEmpty.size();
    size += kOpen.size() + kListEnd.size();
    for (const auto& playlist : playlists) size += playlistSize(playlist->written(), playlist->isRepeat());
    return size;
}

std::size_t ListOfPlaylist::addedSize(const Playlist& playlist, const std::vector<Playlist::Item>& items) {
    if (items.empty()) return 0;
    std::size_t size = 0;
    for (const Playlist::Item& item : items) size += writtenSize(item);
    // An element that held nothing gains its end tag.
    if (playlist.written().items == 0) size += kOpen.size() + kPlaylistEnd.size() - kEmpty.size();
    return size;
}

std::size_t ListOfPlaylist::addedSize(const std::wstring& playlistName) const {
    std::size_t size = playlistTagSize(true, 0) + storage::writtenSize(playlistName) + kEmpty.size();
    if (getAll().empty()) size += kOpen.size() + kListEnd.size() - kEmpty.size();
    return size;
}

storage::StateFileRead ListOfPlaylist::load(const std::wstring& path) {
    read_ = storage::readStateFile(path, kMaximumFileSize,
                                   [this](const storage::XmlElement& document) { read(document); });
    return read_;
}

void ListOfPlaylist::save(const std::wstring& path) const {
    if (read_ == storage::StateFileRead::unreadable) {
        debug::Place("ListOfPlaylist::save").warn(L"Файл '%1%' не сохранён: он был повреждён", path);
        return;
    }
    storage::saveText(path, xmlText());
}
