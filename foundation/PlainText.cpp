#include "foundation/PlainText.h"

namespace base {
namespace {

template <class Char>
void trimBlanks(std::basic_string<Char>& text) {
    static constexpr Char blanks[] = {' ', '\t', '\n', '\v', '\f', '\r', 0};
    const std::size_t last = text.find_last_not_of(blanks);
    if (last == std::basic_string<Char>::npos) {
        text.clear();
        return;
    }
    text.erase(last + 1);
    text.erase(0, text.find_first_not_of(blanks));
}

}  // namespace

void trim(std::string& text) {
    trimBlanks(text);
}

void trim(std::wstring& text) {
    trimBlanks(text);
}

std::string trimmed(const std::string& text) {
    std::string copy = text;
    trim(copy);
    return copy;
}

}  // namespace base
