#include <gtest/gtest.h>

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

TEST(DeviceTypeText, DefinedValuesHaveTheirTexts) {
    test::LogCapture log;
    for (const auto& [type, text] : definedTypes) {
        SCOPED_TRACE(text);
        EXPECT_EQ(text, device::toText(type));
    }
    EXPECT_TRUE(log.find(L"Неподдерживаемый тип прошивки", L"WARN").empty());
}

TEST(DeviceTypeText, OtherValuesAreUnsupportedWithOneWarning) {
    test::LogCapture log;
    const std::vector<DeviceType> others = {
        0x500000, 0x100000, 0x8, 0x300003, 0x100200ull | 1ull << 32, 1ull << 63, 0xFFFFFFFFFFFFFFFFull,
    };
    for (const DeviceType type : others) {
        SCOPED_TRACE(type);
        EXPECT_EQ("Unsupported", device::toText(type));
        EXPECT_EQ(1u, log.find(L"Неподдерживаемый тип прошивки " + std::to_wstring(type), L"WARN").size());
    }
}

TEST(DeviceTypeText, RecognisedFromTypeAndVersionTexts) {
    const std::vector<std::pair<std::string, DeviceType>> cases = {
        {"Vokar-A 1.01.69", 0x300001},
        {"Vokar-A 2.00.71", 0x300002},
        {"Vokar-A", 0x300002},
        {"vokar-a 1.0", 0x300001},
        {"Vokar-B-PSS 2.0.0.0", 0x500010},
        {"Vokar-B-LC 3.0.0.0", 0x500020},
        {"Vokar-B-LC", 0x500020},
        {"Vokar-B1", 0x500040},
        {"VOKAR-B1 3.0.0.0", 0x500040},
        {"Vokar-B2-PSS 1.0.0.0", 0x500100},
        {"Vokar-B2", 0x1100000},
        {"Vokar-B2 3.0.0.0", 0x1100000},
        {"Vokar-B", 0x500004},
        {"Vokar-B 1.0.0.0", 0x500004},
        {"Vokar-B 2.01.03.17 [2023-04-05 10:11:12]", 0x500040},
        {"vokar-b 3.0.1.2", 0x500080},
        {"Vokar-B 4.0.0.0", 0x500004},
        {"vokar-b", 0x500004},
        {"Vokar-B 3.0.0 2.0", 0x500040},
        {"Vokar-B 3.0.0 1.0", 0x500004},
        {"Vokar-N", 0x100200},
        {"Vokar-S 1.0.0", 0x100400},
        {"Vokar-PoE", 0x100800},
        {"Vokar-M 2.0.0", 0x501000},
        {"Tribel-T", 0x804000},
        {"Tribel-T-V2", 0x804000},
        {"Tribel-T 2.1.0.0", 0x808000},
        {"tribel-t 2.1.0.0", 0x808000},
        {"Tribel-T 1.0.0", 0x804000},
        {"Tribel-T 3.0.0", 0x804000},
        {"Vokar", 0x1100000},
        {"Vokar-X 1.0.0", 0x1100000},
        {"Tribel", 0x2800000},
        {"Tribel-Q 2.0.0", 0x2800000},
        {"Unknown", 0},
        {"Unsupported", 0},
        {"Speaker", 0},
        {"", 0},
    };
    for (const auto& [text, type] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(type, device::fromText(text));
    }
}

TEST(DeviceTypeText, FirstNameFoundInTheFixedOrderDecides) {
    const std::vector<std::pair<std::string, DeviceType>> cases = {
        {"Tribel-T Vokar-A 2.0", 0x300002},
        {"Vokar-B 2.0 Vokar-B-PSS", 0x500010},
        {"Vokar-B2-PSS Vokar-B-LC", 0x500020},
        {"Vokar-B2 Vokar-B1", 0x500040},
        {"Vokar-B 3.0 Vokar-B2-PSS", 0x500100},
        {"Vokar-B 3.0 Vokar-B2", 0x1100000},
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

TEST(DeviceTypeText, TypeTextsReadBackAsTheirType) {
    test::LogCapture log;
    for (const auto& [type, text] : definedTypes) {
        SCOPED_TRACE(text);
        // The first-generation Vokar-A, the Vokar-B2 and the Tribel-T-V2 are told apart only by
        // the version numbers, which a type text lacks.
        DeviceType expected = type;
        if (type == 0x300001) expected = 0x300002;
        if (type == 0x500080) expected = 0x1100000;
        if (type == 0x808000) expected = 0x804000;
        EXPECT_EQ(expected, device::fromText(device::toText(type)));
    }
}

TEST(DeviceTypeKind, AValueIsOfAKindWhenItHoldsEveryBitOfTheMask) {
    using namespace device::types;
    EXPECT_TRUE(device::isOfKind(vokarS, loudspeaker));
    EXPECT_TRUE(device::isOfKind(vokarFamily, loudspeaker));
    EXPECT_TRUE(device::isOfKind(vokarS, vokarS));
    EXPECT_TRUE(device::isOfKind(vokarB2, vokarBGroup));
    EXPECT_TRUE(device::isOfKind(tribelFamily, console));
    EXPECT_FALSE(device::isOfKind(tribelT, loudspeaker));
    EXPECT_FALSE(device::isOfKind(loudspeaker, vokarS));
    EXPECT_FALSE(device::isOfKind(vokarN, vokarS));
    EXPECT_FALSE(device::isOfKind(vokarS | 0x800, vokarPoE | 0x1));
}

}  // namespace
