#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "foundation/PlainText.h"

namespace {

TEST(PlainText, DecimalWritesEveryIntegerAsANumber) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {base::decimal(0), "0"},
        // A loudspeaker's silent level and a console's equalizer band.
        {base::decimal(std::int64_t{-96}), "-96"},
        {base::decimal(-10), "-10"},
        {base::decimal(1000u), "1000"},
        // A byte is a number, never a character.
        {base::decimal(std::uint8_t{7}), "7"},
        {base::decimal(std::int8_t{-128}), "-128"},
        {base::decimal(std::numeric_limits<std::uint32_t>::max()), "4294967295"},
        {base::decimal(std::numeric_limits<std::int32_t>::min()), "-2147483648"},
        {base::decimal(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
        {base::decimal(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
}

TEST(PlainText, TrimRemovesTheBlanksAtBothEndsOnly) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"40", "40"},
        {"  40 \r\n", "40"},
        {"\t\v\fOK[get vol]: 40\r", "OK[get vol]: 40"},
        {" a  b ", "a  b"},
        {" \r\n\t", ""},
        {"", ""},
        // Only the blanks of the "C" locale: a no-break space or a NUL stays.
        {std::string("\xA0") + "40\xA0", std::string("\xA0") + "40\xA0"},
        {std::string("40\0", 3), std::string("40\0", 3)},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        base::trim(text);
        EXPECT_EQ(text, c.expected) << c.text;
        EXPECT_EQ(base::trimmed(c.text), c.expected) << c.text;
    }
    const struct {
        std::wstring text;
        std::wstring expected;
    } wide[] = {
        {L"  Hall 2 \t", L"Hall 2"},
        {L"\r\nЗал №1\n", L"Зал №1"},
        {L" \t ", L""},
    };
    for (const auto& c : wide) {
        std::wstring text = c.text;
        base::trim(text);
        EXPECT_EQ(text, c.expected);
    }
}

}  // namespace
