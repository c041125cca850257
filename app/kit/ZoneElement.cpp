#include "app/kit/ZoneElement.h"

#include <algorithm>
#include <cstring>

#include "devicelink/DeviceBase.h"
#include "foundation/Place.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

using Tree = boost::property_tree::wptree;

bool sameAddress(const net::HardwareAddress& a, const net::HardwareAddress& b) {
    return a.getHigh() == b.getHigh() && a.getLow() == b.getLow();
}

std::wstring addressText(const net::HardwareAddress& address) {
    return base::widen(address.canonicalText());
}

// The pieces of the file around its values, as boost::property_tree's writer puts them.
constexpr const char* kCollectionStart = "<zone_collection version=\"1\">";
constexpr const char* kCollectionEnd = "</zone_collection>";
constexpr const char* kZoneStart = "<zone name=\"";
constexpr const char* kVolume = "\" volume=\"";
constexpr const char* kZoneEnd = "</zone>";
constexpr const char* kOpen = "\">";
constexpr const char* kEmpty = "\"/>";
// An element that held nothing and gains its first device or zone gains its end tag.
const std::size_t kOpenedGrowth = std::strlen(kOpen) + std::strlen(kZoneEnd) - std::strlen(kEmpty);

// Every hardware address is written in the same number of characters.
std::size_t deviceElementSize() {
    static const std::size_t size =
        std::strlen("<device address=\"\"/>") + addressText(net::HardwareAddress()).size();
    return size;
}

// The zone that held `zone`, which it holds no more; null when none of the tree did.
ZoneElement* parentOf(ZoneElement& tree, const ZoneElement& zone) {
    for (const ZoneElement::ZonePtr& child : tree.zones) {
        if (child.get() == &zone) return &tree;
        if (ZoneElement* parent = parentOf(*child, zone)) return parent;
    }
    return nullptr;
}

}  // namespace

ZoneElement::ZonePtr ZoneElement::copy() const {
    ZonePtr made = copyZones();
    made->countTree();
    return made;
}

ZoneElement::ZonePtr ZoneElement::copyZones() const {
    auto made = std::make_shared<ZoneElement>(*this);
    for (ZonePtr& zone : made->zones) zone = zone->copyZones();
    return made;
}

ZoneElement::ZonePtr ZoneElement::makeRoot() {
    auto root = std::make_shared<ZoneElement>();
    root->name = kRootName;
    root->built = true;
    root->countTree();
    return root;
}

void ZoneElement::countTree() {
    joinTree(std::make_shared<TreeSize>(TreeSize{this, elementSize()}));
}

void ZoneElement::joinTree(const std::shared_ptr<TreeSize>& size) {
    treeSize_ = size;
    for (const ZonePtr& zone : zones) zone->joinTree(size);
}

template <class Change>
void ZoneElement::changeOwn(Change change) {
    const std::size_t before = ownSize();
    change();
    if (!treeSize_) return;
    treeSize_->elements += ownSize();
    treeSize_->elements -= before;
}

std::wstring ZoneElement::validName(const std::wstring& name) {
    const std::size_t first = name.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return std::wstring();
    const std::wstring trimmed = name.substr(first, name.find_last_not_of(L" \t\r\n") - first + 1);
    return trimmed.size() <= kMaximumNameLength ? trimmed : std::wstring();
}

ZoneElement::ZonePtr ZoneElement::createZone(ZoneElement& parent, const std::wstring& zoneName) {
    const std::wstring checked = validName(zoneName);
    const int parentDepth = depthOf(parent);
    if (checked.empty() || parentDepth < 0 || parentDepth >= kMaximumDepth) return nullptr;
    auto zone = std::make_shared<ZoneElement>();
    zone->name = checked;
    zone->built = true;
    parent.changeOwn([&] { parent.zones.push_back(zone); });
    zone->treeSize_ = parent.treeSize_;
    if (zone->treeSize_) zone->treeSize_->elements += zone->elementSize();
    return zone;
}

