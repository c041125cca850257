#include <gtest/gtest.h>

#include "app/kit/LockRules.h"
#include "foundation/Password.h"
#include "foundation/TextConversion.h"

namespace {

using namespace std::chrono_literals;

TEST(Locks, IdleLockEngagesAfterTheTimeout) {
    const std::tuple<std::chrono::steady_clock::duration, int, bool, bool, bool> cases[] = {
        {10min, 10, false, true, true},
        {9min + 59s, 10, false, true, false},
        {10min, 10, true, true, false},
        {1000min, 0, false, true, false},
        {1000min, -3, false, true, false},
        {16h + 40min, 1000, false, true, true},
        // No unlock password yet: a lock nobody could open again.
        {10min, 10, false, false, false},
        {16h + 40min, 1000, false, false, false},
    };
    for (const auto& [idle, timeout, locked, passwordSet, locks] : cases)
        EXPECT_EQ(frm::shouldLockForIdle(idle, timeout, locked, passwordSet), locks) << timeout;
}

TEST(Locks, FactoryStoredFormCountsAsNotSet) {
    const std::string typed = base::toUtf8(base::encodePassword(L"Secret1"));
    const std::tuple<std::string, bool> cases[] = {
        {"5B3E0F91C24D", false},
        {"5b3e0f91c24d", false},  // the same form written by hand in lower case
        {typed, true},
        {"5B3E0F91C2", true},  // a form an operator changed, even a short one
        {"", true},            // an empty password stored by hand
        {"ZZ", true},
    };
    for (const auto& [form, set] : cases) {
        for (const setting::Text& password :
             {setting::securityInterface, setting::securityPlaybackAlarm, setting::securityAdministrator})
            EXPECT_EQ(frm::isPasswordSet(form, password), set) << form << " " << password.key;
    }
}

TEST(Locks, PasswordsChangeInTheAdministratorModeOrWhileNoneIsSet) {
    // administrator mode, administrator password set -> locked
    const std::tuple<bool, bool, bool> cases[] = {
        {false, false, false},
        {true, false, false},
        {true, true, false},
        {false, true, true},
    };
    for (const auto& [administrator, set, locked] : cases) {
        const auto note = frm::passwordsLockedNote(administrator, set);
        EXPECT_EQ(note.has_value(), locked) << administrator << set;
        if (note) {
            EXPECT_NE(note->find(L"только в режиме администратора"), std::wstring::npos);
        }
    }
}

TEST(Locks, AnUnsetPasswordNamesWhereToSetItUnlessItsBoxIsNotShown) {
    const std::wstring where = L"Задайте его в окне «Настройки» на странице «Безопасность».";
    const std::wstring off =
        L"тревожные функции на этом головном узле выключены (настройка mainWindow.alarmButtons)";
    // password, alarm functions -> what the text holds, what it must not hold
    const std::tuple<setting::Text, bool, std::wstring, std::wstring> cases[] = {
        {setting::securityPlaybackAlarm, true, L"Пароль для воспроизведения тревог ещё не задан.\n" + where,
         off},
        {setting::securityPlaybackAlarm, false, L"Тревожное сообщение не запускается: " + off, where},
        {setting::securityAdministrator, false, L"Пароль администратора ещё не задан.\n" + where, off},
        {setting::securityInterface, false, L"Пароль для блокирования интерфейса ещё не задан.\n" + where,
         off},
        {setting::securityInterface, true, where, off},
    };
    for (const auto& [password, alarmFunctions, holds, lacks] : cases) {
        const std::wstring text = frm::passwordNotSetText(password, alarmFunctions);
        EXPECT_NE(text.find(holds), std::wstring::npos) << password.key << alarmFunctions;
        EXPECT_EQ(text.find(lacks), std::wstring::npos) << password.key << alarmFunctions;
    }
}

}  // namespace
