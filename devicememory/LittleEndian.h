#pragma once
// Little-endian numbers at an offset of a byte string; the caller has checked that they fit.

#include <cstdint>
#include <string>

namespace device {

template <class Integer>
Integer readLittleEndian(const std::string& bytes, std::size_t offset) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(Integer); ++i)
        value |= std::uint64_t{static_cast<std::uint8_t>(bytes[offset + i])} << (8 * i);
    return static_cast<Integer>(value);
}

}  // namespace device
