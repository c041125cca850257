#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/NetworkInterfaces.h"
#include "foundation/TextConversion.h"
#include "support/LogCapture.h"
#include "support/PrivateNetwork.h"

namespace {

using os::NetworkInterface;

std::vector<NetworkInterface> recordsOf(const std::wstring& name) {
    std::vector<NetworkInterface> found;
    for (const NetworkInterface& record : os::getNetworkInterfaceList()) {
        if (record.name == name) found.push_back(record);
    }
    return found;
}

// ---- The list of the machine's interfaces.

TEST(NetworkInterfaceList, LoopbackAloneGivesAnEmptyListAndOtherLoopbackAddressesAreListed) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    EXPECT_TRUE(os::getNetworkInterfaceList().empty());

    ASSERT_TRUE(network.ip("addr add 127.0.0.5/8 dev lo"));
    const std::vector<NetworkInterface> list = os::getNetworkInterfaceList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].ip, "127.0.0.5");
    EXPECT_EQ(list[0].name, L"lo");
    EXPECT_EQ(list[0].mask, "255.0.0.0");
    EXPECT_EQ(list[0].broadcast, "127.255.255.255");
    EXPECT_TRUE(list[0].up);
}

TEST(NetworkInterfaceList, AdapterWithTwoAddressesGivesTwoRecordsThatShareItsGateway) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.addSilentLink("mvxtwo0"));
    ASSERT_TRUE(network.ip("addr add 10.71.0.5/24 dev mvxtwo0"));
    // A labelled address still belongs to its adapter.
    ASSERT_TRUE(network.ip("addr add 10.72.3.9/16 dev mvxtwo0 label mvxtwo0:1"));
    ASSERT_TRUE(network.ip("link set mvxtwo0 up"));
    ASSERT_TRUE(network.ip("route add default via 10.71.0.254 dev mvxtwo0"));

    const std::vector<NetworkInterface> records = recordsOf(L"mvxtwo0");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].ip, "10.71.0.5");
    EXPECT_EQ(records[0].mask, "255.255.255.0");
    EXPECT_EQ(records[0].broadcast, "10.71.0.255");
    EXPECT_EQ(records[1].ip, "10.72.3.9");
    EXPECT_EQ(records[1].mask, "255.255.0.0");
    EXPECT_EQ(records[1].broadcast, "10.72.255.255");
    for (const NetworkInterface& record : records) {
        EXPECT_TRUE(record.up);
        EXPECT_EQ(record.gateway, "10.71.0.254");
        EXPECT_TRUE(record.virtualAdapter);
    }
}

TEST(NetworkInterfaceList, GatewayBelongsOnlyToTheAdapterItIsReachedThrough) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    for (const std::string link : {"mvxgw0", "mvxgw1"}) {
        ASSERT_TRUE(network.addSilentLink(link));
        ASSERT_TRUE(network.ip("link set " + link + " up"));
    }
    ASSERT_TRUE(network.ip("addr add 10.75.0.5/24 dev mvxgw0"));
    ASSERT_TRUE(network.ip("addr add 10.76.0.5/24 dev mvxgw1"));
    ASSERT_TRUE(network.ip("route add default via 10.76.0.1 dev mvxgw1"));
    // A route to one network is not the adapter's gateway.
    ASSERT_TRUE(network.ip("route add 10.200.0.0/16 via 10.75.0.1 dev mvxgw0"));

    const std::vector<NetworkInterface> first = recordsOf(L"mvxgw0");
    const std::vector<NetworkInterface> second = recordsOf(L"mvxgw1");
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(first[0].gateway, "");
    EXPECT_EQ(second[0].gateway, "10.76.0.1");
}

TEST(NetworkInterfaceList, AdapterThatIsDownIsListedWithoutAddress) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.addSilentLink("mvxdown0"));
    ASSERT_TRUE(network.ip("addr add 10.73.0.5/24 dev mvxdown0"));

    const std::vector<NetworkInterface> records = recordsOf(L"mvxdown0");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].up);
    EXPECT_EQ(records[0].ip, "");
    EXPECT_EQ(records[0].mask, "255.255.255.0");
    EXPECT_EQ(records[0].broadcast, "0.0.0.255");

    EXPECT_FALSE(os::existNetworkInterface("10.73.0.5"));
    EXPECT_TRUE(os::existNetworkInterface(""));
    const std::optional<NetworkInterface> byEmptyText = os::getNetworkInterfaceByIp("");
    ASSERT_TRUE(byEmptyText.has_value());
    EXPECT_EQ(byEmptyText->name, L"mvxdown0");
}

