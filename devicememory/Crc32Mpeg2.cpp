#include "devicememory/Crc32Mpeg2.h"

#include <array>

namespace device {
namespace {

constexpr std::array<std::uint32_t, 256> buildTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        std::uint32_t value = n << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ 0x04C11DB7u : value << 1;
        table[n] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> table = buildTable();

}  // namespace

std::uint32_t crc32Mpeg2(const void* bytes, std::size_t count, std::uint32_t crc) {
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < count; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ in[i]) & 0xFF];
    return crc;
}

}  // namespace device
