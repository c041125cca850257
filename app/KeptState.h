#pragma once
// The files of each kind of kept state as the state saver takes them on the window's thread: the
// model's own data, shared or copied without building its tree, which is made, with its text,
// where the file is written. A text past its kind's bound throws storage::TooLarge, so the saver
// leaves the file as it is, one that the next start still reads.

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <string>
#include <vector>

#include "app/StateSaver.h"
#include "app/kit/ZoneElement.h"
#include "panels/MessageStore.h"
#include "panels/SchedulerStore.h"

class ListOfPlaylist;

namespace frm {

// The devices are shared: each reads its own values under its lock.
StateSaver::File devicesFile(const std::wstring& path, std::vector<ZoneElement::DevicePtr> devices);
// The list is shared: it and its playlists read their items under their locks.
StateSaver::File playlistsFile(const std::wstring& path, std::shared_ptr<const ListOfPlaylist> list);
// The zones are copied, their devices shared; the caller holds the GUI lock.
StateSaver::File zonesFile(const std::wstring& path, const ZoneElement& root);
// The messages are handed over as they were collected.
StateSaver::File messagesFile(const std::wstring& path, MessageItem root, std::wstring messageFolder);
// The tasks are shared: each reads its own values under its lock.
StateSaver::File schedulerFile(const std::wstring& path, SchedulerStore::Kept kept);
// A tree made on the window's thread, handed over.
StateSaver::File treeFile(const std::wstring& path, std::size_t bound, boost::property_tree::wptree tree);

}  // namespace frm
