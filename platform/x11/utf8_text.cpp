#include "platform/x11/utf8_text.h"

namespace varnoke::platform {
namespace {

// The length of the sequence lead begins, 0 when it begins none.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) return 2;
  if (lead >= 0xe0 && lead <= 0xef) return 3;
  if (lead >= 0xf0 && lead <= 0xf4) return 4;
  return 0;  // continuation bytes, 0xc0/0xc1 (always overlong), 0xf5 and up
}

}  // namespace

std::u32string DecodeUtf8(std::string_view utf8, int* invalidBytes) {
  std::u32string out;
  out.reserve(utf8.size());
  int invalid = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = SequenceLength(lead);
    bool valid = length > 0 && i + length <= utf8.size();
    char32_t c = length == 1 ? lead : lead & (0x7f >> length);
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xc0) != 0x80) valid = false;
      c = (c << 6) | (next & 0x3f);
    }
    // Shortest form only, no surrogates, nothing past the last plane.
    if (valid && length == 3 && (c < 0x800 || (c >= 0xd800 && c <= 0xdfff))) valid = false;
    if (valid && length == 4 && (c < 0x10000 || c > 0x10ffff)) valid = false;
    if (!valid) {
      ++invalid;
      ++i;
      continue;
    }
    out.push_back(c);
    i += length;
  }
  if (invalidBytes != nullptr) *invalidBytes = invalid;
  return out;
}

std::uint32_t KeysymOfCharacter(char32_t c) {
  if (c == '\n') return 0xff0d;  // Return
  if (c == '\t') return 0xff09;  // Tab
  if (c < 0x20 || (c >= 0x7f && c < 0xa0)) return 0;
  if (c < 0x100) return c;
  return 0x01000000 | c;
}

}  // namespace varnoke::platform
