#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/TextConversion.h"
#include "panels/SettingsChecks.h"
#include "panels/SpinBoxEdit.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

TEST(SettingsChecks, ValueByKind) {
    const struct {
        int kind;
        std::vector<const wchar_t*> accepted;
        std::vector<const wchar_t*> refused;
    } cases[] = {
        {frm::checkIpAddress,
         {L"239.1.2.3", L"255.255.255.255"},
         {L"256.1.1.1", L"1.2.3", L"239.1.2.3x", L"239.1.2.3 ", L"239.1.2.3:5", L""}},
        {frm::checkInteger,
         {L"11991", L"-5", L"+7", L"2147483647", L"-2147483648"},
         {L"2147483648", L"99999999999999999999", L"12a", L" 1", L""}},
        {frm::checkAny, {L"что угодно"}, {}},
    };
    for (const auto& c : cases) {
        for (const wchar_t* text : c.accepted)
            EXPECT_TRUE(frm::checkValue(text, c.kind)) << base::toUtf8(text);
        for (const wchar_t* text : c.refused)
            EXPECT_FALSE(frm::checkValue(text, c.kind)) << base::toUtf8(text);
    }
}

TEST(SettingsChecks, AnEmptiedSpinBoxKeepsTheValueItShowed) {
    const struct {
        const wchar_t* typed;
        int value;
        int expected;
    } cases[] = {{L"", 0, 10}, {L"  ", 0, 10}, {L"0", 0, 0}, {L"25", 25, 25}};
    for (const auto& c : cases) EXPECT_EQ(frm::spinValue(c.typed, c.value, 10), c.expected) << c.typed;
}

// The number kept for a spin box that showed 30, after the steps of the operator or the toolkit.
TEST(SettingsChecks, ASpinBoxKeepsTheNumberTheOperatorLeftInIt) {
    struct Step {
        int key;  // pressed before the text changed: a character, 0 for one that types none, -1 none
        const wchar_t* text;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        int value;  // what the box reads as at the end
        int kept;
    } cases[] = {
        {"untouched", {}, 30, 30},
        {"emptied", {{0, L""}}, 0, 30},
        {"emptied and filled by the toolkit", {{0, L""}, {-1, L"0"}}, 0, 30},
        {"emptied, Enter filled it", {{0, L""}, {0, L"0"}}, 0, 30},
        {"0 typed into the emptied box", {{0, L""}, {'0', L"0"}}, 0, 0},
        {"filled, then stepped up", {{0, L""}, {-1, L"0"}, {-1, L"1"}}, 1, 1},
        {"a digit typed", {{'5', L"305"}}, 305, 305},
        {"stepped down to 0", {{-1, L"0"}}, 0, 0},
    };
    for (const auto& c : cases) {
        frm::SpinBoxEdit edit(30);
        std::wstring text = L"30";
        for (const Step& step : c.steps) {
            if (step.key >= 0) edit.keyPressed(static_cast<wchar_t>(step.key));
            edit.textChanged(text = step.text);
        }
        EXPECT_EQ(edit.value(text, c.value), c.kept) << c.name;
    }
}

TEST(SettingsChecks, UnknownKindIsAnInternalFault) {
    test::LogCapture capture;
    EXPECT_FALSE(frm::checkValue(L"1", 3));
    EXPECT_TRUE(capture.contains(L"Необходимо добавить фильтр [internal error, condition '3']", L"ERROR"));
}

TEST(SettingsChecks, AddressAndPort) {
    struct Case {
        const char* text;
        bool accepted;
        const wchar_t* address;
        const wchar_t* port;
    };
    const Case cases[] = {
        {"239.1.2.3:11991", true, L"239.1.2.3", L"11991"},
        {"239.1.2.3x:11991", false, L"239.1.2.3x", L"11991"},
        {"239.1.2.3:port", false, L"239.1.2.3", L"port"},
        {"239.1.2.3:1:2", false, L"239.1.2.3", L"1:2"},
        {":11991", false, L"", L"11991"},
    };
    for (const Case& c : cases) {
        std::wstring address;
        std::wstring port;
        EXPECT_EQ(frm::splitAddressAndPort(c.text, address, port), c.accepted) << c.text;
        EXPECT_EQ(address, c.address) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
    std::wstring address = L"kept";
    std::wstring port;
    EXPECT_FALSE(frm::splitAddressAndPort("239.1.2.3", address, port));
    EXPECT_EQ(address, L"kept");
}

TEST(SettingsChecks, Passwords) {
    struct Case {
        const wchar_t* typed;
        const wchar_t* repeated;
        // Empty: accepted.
        const wchar_t* refusal;
    };
    const Case cases[] = {
        {L"", L"", L""},
        {L"secret", L"secret", L""},
        {L"Pässwörd ÿ", L"Pässwörd ÿ", L""},
        {L"secret", L"", L"Пароль администратора не сохранён (пустой или разный)"},
        {L"", L"secret", L"Пароль администратора не сохранён (пустой или разный)"},
        {L"secret", L"Secret", L"Пароль администратора не сохранён (пустой или разный)"},
        {L"пароль", L"пароль",
         L"Пароль администратора не сохранён: допустимы только латинские буквы, цифры и знаки"},
        {L"abc\u0100", L"abc\u0100",
         L"Пароль администратора не сохранён: допустимы только латинские буквы, цифры и знаки"},
    };
    for (const Case& c : cases) {
        const auto refusal = frm::passwordRefusal({c.typed, c.repeated}, L"Пароль администратора");
        EXPECT_EQ(refusal.value_or(L""), c.refusal) << base::toUtf8(c.typed);
    }
}

TEST(SettingsChecks, Folders) {
    test::TempFolder temp;
    const std::wstring existing = temp.widePath();
    const std::wstring missing = existing + L"/нет";
    std::ofstream(temp.file("file")).put('x');
    struct Case {
        std::wstring edited;
        std::wstring shown;
        std::wstring refusal;
    };
    const Case cases[] = {
        {missing, missing, L""},
        {existing, missing, L""},
        {L"", existing, L""},
        {missing, existing, L"Папка '" + missing + L"' не существует"},
        {existing + L"/file", existing, L"Папка '" + existing + L"/file' не существует"},
        {existing + L"/\u4E2D", existing,
         L"Путь '" + existing + L"/\u4E2D' содержит знаки, которые нельзя сохранить в настройках"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(frm::folderRefusal(c.edited, c.shown).value_or(L""), c.refusal) << base::toUtf8(c.edited);
}

// A changed choice the settings file could not hold would be saved empty: the gong lost, the
// default capture device taken.
TEST(SettingsChecks, Choices) {
    struct Case {
        const wchar_t* chosen;
        const wchar_t* shown;
        const wchar_t* refusal;
    };
    const Case cases[] = {
        {L"Колокол", L"Преамбула", L""},
        {L"", L"Преамбула", L""},
        {L"Gong \u00E9", L"Gong \u00E9", L""},
        {L"Gong \u00E9", L"Преамбула",
         L"Гонг 'Gong \u00E9' содержит знаки, которые нельзя сохранить в настройках"},
        {L"\uFFFD", L"", L"Гонг '\uFFFD' содержит знаки, которые нельзя сохранить в настройках"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(frm::choiceRefusal(c.chosen, c.shown, L"Гонг").value_or(L""), c.refusal)
            << base::toUtf8(c.chosen);
}

}  // namespace
