#include <gtest/gtest.h>

#include "foundation/TextConversion.h"
#include "foundation/Validators.h"

namespace {

struct WideCase {
    std::wstring text;
    bool valid;
};

TEST(Validators, Names) {
    const WideCase cases[] = {
        {L"", false},
        {std::wstring(64, L'x'), true},
        {std::wstring(65, L'x'), false},
        {std::wstring(64, L'Ж'), true},
        {L"Зона №1 (этаж 2) - Hall!", true},
        {L" ", true},
        {L"~", true},
        {L"Ёлка", false},
        {L"tab\there", false},
        {L"line\n", false},
        {L"\u00E9", false},
        {L"\u007F", false},
    };
    for (const WideCase& c : cases) EXPECT_EQ(base::isValidName(c.text), c.valid) << base::toUtf8(c.text);
}

TEST(Validators, HexText) {
    const std::pair<std::string, bool> cases[] = {
        {"", false},   {"0", true},   {"09afAF", true}, {"0x1F", false},
        {"AG", false}, {" 1", false}, {"1 ", false},
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(base::isHexText(text), valid) << text;
}

TEST(Validators, Dates) {
    const WideCase cases[] = {
        {L"2024-02-31", true},   {L"2000-00-00", true},  {L"2100-12-31", true},  {L"1999-12-01", false},
        {L"2101-01-01", false},  {L"2024-13-01", false}, {L"2024-01-32", false}, {L"2024-1-01", false},
        {L"2024-01-01 ", false}, {L"20240101", false},   {L"", false},
    };
    for (const WideCase& c : cases) EXPECT_EQ(base::isDateText(c.text), c.valid) << base::toUtf8(c.text);
}

TEST(Validators, Times) {
    const WideCase cases[] = {
        {L"7:05", true},   {L"0:00", true},   {L"23:59:59", true},  {L"07:05:00", true},
        {L"24:00", false}, {L"12:60", false}, {L"12:00:60", false}, {L"123:00", false},
        {L"7:5", false},   {L"7:05:", false}, {L"7:05:1", false},   {L"", false},
    };
    for (const WideCase& c : cases) EXPECT_EQ(base::isTimeText(c.text), c.valid) << base::toUtf8(c.text);
}

}  // namespace
