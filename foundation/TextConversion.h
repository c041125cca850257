#pragma once
// The one conversion between the program's wide strings and narrow text. Narrow text is
// in the "Russian" code page (Windows-1251) everywhere in the system; files on disk are
// UTF-8. The conversions are table-driven and never touch the process locale.

#include <cstddef>
#include <string>

namespace base {

// Wide to 1251. A character that the code page cannot hold gives the empty string.
std::string narrow(const std::wstring& text);
// 1251 to wide. A null pointer or an empty text gives the empty string.
std::wstring widen(const char* text);
std::wstring widen(const std::string& text);
std::string wideToNarrow(const wchar_t* text);
std::wstring narrowToWideCopy(const char* text);

// Narrows `text` into `buffer` of `room` bytes with a terminating NUL and returns the
// length without the NUL. Returns -1 and writes only an empty text (when there is room
// for it) when the narrow text and its NUL do not fit or the text cannot be converted.
long wideToBuffer(char* buffer, std::size_t room, const wchar_t* text);

// UTF-8 for files and XML. Invalid UTF-8 sequences become U+FFFD.
std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

// A text that the system or a library hands over (an error's text, a name it keeps), in the
// encoding of the program's locale: UTF-8 on this platform, never the program's narrow code page.
// A null pointer gives the empty string.
std::wstring fromSystem(const char* text);
std::wstring fromSystem(const std::string& text);

}  // namespace base
