#include "db/name_filter.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace varnoke {

std::string_view RequiredLiteral(std::string_view pattern) noexcept {
  std::size_t bestBegin = 0;
  std::size_t bestLength = 0;
  std::size_t runBegin = 0;
  bool inRun = false;
  const auto close = [&](std::size_t end) {
    if (inRun && end - runBegin > bestLength) {
      bestBegin = runBegin;
      bestLength = end - runBegin;
    }
    inRun = false;
  };
  for (std::size_t j = 0; j < pattern.size();) {
    const char c = pattern[j];
    if (c == '?' || c == '*' || c == '\0') {
      close(j);
      ++j;
      // The character after a star is compared literally, whatever it is.
      if (c == '*' && j < pattern.size() && pattern[j] != '\0') {
        runBegin = j;
        inRun = true;
        ++j;
      }
      continue;
    }
    if (!inRun) {
      runBegin = j;
      inRun = true;
    }
    ++j;
  }
  close(pattern.size());
  return pattern.substr(bestBegin, bestLength);
}

namespace {

// Whether literal starts at p; its first and last bytes are known to match.
bool Middle(const char* p, std::string_view literal) noexcept {
  return literal.size() <= 2 || std::memcmp(p + 1, literal.data() + 1, literal.size() - 2) == 0;
}

const char* FindScalar(const char* p, const char* end, std::string_view literal) noexcept {
  const std::size_t k = literal.size();
  for (; static_cast<std::size_t>(end - p) >= k; ++p) {
    if (p[0] == literal[0] && p[k - 1] == literal[k - 1] && Middle(p, literal)) return p;
  }
  return nullptr;
}

#if defined(__x86_64__)
// Compares the literal's first byte at each of 16 or 32 places and its last
// byte where each such match would end, and looks closer only where both
// hold: a random block of names passes few places on to memcmp. The last
// step is taken at the very end of the range, over places looked at
// before, which it leaves out: a short range (a directory's names) then
// needs no byte-by-byte tail.

// The first place from at whose bit is set in hits where the literal lies.
const char* Confirm(const char* at, unsigned hits, std::string_view literal) noexcept {
  while (hits != 0) {
    const int bit = __builtin_ctz(hits);
    if (Middle(at + bit, literal)) return at + bit;
    hits &= hits - 1;
  }
  return nullptr;
}

unsigned Sse2Hits(const char* at, std::size_t k, __m128i first, __m128i last) noexcept {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + k - 1));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
}

const char* FindSse2(const char* p, const char* end, std::string_view literal) noexcept {
  const std::size_t k = literal.size();
  const std::size_t window = 16 + k - 1;  // the bytes one step reads
  if (static_cast<std::size_t>(end - p) < window) return FindScalar(p, end, literal);
  const __m128i first = _mm_set1_epi8(literal[0]);
  const __m128i last = _mm_set1_epi8(literal[k - 1]);
  for (; static_cast<std::size_t>(end - p) >= window; p += 16) {
    if (const char* found = Confirm(p, Sse2Hits(p, k, first, last), literal)) return found;
  }
  if (static_cast<std::size_t>(end - p) < k) return nullptr;  // no place left
  const char* at = end - window;
  const auto seen = static_cast<unsigned>(p - at);
  return Confirm(at, Sse2Hits(at, k, first, last) >> seen << seen, literal);
}

__attribute__((target("avx2"))) unsigned Avx2Hits(const char* at, std::size_t k, __m256i first,
                                                  __m256i last) noexcept {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + k - 1));
  return static_cast<unsigned>(_mm256_movemask_epi8(
      _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
}

__attribute__((target("avx2"))) const char* FindAvx2(const char* p, const char* end,
                                                     std::string_view literal) noexcept {
  const std::size_t k = literal.size();
  const std::size_t window = 32 + k - 1;
  if (static_cast<std::size_t>(end - p) < window) return FindSse2(p, end, literal);
  const __m256i first = _mm256_set1_epi8(literal[0]);
  const __m256i last = _mm256_set1_epi8(literal[k - 1]);
  for (; static_cast<std::size_t>(end - p) >= window; p += 32) {
    if (const char* found = Confirm(p, Avx2Hits(p, k, first, last), literal)) return found;
  }
  if (static_cast<std::size_t>(end - p) < k) return nullptr;
  const char* at = end - window;
  const auto seen = static_cast<unsigned>(p - at);
  return Confirm(at, Avx2Hits(at, k, first, last) >> seen << seen, literal);
}

using TFind = const char* (*)(const char*, const char*, std::string_view) noexcept;
TFind ChooseFind() noexcept {
  __builtin_cpu_init();  // may run before the constructors that would do it
  return __builtin_cpu_supports("avx2") ? FindAvx2 : FindSse2;
}
const TFind kFind = ChooseFind();
#endif

}  // namespace

const char* FindLiteral(const char* begin, const char* end, std::string_view literal) noexcept {
#if defined(__x86_64__)
  return kFind(begin, end, literal);
#else
  return FindScalar(begin, end, literal);
#endif
}

}  // namespace varnoke
