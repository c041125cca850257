#include "app/StateFileBounds.h"

#include "app/DeviceCollectionFile.h"
#include "app/kit/ZoneElement.h"
#include "audio/ListOfPlaylist.h"
#include "foundation/Storage.h"
#include "panels/Drives.h"
#include "panels/MessageStore.h"
#include "panels/SchedulerStore.h"
#include "panels/SourceServicePanel.h"

namespace frm {

std::size_t stateFileBound(const std::wstring& name) {
    if (name == L"device_collection.xml") return kDeviceCollectionFileSize;
    if (name == L"zone_collection.xml") return ZoneElement::kMaximumFileSize;
    if (name == ListOfPlaylist::kMusicFile || name == ListOfPlaylist::kRadioFile)
        return ListOfPlaylist::kMaximumFileSize;
    if (name == SchedulerStore::kFileName) return SchedulerStore::kMaximumFileSize;
    if (name == SourceServicePanel::kServiceFile || name == SourceServicePanel::kAlarmFile)
        return kMessageFileSize;
    if (name == L"device_playback.xml") return kDevicePlaybackFileSize;
    return storage::kLargestStateFile;
}

}  // namespace frm
