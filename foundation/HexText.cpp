#include "foundation/HexText.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace base {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// The two digits of every byte value: a firmware image goes out as hexadecimal text, and its
// blocks are made one after another while the update queues them.
struct DigitPairs {
    char text[256][2];
    constexpr DigitPairs() : text{} {
        for (int byte = 0; byte < 256; ++byte) {
            text[byte][0] = kDigits[byte >> 4];
            text[byte][1] = kDigits[byte & 0x0F];
        }
    }
};
constexpr DigitPairs kDigitPairs;

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::size_t toHex(char* destination, std::size_t size, const void* bytes, std::size_t count) {
    // Compared as (size - 1) / 2 so that a huge count cannot overflow 2 × count + 1.
    if (destination == nullptr || size == 0 || count > (size - 1) / 2) return 0;
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    char* out = destination;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: each nibble becomes '0' + n, and 7 more from 10 on ('A' - '9' - 1).
    const __m128i lowNibble = _mm_set1_epi8(0x0F);
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i letterStep = _mm_set1_epi8('A' - '9' - 1);
    const auto digits = [&](__m128i nibbles) {
        const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), letterStep);
        return _mm_add_epi8(_mm_add_epi8(nibbles, zero), letters);
    };
    for (; i + 16 <= count; i += 16, out += 32) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i high = _mm_and_si128(_mm_srli_epi16(block, 4), lowNibble);
        const __m128i low = _mm_and_si128(block, lowNibble);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), digits(_mm_unpacklo_epi8(high, low)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), digits(_mm_unpackhi_epi8(high, low)));
    }
#endif
    for (; i < count; ++i, out += 2) std::memcpy(out, kDigitPairs.text[in[i]], 2);
    *out = '\0';
    return 2 * count;
}

std::string toHex(const void* bytes, std::size_t count) {
    std::string text(2 * count + 1, '\0');
    text.resize(toHex(text.data(), text.size(), bytes, count));
    return text;
}

std::size_t fromHex(std::uint8_t* destination, std::size_t maximum, const char* text) {
    if (destination == nullptr || text == nullptr) return 0;
    std::size_t stored = 0;
    while (stored < maximum) {
        const char high = text[2 * stored];
        if (high == '\0') break;
        const char low = text[2 * stored + 1];
        if (low == '\0') break;
        const int highValue = digitValue(high);
        const int lowValue = digitValue(low);
        if (highValue < 0 || lowValue < 0) break;
        destination[stored++] = static_cast<std::uint8_t>(highValue << 4 | lowValue);
    }
    return stored;
}

std::uint32_t fromHex(const std::string& text, std::string& bytes) {
    bytes.assign(text.size() / 2, '\0');
    const std::size_t stored =
        fromHex(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), text.c_str());
    bytes.resize(stored);
    return static_cast<std::uint32_t>(stored);
}

}  // namespace base
