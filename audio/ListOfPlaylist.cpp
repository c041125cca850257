#include "audio/ListOfPlaylist.h"

#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "foundation/Storage.h"

namespace {

using Tree = boost::property_tree::wptree;

// The attribute as the XML reader keeps it, or an empty text; found without a path parsed,
// since a list may hold a hundred thousand items.
std::wstring attributeOf(const Tree& element, const std::wstring& name) {
    static const std::wstring attributesKey = L"<xmlattr>";
    const auto attributes = element.find(attributesKey);
    if (attributes == element.not_found()) return {};
    const auto value = attributes->second.find(name);
    return value == attributes->second.not_found() ? std::wstring() : value->second.data();
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

void ListOfPlaylist::fromTree(const Tree& tree) {
    // Every playlist and item the file holds: the parsed tree is in memory already and costs about
    // as much as the playlists made from it, so the file's size bounds both.
    std::vector<std::shared_ptr<Playlist>> loaded;
    const auto root = tree.get_child_optional(L"listOfPlaylist");
    if (root) {
        for (const auto& [key, node] : *root) {
            if (key != L"playlist") continue;
            auto playlist = std::make_shared<Playlist>(node.get(L"<xmlattr>.name", L""),
                                                       node.get(L"<xmlattr>.repeat", true));
            static const std::wstring itemKey = L"item", titleKey = L"title", pathKey = L"path";
            std::size_t restored = 0;
            for (const auto& [tag, item] : node) {
                if (tag == itemKey && playlist->restore(Playlist::Item(attributeOf(item, titleKey),
                                                                       attributeOf(item, pathKey))))
                    ++restored;
            }
            // The stored position counts only where it names an item.
            const long current = node.get(L"<xmlattr>.current", 0L);
            if (current > 0 && static_cast<std::size_t>(current) < restored)
                playlist->current(static_cast<std::size_t>(current));
            loaded.push_back(playlist);
        }
    }
    for (const auto& playlist : loaded) playlist->markChangesIn(changes_);
    std::lock_guard<std::mutex> guard(lock_);
    playlists_ = std::move(loaded);
    changes_.mark();
}

std::size_t ListOfPlaylist::writtenSize(const Playlist::Item& item) {
    static const std::size_t element = std::string("<item title=\"\" path=\"\"/>").size();
    return element + storage::writtenSize(item.title) + storage::writtenSize(item.path);
}

std::size_t ListOfPlaylist::writtenSize() const {
    // The declaration and the root element, and each playlist's element with the longest values
    // of its flag and its position.
    static const std::size_t file =
        std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<listOfPlaylist name=\"\"></listOfPlaylist>")
            .size();
    static const std::size_t playlist =
        std::string("<playlist name=\"\" repeat=\"false\" current=\"18446744073709551615\"></playlist>")
            .size();
    std::size_t size = file + storage::writtenSize(name_);
    for (const auto& one : getAll()) {
        size += playlist + storage::writtenSize(one->getName());
        for (const Playlist::Item& item : one->getItems()) size += writtenSize(item);
    }
    return size;
}

void ListOfPlaylist::load(const std::wstring& path) {
    Tree tree;
    read_ = storage::readStateFile(path, tree, kMaximumFileSize);
    if (read_ == storage::StateFileRead::loaded) fromTree(tree);
}

void ListOfPlaylist::save(const std::wstring& path) const {
    if (read_ == storage::StateFileRead::unreadable) {
        debug::Place("ListOfPlaylist::save").warn(L"Файл '%1%' не сохранён: он был повреждён", path);
        return;
    }
    storage::save(path, toTree(), kMaximumFileSize);
}
