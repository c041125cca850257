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

bool readUnsigned(std::string_view text, std::size_t& position, std::uint32_t& value) {
    std::size_t at = position;
    skipBlanks(text, at);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const std::size_t digits = at;
    std::uint64_t number = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        number = std::min<std::uint64_t>(number * 10 + static_cast<unsigned>(text[at] - '0'), outOfRange);
    }
    if (at == digits) return false;
    // The C library wraps these into range ("-4294967295" reads as 1); here they saturate.
    value = negative && number != 0 ? outOfRange : static_cast<std::uint32_t>(number);
    position = at;
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
