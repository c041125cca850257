// "device_collection.xml": the devices of any file are taken into a registry only when every
// field reads, and the file the registry writes of them reads back as the same devices.

#include "FuzzSupport.h"
#include "app/DeviceCollectionFile.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/TransferProtocol.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"

namespace {

using Tree = boost::property_tree::wptree;

// A registry of both device classes on a transport that never runs: nothing is sent. The devices'
// port is any but 0, which would make every address invalid.
std::unique_ptr<device::DeviceCollection> makeRegistry() {
    static const auto transport = std::make_shared<device::TransferProtocol>(0, "127.0.0.1");
    auto registry = std::make_unique<device::DeviceCollection>(transport, 5000);
    registry->setFactory(device::types::loudspeaker,
                         std::make_shared<device::DeviceFactoryOf<device::VokarInfo>>());
    registry->setFactory(device::types::console,
                         std::make_shared<device::DeviceFactoryOf<device::TribelInfo>>());
    return registry;
}

// The devices of the tree, written again as the registry writes them.
Tree roundTrip(const Tree& tree) {
    const auto registry = makeRegistry();
    const std::uint32_t highest = frm::loadDeviceCollection(tree, *registry);
    const auto devices = registry->getDevices();
    for (const auto& device : devices) {
        fuzz::require(device->getId() >= 1 && device->getId() <= highest,
                      "a device's id lies within the file's");
        fuzz::require(device->getHardwareAddress().isValid(), "a device taken has a valid address");
    }
    Tree written = frm::deviceCollectionTree(devices);
    registry->stop();
    return written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr const char* name = "device_collection.xml";
    Tree tree;
    if (!fuzz::readStateFile(name, data, size, frm::kDeviceCollectionFileSize, tree)) return 0;
    // A model's generation is read from the major version of a version text, which the file does
    // not keep: a console of the second generation, named by a version text in the input, is
    // written by its model name and read back as the first, until it reports itself. From the
    // registry's own file on, every save reads back as the same devices.
    const Tree written = roundTrip(fuzz::saveAndReload(name, roundTrip(tree)));
    fuzz::require(roundTrip(fuzz::saveAndReload(name, written)) == written,
                  "a saved device file reads back as the same devices");
    return 0;
}
