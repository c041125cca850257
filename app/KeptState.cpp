#include "app/KeptState.h"

#include "app/DeviceCollectionFile.h"
#include "audio/ListOfPlaylist.h"
#include "foundation/Storage.h"

namespace frm {

StateSaver::File devicesFile(const std::wstring& path, std::vector<ZoneElement::DevicePtr> devices) {
    return {path, kDeviceCollectionFileSize, [devices = std::move(devices)] {
                return storage::xmlText(deviceCollectionTree(devices), kDeviceCollectionFileSize);
            }};
}

StateSaver::File playlistsFile(const std::wstring& path, std::shared_ptr<const ListOfPlaylist> list) {
    return {path, ListOfPlaylist::kMaximumFileSize, [list = std::move(list)] { return list->xmlText(); }};
}

StateSaver::File zonesFile(const std::wstring& path, const ZoneElement& root) {
    return {path, ZoneElement::kMaximumFileSize, [zones = root.copy()] {
                return storage::xmlText(zones->toTree(), ZoneElement::kMaximumFileSize);
            }};
}

StateSaver::File messagesFile(const std::wstring& path, MessageItem root, std::wstring messageFolder) {
    // Shared, so that copies of the file do not copy the messages.
    auto kept = std::make_shared<const std::pair<MessageItem, std::wstring>>(std::move(root),
                                                                             std::move(messageFolder));
    return {path, kMessageFileSize, [kept] {
                return storage::xmlText(writeMessageTree(kept->first, kept->second), kMessageFileSize);
            }};
}

StateSaver::File schedulerFile(const std::wstring& path, SchedulerStore::Kept kept) {
    auto shared = std::make_shared<const SchedulerStore::Kept>(std::move(kept));
    return {path, SchedulerStore::kMaximumFileSize, [shared] { return SchedulerStore::xmlText(*shared); }};
}

StateSaver::File treeFile(const std::wstring& path, std::size_t bound, boost::property_tree::wptree tree) {
    // Swapped: a tree's move is a copy.
    auto kept = std::make_shared<boost::property_tree::wptree>();
    kept->swap(tree);
    return {path, bound, [kept, bound] { return storage::xmlText(*kept, bound); }};
}

}  // namespace frm
