// Firmware images told from their bytes by the model table and the two Vokar-A formats, their
// checks and version texts, and collection files with every kind of damage.

#include <gtest/gtest.h>

#include <functional>

#include "devicememory/FirmwareCollection.h"
#include "devicememory/FirmwareDetection.h"
#include "devicememory/FirmwareUnify.h"
#include "foundation/Exceptions.h"
#include "support/FirmwareImages.h"
#include "support/LogCapture.h"

namespace test {
namespace {

// The model name of what the bytes are recognised as; empty when they are no image.
std::wstring recognised(const std::string& bytes) {
    const auto image = device::detectFirmware(bytes);
    return image ? image->getModelName() : L"";
}

std::string withByte(std::string bytes, std::size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

TEST(FirmwareImageTest, EveryModelOfTheTableIsRecognisedFromItsHeader) {
    for (const device::FirmwareModel& model : device::firmwareModels) {
        SCOPED_TRACE(std::string(model.name));
        const std::string image = unifiedImage(model, model.minimumSize);
        const auto firmware = device::detectFirmware(image);
        ASSERT_NE(firmware, nullptr);
        EXPECT_EQ(firmware->getModelName(), std::wstring(model.name.begin(), model.name.end()));
        EXPECT_EQ(firmware->getVersion().type, model.type);
        EXPECT_EQ(firmware->getVersion().text, std::string(model.name) + " 1.2.3.17");
        EXPECT_EQ(firmware->getEraseCommand(), "firmwareErase");
    }
}

TEST(FirmwareImageTest, ImagesAreTakenAndRefusedByTheRulesOfTheirFormat) {
    const device::FirmwareModel& vokarB = firmwareModel("Vokar-B");
    const device::FirmwareModel& vokarS = firmwareModel("Vokar-S");
    const struct {
        const char* name;
        std::string bytes;
        const wchar_t* model;  // empty: no image
    } cases[] = {
        // Row 1 comes before the second Vokar-A format, which has the same header.
        {"Vokar-B header of the second Vokar-A format", unifiedImage(vokarB, 0x3C000, 2, 0, 5, 42),
         L"Vokar-B"},
        {"twin signature, any trailer", unifiedImage(vokarS, 0x80000, 1, 2, 3, 17, true, false), L"Vokar-S"},
        {"wrong trailer", unifiedImage(vokarS, 0x80000, 1, 2, 3, 17, false, false), L""},
        {"shorter than its model", unifiedImage(vokarS, 0x80000 - 1), L""},
        {"header past the end", std::string(vokarS.headerOffset + 20, 'V'), L""},
        {"wrong offset", unifiedImage(firmwareModel("Vokar-B1"), 0x80000).replace(664, 8, "V_B1__XX"), L""},
        {"first Vokar-A, largest", firstVokarAImage(122872), L"Vokar-A"},
        {"first Vokar-A, smallest", firstVokarAImage(293), L"Vokar-A"},
        {"first Vokar-A, a byte too long", firstVokarAImage(122873), L""},
        {"first Vokar-A, a byte too short", firstVokarAImage(292), L""},
        {"first Vokar-A without its marker", withByte(firstVokarAImage(1000), 288, 2), L""},
        {"second Vokar-A", secondVokarAImage(0x8000), L"Vokar-A"},
        {"second Vokar-A, major 1", secondVokarAImage(0x8000, 1), L""},
        {"second Vokar-A, revision 0", secondVokarAImage(0x8000, 2, 0), L""},
        {"second Vokar-A, no build stamp", secondVokarAImage(0x8000, 2, 5, 0), L""},
        {"second Vokar-A, too short", secondVokarAImage(540), L""},
        {"bootloader", secondVokarAImage(0x8000, 2, 5, 42, "BOOT_LDR"), L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(recognised(c.bytes), c.model);
    }
}

TEST(FirmwareImageTest, VersionsAndTheirTexts) {
    const auto textOf = [](const std::string& bytes) {
        return device::detectFirmware(bytes)->getVersion().text;
    };
    const auto vokarN = [](std::uint64_t stamp) {
        return unifiedImage(firmwareModel("Vokar-N"), 0x80000, 1, 2, 3, stamp);
    };
    // A build stamp below 255 is a build number; a larger one is a build time.
    EXPECT_EQ(textOf(vokarN(200)), "Vokar-N 1.2.3.200");
    const std::string dated = textOf(vokarN(1600000000));
    EXPECT_EQ(dated.compare(0, 22, "Vokar-N 1.2.3.0 [2020-"), 0) << dated;
    EXPECT_EQ(dated.size(), std::string("Vokar-N 1.2.3.0 [2020-09-13 12:26:40]").size());
    // A stamp beyond any calendar year gives no date, and the image is still read.
    EXPECT_EQ(textOf(vokarN(0x7FFFFFFFFFFFFFFF)), "Vokar-N 1.2.3.0");
    EXPECT_EQ(textOf(firstVokarAImage(1000, 1, 72)), "Vokar-A 1.1.72.0");
    // The second Vokar-A format tells its version only from the size of a Vokar-B image on.
    EXPECT_EQ(device::detectFirmware(secondVokarAImage(0x8000))->getVersion().type, 0u);
}

TEST(FirmwareImageTest, NewBytesReplaceTheImageOnlyWhenTheyAreValid) {
    const device::FirmwareModel& model = firmwareModel("Vokar-M");
    device::FirmwareUnify image(unifiedImage(model, 0x80000), false, model);
    EXPECT_FALSE(image.setData("not a firmware"));
    EXPECT_EQ(image.getSize(), 0u);
    EXPECT_TRUE(image.setData(unifiedImage(model, 0x80001)));
    EXPECT_EQ(image.getSize(), 0x80001u);
    // A forced image is taken as it is, without a model.
    device::FirmwareUnify forced("anything", true, device::FirmwareUnify::noModel);
    EXPECT_TRUE(forced.isValid());
    EXPECT_EQ(forced.getModelName(), L"");
}

// The texts of the exception::UserResponse that opening the bytes throws; empty when none.
std::wstring refusalOf(const std::string& bytes, std::uint32_t* count = nullptr) {
    device::FirmwareCollection collection;
    try {
        collection.open(bytes);
    } catch (const exception::UserResponse& refusal) {
        return refusal.message + L" / " + refusal.description;
    }
    if (count) *count = collection.count();
    return L"";
}

TEST(FirmwareCollectionTest, OpensSingleImagesAndCollections) {
    LogCapture capture;
    const std::string first = unifiedImage(firmwareModel("Vokar-B-PSS"), 0x10000);
    const std::string second = unifiedImage(firmwareModel("Vokar-B1"), 0x80000);

    std::uint32_t count = 0;
    EXPECT_EQ(refusalOf(first, &count), L"");
    EXPECT_EQ(count, 1u);
    // Even a valid image is refused below 32 KiB.
    EXPECT_EQ(refusalOf(firstVokarAImage(0x7FFF)), L"incorrectFirmware / Firmware is very small!");
    EXPECT_EQ(refusalOf(collectionFile({first, "", second}), &count), L"");
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(capture.find(L"Skip item in firmware collection.").size(), 1u);
    // Entries that are no image are skipped; the checksum still covers them.
    EXPECT_EQ(refusalOf(collectionFile({std::string(0x9000, 'x')}), &count), L"");
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(refusalOf(collectionFile({first, second}, false)), L"incorrectFirmware / Wrong CRC32");
    EXPECT_EQ(refusalOf(std::string(0x9000, 'x')),
              L"incorrectFirmware / The firmware collection has unknown format of data or corrupted");
}

// A size table that does not fit the file, or entries that run past its end, are refused before
// anything of them is read: under AddressSanitizer a read past the end would end the test.
TEST(FirmwareCollectionTest, ALyingSizeTableIsRefusedWithoutReadingPastTheEnd) {
    const std::string image = unifiedImage(firmwareModel("Vokar-B-LC"), 0xF000);
    const auto withSizes = [&](std::uint16_t entries, std::vector<std::uint32_t> sizes, std::size_t length) {
        std::string file = collectionFile({image});
        file[10] = static_cast<char>(entries & 0xFF);
        file[11] = static_cast<char>(entries >> 8);
        for (std::size_t i = 0; i < sizes.size(); ++i)
            for (int b = 0; b < 4; ++b) file[20 + 4 * i + b] = static_cast<char>(sizes[i] >> (8 * b));
        file.resize(length);
        return std::string(file.data(), file.size());
    };
    const std::wstring broken = L"incorrectFirmware / Коллекция повреждена!";
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"table longer than the file", withSizes(0xFFFF, {}, 0x9000)},
        {"entry past the end", withSizes(1, {0xF001}, 0xF000 + 24)},
        {"sizes that wrap in 32 bits", withSizes(2, {0xFFFFFFF0u, 0x20}, 0xF000 + 28)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(refusalOf(c.file), broken);
    }
}

}  // namespace
}  // namespace test
