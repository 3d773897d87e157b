// The one wildcard matcher of the database.
//
// "?" stands for any one character, "*" for a run of characters up to the
// first occurrence of the character that follows it in the pattern. The match
// is a single forward pass that never backtracks, so "*.TXT" does not match
// "MY.NOTES.TXT" (the star stops at the first ".") and a final star needs at
// least one character ("ABC*" does not match "ABC"). Bytes are compared
// exactly; callers upper-case both texts.
#pragma once

#include <cstddef>

namespace varnoke {

// Matches the NUL-terminated name of length nameLength against the first
// patternLength characters of pattern. An empty name never matches.
bool MatchWildcard(const char* name, const char* pattern, std::size_t nameLength,
                   std::size_t patternLength) noexcept;

// The same match for a NUL-terminated name whose length is not known, as the
// searches use it on the names stored in the tree: the terminator marks the
// end, so nothing is measured first.
bool MatchWildcardTerminated(const char* name, const char* pattern,
                             std::size_t patternLength) noexcept;

}  // namespace varnoke
