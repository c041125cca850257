// "service_message.xml" and "alarm_message.xml": the message tree read from any file is saved
// with every element of the root that it did not show held in its place, so that a save never
// drops a record, and the saved file reads back as the same tree.

#include "FuzzSupport.h"
#include "panels/MessageStore.h"

namespace {

using Tree = boost::property_tree::wptree;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr const char* name = "service_message.xml";
    Tree tree;
    if (!fuzz::readStateFile(name, data, size, frm::kMessageFileSize, tree)) return 0;
    // Folders without files: no path is relocated.
    const frm::MessageFolders folders{fuzz::scratchFile("messages"), fuzz::scratchFile("record")};
    const auto root = frm::readMessageTree(tree, folders);
    if (!root) return 0;
    const Tree written = frm::writeMessageTree(*root, folders.messages);
    fuzz::require(written.get_child(L"tree").size() == tree.get_child(L"tree").size(),
                  "a save keeps every element of the root");
    const auto again = frm::readMessageTree(fuzz::saveAndReload(name, written), folders);
    fuzz::require(again && frm::writeMessageTree(*again, folders.messages) == written,
                  "a saved message tree reads back as the same tree");
    return 0;
}
