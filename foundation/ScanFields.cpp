#include "foundation/ScanFields.h"

#include <algorithm>

namespace base::scan {
namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
bool sameIgnoringCase(char a, char b) {
    return lowerAscii(a) == lowerAscii(b);
}

}  // namespace

void skipBlanks(std::string_view text, std::size_t& position) {
    while (position < text.size() && isBlank(text[position])) ++position;
}

namespace {

// Blanks and an optional sign; true for a minus.
bool readSign(std::string_view text, std::size_t& at) {
    skipBlanks(text, at);
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) return text[at++] == '-';
    return false;
}

}  // namespace

bool readUnsigned(std::string_view text, std::size_t& position, std::uint32_t& value) {
    std::size_t at = position;
    const bool negative = readSign(text, at);
    std::uint64_t number = 0;
    if (!readDigits(text, at, 10, outOfRange, number)) return false;
    // The C library wraps these into range ("-4294967295" reads as 1); here they saturate.
    value = negative && number != 0 ? outOfRange : static_cast<std::uint32_t>(number);
    position = at;
    return true;
}

bool readDecimal(std::string_view text, std::size_t& position, std::int64_t& value) {
    std::size_t at = position;
    const bool negative = readSign(text, at);
    constexpr std::uint64_t largest = std::uint64_t{1} << 63;
    std::uint64_t number = 0;
    if (!readDigits(text, at, 10, largest + 1, number)) return false;
    if (number > (negative ? largest : largest - 1)) return false;
    value = negative ? static_cast<std::int64_t>(0 - number) : static_cast<std::int64_t>(number);
    position = at;
    return true;
}

namespace {

int digitValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

bool hasHexPrefix(std::string_view text, std::size_t at) {
    return at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
           at + 2 < text.size() && digitValue(text[at + 2]) < 16;
}


}  // namespace

bool readDigits(std::string_view text, std::size_t& position, int base, std::uint64_t limit,
                std::uint64_t& number, std::size_t longest) {
    std::size_t at = position;
    number = 0;
    for (; at < text.size() && at - position < longest && digitValue(text[at]) < base; ++at) {
        const auto digit = static_cast<std::uint64_t>(digitValue(text[at]));
        number = number > (limit - digit) / static_cast<std::uint64_t>(base) ? limit : number * base + digit;
    }
    if (at == position) return false;
    position = at;
    return true;
}

bool readHex(std::string_view text, std::size_t& position, std::uint32_t& value) {
    std::size_t at = position;
    const bool negative = readSign(text, at);
    if (hasHexPrefix(text, at)) at += 2;
    std::uint64_t number = 0;
    if (!readDigits(text, at, 16, outOfRange, number)) return false;
    value = negative && number != 0 ? outOfRange : static_cast<std::uint32_t>(number);
    position = at;
    return true;
}

bool readInteger(std::string_view text, std::size_t& position, std::int32_t& value) {
    std::size_t at = position;
    const bool negative = readSign(text, at);
    int base = 10;
    if (hasHexPrefix(text, at)) {
        base = 16;
        at += 2;
    } else if (at < text.size() && text[at] == '0') {
        base = 8;
    }
    constexpr std::uint64_t limit = std::uint64_t{1} << 31;
    std::uint64_t number = 0;
    if (!readDigits(text, at, base, limit, number)) return false;
    if (negative) {
        value = static_cast<std::int32_t>(-static_cast<std::int64_t>(number));
    } else {
        value = static_cast<std::int32_t>(std::min<std::uint64_t>(number, limit - 1));
    }
    position = at;
    return true;
}

bool readUntil(std::string_view text, std::size_t& position, char stop, std::size_t longest,
               std::string_view& field) {
    std::size_t end = text.find(stop, position);
    if (end == std::string_view::npos) end = text.size();
    if (end == position || end - position > longest) return false;
    field = text.substr(position, end - position);
    position = end;
    return true;
}

bool readWord(std::string_view text, std::size_t& position, std::size_t longest, std::string_view& word) {
    std::size_t at = position;
    skipBlanks(text, at);
    const std::size_t first = at;
    while (at < text.size() && !isBlank(text[at])) ++at;
    if (at == first || at - first > longest) return false;
    word = text.substr(first, at - first);
    position = at;
    return true;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameIgnoringCase);
}

bool containsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), sameIgnoringCase) != text.end() ||
           part.empty();
}

}  // namespace base::scan
