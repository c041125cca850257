#pragma once
// Reads and writes the little-endian fields of a flash record one after the other; the caller
// hands it a buffer as long as the record.

#include <cstdint>

namespace device::memory {

class RecordCursor {
public:
    explicit RecordCursor(const std::uint8_t* bytes) : in_(bytes) {}
    explicit RecordCursor(std::uint8_t* bytes) : in_(bytes), out_(bytes) {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    std::int16_t i16() { return static_cast<std::int16_t>(take(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }

    RecordCursor& put(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) out_[at_++] = static_cast<std::uint8_t>(value >> (8 * i));
        return *this;
    }
    RecordCursor& put8(std::uint32_t value) { return put(value, 1); }
    RecordCursor& put16(std::int32_t value) { return put(static_cast<std::uint32_t>(value), 2); }
    RecordCursor& put32(std::uint32_t value) { return put(value, 4); }

private:
    std::uint32_t take(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value |= static_cast<std::uint32_t>(in_[at_++]) << (8 * i);
        return value;
    }

    const std::uint8_t* in_;
    std::uint8_t* out_ = nullptr;
    std::uint32_t at_ = 0;
};

}  // namespace device::memory
