#pragma once
// The checksum of the audio memory tables, of firmware images and of firmware collections:
// CRC-32 with the polynomial 0x04C11DB7, most significant bit first, no reflection and no
// final complement (the parameter set known as CRC-32/MPEG-2).

#include <cstddef>
#include <cstdint>

namespace device {

inline constexpr std::uint32_t kCrc32Mpeg2Start = 0xFFFFFFFFu;

// Continues `crc` over `count` bytes; a run starts from kCrc32Mpeg2Start.
std::uint32_t crc32Mpeg2(const void* bytes, std::size_t count, std::uint32_t crc = kCrc32Mpeg2Start);

}  // namespace device
