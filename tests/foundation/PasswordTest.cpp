#include <gtest/gtest.h>

#include "foundation/Exceptions.h"
#include "foundation/Password.h"

namespace {

TEST(Password, StoredFormIsTwoUpperCaseDigitsPerCharacter) {
    struct Case {
        std::wstring password;
        std::wstring stored;
    };
    const Case cases[] = {
        {L"", L""},
        {L"a", L"2A"},
        {L"K", L"00"},
        {L"Ab1!", L"0A297A6A"},
        {std::wstring(1, L'\u00FF'), L"B4"},
        {std::wstring(1, L'\0'), L"4B"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(base::encodePassword(c.password), c.stored);
        EXPECT_EQ(base::toHexSpaced(c.password), c.stored);
        EXPECT_EQ(base::decodePassword(c.stored), c.password);
    }
    // The default stored form, also written in lower case, is a password of six characters.
    const std::wstring standard = base::decodePassword(L"5B3E0F91C24D");
    EXPECT_EQ(standard.size(), 6u);
    EXPECT_EQ(base::encodePassword(standard), L"5B3E0F91C24D");
    EXPECT_EQ(base::decodePassword(L"5b3e0f91c24d"), standard);
}

TEST(Password, EveryCharacterUpToFFRoundTrips) {
    std::wstring password;
    for (wchar_t c = 0; c <= 0xFF; ++c) password.push_back(c);
    EXPECT_TRUE(base::isStorablePassword(password));
    const std::wstring stored = base::encodePassword(password);
    EXPECT_EQ(stored.size(), 2 * password.size());
    EXPECT_EQ(stored.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
    EXPECT_EQ(base::decodePassword(stored), password);
}

TEST(Password, CharacterAboveFFIsRefused) {
    for (const wchar_t* password : {L"пароль", L"abc\u0100", L"\u20AC", L"x\U0001F600"}) {
        EXPECT_FALSE(base::isStorablePassword(password));
        EXPECT_THROW(base::encodePassword(password), exception::UserError);
    }
}

TEST(Password, MalformedStoredFormMatchesNoTypedPassword) {
    const std::wstring valid = base::decodePassword(L"2A2A");
    for (const wchar_t* stored : {L"2A2", L"2A2AZZ", L"ZZ", L"2A 2", L"+A2A"}) {
        const std::wstring decoded = base::decodePassword(stored);
        EXPECT_NE(decoded, L"") << stored;
        EXPECT_NE(decoded, valid) << stored;
        EXPECT_NE(decoded, L"a") << stored;
        EXPECT_THROW(base::encodePassword(decoded), exception::UserError) << stored;
    }
}

}  // namespace
