#include "foundation/Validators.h"

#include <algorithm>
#include <regex>

namespace base {
namespace {

constexpr std::size_t kMaximumNameLength = 64;

bool isNameCharacter(wchar_t c) {
    return (c >= 0x20 && c <= 0x7E) || (c >= L'А' && c <= L'я') || c == L'№';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The expressions admit only a few ASCII digits, so the number cannot overflow.
unsigned numberOf(const std::wssub_match& group) {
    unsigned value = 0;
    for (wchar_t c : group.str()) value = value * 10 + static_cast<unsigned>(c - L'0');
    return value;
}

}  // namespace

bool isValidName(const std::wstring& text) {
    return !text.empty() && text.size() <= kMaximumNameLength &&
           std::all_of(text.begin(), text.end(), isNameCharacter);
}

bool isHexText(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isHexDigit);
}

bool isDateText(const std::wstring& text) {
    static const std::wregex expression(L"([0-9]{4})-([0-9]{2})-([0-9]{2})");
    std::wsmatch match;
    if (!std::regex_match(text, match, expression)) return false;
    const unsigned year = numberOf(match[1]);
    return year >= 2000 && year <= 2100 && numberOf(match[2]) <= 12 && numberOf(match[3]) <= 31;
}

bool isTimeText(const std::wstring& text) {
    static const std::wregex expression(L"([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?");
    std::wsmatch match;
    if (!std::regex_match(text, match, expression)) return false;
    const unsigned seconds = match[3].matched ? numberOf(match[3]) : 0;
    return numberOf(match[1]) < 24 && numberOf(match[2]) < 60 && seconds < 60;
}

}  // namespace base
