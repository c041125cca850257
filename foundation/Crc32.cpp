#include "foundation/Crc32.h"

namespace {

std::array<std::uint32_t, 256> buildTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        std::uint32_t value = n;
        for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
        table[n] = value;
    }
    return table;
}

}  // namespace

const std::array<std::uint32_t, 256>& crc32_table() {
    static const std::array<std::uint32_t, 256> table = buildTable();
    return table;
}

void crc32_init() {
    crc32_table();
}

namespace base {

std::uint32_t crc32(const void* bytes, std::size_t count) {
    const std::array<std::uint32_t, 256>& table = crc32_table();
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    std::uint32_t value = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) value = table[(value ^ in[i]) & 0xFF] ^ (value >> 8);
    return ~value;
}

}  // namespace base
