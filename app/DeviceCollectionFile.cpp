#include "app/DeviceCollectionFile.h"

#include <arpa/inet.h>

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceCollection.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

using Tree = boost::property_tree::wptree;

constexpr std::size_t kMaximumTitleLength = 256;
// The registry refuses this id; ids are counted from 1.
constexpr std::int64_t kHighestId = 0xFFFFFFFE;

// Four dotted numbers and nothing else.
bool isDottedAddress(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

std::string attribute(const Tree& node, const wchar_t* name) {
    return base::toUtf8(node.get<std::wstring>(std::wstring(L"<xmlattr>.") + name, L""));
}

}  // namespace

Tree deviceCollectionTree(const std::vector<std::shared_ptr<device::DeviceBase>>& devices) {
    Tree tree;
    Tree& collection = tree.add_child(L"device_collection", Tree());
    collection.put(L"<xmlattr>.version", 1);
    for (const auto& device : devices) {
        Tree& node = collection.add_child(L"device", Tree());
        node.put(L"<xmlattr>.id", device->getId());
        node.put(L"<xmlattr>.type", base::widen(device::toText(device->getVersion().type)));
        node.put(L"<xmlattr>.address", base::widen(device->getHardwareAddress().canonicalText()));
        const net::IpAndPort address = device->getAddress();
        node.put(L"<xmlattr>.ip", base::widen(address.isValid() ? address.getText() : "0.0.0.0"));
        node.put(L"<xmlattr>.title", device->getDisplayName());
    }
    return tree;
}

std::uint32_t loadDeviceCollection(const Tree& tree, device::DeviceCollection& registry) {
    const debug::Place place("frm::loadDeviceCollection");
    std::uint32_t highest = 0;
    const auto collection = tree.get_child_optional(L"device_collection");
    if (!collection) return highest;
    for (const auto& [tag, node] : *collection) {
        if (tag != L"device") continue;
        std::uint32_t id = 0;
        const std::string typeText = attribute(node, L"type");
        net::HardwareAddress address(attribute(node, L"address"));
        // What follows the sixth field is no part of the address: it must not become part of the
        // device's name, which could then grow past what the file takes back.
        if (address.isValid()) address = net::HardwareAddress(address.canonicalText());
        const std::string ipText = attribute(node, L"ip");
        const std::wstring title = node.get<std::wstring>(L"<xmlattr>.title", L"");
        if (!device::DeviceBase::parseIntValue(attribute(node, L"id"), id, 1, kHighestId) ||
            device::fromText(typeText) == 0 || !address.isValid() || title.size() > kMaximumTitleLength ||
            !isDottedAddress(ipText)) {
            place.warn(L"Запись устройства в файле устройств пропущена: id '%1%', тип '%2%', адрес '%3%'",
                       attribute(node, L"id"), typeText, attribute(node, L"address"));
            continue;
        }
        if (registry.addDevice(id, typeText, address, net::Ip4Address(ipText), title) && id > highest)
            highest = id;
    }
    return highest;
}

}  // namespace frm
