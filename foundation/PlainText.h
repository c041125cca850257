#pragma once
// Plain text the way the devices and the system's helpers read and write it, whatever locale the
// program runs under: a whole number in decimal, and a text without the blanks around it (the
// blanks of the "C" locale: space, tab, line feed, carriage return, vertical tab, form feed).

#include <charconv>
#include <iterator>
#include <string>
#include <type_traits>

namespace base {

// The number in decimal, a '-' before a negative one; no grouping, no '+'. A byte is a number
// too, never a character.
template <class Integer>
std::string decimal(Integer value) {
    static_assert(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>, "a whole number");
    using Widest = std::conditional_t<std::is_signed_v<Integer>, long long, unsigned long long>;
    char digits[24];
    return std::string(digits,
                       std::to_chars(std::begin(digits), std::end(digits), static_cast<Widest>(value)).ptr);
}

// Removes the blanks at both ends; a text of blanks only becomes empty.
void trim(std::string& text);
void trim(std::wstring& text);
std::string trimmed(const std::string& text);

}  // namespace base
