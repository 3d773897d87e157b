#include "db/wildcard.h"

#include <cstring>

namespace varnoke {

bool MatchWildcard(const char* name, const char* pattern, std::size_t nameLength,
                   std::size_t patternLength) noexcept {
  if (name[0] == '\0') return false;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < nameLength && j < patternLength) {
    const char p = pattern[j];
    if (p == '?') {
      ++i;
      ++j;
    } else if (p == '*') {
      ++j;
      if (j == patternLength) return true;
      // The character after a star is always taken literally.
      const void* found = std::memchr(name + i, pattern[j], nameLength - i);
      if (found == nullptr) return false;
      i = static_cast<std::size_t>(static_cast<const char*>(found) - name) + 1;
      ++j;
    } else {
      if (p != name[i]) return false;
      ++i;
      ++j;
    }
  }
  return i == nameLength && j == patternLength;
}

bool MatchWildcardTerminated(const char* name, const char* pattern,
                             std::size_t patternLength) noexcept {
  if (name[0] == '\0') return false;
  const char* n = name;
  std::size_t j = 0;
  while (*n != '\0' && j < patternLength) {
    const char p = pattern[j];
    if (p == '?') {
      ++n;
      ++j;
    } else if (p == '*') {
      ++j;
      if (j == patternLength) return true;
      const char c = pattern[j];
      if (c == '\0') return false;  // a name holds no NUL before its end
      n = std::strchr(n, c);
      if (n == nullptr) return false;
      ++n;
      ++j;
    } else {
      if (p != *n) return false;
      ++n;
      ++j;
    }
  }
  return *n == '\0' && j == patternLength;
}

}  // namespace varnoke
