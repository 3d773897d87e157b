#include "db/wildcard.h"

#include <cstring>

namespace varnoke {
namespace {

using Byte = unsigned char;

bool IsContinuation(Byte b) noexcept {
  return (b & 0xC0) == 0x80;
}

// The length of the UTF-8 character at s, of which at most available bytes
// may be read: 1 for ASCII and for a byte that does not start a well-formed
// sequence (a stray continuation byte, an overlong or cut-off lead). A NUL
// is never a continuation byte, so a terminated text may pass a large bound.
std::size_t CharLength(const Byte* s, std::size_t available) noexcept {
  const Byte lead = s[0];
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  Byte low = 0x80;  // the range of the byte after the lead
  Byte high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  if (length > available || s[1] < low || s[1] > high) return 1;
  for (std::size_t k = 2; k < length; ++k) {
    if (!IsContinuation(s[k])) return 1;
  }
  return length;
}

// The name's text from a character boundary on: measured, or ended by its
// NUL. Both forms of the matcher run the same steps over one of these.
struct TMeasuredName {
  const Byte* text;
  std::size_t length;
  bool AtEnd(std::size_t i) const noexcept { return i >= length; }
  std::size_t Available(std::size_t i) const noexcept { return length - i; }
  const Byte* Find(std::size_t i, Byte b) const noexcept {
    return static_cast<const Byte*>(std::memchr(text + i, b, length - i));
  }
};

struct TTerminatedName {
  const Byte* text;
  bool AtEnd(std::size_t i) const noexcept { return text[i] == 0; }
  static std::size_t Available(std::size_t) noexcept { return static_cast<std::size_t>(-1) / 2; }
  const Byte* Find(std::size_t i, Byte b) const noexcept {
    return reinterpret_cast<const Byte*>(std::strchr(reinterpret_cast<const char*>(text + i), b));
  }
};

// Whether the name's character at i is the pattern's character c of
// length cLength, byte for byte and of the same length.
template <typename Name>
bool SameCharacter(const Name& name, std::size_t i, const Byte* c, std::size_t cLength) noexcept {
  return CharLength(name.text + i, name.Available(i)) == cLength &&
         std::memcmp(name.text + i, c, cLength) == 0;
}

// After a star: the position just past the first whole character of the
// name at or after i that is c, or npos when there is none.
template <typename Name>
std::size_t SkipPast(const Name& name, std::size_t i, const Byte* c, std::size_t cLength) noexcept {
  constexpr std::size_t npos = static_cast<std::size_t>(-1);
  if (!IsContinuation(c[0])) {
    // A byte that is no continuation byte starts a character wherever it
    // stands, so a byte search finds only character boundaries.
    for (;;) {
      const Byte* found = name.Find(i, c[0]);
      if (found == nullptr) return npos;
      i = static_cast<std::size_t>(found - name.text);
      if (SameCharacter(name, i, c, cLength)) return i + cLength;
      ++i;
    }
  }
  // A stray continuation byte: only a stray one in the name is the same
  // character, so the name is walked a character at a time.
  while (!name.AtEnd(i)) {
    const std::size_t length = CharLength(name.text + i, name.Available(i));
    if (length == 1 && name.text[i] == c[0]) return i + 1;
    i += length;
  }
  return npos;
}

template <typename Name>
bool Match(const Name& name, const Byte* pattern, std::size_t patternLength) noexcept {
  if (name.AtEnd(0)) return false;
  std::size_t i = 0;
  std::size_t j = 0;
  while (!name.AtEnd(i) && j < patternLength) {
    const Byte p = pattern[j];
    if (p == '?') {
      i += name.text[i] < 0x80 ? 1 : CharLength(name.text + i, name.Available(i));
      ++j;
    } else if (p == '*') {
      ++j;
      if (j == patternLength) return true;
      // The character after a star is always taken literally.
      const std::size_t cLength = CharLength(pattern + j, patternLength - j);
      if (pattern[j] == '\0') return false;  // a name holds no NUL before its end
      i = SkipPast(name, i, pattern + j, cLength);
      if (i == static_cast<std::size_t>(-1)) return false;
      j += cLength;
    } else if (p < 0x80) {
      if (p != name.text[i]) return false;
      ++i;
      ++j;
    } else {
      const std::size_t cLength = CharLength(pattern + j, patternLength - j);
      if (!SameCharacter(name, i, pattern + j, cLength)) return false;
      i += cLength;
      j += cLength;
    }
  }
  return name.AtEnd(i) && j == patternLength;
}

}  // namespace

bool MatchWildcard(const char* name, const char* pattern, std::size_t nameLength,
                   std::size_t patternLength) noexcept {
  return Match(TMeasuredName{reinterpret_cast<const Byte*>(name), nameLength},
               reinterpret_cast<const Byte*>(pattern), patternLength);
}

bool MatchWildcardTerminated(const char* name, const char* pattern,
                             std::size_t patternLength) noexcept {
  return Match(TTerminatedName{reinterpret_cast<const Byte*>(name)},
               reinterpret_cast<const Byte*>(pattern), patternLength);
}

}  // namespace varnoke
