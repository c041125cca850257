// The text conversions between the program's wide strings, the code page of the devices and the
// UTF-8 of files, and the escape that keeps a received text on one log line.

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <vector>

#include "FuzzSupport.h"
#include "foundation/Log.h"
#include "foundation/TextConversion.h"

namespace {

bool isCodePoint(wchar_t c) {
    const auto code = static_cast<unsigned long>(c);
    return code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzz::text(data, size);

    // Every byte of the code page survives the way through the wide text.
    const std::wstring widened = base::widen(bytes);
    fuzz::require(base::narrow(widened) == bytes, "a code-page text narrows back to itself");
    std::vector<char> buffer(size % 64 + 1);
    const long written = base::wideToBuffer(buffer.data(), buffer.size(), widened.c_str());
    fuzz::require(written < static_cast<long>(buffer.size()) && std::strlen(buffer.data()) < buffer.size(),
                  "a narrowed text stays within its buffer");

    // Read UTF-8 is written back as UTF-8 that reads the same.
    const std::wstring read = base::fromUtf8(bytes);
    fuzz::require(std::all_of(read.begin(), read.end(), isCodePoint), "read UTF-8 holds only code points");
    fuzz::require(base::fromUtf8(base::toUtf8(read)) == read, "UTF-8 that was read survives being written");

    // Any wide text is written as UTF-8 that reads back, a character that is none replaced.
    std::wstring wide(size / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
    const std::wstring back = base::fromUtf8(base::toUtf8(wide));
    fuzz::require(back.size() == wide.size(), "each wide character is one character in UTF-8");
    for (std::size_t i = 0; i < wide.size(); ++i) {
        fuzz::require(back[i] == (isCodePoint(wide[i]) ? wide[i] : L'\uFFFD'),
                      "UTF-8 keeps every code point");
    }

    // A received text never breaks a log line.
    std::wstring line = wide + widened;
    base::Log::escape(line);
    fuzz::require(line.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos,
                  "an escaped text holds no line end and no NUL");
    return 0;
}
