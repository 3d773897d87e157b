#include "platform/upcase.h"

#include <locale.h>
#include <wctype.h>

#include <array>
#include <cstdint>

namespace varnoke::platform {
namespace {

// Upper-casing of non-ASCII characters follows the C.UTF-8 locale of glibc,
// whatever locale the process runs in. If that locale is missing the
// characters are kept unchanged, which still keeps storage and lookups
// consistent with each other.
locale_t Utf8Locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  return locale;
}

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

constexpr bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Decodes the valid UTF-8 sequence at the start of text (whose first byte is
// not ASCII). Returns its length and stores the code point, or returns 0 when
// the bytes do not form a valid, shortest-form sequence of a scalar value.
std::size_t DecodeSequence(std::string_view text, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  char32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i)
    value = (value << 6) | (byte(i) & 0x3F);
  code = value;
  return length;
}

// Encodes a scalar value as UTF-8 into out (room for 4 bytes); returns the length.
std::size_t Encode(char32_t code, char* out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code >> 18));
  out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

char32_t UpperCodePoint(char32_t code) {
  const locale_t locale = Utf8Locale();
  if (locale == locale_t{}) return code;
  const wint_t upper = towupper_l(static_cast<wint_t>(code), locale);
  const bool scalar = upper <= 0x10FFFF && !(upper >= 0xD800 && upper <= 0xDFFF);
  return scalar ? static_cast<char32_t>(upper) : code;
}

// The bytes of the upper-cased form of a text, one at a time, without
// building the whole string.
class UpperStream {
 public:
  explicit UpperStream(std::string_view text) : text_(text) {}

  // The next byte of the upper-cased form, or -1 after the last one.
  int Next() {
    if (piecePos_ < pieceSize_) return static_cast<unsigned char>(piece_[piecePos_++]);
    if (pos_ >= text_.size()) return -1;
    const auto c = static_cast<unsigned char>(text_[pos_]);
    if (c < 0x80) {
      ++pos_;
      return static_cast<unsigned char>(AsciiUpper(static_cast<char>(c)));
    }
    char32_t code = 0;
    const std::size_t length = DecodeSequence(text_.substr(pos_), code);
    if (length == 0) {
      ++pos_;
      return c;
    }
    pos_ += length;
    pieceSize_ = Encode(UpperCodePoint(code), piece_.data());
    piecePos_ = 1;
    return static_cast<unsigned char>(piece_[0]);
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::array<char, 4> piece_{};
  std::size_t pieceSize_ = 0;
  std::size_t piecePos_ = 0;
};

}  // namespace

void AppendUpperCase(std::string_view text, std::string& out) {
  out.reserve(out.size() + text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) < 0x80) {
      out.push_back(AsciiUpper(c));
      ++i;
      continue;
    }
    char32_t code = 0;
    const std::size_t length = DecodeSequence(text.substr(i), code);
    if (length == 0) {
      out.push_back(c);
      ++i;
      continue;
    }
    std::array<char, 4> encoded{};
    out.append(encoded.data(), Encode(UpperCodePoint(code), encoded.data()));
    i += length;
  }
}

std::string UpperCase(std::string_view text) {
  std::string out;
  AppendUpperCase(text, out);
  return out;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  // Fast path over the common ASCII prefix; the rest goes through the
  // character-wise streams, which yield the same bytes.
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  for (; i < common; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if ((ca | cb) >= 0x80) break;
    const auto ua = static_cast<unsigned char>(AsciiUpper(static_cast<char>(ca)));
    const auto ub = static_cast<unsigned char>(AsciiUpper(static_cast<char>(cb)));
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  UpperStream restA(a.substr(i));
  UpperStream restB(b.substr(i));
  for (;;) {
    const int ca = restA.Next();
    const int cb = restB.Next();
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca < 0) return 0;
  }
}

}  // namespace varnoke::platform
