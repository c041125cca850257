#pragma once
// When the window locks itself and which typed password opens which lock.

#include <chrono>
#include <string>

#include "foundation/SettingKeys.h"

namespace frm {

// The idle lock engages once the operator has been idle for `timeoutMinutes` (0 or less: never).
bool shouldLockForIdle(std::chrono::steady_clock::duration idle, int timeoutMinutes, bool locked);

// Whether the typed password is the one whose stored form the setting holds: the unlock
// (setting::securityInterface), administrator or alarm-playback password.
bool passwordMatches(const std::wstring& typed, const setting::Text& password);
// The same against a stored form.
bool passwordMatches(const std::wstring& typed, const std::string& storedForm);

}  // namespace frm
