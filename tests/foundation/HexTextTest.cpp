#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "foundation/HexText.h"

namespace {

TEST(HexText, ToHexNeedsRoomForEveryDigitAndTheNul) {
    const std::uint8_t bytes[] = {0x00, 0xAB, 0x7F};
    struct Case {
        std::size_t room;
        std::size_t count;
        std::size_t expected;
        const char* text;
    };
    const Case cases[] = {
        {7, 3, 6, "00AB7F"}, {6, 3, 0, "untouched"}, {1, 0, 0, ""}, {0, 0, 0, "untouched"}, {3, 1, 2, "00"},
    };
    for (const Case& c : cases) {
        char buffer[16];
        std::strcpy(buffer, "untouched");
        EXPECT_EQ(base::toHex(buffer, c.room, bytes, c.count), c.expected) << c.room << " " << c.count;
        EXPECT_STREQ(buffer, c.text) << c.room << " " << c.count;
    }
    char buffer[4] = "abc";
    EXPECT_EQ(base::toHex(buffer, sizeof buffer, bytes, static_cast<std::size_t>(-1)), 0u);
    EXPECT_STREQ(buffer, "abc");

    EXPECT_EQ(base::toHex(bytes, 3), "00AB7F");
    EXPECT_EQ(base::toHex(bytes, 0), "");
}

// Every length and starting place of a block, the long runs included, gives two upper-case
// digits a byte, high nibble first, and stops at the NUL.
TEST(HexText, ToHexOfEveryLengthAndPlaceMatchesTheFormattedDigits) {
    std::vector<std::uint8_t> bytes(600);
    for (std::size_t n = 0; n < bytes.size(); ++n) bytes[n] = static_cast<std::uint8_t>(n * 167 + 13);
    for (const std::size_t start : {0u, 1u, 3u, 15u}) {
        for (std::size_t count = 0; count + start <= bytes.size(); count += count < 70 ? 1 : 61) {
            std::string expected;
            for (std::size_t n = 0; n < count; ++n) {
                char pair[3];
                std::snprintf(pair, sizeof pair, "%02X", bytes[start + n]);
                expected += pair;
            }
            std::string buffer(2 * count + 8, '#');
            ASSERT_EQ(base::toHex(buffer.data(), 2 * count + 1, bytes.data() + start, count), 2 * count);
            EXPECT_EQ(buffer, expected + '\0' + std::string(7, '#')) << start << " " << count;
        }
    }
}

TEST(HexText, FromHexStopsAtTheFirstIncompleteOrBadPair) {
    struct Case {
        const char* text;
        std::size_t maximum;
        std::vector<std::uint8_t> expected;
    };
    const Case cases[] = {
        {"0aFf", 8, {0x0A, 0xFF}},   {"0aF", 8, {0x0A}}, {"0G11", 8, {}}, {"110G22", 8, {0x11}},
        {"112233", 2, {0x11, 0x22}}, {"11", 0, {}},      {"", 8, {}},
    };
    for (const Case& c : cases) {
        std::uint8_t buffer[8] = {};
        const std::size_t stored = base::fromHex(buffer, c.maximum, c.text);
        EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + stored), c.expected) << c.text;
    }
}

TEST(HexText, WholeTextConversionsRoundTrip) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    const std::string text = base::toHex(all.data(), all.size());
    ASSERT_EQ(text.size(), 2 * all.size());

    std::string bytes;
    EXPECT_EQ(base::fromHex(text, bytes), all.size());
    EXPECT_EQ(bytes, all);

    EXPECT_EQ(base::fromHex("01zz03", bytes), 1u);
    EXPECT_EQ(bytes, "\x01");
}

}  // namespace
