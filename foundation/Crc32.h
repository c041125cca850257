#pragma once
// The standard CRC-32 (reflected, polynomial 0xEDB88320, as zlib computes it) of firmware
// images.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Makes sure the table is ready. The table is built once, on first use from any thread, and
// never written again, so readers on other threads never see it change.
void crc32_init();
const std::array<std::uint32_t, 256>& crc32_table();

namespace base {

// Start value 0xFFFFFFFF, one table step a byte, complemented at the end; 0 for no bytes. With the
// CRC of the bytes before them as `before`, the CRC of those bytes and these together.
std::uint32_t crc32(const void* bytes, std::size_t count, std::uint32_t before = 0);
inline std::uint32_t crc32(const std::string& bytes) {
    return crc32(bytes.data(), bytes.size());
}

}  // namespace base
