#include "app/LockRules.h"

#include "foundation/Password.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"

namespace frm {

bool shouldLockForIdle(std::chrono::steady_clock::duration idle, int timeoutMinutes, bool locked) {
    return !locked && timeoutMinutes > 0 && idle >= std::chrono::minutes(timeoutMinutes);
}

bool passwordMatches(const std::wstring& typed, const std::string& storedForm) {
    return base::decodePassword(base::widen(storedForm)) == typed;
}

bool passwordMatches(const std::wstring& typed, const setting::Text& password) {
    return passwordMatches(typed, pref::getString(password));
}

}  // namespace frm
