#include "foundation/TextConversion.h"

#include <array>
#include <cstring>

namespace base {
namespace {

// Upper half of code page 1251. The one byte the code page leaves undefined (0x98) maps
// to U+0098, as the system's own converter does, so every byte survives a round trip.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

bool toCodePage(wchar_t c, char& out) {
    if (static_cast<unsigned long>(c) < 0x80) {
        out = static_cast<char>(c);
        return true;
    }
    // The reverse table is small enough for a linear scan only on the rare
    // non-Cyrillic symbols; Cyrillic letters are computed directly.
    if (c >= 0x0410 && c <= 0x044F) {
        out = static_cast<char>(0xC0 + (c - 0x0410));
        return true;
    }
    for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
        if (static_cast<wchar_t>(kUpperHalf[i]) == c) {
            out = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

}  // namespace

std::string narrow(const std::wstring& text) {
    std::string result;
    result.reserve(text.size());
    for (wchar_t c : text) {
        char byte;
        if (!toCodePage(c, byte)) return std::string();
        result.push_back(byte);
    }
    return result;
}

std::wstring widen(const std::string& text) {
    std::wstring result;
    result.reserve(text.size());
    for (unsigned char byte : text) {
        result.push_back(byte < 0x80 ? static_cast<wchar_t>(byte) : static_cast<wchar_t>(kUpperHalf[byte - 0x80]));
    }
    return result;
}

std::wstring widen(const char* text) {
    if (text == nullptr) return std::wstring();
    return widen(std::string(text));
}

std::string wideToNarrow(const wchar_t* text) { return text ? narrow(std::wstring(text)) : std::string(); }

std::wstring narrowToWideCopy(const char* text) { return widen(text); }

long wideToBuffer(char* buffer, std::size_t room, const wchar_t* text) {
    if (buffer == nullptr || room == 0) return -1;
    buffer[0] = '\0';
    if (text == nullptr) return 0;
    const std::wstring wide(text);
    const std::string narrowed = narrow(wide);
    if (narrowed.empty() && !wide.empty()) return -1;
    if (narrowed.size() + 1 > room) return -1;
    std::memcpy(buffer, narrowed.c_str(), narrowed.size() + 1);
    return static_cast<long>(narrowed.size());
}

std::string toUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        auto c = static_cast<unsigned long>(wc);
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring fromUtf8(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        unsigned long c;
        std::size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool valid = true;
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        static constexpr unsigned long kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(c));
        i += extra + 1;
    }
    return out;
}

std::wstring fromSystem(const char* text) {
    return text ? fromUtf8(text) : std::wstring();
}

std::wstring fromSystem(const std::string& text) {
    return fromUtf8(text);
}

}  // namespace base
