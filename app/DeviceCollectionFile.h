#pragma once
// "device_collection.xml": the devices the registry knew at the last shutdown, so that they are
// listed (offline) and searched for before their first status packet.

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace device {
class DeviceBase;
class DeviceCollection;
}  // namespace device

namespace frm {

// 1050 devices with the longest titles, every character escaped, write about 1.7 MB; a site of
// 1000 loudspeakers with short titles about 0.15 MB.
constexpr std::size_t kDeviceCollectionFileSize = 4u << 20;

boost::property_tree::wptree deviceCollectionTree(
    const std::vector<std::shared_ptr<device::DeviceBase>>& devices);

// Adds the file's devices to the registry and returns the highest id among them (0 for none).
// Entries with a bad id, type, address or title are skipped with a warning.
std::uint32_t loadDeviceCollection(const boost::property_tree::wptree& tree,
                                   device::DeviceCollection& registry);

}  // namespace frm