bool ZoneElement::deleteZone(const ZoneElement& zone) {
    ZoneElement* parent = &zone != this ? parentOf(*this, zone) : nullptr;
    if (parent == nullptr) return false;
    if (parent->treeSize_) parent->treeSize_->elements -= zone.elementSize();
    // Held here until it is out of the tree and no longer counts in it.
    ZonePtr removed;
    parent->changeOwn([&] {
        const auto found = std::find_if(parent->zones.begin(), parent->zones.end(),
                                        [&](const ZonePtr& child) { return child.get() == &zone; });
        removed = *found;
        parent->zones.erase(found);
    });
    removed->joinTree(nullptr);
    return true;
}

int ZoneElement::depthOf(const ZoneElement& zone) const {
    if (&zone == this) return 0;
    for (const ZonePtr& child : zones) {
        const int depth = child->depthOf(zone);
        if (depth >= 0) return depth + 1;
    }
    return -1;
}

std::size_t ZoneElement::addDevices(const std::vector<DevicePtr>& added) {
    std::size_t count = 0;
    changeOwn([&] {
        for (const DevicePtr& device : added) {
            if (!device || std::find(devices.begin(), devices.end(), device) != devices.end()) continue;
            devices.push_back(device);
            ++count;
        }
    });
    return count;
}

void ZoneElement::rename(const std::wstring& zoneName) {
    changeOwn([&] { name = zoneName; });
}

std::size_t ZoneElement::writtenSize() const {
    const std::size_t elements = treeSize_ && treeSize_->root == this ? treeSize_->elements : elementSize();
    return storage::xmlText(Tree()).size() + std::strlen(kCollectionStart) + elements +
           std::strlen(kCollectionEnd);
}

std::size_t ZoneElement::ownSize() const {
    const std::size_t size = std::strlen(kZoneStart) + storage::writtenSize(name) + std::strlen(kVolume) +
                             std::to_string(volume).size();
    if (holdsNothing()) return size + std::strlen(kEmpty);
    return size + std::strlen(kOpen) + (devices.size() + unknownDevices.size()) * deviceElementSize() +
           std::strlen(kZoneEnd);
}

std::size_t ZoneElement::elementSize() const {
    std::size_t size = ownSize();
    for (const ZonePtr& zone : zones) size += zone->elementSize();
    return size;
}

bool ZoneElement::takesDevices(const ZoneElement& zone, const std::vector<DevicePtr>& added) const {
    std::vector<DevicePtr> adding;
    for (const DevicePtr& device : added) {
        if (device && std::find(zone.devices.begin(), zone.devices.end(), device) == zone.devices.end() &&
            std::find(adding.begin(), adding.end(), device) == adding.end())
            adding.push_back(device);
    }
    if (adding.empty()) return true;
    return takes(
        writtenSize() + adding.size() * deviceElementSize() + (zone.holdsNothing() ? kOpenedGrowth : 0),
        L"Устройства не добавлены в зону");
}

bool ZoneElement::takesZone(const ZoneElement& parent, const std::wstring& zoneName) const {
    ZoneElement zone;
    zone.name = zoneName;
    return takes(writtenSize() + zone.elementSize() + (parent.holdsNothing() ? kOpenedGrowth : 0),
                 L"Зона не создана");
}

bool ZoneElement::takesRename(const ZoneElement& zone, const std::wstring& zoneName) const {
    return takes(writtenSize() - storage::writtenSize(zone.name) + storage::writtenSize(zoneName),
                 L"Зона не переименована");
}

bool ZoneElement::takesVolume(const ZoneElement& zone, int percent) const {
    return takes(writtenSize() - std::to_string(zone.volume).size() +
                     std::to_string(std::clamp(percent, 0, 100)).size(),
                 L"Громкость зоны не изменена");
}

bool ZoneElement::takes(std::size_t size, const wchar_t* what) {
    return storage::withinBound(size, kMaximumFileSize, what, L"файл зон",
                                L"Удалите ненужные зоны или устройства из них");
}

std::vector<ZoneElement::DevicePtr> ZoneElement::removeDevices(const std::vector<DevicePtr>& removed,
                                                               const UsedCheck& isUsed) {
    std::vector<DevicePtr> kept;
    changeOwn([&] {
        for (const DevicePtr& device : removed) {
            const auto found = std::find(devices.begin(), devices.end(), device);
            if (found == devices.end()) continue;
            if (isUsed && isUsed(device)) {
                kept.push_back(device);
            } else {
                devices.erase(found);
            }
        }
    });
    return kept;
}

