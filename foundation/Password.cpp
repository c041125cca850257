#include "foundation/Password.h"

#include "foundation/Exceptions.h"

namespace base {
namespace {

constexpr unsigned long kKey = 0x4B;
constexpr wchar_t kDigits[] = L"0123456789ABCDEF";

// A noncharacter: no keyboard or input method produces it.
constexpr wchar_t kUnmatchable = 0xFFFF;

int digitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

}  // namespace

bool isStorablePassword(const std::wstring& password) {
    for (wchar_t c : password) {
        if ((static_cast<unsigned long>(c) ^ kKey) > 0xFF) return false;
    }
    return true;
}

std::wstring encodePassword(const std::wstring& password) {
    if (!isStorablePassword(password)) {
        throw exception::UserError(L"Недопустимый символ в пароле",
                                   L"Пароль может содержать только латинские буквы, цифры и знаки");
    }
    std::wstring stored;
    stored.reserve(2 * password.size());
    for (wchar_t c : password) {
        const unsigned long scrambled = static_cast<unsigned long>(c) ^ kKey;
        stored.push_back(kDigits[scrambled >> 4]);
        stored.push_back(kDigits[scrambled & 0x0F]);
    }
    return stored;
}

std::wstring toHexSpaced(const std::wstring& password) {
    return encodePassword(password);
}

std::wstring decodePassword(const std::wstring& stored) {
    if (stored.size() % 2 != 0) return std::wstring(1, kUnmatchable);
    std::wstring password;
    password.reserve(stored.size() / 2);
    for (std::size_t i = 0; i < stored.size(); i += 2) {
        const int high = digitValue(stored[i]);
        const int low = digitValue(stored[i + 1]);
        if (high < 0 || low < 0) return std::wstring(1, kUnmatchable);
        password.push_back(static_cast<wchar_t>(static_cast<unsigned long>(high << 4 | low) ^ kKey));
    }
    return password;
}

}  // namespace base
