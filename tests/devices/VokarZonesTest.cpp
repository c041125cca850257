// A loudspeaker's zone lists and line reference against the emulated loudspeaker.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "devices/ListReplies.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;
using Fault = test::EmulatedDevice::Fault;
using test::join;

class VokarZonesTest : public test::VokarFixture {};

TEST_F(VokarZonesTest, ListRepliesAreReadWholeOrRefused) {
    const auto zones = [](const std::string& r) { return join(readAnnounceZoneList(r)); };
    const auto addresses = [](const std::string& r) { return join(readZoneAddressList(r)); };
    const std::vector<std::tuple<std::function<std::string(const std::string&)>, std::string, std::string>>
        cases = {
            {zones, "no", ""},
            {zones, "3,7", "3,7,"},
            {zones, "0,65534", "0,65534,"},
            {zones, "3,,7", "refused"},
            {zones, "65535", "refused"},
            {zones, "0x10", "refused"},
            {addresses, "no", ""},
            {addresses, "A1,,FF", "161,255,"},
            {addresses, "FFFFFF", "16777215,"},
            {addresses, "1000000", "refused"},
            {addresses, "A1,G", "refused"},
        };
    for (const auto& [reader, reply, expected] : cases)
        EXPECT_EQ(test::readWith(reader, reply), expected) << reply;
}

TEST_F(VokarZonesTest, ListsAreCachedAndChangedOnTheLoudspeaker) {
    auto [emulated, device] = connected(vokarV3_A131);
    // No fire zone bound, so that switched-off zones are asked.
    ASSERT_TRUE(takeStatus(*emulated, *device, [](auto& s) { s.zone = 0; }));
    emulated->setAnnounceZones({3});
    emulated->setZoneAddresses({0xA1});
    emulated->setZoneAddressesOff({0xB2});

    EXPECT_EQ(join(device->readAnnounceZones()), "3,");
    EXPECT_EQ(join(device->readAnnounceZones()), "3,");
    EXPECT_EQ(join(device->readZoneAddresses()), "161,");
    EXPECT_EQ(join(device->readZoneAddressesOff()), "178,");
    EXPECT_EQ(join(device->readZoneAddressesOff()), "178,");
    EXPECT_EQ(sent(*emulated), "zoneAnnRead; zoneAddrRead; zoneAddrOffRead; zoneAddrOffRead");

    // An entry a valid cache holds is not added again; a change makes the next read ask.
    emulated->clearReceived();
    device->addAnnounceZone(3);
    device->addAnnounceZone(5);
    device->addAnnounceZone(5);
    device->addZoneAddress(0xABC);
    device->removeZoneAddress(0xA1);
    device->removeZoneAddress(0xA1);
    EXPECT_EQ(join(device->readAnnounceZones()), "3,5,");
    device->addAnnounceZone(5);
    EXPECT_EQ(sent(*emulated),
              "zoneAnnAdd 5; zoneAnnAdd 5; zoneAddrAdd ABC; zoneAddrDel A1; zoneAddrDel A1; "
              "zoneAnnRead");
    EXPECT_EQ(join(emulated->zoneAddresses()), "2748,");

    // A removal that went unanswered may have been carried out: the cache does not vouch for it.
    // Both sends of the request are carried out and neither is answered.
    emulated->loseRepliesNext(2);
    EXPECT_THROW(device->removeAnnounceZone(5), exception::Offline);
    device->touchLastState();
    emulated->clearReceived();
    device->addAnnounceZone(5);
    EXPECT_EQ(sent(*emulated), "zoneAnnAdd 5");
    EXPECT_EQ(join(emulated->announceZones()), "3,5,");

    // A list that does not read is refused and asked for again.
    emulated->answer("zoneAnnRead", test::okReply("zoneAnnRead", "3,,5"));
    EXPECT_THROW(device->readAnnounceZones(), exception::UnexpectedResponseOfDevice);
    EXPECT_THROW(device->readAnnounceZones(), exception::UnexpectedResponseOfDevice);

    // A loudspeaker that reports a bound fire zone has no zones switched off.
    ASSERT_TRUE(takeStatus(*emulated, *device, [](auto& s) { s.zone = 1; }));
    emulated->clearReceived();
    EXPECT_TRUE(device->readZoneAddressesOff().empty());
    EXPECT_EQ(sent(*emulated), "");
}

TEST_F(VokarZonesTest, EarlierGenerationsHaveNoZoneLists) {
    auto [emulated, device] = connected(vokarBx_1_01_80);
    EXPECT_TRUE(device->readAnnounceZones().empty());
    EXPECT_TRUE(device->readZoneAddresses().empty());
    EXPECT_TRUE(device->readZoneAddressesOff().empty());
    EXPECT_THROW(device->addAnnounceZone(5), exception::UnsupportedByDevice);
    EXPECT_THROW(device->removeZoneAddress(5), exception::UnsupportedByDevice);
    EXPECT_EQ(sent(*emulated), "");
    // Switched-off zones come with the last generations.
    auto later = connected(vokarV3_A128, 3);
    EXPECT_TRUE(later.device->readZoneAddressesOff().empty());
    EXPECT_EQ(sent(*later.emulated), "");
}

TEST_F(VokarZonesTest, TheLineReferenceTellsEachLine) {
    auto [emulated, device] = connected(vokarV3_A121);
    const std::vector<std::pair<std::string, std::pair<bool, bool>>> cases = {
        {"", {true, true}},
        {"line 2", {true, false}},
        {"lines 1 and 2", {false, false}},
        {"line 1", {false, true}},
    };
    for (const auto& [failure, lines] : cases) {
        emulated->setLineFailure(failure);
        EXPECT_EQ(device->setLine(), lines) << failure;
    }
    emulated->answer("set line", test::EmulatedDevice::kBusyText);
    EXPECT_THROW(device->setLine(), exception::UnexpectedResponseOfDevice);
}

}  // namespace