void ZoneElement::setVolume(int percent) {
    changeOwn([&] { volume = std::clamp(percent, 0, 100); });
}

std::wstring ZoneElement::volumeText(int volume) {
    return volume == kNoVolume ? std::wstring(L"не задана") : std::to_wstring(volume) + L" %";
}

std::vector<ZoneElement::DevicePtr> ZoneElement::collectDevices() const {
    std::vector<DevicePtr> result;
    collectInto(result);
    return result;
}

void ZoneElement::collectInto(std::vector<DevicePtr>& result) const {
    for (const DevicePtr& device : devices) {
        if (std::find(result.begin(), result.end(), device) == result.end()) result.push_back(device);
    }
    for (const ZonePtr& zone : zones) zone->collectInto(result);
}

bool ZoneElement::adopt(const DevicePtr& device) {
    bool taken = false;
    const auto matches = [&](const net::HardwareAddress& address) {
        return sameAddress(address, device->getHardwareAddress());
    };
    const auto unknown = std::remove_if(unknownDevices.begin(), unknownDevices.end(), matches);
    if (unknown != unknownDevices.end()) {
        changeOwn([&] { unknownDevices.erase(unknown, unknownDevices.end()); });
        addDevices({device});
        taken = true;
    }
    for (const ZonePtr& zone : zones) taken = zone->adopt(device) || taken;
    return taken;
}

Tree ZoneElement::toTree() const {
    Tree tree;
    Tree& collection = tree.add_child(L"zone_collection", Tree());
    collection.put(L"<xmlattr>.version", 1);
    writeInto(collection.add_child(L"zone", Tree()));
    return tree;
}

void ZoneElement::writeInto(Tree& node) const {
    node.put(L"<xmlattr>.name", name);
    node.put(L"<xmlattr>.volume", volume);
    for (const DevicePtr& device : devices) {
        node.add_child(L"device", Tree())
            .put(L"<xmlattr>.address", addressText(device->getHardwareAddress()));
    }
    for (const net::HardwareAddress& address : unknownDevices) {
        node.add_child(L"device", Tree()).put(L"<xmlattr>.address", addressText(address));
    }
    for (const ZonePtr& zone : zones) zone->writeInto(node.add_child(L"zone", Tree()));
}

ZoneElement::ZonePtr ZoneElement::fromTree(const Tree& tree, const Resolver& resolve) {
    ZonePtr root = makeRoot();
    const auto collection = tree.get_child_optional(L"zone_collection");
    if (!collection) return root;
    const auto stored = collection->get_child_optional(L"zone");
    if (stored) root->readFrom(*stored, resolve, 0);
    root->name = kRootName;
    root->countTree();
    return root;
}

void ZoneElement::readFrom(const Tree& node, const Resolver& resolve, int depth) {
    const debug::Place place("frm::ZoneElement::readFrom");
    name = node.get<std::wstring>(L"<xmlattr>.name", L"").substr(0, kMaximumNameLength);
    // The file keeps kNoVolume for a zone without a volume of its own.
    if (!device::DeviceBase::parseIntValue(base::toUtf8(node.get<std::wstring>(L"<xmlattr>.volume", L"")),
                                           volume, kNoVolume, 100)) {
        volume = kNoVolume;
    }
    for (const auto& [tag, child] : node) {
        if (tag == L"device") {
            const std::string text = base::toUtf8(child.get<std::wstring>(L"<xmlattr>.address", L""));
            const net::HardwareAddress address(text);
            if (!address.isValid()) {
                place.warn(L"Устройство зоны '%1%' с неверным адресом '%2%' пропущено", name, text);
            } else if (DevicePtr device = resolve ? resolve(address) : nullptr) {
                addDevices({device});
            } else if (std::none_of(
                           unknownDevices.begin(), unknownDevices.end(),
                           [&](const net::HardwareAddress& known) { return sameAddress(known, address); })) {
                unknownDevices.push_back(address);
            }
        } else if (tag == L"zone") {
            if (depth >= kMaximumDepth) continue;
            auto zone = std::make_shared<ZoneElement>();
            zone->readFrom(child, resolve, depth + 1);
            zones.push_back(zone);
        }
    }
    built = true;
}

}  // namespace frm
