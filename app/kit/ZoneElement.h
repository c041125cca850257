#pragma once
// A zone: a named group of devices with its own volume, holding nested zones. The main window
// keeps one tree of them under the root "Все зоны", changes it on the GUI thread under the
// GUI lock (GuiLocker) and stores it in "zone_collection.xml".

#include <boost/property_tree/ptree.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/NetworkAddress.h"

namespace device {
class DeviceBase;
}

namespace frm {

class ZoneElement {
public:
    using DevicePtr = std::shared_ptr<device::DeviceBase>;
    using ZonePtr = std::shared_ptr<ZoneElement>;
    // The device of a hardware address, or null when the registry does not know it.
    using Resolver = std::function<DevicePtr(const net::HardwareAddress&)>;
    // Whether something else (the schedule) still needs the device.
    using UsedCheck = std::function<bool(const DevicePtr&)>;

    static constexpr const wchar_t* kRootName = L"Все зоны";
    // Zones nest at most this deep below the root, which keeps the file well within what the
    // storage layer reads back.
    static constexpr int kMaximumDepth = 16;
    static constexpr std::size_t kMaximumNameLength = 100;
    // 500 zones each holding 200 loudspeakers write about 4 MB; a site writes about 0.2 MB. (Each
    // of 500 zones holding all of 1000 loudspeakers would write 18.6 MB: such a tree is not saved.)
    static constexpr std::size_t kMaximumFileSize = 8u << 20;
    static constexpr int kNoVolume = -1;

    // True once the zone is complete (made or read from the file).
    bool built = false;
    std::wstring name;
    std::vector<DevicePtr> devices;
    std::vector<ZonePtr> zones;
    // Percent, or kNoVolume while none was set.
    int volume = kNoVolume;
    // Devices of the file that the registry does not know yet; kept so that a save never drops
    // them, and moved to `devices` when they appear (adopt).
    std::vector<net::HardwareAddress> unknownDevices;

    static ZonePtr makeRoot();
    // A copy of the zone and its nested zones, sharing only the devices: what a writer reads
    // while the tree goes on changing.
    ZonePtr copy() const;

    // The trimmed name when it may name a zone (not empty, at most kMaximumNameLength
    // characters); empty otherwise.
    static std::wstring validName(const std::wstring& name);

    // A new zone named `name` inside `parent` (a zone of this tree); null when the name is not
    // valid or the new zone would nest deeper than kMaximumDepth.
    ZonePtr createZone(ZoneElement& parent, const std::wstring& name);
    // False, with nothing changed, when the zone is not in this tree or is the tree's root.
    bool deleteZone(const ZoneElement& zone);
    // Nesting below this zone: 0 for this zone, -1 when the zone is not in the tree.
    int depthOf(const ZoneElement& zone) const;

    // Adds the devices not yet in this zone; the number added.
    std::size_t addDevices(const std::vector<DevicePtr>& added);
    // The zone's name as given (validName and the bound are its caller's).
    void rename(const std::wstring& zoneName);
    // The bytes of the file of the tree whose root this is, exactly as toTree writes it. A tree
    // made by makeRoot, fromTree or copy keeps the sum as it changes through these members, so
    // that a check against the bound costs the same at any size; a tree's name, volume and
    // vectors are therefore changed only through them.
    std::size_t writtenSize() const;
    // Whether that file takes the devices not yet in `zone`, a new zone of that name in `parent`,
    // `zone` renamed, or its volume set; a change that would take it past kMaximumFileSize could
    // not be saved, so it is refused before it is made, and told.
    bool takesDevices(const ZoneElement& zone, const std::vector<DevicePtr>& added) const;
    bool takesZone(const ZoneElement& parent, const std::wstring& zoneName) const;
    bool takesRename(const ZoneElement& zone, const std::wstring& zoneName) const;
    bool takesVolume(const ZoneElement& zone, int percent) const;
    // Removes the devices that `isUsed` does not keep; the kept ones are returned.
    std::vector<DevicePtr> removeDevices(const std::vector<DevicePtr>& removed, const UsedCheck& isUsed);
    void setVolume(int percent);
    // The volume as the zone panel tells it beside its slider: "70 %", or "не задана" for
    // kNoVolume.
    static std::wstring volumeText(int volume);

    // The devices of this zone and of its nested zones, each once, depth first.
    std::vector<DevicePtr> collectDevices() const;
    // Moves the device from the unknown ones of every zone to its devices; true when one took it.
    bool adopt(const DevicePtr& device);

    // The file's tree and back. Reading trusts nothing: bad addresses and volumes are dropped,
    // long names cut, and nesting beyond what the storage layer reads cannot occur.
    boost::property_tree::wptree toTree() const;
    static ZonePtr fromTree(const boost::property_tree::wptree& tree, const Resolver& resolve);

private:
    // The bytes of the elements of one tree, shared by its zones.
    struct TreeSize {
        const ZoneElement* root;
        std::size_t elements;
    };

    // Counts the tree whose root this is and makes its zones keep the count.
    void countTree();
    void joinTree(const std::shared_ptr<TreeSize>& size);
    ZonePtr copyZones() const;
    // What the zone's own element takes, without its nested zones' elements.
    std::size_t ownSize() const;
    // Makes a change to the zone's own element and counts it in its tree.
    template <class Change>
    void changeOwn(Change change);
    // Whether the file takes `size` bytes; told when it does not.
    static bool takes(std::size_t size, const wchar_t* what);
    // What the zone's element takes, its nested zones' included.
    std::size_t elementSize() const;
    bool holdsNothing() const { return devices.empty() && unknownDevices.empty() && zones.empty(); }
    void collectInto(std::vector<DevicePtr>& result) const;
    void writeInto(boost::property_tree::wptree& node) const;
    // `depth` is this zone's nesting below the root.
    void readFrom(const boost::property_tree::wptree& node, const Resolver& resolve, int depth);

    std::shared_ptr<TreeSize> treeSize_;
};

}  // namespace frm
