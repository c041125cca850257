#include "app/kit/LockRules.h"

#include <cstring>

#include "foundation/Password.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"

namespace frm {
bool shouldLockForIdle(std::chrono::steady_clock::duration idle, int timeoutMinutes, bool locked,
                       bool unlockPasswordSet) {
    return !locked && unlockPasswordSet && timeoutMinutes > 0 && idle >= std::chrono::minutes(timeoutMinutes);
}

bool passwordMatches(const std::wstring& typed, const std::string& storedForm) {
    return base::decodePassword(base::widen(storedForm)) == typed;
}

bool passwordMatches(const std::wstring& typed, const setting::Text& password) {
    return passwordMatches(typed, pref::getString(password));
}

bool isPasswordSet(const std::string& storedForm, const setting::Text& password) {
    // Compared decoded, so that the factory form written in lower case by hand is still that.
    return base::decodePassword(base::widen(storedForm)) !=
           base::decodePassword(base::widen(password.fallback));
}

bool isPasswordSet(const setting::Text& password) {
    return isPasswordSet(pref::getString(password), password);
}

std::wstring whereToSetPasswords() {
    return L"в окне «Настройки» на странице «Безопасность»";
}

std::wstring passwordTitle(const setting::Text& password) {
    if (std::strcmp(password.key, setting::securityAdministrator.key) == 0) return L"Пароль администратора";
    if (std::strcmp(password.key, setting::securityPlaybackAlarm.key) == 0)
        return L"Пароль для воспроизведения тревог";
    return L"Пароль для блокирования интерфейса";
}

std::wstring passwordNotSetText(const setting::Text& password, bool alarmFunctions) {
    if (!alarmFunctions && std::strcmp(password.key, setting::securityPlaybackAlarm.key) == 0)
        return L"Тревожное сообщение не запускается: " + alarmFunctionsOffText() +
               L",\nи пароль для воспроизведения тревог на этом узле не задаётся.";
    return passwordTitle(password) + L" ещё не задан.\nЗадайте его " + whereToSetPasswords() + L".";
}

std::wstring alarmFunctionsOffText() {
    return L"тревожные функции на этом головном узле выключены (настройка mainWindow.alarmButtons)";
}

std::optional<std::wstring> passwordsLockedNote(bool administrator, bool administratorPasswordSet) {
    if (administrator || !administratorPasswordSet) return std::nullopt;
    // Broken into lines: the page does not wrap it.
    return L"Пароли и время до блокировки меняются только в режиме администратора:\n"
           L"включите его кнопкой «Администратор» и откройте настройки снова.";
}

}  // namespace frm
