#pragma once
// Text built in a fixed buffer, with numbers written by hand: for code that runs inside a
// signal handler, where nothing may allocate. What does not fit is cut off.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace debug {

class FixedText {
public:
    static constexpr std::size_t kRoom = 8192;

    FixedText& add(const char* text) { return add(text, text ? std::strlen(text) : 0); }
    FixedText& add(const char* text, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) addChar(text[i]);
        return *this;
    }
    FixedText& add(const FixedText& text) { return add(text.data(), text.size()); }
    FixedText& addChar(char c) {
        if (size_ < kRoom) data_[size_++] = c;
        data_[size_] = '\0';
        return *this;
    }
    // At least `width` digits, with leading zeros.
    FixedText& decimal(std::uint64_t value, int width = 1) { return digits(value, 10, width); }
    FixedText& signedDecimal(std::int64_t value) {
        if (value < 0) addChar('-');
        return decimal(value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value));
    }
    // Upper-case hexadecimal, at least `width` digits.
    FixedText& hex(std::uint64_t value, int width = 1) { return digits(value, 16, width); }
    // Control characters as a backslash and their hexadecimal code, as the logger writes them.
    FixedText& escaped(const char* text, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x20 || c == 0x7F) {
                addChar('\\').hex(c);
            } else {
                addChar(static_cast<char>(c));
            }
        }
        return *this;
    }
    // Blanks up to the given length of the whole text.
    FixedText& pad(std::size_t width) {
        while (size_ < width && size_ < kRoom) addChar(' ');
        return *this;
    }

    const char* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    FixedText& digits(std::uint64_t value, unsigned base, int width) {
        char reversed[24];
        int count = 0;
        do {
            reversed[count++] = "0123456789ABCDEF"[value % base];
            value /= base;
        } while (value != 0);
        for (int i = count; i < width; ++i) addChar('0');
        while (count > 0) addChar(reversed[--count]);
        return *this;
    }

    char data_[kRoom + 1] = {};
    std::size_t size_ = 0;
};

}  // namespace debug
