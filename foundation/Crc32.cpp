#include "foundation/Crc32.h"

#include <zlib.h>

#include <algorithm>

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

std::uint32_t crc32(const void* bytes, std::size_t count, std::uint32_t before) {
    // zlib's, which takes several bytes a step: state files of tens of megabytes are compared by it.
    const auto* in = static_cast<const Bytef*>(bytes);
    uLong value = before;
    while (count > 0) {
        const uInt chunk = static_cast<uInt>(std::min<std::size_t>(count, 1u << 30));
        value = ::crc32(value, in, chunk);
        in += chunk;
        count -= chunk;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace base
