// A cheap first test for the file searches: the longest run of literal
// text that every name matching a pattern must contain, found in a block of
// names with a vector compare. It only ever passes names on to the matcher,
// which alone decides; a name it skips cannot match.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnoke {

// The longest stretch of the upper-cased pattern that a match holds byte
// for byte and in one piece: characters compared literally (a "?" or "*"
// right after a star among them) that no "?" or "*" interrupts. Empty when
// the pattern has none (such as "*" or "?*").
std::string_view RequiredLiteral(std::string_view pattern) noexcept;

// The first place at or after begin where literal starts and lies wholly
// before end, or null. literal must not be empty.
const char* FindLiteral(const char* begin, const char* end, std::string_view literal) noexcept;

}  // namespace varnoke