TEST(NetworkInterfaceList, PrefixOfZeroGivesTheEmptyMask) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.addSilentLink("mvxzero0"));
    ASSERT_TRUE(network.ip("addr add 10.74.0.5/0 dev mvxzero0"));
    ASSERT_TRUE(network.ip("link set mvxzero0 up"));

    const std::vector<NetworkInterface> records = recordsOf(L"mvxzero0");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].mask, "0.0.0.0");
    EXPECT_EQ(records[0].broadcast, "255.255.255.255");
}

TEST(NetworkInterfaceLookup, AdapterThatGoesAwayIsReportedWithoutException) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    test::LogCapture log;
    ASSERT_TRUE(network.addSilentLink("mvxgone0"));
    ASSERT_TRUE(network.ip("addr add 10.77.0.5/24 dev mvxgone0"));
    ASSERT_TRUE(network.ip("link set mvxgone0 up"));

    const std::optional<NetworkInterface> before = os::getNetworkInterfaceByIp("10.77.0.5");
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(before->name, L"mvxgone0");
    EXPECT_EQ(before->mask, "255.255.255.0");
    EXPECT_TRUE(os::existNetworkInterface("10.77.0.5"));
    EXPECT_FALSE(log.contains(L"Сетевой интерфейс с запрошенным IP адресом не существует"));

    ASSERT_TRUE(network.ip("link del mvxgone0"));
    EXPECT_FALSE(os::getNetworkInterfaceByIp("10.77.0.5").has_value());
    EXPECT_FALSE(os::existNetworkInterface("10.77.0.5"));
    EXPECT_TRUE(log.contains(L"Сетевой интерфейс с запрошенным IP адресом не существует", L"WARN"));
}

// ---- The choice of the working interface.

NetworkInterface upAdapter(const std::wstring& name, const std::string& ip) {
    NetworkInterface record;
    record.name = name;
    record.ip = ip;
    record.up = true;
    return record;
}

NetworkInterface downAdapter(const std::wstring& name) {
    NetworkInterface record;
    record.name = name;
    return record;
}

NetworkInterface withoutHardware(NetworkInterface record) {
    record.virtualAdapter = true;
    return record;
}

NetworkInterface downWithAddress(const std::wstring& name, const std::string& ip) {
    // Not possible from the system, which empties the address of a down adapter; the choice
    // must still go by `up`.
    NetworkInterface record = upAdapter(name, ip);
    record.up = false;
    return record;
}

struct ChoiceCase {
    const char* what;
    std::vector<NetworkInterface> interfaces;
    std::string savedIp;
    std::wstring savedName;
    std::string expected;
};

