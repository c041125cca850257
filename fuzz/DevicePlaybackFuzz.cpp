// "device_playback.xml", the drive panel's playback kept across a restart: the medium, its current
// file and whether it played, read from any file that reads, are saved as a file that reads back
// as the same playback and is saved again byte for byte the same.

#include "FuzzSupport.h"
#include "foundation/Files.h"
#include "panels/Drives.h"

namespace {

bool operator==(const frm::DevicePlayback& a, const frm::DevicePlayback& b) {
    return a.disk == b.disk && a.current == b.current && a.playback == b.playback;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr const char* name = "device_playback.xml";
    boost::property_tree::wptree tree;
    if (!fuzz::readStateFile(name, data, size, frm::kDevicePlaybackFileSize, tree)) return 0;
    const frm::DevicePlayback read = frm::devicePlaybackFrom(tree);
    const boost::property_tree::wptree written = frm::devicePlaybackTree(read);
    fuzz::require(frm::devicePlaybackFrom(fuzz::saveAndReload(name, written)) == read,
                  "a saved drive playback reads back as the same playback");
    const std::string saved = base::readFile(fuzz::scratchFile(name));
    fuzz::saveAndReload(name, frm::devicePlaybackTree(read));
    fuzz::require(base::readFile(fuzz::scratchFile(name)) == saved, "a drive playback is saved as it was");
    return 0;
}
