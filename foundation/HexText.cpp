#include "foundation/HexText.h"

namespace base {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

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
    for (std::size_t i = 0; i < count; ++i) {
        destination[2 * i] = kDigits[in[i] >> 4];
        destination[2 * i + 1] = kDigits[in[i] & 0x0F];
    }
    destination[2 * count] = '\0';
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
