#pragma once
// When the window locks itself, which typed password opens which lock, and what the operator is
// told about a password that is not set yet.

#include <chrono>
#include <optional>
#include <string>

#include "foundation/SettingKeys.h"

namespace frm {

// The idle lock engages once the operator has been idle for `timeoutMinutes` (0 or less: never),
// and only while the unlock password is set: a lock that no password opens would shut the
// operator out.
bool shouldLockForIdle(std::chrono::steady_clock::duration idle, int timeoutMinutes, bool locked,
                       bool unlockPasswordSet);

// Whether the typed password is the one whose stored form the setting holds: the unlock
// (setting::securityInterface), administrator or alarm-playback password.
bool passwordMatches(const std::wstring& typed, const setting::Text& password);
// The same against a stored form.
bool passwordMatches(const std::wstring& typed, const std::string& storedForm);

// Whether an operator has set the password. The factory stored form (the setting's default)
// decodes to control characters that no keyboard types, so it counts as not set; a form an
// operator stored counts as set, whatever it holds.
bool isPasswordSet(const std::string& storedForm, const setting::Text& password);
bool isPasswordSet(const setting::Text& password);

// Where the passwords are set: "в окне «Настройки» на странице «Безопасность»".
std::wstring whereToSetPasswords();
// The password's name as the settings page "Безопасность" shows its box.
std::wstring passwordTitle(const setting::Text& password);
// What the operator is told instead of a prompt for a password that is not set: where to set it.
// With the alarm functions off (`mainWindow.alarmButtons`) the page does not show the box of the
// alarm-playback password; for that password the text says that the alarm functions are off.
std::wstring passwordNotSetText(const setting::Text& password, bool alarmFunctions);
// That the alarm functions are off, with the setting that switches them on: a clause in lower case.
std::wstring alarmFunctionsOffText();

// Whether the page "Безопасность" takes new passwords and a new idle-lock time: in the
// administrator mode, and while no administrator password is set, so that a first start can set
// one. None when it does; else the line the page shows over its disabled boxes.
std::optional<std::wstring> passwordsLockedNote(bool administrator, bool administratorPasswordSet);

}  // namespace frm
