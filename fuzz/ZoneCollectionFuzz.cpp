// "zone_collection.xml": the zone tree read from any file nests no deeper and has no longer
// names than the window lets one make, and is saved as a file that reads back as the same tree.

#include "FuzzSupport.h"
#include "app/kit/ZoneElement.h"

namespace {

using Tree = boost::property_tree::wptree;
using frm::ZoneElement;

void checkZone(const ZoneElement& zone, int depth) {
    fuzz::require(depth <= ZoneElement::kMaximumDepth, "zones read nest no deeper than zones made");
    fuzz::require(zone.name.size() <= ZoneElement::kMaximumNameLength, "a zone's name is bounded");
    fuzz::require(zone.volume == ZoneElement::kNoVolume || (zone.volume >= 0 && zone.volume <= 100),
                  "a zone's volume is a percentage");
    for (const auto& child : zone.zones) checkZone(*child, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr const char* name = "zone_collection.xml";
    Tree tree;
    if (!fuzz::readStateFile(name, data, size, frm::ZoneElement::kMaximumFileSize, tree)) return 0;
    const ZoneElement::ZonePtr root = ZoneElement::fromTree(tree, nullptr);
    checkZone(*root, 0);
    const Tree written = root->toTree();
    fuzz::require(ZoneElement::fromTree(fuzz::saveAndReload(name, written), nullptr)->toTree() == written,
                  "a saved zone tree reads back as the same tree");
    return 0;
}
