#include <gtest/gtest.h>

#include <cstring>

#include "foundation/TextConversion.h"

namespace {

TEST(TextConversion, EveryByteSurvivesTheRoundTrip) {
    for (int byte = 1; byte < 256; ++byte) {
        const std::string narrowText(1, static_cast<char>(byte));
        const std::wstring wide = base::widen(narrowText);
        ASSERT_EQ(wide.size(), 1u) << byte;
        EXPECT_EQ(base::narrow(wide), narrowText) << "byte " << byte;
    }
    const std::string zero(1, '\0');
    EXPECT_EQ(base::narrow(base::widen(zero)), zero);
}

TEST(TextConversion, CyrillicIsOneBytePerLetter) {
    EXPECT_EQ(base::narrow(L"Устройство"), "\xD3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE");
    EXPECT_EQ(base::narrow(L"Ёё№"), "\xA8\xB8\xB9");
    EXPECT_EQ(base::widen("\xC0\xFF"), L"Ая");
}

TEST(TextConversion, UnconvertibleTextGivesEmptyString) {
    EXPECT_EQ(base::narrow(L"abc\u4E2Ddef"), "");
    EXPECT_EQ(base::widen(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(base::widen(""), L"");
    EXPECT_EQ(base::wideToNarrow(nullptr), "");
}

TEST(TextConversion, WideToBufferNeverWritesPastTheRoom) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(base::wideToBuffer(buffer, 4, L"абв"), 3);
    EXPECT_STREQ(buffer, "\xE0\xE1\xE2");

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(base::wideToBuffer(buffer, 4, L"абвг"), -1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[4], 'x');  // the byte after the room is untouched

    EXPECT_EQ(base::wideToBuffer(buffer, 0, L"a"), -1);
    EXPECT_EQ(base::wideToBuffer(buffer, 8, L"\u4E2D"), -1);
}

TEST(TextConversion, Utf8RoundTripAndInvalidInput) {
    const std::wstring text = L"Зона 1 \u4E2D \U0001F600";
    EXPECT_EQ(base::fromUtf8(base::toUtf8(text)), text);
    EXPECT_EQ(base::toUtf8(L"я"), "\xD1\x8F");
    EXPECT_EQ(base::fromUtf8("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(base::fromUtf8("\xD1"), L"\uFFFD");          // cut sequence
    EXPECT_EQ(base::fromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");  // overlong form
}

}  // namespace
