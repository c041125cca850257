#include <gtest/gtest.h>

#include "app/DeviceCollectionFile.h"
#include "devicelink/DeviceCollection.h"
#include "devices/VokarInfo.h"
#include "foundation/TextConversion.h"
#include "support/DeviceEmulator.h"
#include "support/LogCapture.h"

namespace {

using Tree = boost::property_tree::wptree;

TEST(DeviceCollectionFile, RoundTripSkipsBadEntries) {
    test::LogCapture log;
    const std::uint16_t port = test::freeUdpPort();
    const auto transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
    const auto registryWith = [&] {
        auto registry = std::make_unique<device::DeviceCollection>(transport, port);
        registry->setFactory(device::types::loudspeaker,
                             std::make_shared<device::DeviceFactoryOf<device::VokarInfo>>());
        return registry;
    };
    auto first = registryWith();
    first->addDevice(4, "Vokar-B", net::HardwareAddress("02:7E:41:00:00:04"), net::Ip4Address("127.0.0.4"),
                     L"Вестибюль");
    first->addDevice(9, "Vokar-S", net::HardwareAddress("02:7E:41:00:00:09"), net::Ip4Address("0.0.0.0"),
                     L"");
    Tree tree = frm::deviceCollectionTree(first->getDevices());
    // An address is written in one form, whatever way its text was given.
    first->addDevice(11, "Vokar-S", net::HardwareAddress("2:7e:41:0:0:b,junk"), net::Ip4Address("0.0.0.0"),
                     L"");
    EXPECT_EQ(frm::deviceCollectionTree(first->getDevices())
                  .get_child(L"device_collection")
                  .back()
                  .second.get<std::wstring>(L"<xmlattr>.address"),
              L"02:7E:41:00:00:0B");
    first->stop();

    Tree& collection = tree.get_child(L"device_collection");
    const std::vector<std::pair<std::wstring, std::wstring>> spoilt = {{L"id", L"0"},
                                                                       {L"id", L"4294967295"},
                                                                       {L"type", L"Unknown-Z"},
                                                                       {L"address", L"02:7E:41"},
                                                                       {L"ip", L"127.0.0.4:80"},
                                                                       {L"title", std::wstring(300, L'я')}};
    for (const auto& [field, value] : spoilt) {
        Tree entry = collection.front().second;
        entry.put(L"<xmlattr>." + field, value);
        collection.push_back({L"device", entry});
    }

    auto second = registryWith();
    EXPECT_EQ(frm::loadDeviceCollection(tree, *second), 9u);
    const auto devices = second->getDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]->getId(), 4u);
    EXPECT_EQ(devices[0]->getDisplayName(), L"Вестибюль");
    EXPECT_EQ(devices[0]->getAddress().getText(), "127.0.0.4");
    EXPECT_EQ(devices[1]->getDisplayName(), L"Устройство 02:7E:41:00:00:09");
    EXPECT_EQ(log.find(L"Запись устройства в файле устройств пропущена", L"WARN").size(), spoilt.size());
    second->stop();
}

// An address read with text after its sixth field is taken in its one form: a device without a
// title is named by it, and a save and a load keep the device.
TEST(DeviceCollectionFile, TextAfterAnAddressIsNoPartOfTheDevice) {
    test::LogCapture log;
    const std::uint16_t port = test::freeUdpPort();
    const auto transport = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
    const std::wstring addresses[] = {L"2:7e:41:0:0:c,junk", L"02:7E:41:00:00:0C" + std::wstring(300, L'я')};
    for (const std::wstring& text : addresses) {
        Tree tree;
        Tree& entry = tree.add_child(L"device_collection.device", Tree());
        entry.put(L"<xmlattr>.id", 12);
        entry.put(L"<xmlattr>.type", L"Vokar-B");
        entry.put(L"<xmlattr>.address", text);
        entry.put(L"<xmlattr>.ip", L"0.0.0.0");
        for (int load = 0; load < 2; ++load) {
            device::DeviceCollection registry(transport, port);
            registry.setFactory(device::types::loudspeaker,
                                std::make_shared<device::DeviceFactoryOf<device::VokarInfo>>());
            EXPECT_EQ(frm::loadDeviceCollection(tree, registry), 12u)
                << base::toUtf8(text) << " load " << load;
            const auto devices = registry.getDevices();
            ASSERT_EQ(devices.size(), 1u);
            EXPECT_STREQ(devices[0]->getHardwareAddress().toCharArray(), "02:7E:41:00:00:0C");
            EXPECT_EQ(devices[0]->getDisplayName(), L"Устройство 02:7E:41:00:00:0C");
            tree = frm::deviceCollectionTree(devices);
            registry.stop();
        }
    }
}

}  // namespace
