#pragma once
// The stored form of the lock passwords in the settings file: every character XORed with
// a one-byte key and written as two upper-case hexadecimal digits.

#include <string>

namespace base {

// False for a password holding a character above U+00FF (Latin-1): its scrambled code does
// not fit two digits, so it could never be matched again.
bool isStorablePassword(const std::wstring& password);
// Throws exception::UserError for a password that is not storable.
std::wstring encodePassword(const std::wstring& password);
// The name the settings dialog uses for the encoder.
std::wstring toHexSpaced(const std::wstring& password);

// A stored form that is not an even-length run of hexadecimal digits gives a text that no
// typed password equals.
std::wstring decodePassword(const std::wstring& stored);

}  // namespace base
