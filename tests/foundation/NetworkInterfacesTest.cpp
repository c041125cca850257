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

// ---- The list of the machine's interfaces, in a network namespace of the test's own.

class NetworkInterfaceList : public ::testing::Test {
protected:
    void SetUp() override {
        MELVOX_REQUIRE_PRIVATE_NETWORK();
        network_.emplace();
    }

    // A link without hardware behind it, with the addresses ("10.0.0.5/24") and up when asked.
    void addLink(const std::string& name, const std::vector<std::string>& addresses, bool up) {
        ASSERT_TRUE(network_->addSilentLink(name));
        for (const std::string& address : addresses)
            ASSERT_TRUE(network_->ip("addr add " + address + " dev " + name));
        if (up) {
            ASSERT_TRUE(network_->ip("link set " + name + " up"));
        }
    }

    static std::vector<NetworkInterface> recordsOf(const std::wstring& name) {
        std::vector<NetworkInterface> found;
        for (const NetworkInterface& record : os::getNetworkInterfaceList()) {
            if (record.name == name) found.push_back(record);
        }
        return found;
    }

    std::optional<test::PrivateNetwork> network_;
};

TEST_F(NetworkInterfaceList, LoopbackAloneGivesAnEmptyListAndOtherLoopbackAddressesAreListed) {
    test::LogCapture log;
    EXPECT_TRUE(os::getNetworkInterfaceList().empty());
    // Never offered, the loopback's own address still exists for a program that works on it.
    EXPECT_TRUE(os::existNetworkInterface("127.0.0.1"));
    const std::optional<NetworkInterface> loopback = os::getNetworkInterfaceByIp("127.0.0.1");
    ASSERT_TRUE(loopback.has_value());
    EXPECT_EQ(loopback->name, L"lo");
    EXPECT_EQ(loopback->broadcast, "127.255.255.255");
    EXPECT_FALSE(log.contains(L"Сетевой интерфейс с запрошенным IP адресом не существует"));

    ASSERT_TRUE(network_->ip("addr add 127.0.0.5/8 dev lo"));
    const std::vector<NetworkInterface> list = os::getNetworkInterfaceList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].ip, "127.0.0.5");
    EXPECT_EQ(list[0].name, L"lo");
    EXPECT_EQ(list[0].mask, "255.0.0.0");
    EXPECT_EQ(list[0].broadcast, "127.255.255.255");
    EXPECT_TRUE(list[0].up);
}

TEST_F(NetworkInterfaceList, AddressesOfOneAdapterShareTheGatewayReachedThroughIt) {
    // A labelled address still belongs to its adapter.
    addLink("mvxgw0", {"10.71.0.5/24", "10.72.3.9/16 label mvxgw0:1"}, true);
    addLink("mvxgw1", {"10.76.0.5/24"}, true);
    ASSERT_TRUE(network_->ip("route add default via 10.71.0.254 dev mvxgw0"));
    // A route to one network is not the adapter's gateway.
    ASSERT_TRUE(network_->ip("route add 10.200.0.0/16 via 10.76.0.1 dev mvxgw1"));

    const std::vector<NetworkInterface> records = recordsOf(L"mvxgw0");
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
    const std::vector<NetworkInterface> other = recordsOf(L"mvxgw1");
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].gateway, "");
}

TEST_F(NetworkInterfaceList, AdapterThatIsDownIsListedWithoutAddress) {
    addLink("mvxdown0", {"10.73.0.5/24"}, false);
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

TEST_F(NetworkInterfaceList, PrefixOfZeroGivesTheEmptyMask) {
    addLink("mvxzero0", {"10.74.0.5/0"}, true);
    const std::vector<NetworkInterface> records = recordsOf(L"mvxzero0");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].mask, "0.0.0.0");
    EXPECT_EQ(records[0].broadcast, "255.255.255.255");
}

TEST_F(NetworkInterfaceList, AdapterThatGoesAwayIsReportedWithoutException) {
    test::LogCapture log;
    addLink("mvxgone0", {"10.77.0.5/24"}, true);
    const std::optional<NetworkInterface> before = os::getNetworkInterfaceByIp("10.77.0.5");
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(before->name, L"mvxgone0");
    EXPECT_TRUE(os::existNetworkInterface("10.77.0.5"));
    EXPECT_FALSE(log.contains(L"Сетевой интерфейс с запрошенным IP адресом не существует"));

    ASSERT_TRUE(network_->ip("link del mvxgone0"));
    EXPECT_FALSE(os::getNetworkInterfaceByIp("10.77.0.5").has_value());
    EXPECT_FALSE(os::existNetworkInterface("10.77.0.5"));
    EXPECT_TRUE(log.contains(L"Сетевой интерфейс с запрошенным IP адресом не существует", L"WARN"));
}

