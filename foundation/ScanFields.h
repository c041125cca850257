#pragma once
// Reading the fields of device and address texts the way the C library's scanf reads "%u"
// and "%s" (blanks before a field are skipped), but by hand: no locale takes part, no field
// runs past its bound and no number wraps into range. Also the case-blind searches that the
// model names and version marks need.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace base::scan {

// The value a negative or oversized number reads as, so that every range check refuses it.
constexpr std::uint32_t outOfRange = 0xFFFFFFFF;

// The blanks of the "C" locale.
constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

void skipBlanks(std::string_view text, std::size_t& position);

// "%u": blanks, an optional sign and decimal digits. On success moves `position` behind the
// digits; on failure leaves both arguments untouched.
bool readUnsigned(std::string_view text, std::size_t& position, std::uint32_t& value);

// Digits of `base` (10 or 16) from `position`, at most `longest` of them, the value saturating at
// `limit`; false, leaving `position` untouched, when there is none. The one digit reader behind
// every number of this file.
bool readDigits(std::string_view text, std::size_t& position, int base, std::uint64_t limit,
                std::uint64_t& number, std::size_t longest = std::string_view::npos);

// "%lld" without wrapping: blanks, an optional sign and decimal digits; false for a number beyond
// 64 bits, leaving `position` untouched.
bool readDecimal(std::string_view text, std::size_t& position, std::int64_t& value);

// "%x": blanks, an optional sign, an optional "0x" and hexadecimal digits; saturates and
// treats a negative number as readUnsigned does.
bool readHex(std::string_view text, std::size_t& position, std::uint32_t& value);

// "%i": blanks, an optional sign and a number in the base its prefix names ("0x" hexadecimal,
// "0" octal, decimal otherwise). A number beyond 32 bits saturates at the end of the range.
bool readInteger(std::string_view text, std::size_t& position, std::int32_t& value);

// "%[^stop]" with a bound: one or more characters up to `stop` or the end. Fails, leaving
// `position` untouched, when there is none or there are more than `longest`.
bool readUntil(std::string_view text, std::size_t& position, char stop, std::size_t longest,
               std::string_view& field);

// "%s": blanks, then the word up to the next blank or the end. Fails, leaving `position`
// untouched, when there is no word or it is longer than `longest` characters.
bool readWord(std::string_view text, std::size_t& position, std::size_t longest, std::string_view& word);

// Comparisons that ignore the case of ASCII letters; other bytes compare as they are, so texts
// of the Russian code page are safe here.
bool equalIgnoringCase(std::string_view a, std::string_view b);
bool containsIgnoringCase(std::string_view text, std::string_view part);

}  // namespace base::scan
