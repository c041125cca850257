#pragma once
// Hexadecimal text of byte strings: two upper-case digits a byte, high nibble first.

#include <cstddef>
#include <cstdint>
#include <string>

namespace base {

// Writes 2 × count digits and a NUL into `destination` and returns 2 × count. Writes
// nothing and returns 0 when `size` has no room for them.
std::size_t toHex(char* destination, std::size_t size, const void* bytes, std::size_t count);
std::string toHex(const void* bytes, std::size_t count);

// Stores one byte per pair of digits (either case) and returns how many were stored. Stops
// after `maximum` bytes, at a NUL in either place of a pair (an odd last digit is dropped)
// or at the first pair holding another character.
std::size_t fromHex(std::uint8_t* destination, std::size_t maximum, const char* text);
// The same over a whole text; callers compare the result with text.size() / 2.
std::uint32_t fromHex(const std::string& text, std::string& bytes);

}  // namespace base
