#include <gtest/gtest.h>

#include "app/LockRules.h"
#include "app/ViewButtons.h"
#include "foundation/Password.h"
#include "foundation/TextConversion.h"

namespace {

using namespace std::chrono_literals;

TEST(Locks, IdleLockEngagesAfterTheTimeout) {
    const std::tuple<std::chrono::steady_clock::duration, int, bool, bool> cases[] = {
        {10min, 10, false, true},   {9min + 59s, 10, false, false}, {10min, 10, true, false},
        {1000min, 0, false, false}, {1000min, -3, false, false},    {16h + 40min, 1000, false, true},
    };
    for (const auto& [idle, timeout, locked, locks] : cases)
        EXPECT_EQ(frm::shouldLockForIdle(idle, timeout, locked), locks) << timeout;
}

TEST(Locks, TypedPasswordAgainstItsStoredForm) {
    const std::string stored = base::toUtf8(base::encodePassword(L"Secret1"));
    const std::tuple<std::wstring, std::string, bool> cases[] = {
        {L"Secret1", stored, true},
        {L"secret1", stored, false},
        {L"Secret", stored, false},
        {L"", stored, false},
        {L"", "", true},
        {L"x", "5B3", false},
        {L"", "ZZ", false},
    };
    for (const auto& [typed, form, matches] : cases)
        EXPECT_EQ(frm::passwordMatches(typed, form), matches) << form;
}

TEST(Views, ButtonEnabledWhenItsPanelExistsAndTheWindowIsOpen) {
    using frm::View;
    const frm::ViewSet playlists = frm::viewBit(View::playlist) | frm::viewBit(View::radio);
    const std::tuple<View, frm::ViewSet, bool, bool> cases[] = {
        {View::devices, 0, false, true},
        {View::devices, 0, true, false},
        {View::playlist, 0, false, false},
        {View::playlist, playlists, false, true},
        {View::radio, playlists, true, false},
        {View::scheduler, playlists, false, false},
        {View::drives, frm::viewBit(View::drives), false, true},
    };
    for (const auto& [view, existing, locked, enabled] : cases)
        EXPECT_EQ(frm::viewEnabled(view, existing, locked), enabled) << static_cast<unsigned>(view);
}

}  // namespace