TEST(NameToIp, ChoosesTheWorkingInterface) {
    const std::vector<ChoiceCase> cases = {
        {"saved address wins over a saved name that belongs to another adapter",
         {upAdapter(L"eth0", "10.0.0.5"), upAdapter(L"eth1", "10.1.0.5")},
         "10.1.0.5",
         L"eth0",
         "10.1.0.5"},
        {"saved address wins over the factory subnet",
         {upAdapter(L"eth0", "192.168.100.20"), upAdapter(L"eth1", "10.1.0.5")},
         "10.1.0.5",
         L"",
         "10.1.0.5"},
        {"address gone, the adapter of the saved name gives its new address",
         {upAdapter(L"eth0", "10.0.0.5"), upAdapter(L"eth1", "10.1.0.7")},
         "10.1.0.5",
         L"eth1",
         "10.1.0.7"},
        {"the last record of the saved name wins",
         {upAdapter(L"eth1", "10.1.0.7"), upAdapter(L"eth1", "10.1.0.8"), upAdapter(L"eth0", "10.0.0.5")},
         "",
         L"eth1",
         "10.1.0.8"},
        {"the saved name must match exactly",
         {upAdapter(L"eth0", "10.0.0.5"), upAdapter(L"eth1", "10.1.0.5")},
         "",
         L"ETH1",
         "10.0.0.5"},
        {"the saved name on a down adapter leads to the fallback",
         {upAdapter(L"eth0", "10.0.0.5"), downAdapter(L"eth1")},
         "10.1.0.5",
         L"eth1",
         "10.0.0.5"},
        {"an empty saved address never matches a down adapter",
         {downAdapter(L"eth1"), upAdapter(L"eth0", "10.0.0.5")},
         "",
         L"",
         "10.0.0.5"},
        {"the factory subnet wins over the first up adapter",
         {upAdapter(L"eth0", "10.0.0.5"), upAdapter(L"eth1", "192.168.100.20")},
         "10.9.9.9",
         L"wlan0",
         "192.168.100.20"},
        {"among several in the factory subnet the last wins",
         {upAdapter(L"eth0", "192.168.100.20"), upAdapter(L"eth1", "10.0.0.5"),
          upAdapter(L"eth2", "192.168.100.30")},
         "",
         L"",
         "192.168.100.30"},
        {"the first up adapter is the fallback",
         {downAdapter(L"eth0"), upAdapter(L"eth1", "10.1.0.5"), upAdapter(L"eth2", "10.2.0.5")},
         "",
         L"",
         "10.1.0.5"},
        {"an adapter named virtual in any case is no first fallback",
         {upAdapter(L"Some VIRTUAL link", "10.3.0.5"), upAdapter(L"eth0", "10.0.0.5")},
         "",
         L"",
         "10.0.0.5"},
        {"an adapter without hardware is no first fallback",
         {withoutHardware(upAdapter(L"br0", "10.3.0.5")), upAdapter(L"eth0", "10.0.0.5")},
         "",
         L"",
         "10.0.0.5"},
        {"a virtual adapter in the factory subnet is chosen",
         {upAdapter(L"eth0", "10.0.0.5"), upAdapter(L"virtual link", "192.168.100.40")},
         "",
         L"",
         "192.168.100.40"},
        {"an adapter without hardware in the factory subnet is chosen",
         {withoutHardware(upAdapter(L"br0", "192.168.100.41")), upAdapter(L"eth0", "10.0.0.5")},
         "",
         L"",
         "192.168.100.41"},
        {"virtual adapters alone give nothing", {upAdapter(L"virtual link", "10.3.0.5")}, "", L"", ""},
        {"a down adapter is never the fallback, not even in the factory subnet",
         {downWithAddress(L"eth0", "192.168.100.20"), downWithAddress(L"eth1", "10.0.0.5")},
         "",
         L"",
         ""},
        {"the saved address is returned even from a down record that still shows it",
         {downWithAddress(L"eth0", "10.0.0.5")},
         "10.0.0.5",
         L"",
         "10.0.0.5"},
        {"no interfaces give nothing", {}, "10.0.0.5", L"eth0", ""},
    };
    for (const ChoiceCase& c : cases) {
        EXPECT_EQ(os::nameToIp(c.savedIp, c.savedName, c.interfaces), c.expected) << c.what;
    }
}

TEST(NameToIp, LogsUnusualSavedValuesAndAGuess) {
    test::LogCapture log;
    const std::vector<NetworkInterface> interfaces = {upAdapter(L"eth0", "10.0.0.5")};

    EXPECT_EQ(os::nameToIp("10.0.0.5", L"eth0", interfaces), "10.0.0.5");
    EXPECT_FALSE(log.contains(L"It is not typical values"));
    EXPECT_FALSE(log.contains(L"Selected network interface is"));

    EXPECT_EQ(os::nameToIp("", L"eth7", interfaces), "10.0.0.5");
    EXPECT_TRUE(log.contains(L"It is not typical values ip='', name='eth7'", L"DEBUG"));
    EXPECT_TRUE(log.contains(
        L"Selected network interface is 'eth0' with ip '10.0.0.5'. Expected one is 'eth7' with ip ''",
        L"DEBUG"));
}

}  // namespace
