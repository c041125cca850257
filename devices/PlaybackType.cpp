#include "devices/PlaybackType.h"

#include "foundation/ProgramTables.h"

namespace device::playback {

std::wstring nameOf(PlaybackType type) { return std::wstring(device::playbackTypeName(type)); }

}  // namespace device::playback
