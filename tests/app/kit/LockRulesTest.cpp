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

}  // namespace
