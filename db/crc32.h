// The CRC-32 that guards the database file: the ISO-HDLC CRC of zlib and
// PKZIP (reflected, polynomial 0x04C11DB7, initial value 0xFFFFFFFF, final
// complement). The check value of "123456789" is 0xCBF43926.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnoke {

std::uint32_t StreamCRC32(const void* data, std::size_t size) noexcept;

// The CRC of bytes whose CRC is crc followed by data: an image's CRC can be
// worked out piece by piece. ExtendCRC32(0, data, size) is
// StreamCRC32(data, size).
std::uint32_t ExtendCRC32(std::uint32_t crc, const void* data, std::size_t size) noexcept;

}  // namespace varnoke
