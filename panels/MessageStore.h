#pragma once
// The groups and messages of a message panel as "service_message.xml" and "alarm_message.xml"
// keep them: a "tree" root holding "group" elements ("name" first, then the group's own items)
// and "message" elements ("name", "message", "gong"), nested to any depth.
//
// Every item the file holds is shown: the parsed file is in memory already and costs about as much
// as the items made from it, so the file's size bounds both. An element that is not understood (a
// group without its "name", a message without its "name" or "message", anything else) is not shown
// but held where it stood and written back there, so that a damaged record is neither lost nor
// takes the records around it along. Empty names and paths are read as they are. An item of
// neither kind is not written.

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Storage.h"

namespace frm {

// An element of the file held as it was read.
struct HeldRecord {
    // Written before the item at this index among its siblings; at the end when beyond them.
    std::size_t position = 0;
    std::wstring tag;
    boost::property_tree::wptree element;
};

// A group with its items, or a message; the panel's hidden root is a group without a name.
struct MessageItem {
    enum Kind : std::int32_t { groupItem = 0, messageItem = 1 };

    std::int32_t kind = groupItem;
    std::wstring name;
    // Full paths; the gong is empty for none, both are empty for a group.
    std::wstring gong;
    std::wstring message;
    std::vector<MessageItem> children;
    std::vector<HeldRecord> held;
};

// Where a stored path that no longer exists is looked for, by its file name: the panel's message
// folder, then the recorded-message folder.
struct MessageFolders {
    std::wstring messages;
    std::wstring recorded;
};

// The root item of the file's tree, or none when the file has no "tree" root. Paths are
// relocated on the way in (message folder, then recorded-message folder; a path found nowhere
// stays as read).
std::optional<MessageItem> readMessageTree(const boost::property_tree::wptree& file,
                                           const MessageFolders& folders);

// Ten thousand messages with Cyrillic names and paths write 2.5 MB.
constexpr std::size_t kMessageFileSize = 16u << 20;

// Reads the file at the path. A file that is not XML or has no "tree" root is kept aside as a
// damaged one (storage::readStateFile); `read` tells whether the file may be saved over.
struct MessageFile {
    storage::StateFileRead read = storage::StateFileRead::missing;
    // The root item; none unless the file was read.
    std::optional<MessageItem> root;
};
MessageFile readMessageFile(const std::wstring& path, const MessageFolders& folders);

// The file of the root's items, with the held records where they stood. Message and gong paths
// that no longer exist are relocated against the message folder.
boost::property_tree::wptree writeMessageTree(const MessageItem& root, const std::wstring& messageFolder);

}  // namespace frm
