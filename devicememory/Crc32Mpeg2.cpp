#include "devicememory/Crc32Mpeg2.h"

#include <array>

namespace device {
namespace {

// tables[k][n]: the remainder of byte n followed by k zero bytes, so that eight bytes are taken
// in one step (a firmware image is checked several times before an update starts).
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables buildTables() {
    Tables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t value = n << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ 0x04C11DB7u : value << 1;
        tables[0][n] = value;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::uint32_t n = 0; n < 256; ++n)
            tables[k][n] = (tables[k - 1][n] << 8) ^ tables[0][tables[k - 1][n] >> 24];
    }
    return tables;
}

constexpr Tables tables = buildTables();

}  // namespace

std::uint32_t crc32Mpeg2(const void* bytes, std::size_t count, std::uint32_t crc) {
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    for (; count >= 8; count -= 8, in += 8) {
        const std::uint32_t high = crc ^ (std::uint32_t{in[0]} << 24 | std::uint32_t{in[1]} << 16 |
                                          std::uint32_t{in[2]} << 8 | in[3]);
        crc = tables[7][high >> 24] ^ tables[6][(high >> 16) & 0xFF] ^ tables[5][(high >> 8) & 0xFF] ^
              tables[4][high & 0xFF] ^ tables[3][in[4]] ^ tables[2][in[5]] ^ tables[1][in[6]] ^
              tables[0][in[7]];
    }
    for (; count > 0; --count, ++in) crc = (crc << 8) ^ tables[0][((crc >> 24) ^ *in) & 0xFF];
    return crc;
}

}  // namespace device
