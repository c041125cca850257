#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "devicelink/DeviceType.h"
#include "support/LogCapture.h"

namespace {

using device::DeviceType;

const std::vector<std::pair<DeviceType, std::string>> definedTypes = {
    {0, "Unknown"},           {0x100200, "Vokar-N"},  {0x100400, "Vokar-S"},     {0x100800, "Vokar-PoE"},
    {0x300001, "Vokar-A"},    {0x300002, "Vokar-A"},  {0x500004, "Vokar-B"},     {0x500010, "Vokar-B-PSS"},
    {0x500020, "Vokar-B-LC"}, {0x500040, "Vokar-B1"}, {0x500080, "Vokar-B2"},    {0x500100, "Vokar-B2-PSS"},
    {0x501000, "Vokar-M"},    {0x804000, "Tribel-T"}, {0x808000, "Tribel-T-V2"}, {0x1100000, "Vokar"},
    {0x2800000, "Tribel"},
};

TEST(DeviceTypeText, TextsReadBackKindsHoldAndOtherValuesAreUnsupported) {
    using namespace device::types;
    test::LogCapture log;
    // The first-generation Vokar-A, the Vokar-B2 and the Tribel-T-V2 are told apart only by the
    // version numbers, which a type text lacks.
    const std::map<DeviceType, DeviceType> readBackOf = {
        {vokarAFirstGeneration, vokarALaterGeneration}, {vokarB2, vokarFamily}, {tribelTV2, tribelT}};
    for (const auto& [type, text] : definedTypes) {
        SCOPED_TRACE(text);
        EXPECT_EQ(text, device::toText(type));
        const auto other = readBackOf.find(type);
        EXPECT_EQ(other == readBackOf.end() ? type : other->second, device::fromText(text));
        EXPECT_EQ(text.rfind("Vokar", 0) == 0, device::isOfKind(type, loudspeaker));
        EXPECT_EQ(text.rfind("Tribel", 0) == 0, device::isOfKind(type, console));
    }
    EXPECT_TRUE(log.find(L"Неподдерживаемый тип прошивки", L"WARN").empty());
    // Every other value is unsupported, with one warning each.
    const std::vector<DeviceType> others = {
        0x500000, 0x100000, 0x8, 0x300003, 0x100200ull | 1ull << 32, 1ull << 63, 0xFFFFFFFFFFFFFFFFull,
    };
    for (const DeviceType type : others) {
        SCOPED_TRACE(type);
        EXPECT_EQ("Unsupported", device::toText(type));
        EXPECT_EQ(1u, log.find(L"Неподдерживаемый тип прошивки " + std::to_wstring(type), L"WARN").size());
    }
    // Sharing some bits of a mask is not enough.
    EXPECT_FALSE(device::isOfKind(vokarN, vokarS));
    EXPECT_FALSE(device::isOfKind(loudspeaker, vokarS));
}

// Bare type texts are read back above; these are version texts and texts naming several models,
// where the first name found in the fixed order decides.
TEST(DeviceTypeText, RecognisedFromVersionTextsInTheFixedOrder) {
    const std::vector<std::pair<std::string, DeviceType>> cases = {
        {"Vokar-A 1.01.69", 0x300001},
        {"Vokar-A 2.00.71", 0x300002},
        {"Vokar-B-PSS 2.0.0.0", 0x500010},
        {"Vokar-B-LC 3.0.0.0", 0x500020},
        {"VOKAR-B1 3.0.0.0", 0x500040},
        {"Vokar-B2-PSS 1.0.0.0", 0x500100},
        {"Vokar-B2 3.0.0.0", 0x1100000},
        {"Vokar-B 1.0.0.0", 0x500004},
        {"Vokar-B 2.01.03.17 [2023-04-05 10:11:12]", 0x500040},
        {"vokar-b 3.0.1.2", 0x500080},
        {"Vokar-B 4.0.0.0", 0x500004},
        {"Vokar-B 3.0.0 2.0", 0x500040},
        {"Vokar-B 3.0.0 1.0", 0x500004},
        {"Vokar-S 1.0.0", 0x100400},
        {"Vokar-M 2.0.0", 0x501000},
        {"Tribel-T 2.1.0.0", 0x808000},
        {"Tribel-T 3.0.0", 0x804000},
        {"Vokar-X 1.0.0", 0x1100000},
        {"Tribel-Q 2.0.0", 0x2800000},
        {"Unsupported", 0},
        {"Speaker", 0},
        {"", 0},
        {"Tribel-T Vokar-A 2.0", 0x300002},
        {"Vokar-B2-PSS Vokar-B-LC", 0x500020},
        {"Vokar-B2 Vokar-B1", 0x500040},
        {"Vokar-B2-PSS Vokar-B1", 0x500040},
        {"Vokar-N Vokar-B 3.0", 0x500080},
        {"Vokar-PoE Vokar-S", 0x100400},
        {"Vokar-M Vokar-N", 0x100200},
        {"Vokar-M Vokar-PoE", 0x100800},
        {"Tribel-T 2.0 Vokar-M", 0x501000},
        {"Vokar Tribel-T 2.0", 0x808000},
        {"Tribel Vokar", 0x1100000},
    };
    for (const auto& [text, type] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(type, device::fromText(text));
    }
}

}  // namespace
