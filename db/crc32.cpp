#include "db/crc32.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace varnoke {
namespace {

// Eight tables, so that eight bytes are folded in per step ("slicing by
// 8"); table 0 alone is the classic byte-at-a-time table and gives the same
// result, several times slower.
using TTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr TTables MakeTables() {
  TTables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][i] = c;
  }
  for (std::size_t t = 1; t < 8; ++t) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = tables[t - 1][i];
      tables[t][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr TTables kTables = MakeTables();

std::uint32_t LoadLittleEndian32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The CRC register over data, without the initial value or the final
// complement applied here.
std::uint32_t TableCrc(std::uint32_t crc, const unsigned char* p, std::size_t size) noexcept {
  while (size >= 8) {
    const std::uint32_t low = LoadLittleEndian32(p) ^ crc;
    const std::uint32_t high = LoadLittleEndian32(p + 4);
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
          kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
    p += 8;
    size -= 8;
  }
  while (size-- > 0)
    crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc;
}

#if defined(__x86_64__)
// x^n mod P, bit-reflected and shifted left by one: the folding constants
// of the carry-less multiplication below.
constexpr std::uint64_t FoldConstant(int n) {
  std::uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (std::uint64_t{1} << 32)) r ^= 0x104C11DB7ULL;
  }
  std::uint64_t reflected = 0;
  for (int i = 0; i < 32; ++i) {
    if (r & (std::uint64_t{1} << i)) reflected |= std::uint64_t{1} << (31 - i);
  }
  return reflected << 1;
}

__attribute__((target("pclmul,sse2"))) __m128i Fold(__m128i x, __m128i constants, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Folds 64 bytes at a time with carry-less multiplication; the 16 bytes
// left in the register then carry the same remainder as everything folded
// into them, and the table finishes from there. Needs size >= 64.
__attribute__((target("pclmul,sse2"))) std::uint32_t FoldingCrc(std::uint32_t crc,
                                                                const unsigned char* p,
                                                                std::size_t size) noexcept {
  const auto load = [](const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  const __m128i by4 = _mm_set_epi64x(static_cast<long long>(FoldConstant(4 * 128 - 32)),
                                     static_cast<long long>(FoldConstant(4 * 128 + 32)));
  const __m128i by1 = _mm_set_epi64x(static_cast<long long>(FoldConstant(128 - 32)),
                                     static_cast<long long>(FoldConstant(128 + 32)));
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = load(p + 16);
  __m128i x2 = load(p + 32);
  __m128i x3 = load(p + 48);
  p += 64;
  size -= 64;
  while (size >= 64) {
    x0 = Fold(x0, by4, load(p));
    x1 = Fold(x1, by4, load(p + 16));
    x2 = Fold(x2, by4, load(p + 32));
    x3 = Fold(x3, by4, load(p + 48));
    p += 64;
    size -= 64;
  }
  __m128i x = Fold(Fold(Fold(x0, by1, x1), by1, x2), by1, x3);
  while (size >= 16) {
    x = Fold(x, by1, load(p));
    p += 16;
    size -= 16;
  }
  alignas(16) unsigned char rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
  return TableCrc(TableCrc(0, rest, sizeof rest), p, size);
}

bool HasCarrylessMultiply() noexcept {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return has;
}
#endif

}  // namespace

std::uint32_t StreamCRC32(const void* data, std::size_t size) noexcept {
  return ExtendCRC32(0, data, size);
}

std::uint32_t ExtendCRC32(std::uint32_t crc, const void* data, std::size_t size) noexcept {
  const auto* p = static_cast<const unsigned char*>(data);
  const std::uint32_t reg = crc ^ 0xFFFFFFFFu;
#if defined(__x86_64__)
  if (size >= 64 && HasCarrylessMultiply()) return FoldingCrc(reg, p, size) ^ 0xFFFFFFFFu;
#endif
  return TableCrc(reg, p, size) ^ 0xFFFFFFFFu;
}

}  // namespace varnoke
