#include "panels/MessageStore.h"

#include "foundation/Files.h"
#include "foundation/Place.h"

namespace frm {
namespace {

using Tree = boost::property_tree::wptree;

constexpr const wchar_t* kRoot = L"tree";

std::wstring relocated(std::wstring path, const MessageFolders& folders) {
    if (!base::fileExistsIn(path, folders.messages)) base::fileExistsIn(path, folders.recorded);
    return path;
}

std::wstring text(const Tree& element, const wchar_t* name) {
    return element.get<std::wstring>(name, L"");
}

class Reader {
public:
    explicit Reader(const MessageFolders& folders) : folders_(folders) {}

    // The items of the element go below the parent; a group's own "name" is not one of them.
    void readItems(const Tree& element, MessageItem& parent, bool group) {
        bool nameSeen = !group;
        for (const auto& [tag, child] : element) {
            if (!nameSeen && tag == L"name") {
                nameSeen = true;
                continue;
            }
            if (!readItem(tag, child, parent)) parent.held.push_back({parent.children.size(), tag, child});
        }
    }

private:
    bool readItem(const std::wstring& tag, const Tree& element, MessageItem& parent) {
        if (tag != L"group" && tag != L"message") return false;
        // Empty texts are taken as they are; only a missing element makes a record unreadable.
        if (!element.get_child_optional(L"name")) return false;
        if (tag == L"message" && !element.get_child_optional(L"message")) return false;
        MessageItem item;
        item.name = text(element, L"name");
        if (tag == L"message") {
            item.kind = MessageItem::messageItem;
            item.message = relocated(text(element, L"message"), folders_);
            item.gong = relocated(text(element, L"gong"), folders_);
        }
        if (item.kind == MessageItem::groupItem) readItems(element, item, true);
        parent.children.push_back(std::move(item));
        return true;
    }

    const MessageFolders& folders_;
};

void writeItems(const MessageItem& parent, Tree& element, const std::wstring& messageFolder) {
    auto held = parent.held.begin();
    const auto writeHeld = [&](std::size_t position) {
        // Pushed, not added by path: a tag read from a file may hold the path separator.
        for (; held != parent.held.end() && held->position <= position; ++held)
            element.push_back(Tree::value_type(held->tag, held->element));
    };
    for (std::size_t index = 0; index < parent.children.size(); ++index) {
        writeHeld(index);
        const MessageItem& item = parent.children[index];
        if (item.kind == MessageItem::groupItem) {
            Tree& group = element.add_child(L"group", Tree());
            group.put(L"name", item.name);
            writeItems(item, group, messageFolder);
        } else if (item.kind != MessageItem::messageItem) {
            debug::Place("frm::SourceServicePanel::save")
                .error(L"Internal error. Unknown type '%1%'", item.kind);
        } else {
            Tree& message = element.add_child(L"message", Tree());
            message.put(L"name", item.name);
            std::wstring path = item.message;
            base::fileExistsIn(path, messageFolder);
            message.put(L"message", path);
            path = item.gong;
            base::fileExistsIn(path, messageFolder);
            message.put(L"gong", path);
        }
    }
    writeHeld(static_cast<std::size_t>(-1));
}

}  // namespace

std::optional<MessageItem> readMessageTree(const Tree& file, const MessageFolders& folders) {
    const auto root = file.get_child_optional(kRoot);
    if (!root) return std::nullopt;
    MessageItem item;
    Reader(folders).readItems(*root, item, false);
    return item;
}

MessageFile readMessageFile(const std::wstring& path, const MessageFolders& folders) {
    const debug::Place place("frm::SourceServicePanel::load");
    MessageFile file;
    Tree tree;
    file.read = storage::readStateFile(path, tree, kMessageFileSize);
    if (file.read == storage::StateFileRead::loaded) {
        file.root = readMessageTree(tree, folders);
        if (!file.root) file.read = storage::keepAsideDamaged(path, L"нет корня 'tree'");
    }
    if (!file.root) place.external(L"Service message not loaded");
    return file;
}

Tree writeMessageTree(const MessageItem& root, const std::wstring& messageFolder) {
    Tree file;
    writeItems(root, file.add_child(kRoot, Tree()), messageFolder);
    return file;
}

}  // namespace frm
