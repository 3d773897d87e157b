// Decoding the text that is to be typed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnoke::platform {

// The characters of utf8. A byte that does not begin a valid sequence (a
// stray continuation byte, a truncated, overlong or surrogate sequence, a
// value past U+10FFFF) is skipped and counted in *invalidBytes; decoding
// goes on at the next byte.
std::u32string DecodeUtf8(std::string_view utf8, int* invalidBytes);

// The keysym that types character c: Latin-1 characters are their own
// keysyms, others 0x01000000 plus the code point; Return and Tab for line
// feed and tab. 0 for other control characters, which cannot be typed.
std::uint32_t KeysymOfCharacter(char32_t c);

}  // namespace varnoke::platform
