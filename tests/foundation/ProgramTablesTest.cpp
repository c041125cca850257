#include <gtest/gtest.h>

#include <set>
#include <string>

#include "devicelink/DeviceType.h"
#include "foundation/FirmwareModels.h"
#include "foundation/ProgramTables.h"

namespace {

using device::FirmwareModel;

std::string imageWith(std::size_t size, std::size_t offset, std::string_view signature) {
    std::string image(size, '\xFF');
    image.replace(offset, signature.size(), signature);
    return image;
}

std::string_view modelName(const FirmwareModel* model) {
    return model ? model->name : "none";
}

TEST(FirmwareModels, EveryModelIsRecognisedByEitherSignatureFromItsLeastSize) {
    for (const FirmwareModel& model : device::firmwareModels) {
        for (std::string_view signature : {model.signature, model.twinSignature}) {
            const std::string image = imageWith(model.minimumSize, model.headerOffset, signature);
            EXPECT_EQ(device::findFirmwareModel(image), &model) << model.name << " " << signature;
            EXPECT_EQ(device::findFirmwareModel(std::string_view(image).substr(0, image.size() - 1)), nullptr)
                << model.name << " " << signature << " one byte short";
        }
    }
}

TEST(FirmwareModels, SignatureMustStandWholeAtTheOffset) {
    const struct {
        std::size_t offset;
        std::string_view signature;
        std::string_view expected;
    } cases[] = {{524, "V_N___FW", "Vokar-N"}, {525, "V_N___FW", "none"}, {523, "V_N___FW", "none"},
                 {524, "v_n___fw", "none"},    {524, "V_N___XX", "none"}, {524, "V_N___F", "none"}};
    for (const auto& c : cases) {
        EXPECT_EQ(modelName(device::findFirmwareModel(imageWith(0x80000 + 1000, c.offset, c.signature))),
                  c.expected)
            << c.signature << " at " << c.offset;
    }
}

TEST(FirmwareModels, ShortImagesAreRefusedWithoutReadingPastThem) {
    for (std::size_t size : {0, 1, 8, 188, 200, 524, 531, 544, 545}) {
        EXPECT_EQ(device::findFirmwareModel(std::string(size, 'V')), nullptr) << size;
    }
    EXPECT_EQ(device::findFirmwareModel(std::string_view()), nullptr);
}

TEST(FirmwareModels, WholeHeaderMustFitBehindTheOffset) {
    const FirmwareModel model{1, "Test", 100, 0, "TEST__FW", "TEST__EF"};
    const struct {
        std::size_t size;
        bool matches;
    } cases[] = {{0, false}, {108, false}, {120, false}, {121, true}};
    const std::string image = imageWith(4096, model.headerOffset, model.twinSignature);
    for (const auto& c : cases) {
        EXPECT_EQ(device::matchesFirmwareModel(model, std::string_view(image).substr(0, c.size)), c.matches)
            << c.size;
    }
}

TEST(FirmwareModels, EarlierRowWinsWhenAnImageMatchesTwo) {
    // Vokar-B1 reads its signature at 664 and Vokar-B2 at 524: one image can carry both.
    std::string image = imageWith(0x80000, 524, "V_B2__FW");
    image.replace(664, 8, "V_B1__EF");
    EXPECT_EQ(modelName(device::findFirmwareModel(image)), "Vokar-B1");
    EXPECT_TRUE(device::matchesFirmwareModel(device::firmwareModels[4], image));

    // Tribel-T (row 11) reads at 392, Vokar-M (row 10) at 524.
    image = imageWith(0x80000, 392, "TRIBL_FW");
    image.replace(524, 8, "V_M___FW");
    EXPECT_EQ(modelName(device::findFirmwareModel(image)), "Vokar-M");
}

TEST(FirmwareModels, RowsAgreeWithTheDeviceTypesAndTheSignatureScheme) {
    std::set<std::uint64_t> types;
    for (const FirmwareModel& model : device::firmwareModels) {
        EXPECT_EQ(device::toText(model.type), model.name);
        EXPECT_TRUE(types.insert(model.type).second) << model.name;
        ASSERT_EQ(model.signature.size(), 8u) << model.name;
        ASSERT_EQ(model.twinSignature.size(), 8u) << model.name;
        EXPECT_EQ(model.signature.substr(0, 5), model.twinSignature.substr(0, 5)) << model.name;
        EXPECT_EQ(model.signature.substr(5), "_FW") << model.name;
        EXPECT_EQ(model.twinSignature.substr(5), "_EF") << model.name;
        EXPECT_GT(model.minimumSize, model.headerOffset + device::kFirmwareHeaderSize) << model.name;
    }
}

TEST(ProgramTables, FindInTableTakesTheFirstRowAndReportsAMissingKey) {
    constexpr std::array<base::TableRow<int, char>, 3> table = {{{1, 'a'}, {2, 'b'}, {1, 'c'}}};
    static_assert(base::findInTable(table, 2) == 'b');
    EXPECT_EQ(base::findInTable(table, 1), 'a');
    EXPECT_EQ(base::findInTable(table, 3), std::nullopt);
    constexpr std::array<base::TableRow<int, char>, 0> empty{};
    EXPECT_EQ(base::findInTable(empty, 0), std::nullopt);
    // Its first user: the line-control state 0 has a name, the empty one.
    EXPECT_EQ(device::lineControlStateName(0), std::string_view(""));
    EXPECT_EQ(device::lineControlStateName(4), std::nullopt);
}

TEST(ProgramTables, PlaybackTypeNames) {
    // A type outside the table is named as the last row.
    const std::pair<std::uint64_t, std::wstring_view> cases[] = {{0, L"none"},
                                                                 {0x0100000000100000, L"meta_memory"},
                                                                 {0x1100000000000000, L"meta_over"},
                                                                 {0x0100000000100001, L"meta_over"},
                                                                 {~std::uint64_t{0}, L"meta_over"}};
    for (const auto& [type, name] : cases)
        EXPECT_EQ(device::playbackTypeName(type), name) << std::hex << type;

    std::set<std::uint64_t> types;
    std::set<std::wstring_view> names;
    for (const auto& row : device::playbackTypeNames) {
        EXPECT_TRUE(types.insert(row.key).second) << std::hex << row.key;
        EXPECT_TRUE(names.insert(row.value).second);
        EXPECT_EQ(device::playbackTypeName(row.key), row.value);
    }
}

TEST(ProgramTables, ZoneStatusKeyPrefixesTellEveryKeyApart) {
    // The display routes a key by the prefix it starts with, so no prefix may start another.
    for (const std::wstring_view& a : frm::kZoneStatusKeyPrefixes) {
        EXPECT_EQ(a.back(), L'-');
        for (const std::wstring_view& b : frm::kZoneStatusKeyPrefixes) {
            if (&a == &b) continue;
            EXPECT_NE(b.substr(0, a.size()), a);
        }
    }
}

}  // namespace
