#include "panels/SettingsChecks.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <limits>

#include "foundation/Files.h"
#include "foundation/NetworkAddress.h"
#include "foundation/Password.h"
#include "foundation/Place.h"
#include "foundation/ScanFields.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

bool isBareAddress(const std::string& text) {
    std::string address;
    return net::splitIpAndPort(text, &address) && address == text;
}

bool isInteger32(const std::string& text) {
    if (text.empty() || base::scan::isBlank(text.front())) return false;
    std::size_t at = 0;
    std::int64_t value = 0;
    return base::scan::readDecimal(text, at, value) && at == text.size() &&
           value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

bool isEmptiedSpinText(const std::wstring& typed) {
    return std::all_of(typed.begin(), typed.end(), [](wchar_t c) { return std::iswspace(c) != 0; });
}

int spinValue(const std::wstring& typed, int value, int shown) {
    return isEmptiedSpinText(typed) ? shown : value;
}

bool checkValue(const std::wstring& text, int kind) {
    switch (kind) {
        case checkAny:
            return true;
        case checkIpAddress:
            return isBareAddress(base::narrow(text));
        case checkInteger:
            return isInteger32(base::narrow(text));
        default:
            debug::Place("frm::checkValue")
                .error(L"Необходимо добавить фильтр [internal error, condition '%1%']", kind);
            return false;
    }
}

bool splitAddressAndPort(const std::string& text, std::wstring& address, std::wstring& port) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    address = base::widen(text.substr(0, colon));
    port = base::widen(text.substr(colon + 1));
    return checkValue(address, checkIpAddress) && checkValue(port, checkInteger);
}

std::optional<std::wstring> passwordRefusal(const PasswordPair& pair, const std::wstring& title) {
    if (pair.empty()) return std::nullopt;
    if (pair.typed != pair.repeated || pair.typed.empty()) return title + L" не сохранён (пустой или разный)";
    if (!base::isStorablePassword(pair.typed))
        return title + L" не сохранён: допустимы только латинские буквы, цифры и знаки";
    return std::nullopt;
}

std::optional<std::wstring> folderRefusal(const std::wstring& edited, const std::wstring& shown) {
    if (edited == shown || edited.empty()) return std::nullopt;
    if (auto refusal = choiceRefusal(edited, shown, L"Путь")) return refusal;
    if (!base::isFolder(edited)) return L"Папка '" + edited + L"' не существует";
    return std::nullopt;
}

std::optional<std::wstring> choiceRefusal(const std::wstring& chosen, const std::wstring& shown,
                                          const std::wstring& what) {
    if (chosen == shown || chosen.empty() || !base::narrow(chosen).empty()) return std::nullopt;
    return what + L" '" + chosen + L"' содержит знаки, которые нельзя сохранить в настройках";
}

}  // namespace frm