// ---- The choice of the working interface.

// An adapter record as the system gives it; `up` with an address is not possible from the system,
// which empties the address of a down adapter, but the choice must still go by `up`.
NetworkInterface nic(const std::wstring& name, const std::string& ip, bool up = true, bool hardware = true) {
    NetworkInterface record;
    record.name = name;
    record.ip = ip;
    record.up = up;
    record.virtualAdapter = !hardware;
    return record;
}

NetworkInterface down(const std::wstring& name) {
    return nic(name, "", false);
}

TEST(NameToIp, ChoosesTheWorkingInterface) {
    const struct {
        std::string savedIp;
        std::wstring savedName;
        std::string expected;
        std::vector<NetworkInterface> interfaces;
    } cases[] = {
        // The saved address wins over a saved name of another adapter, and over the factory subnet.
        {"10.1.0.5", L"eth0", "10.1.0.5", {nic(L"eth0", "10.0.0.5"), nic(L"eth1", "10.1.0.5")}},
        {"10.1.0.5", L"", "10.1.0.5", {nic(L"eth0", "192.168.100.20"), nic(L"eth1", "10.1.0.5")}},
        // The address is gone: the adapter of the saved name gives its new address; its last record wins.
        {"10.1.0.5", L"eth1", "10.1.0.7", {nic(L"eth0", "10.0.0.5"), nic(L"eth1", "10.1.0.7")}},
        {"", L"eth1", "10.1.0.8", {nic(L"eth1", "10.1.0.7"), nic(L"eth1", "10.1.0.8")}},
        // The saved name must match exactly, and a down adapter of that name leads to the fallback.
        {"", L"ETH1", "10.0.0.5", {nic(L"eth0", "10.0.0.5"), nic(L"eth1", "10.1.0.5")}},
        {"10.1.0.5", L"eth1", "10.0.0.5", {nic(L"eth0", "10.0.0.5"), down(L"eth1")}},
        // An empty saved address never matches a down adapter.
        {"", L"", "10.0.0.5", {down(L"eth1"), nic(L"eth0", "10.0.0.5")}},
        // The factory subnet wins over the first up adapter; among several in it the last wins.
        {"10.9.9.9", L"wlan0", "192.168.100.2", {nic(L"eth0", "10.0.0.5"), nic(L"eth1", "192.168.100.2")}},
        {"", L"", "192.168.100.3", {nic(L"eth1", "192.168.100.2"), nic(L"eth2", "192.168.100.3")}},
        // Else the first up adapter, but none named virtual (in any case) or without hardware.
        {"", L"", "10.1.0.5", {down(L"eth0"), nic(L"eth1", "10.1.0.5"), nic(L"eth2", "10.2.0.5")}},
        {"", L"", "10.0.0.5", {nic(L"Some VIRTUAL link", "10.3.0.5"), nic(L"eth0", "10.0.0.5")}},
        {"", L"", "10.0.0.5", {nic(L"br0", "10.3.0.5", true, false), nic(L"eth0", "10.0.0.5")}},
        {"", L"", "", {nic(L"virtual", "10.3.0.5")}},
        // Virtual adapters in the factory subnet are chosen.
        {"", L"", "192.168.100.40", {nic(L"eth0", "10.0.0.5"), nic(L"virtual", "192.168.100.40")}},
        {"", L"", "192.168.100.41", {nic(L"br0", "192.168.100.41", true, false), nic(L"eth0", "10.0.0.5")}},
        // A down adapter is never the fallback, not even in the factory subnet, but the saved address is
        // returned even from a down record that still shows it.
        {"", L"", "", {nic(L"eth0", "192.168.100.20", false), nic(L"eth1", "10.0.0.5", false)}},
        {"10.0.0.5", L"", "10.0.0.5", {nic(L"eth0", "10.0.0.5", false)}},
        {"10.0.0.5", L"eth0", "", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(os::nameToIp(c.savedIp, c.savedName, c.interfaces), c.expected)
            << "row " << &c - cases << ": saved '" << c.savedIp << "', '" << base::toUtf8(c.savedName) << "'";
    }
}

TEST(NameToIp, LogsUnusualSavedValuesAndAGuess) {
    test::LogCapture log;
    const std::vector<NetworkInterface> interfaces = {nic(L"eth0", "10.0.0.5")};

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
