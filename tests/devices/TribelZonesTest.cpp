// A console's zones: the list replies, loading, binding and unbinding against the emulated
// console, and the refusals of the settings that depend on its zones.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "devices/TribelInfo.h"
#include "devices/TribelReplies.h"
#include "foundation/Exceptions.h"
#include "tests/devices/TribelFixture.h"

namespace {

using namespace device;
using test::ConsoleEmulator;
using Fault = test::EmulatedDevice::Fault;
using test::join;
using test::readWith;

std::string describe(const ConsoleZones& zones) {
    std::ostringstream out;
    for (const auto& [number, zone] : zones) {
        out << number << ":" << zone.virtualZone << ":" << zone.scenario << ":" << std::hex << std::uppercase;
        for (const std::uint32_t address : zone.addresses) out << address << ",";
        out << std::dec << ";";
    }
    return out.str();
}

std::string describe(const std::map<int, ConsoleEmulator::Zone>& zones) {
    ConsoleZones same;
    for (const auto& [number, zone] : zones)
        same[number] = ConsoleZone{number, zone.virtualZone, zone.scenario, zone.addresses};
    return describe(same);
}

class TribelZonesTest : public test::TribelFixture {};

TEST_F(TribelZonesTest, ListRepliesAreReadWholeOrRefused) {
    const auto zones = [](const std::string& r) { return describe(tribel::readZoneList(r)); };
    const auto scenarios = [](const std::string& r) {
        std::string text;
        for (const auto& [zone, scenario] : tribel::readZoneScenarios(r))
            text += std::to_string(zone) + "=" + std::to_string(scenario) + ",";
        return text;
    };
    const auto numbers = [](const std::string& r) { return join(tribel::readZoneNumbers(r)); };
    const auto size = [](const std::string& r) {
        const auto memory = tribel::readZoneSize(r);
        return memory ? std::to_string(memory->size) + "/" + std::to_string(memory->free) : "none";
    };
    const auto keys = [](const std::string& r) {
        const tribel::PasskeyList list = tribel::readPasskeyList(r);
        std::string text = list.listening ? "listening:" : "";
        for (const std::string& key : list.keys) text += key + ",";
        return text;
    };
    struct Case {
        std::function<std::string(const std::string&)> reader;
        std::string reply;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {zones, "no", ""},
        {zones, "1,5,1A,2;2,6,3;", "1:5:-1:2,1A,;2:6:-1:3,;"},
        {zones, "0,1023,FFFFFF,", "0:1023:-1:FFFFFF,;"},
        {zones, "3,17", "refused"},
        {zones, "1,x,2", "refused"},
        {zones, "21,5,1", "refused"},
        {zones, "1,5,G1", "refused"},
        {zones, "1,5,1000000", "refused"},
        {zones, "1,5,-1", "refused"},
        {zones, "1,5,1;1,6,2", "refused"},
        {zones, "1,5,1;;2,6,2", "refused"},
        {zones, "", "refused"},
        {scenarios, "no", ""},
        {scenarios, "1,3;2,4;", "1=3,2=4,"},
        {scenarios, "1,3,2,4", "1=3,2=4,"},
        {scenarios, "1,3,2", "refused"},
        {scenarios, "1,x", "refused"},
        {scenarios, "1,3;1,4", "refused"},
        {scenarios, "", "refused"},
        {numbers, "no", ""},
        {numbers, "1,2,", "1,2,"},
        {numbers, "1,,2", "refused"},
        {numbers, "21", "refused"},
        {size, "200(10)", "200/10"},
        {size, "200(201)", "none"},
        {size, "200", "none"},
        {size, "x(1)", "none"},
        {size, "200(10) 3", "none"},
        {keys, "no", ""},
        {keys, "A1,B2,listening,", "listening:A1,B2,"},
        {keys, "A1,b2,", "A1,b2,"},
        {keys, "listening", "listening:"},
        {keys, "A1,,B2", "refused"},
        {keys, "A1,XY", "refused"},
        {keys, std::string(65, 'A'), "refused"},
        {keys, "", "refused"},
    };
    for (const Case& c : cases) EXPECT_EQ(readWith(c.reader, c.reply), c.expected) << c.reply;
    EXPECT_TRUE(capture_.contains(L"Response from Tribel has small number of parts: 3,17", L"EXTERN"));
    EXPECT_TRUE(capture_.contains(L"Response from Tribel has incorrect address: 1,5,G1", L"EXTERN"));
    EXPECT_EQ(tribel::makeZoneBindCommand(1, 5, {0x1A, 0x2}), "zoneBind 1 5 2,1A,");
}

TEST_F(TribelZonesTest, ZonesAreLoadedOnceBoundAndUnbound) {
    auto emulated = makeEmulator();
    emulated->setZones({{1, {5, 3, {0xA1, 0xA2}}}, {4, {9, -1, {0xB1}}}});
    emulated->setZoneMemorySize(6);
    emulated->setZonesOff({2, 4});
    changeStatus(*emulated, [](auto& s) { s.boundZones = 0x2; });
    auto console = connect(*emulated);

    EXPECT_EQ(describe(console->getZones()), describe(emulated->zones()));
    EXPECT_EQ(sent(*emulated), "zoneList all; zoneScList; zoneSizeGet");
    EXPECT_TRUE(capture_.contains(L"Связанные зоны 1 не соответствуют списку зон из статуса 2", L"WARN"));
    EXPECT_EQ(console->findZone(4).virtualZone, 9);
    EXPECT_THROW(console->findZone(2), exception::InternalError);
    EXPECT_EQ(join(console->getZonesOff()), "2,4,");
    emulated->clearReceived();

    // Arguments out of bounds, and more addresses than the zone memory holds, send nothing.
    const std::vector<std::tuple<int, int, std::set<std::uint32_t>>> refused = {
        {21, 5, {1}}, {-1, 5, {1}},        {2, 0, {1}},          {2, 1024, {1}},
        {2, 5, {}},   {2, 5, {0x1000000}}, {2, 5, {1, 2, 3, 4}},
    };
    for (const auto& [zone, virtualZone, addresses] : refused)
        EXPECT_FALSE(console->bindZone(zone, virtualZone, -1, addresses)) << zone << "/" << virtualZone;
    EXPECT_TRUE(capture_.contains(L"Нет доступной памяти для хранения вокаров 6(3)+4.", L"ERROR"));
    EXPECT_EQ(sent(*emulated), "");

    // A zone bound anew gives its entries back first.
    EXPECT_TRUE(console->bindZone(2, 7, -1, {0x1A, 0x2}));
    EXPECT_TRUE(console->bindZone(2, 7, -1, {0x1A, 0x2, 0x3}));
    EXPECT_TRUE(console->unbindZone(4));
    EXPECT_FALSE(console->unbindZone(4));
    EXPECT_EQ(sent(*emulated), "zoneBind 2 7 2,1A,; zoneBind 2 7 2,3,1A,; zoneDel 4");
    EXPECT_EQ(describe(console->getZones()), describe(emulated->zones()));

    // The message of a new zone is refused: the zone goes again, on the console and in the map.
    emulated->clearReceived();
    emulated->faultOn("zoneScBind", 0, Fault::error);
    EXPECT_FALSE(console->bindZone(5, 11, 2, {0xC1}));
    EXPECT_EQ(sent(*emulated), "zoneBind 5 11 C1,; zoneScBind 5 2; zoneDel 5");
    EXPECT_TRUE(capture_.contains(L"Ошибка привязки сообщения", L"ERROR"));
    EXPECT_EQ(describe(console->getZones()), describe(emulated->zones()));
    EXPECT_TRUE(console->bindZone(5, 11, 2, {0xC1}));
    EXPECT_EQ(console->findZone(5).scenario, 2);
    EXPECT_EQ(describe(console->getZones()), describe(emulated->zones()));

    // A console that carries a message may not stop being a fire console; one that is not a fire
    // console binds no messages.
    TribelInfo::Config config = console->getConfig(true);
    config.fireConsole = false;
    EXPECT_EQ(
        test::thrown<exception::UserResponse>([&] { console->setConfig(config); }, &exception::Base::message),
        L"blockedByScenario");
    ASSERT_TRUE(console->unbindZone(1));
    ASSERT_TRUE(console->unbindZone(5));
    EXPECT_FALSE(console->setConfig(config));
    EXPECT_FALSE(console->bindZone(6, 12, 4, {0xD1}));
    EXPECT_TRUE(capture_.contains(L"Голосовые сообщения разрешены только для пожарной консоли", L"ERROR"));
    EXPECT_EQ(describe(console->getZones()), describe(emulated->zones()));

    // A list that does not read is refused whole, and the map is read again next time.
    console->resetCache();
    emulated->answer("zoneList all", test::successReply("2,7,2;3,17"));
    EXPECT_EQ(test::thrown<exception::UnexpectedResponseOfDevice>(
                  [&] { console->getZones(); }, &exception::UnexpectedResponseOfDevice::response),
              "2,7,2;3,17");
    emulated->answer("zoneList all", test::successReply("no"));
    emulated->clearReceived();
    EXPECT_EQ(describe(console->getZones()), "");
    EXPECT_EQ(sent(*emulated), "zoneList all");
}

}  // namespace
