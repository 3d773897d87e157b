#include "db/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace varnoke {
namespace {

bool Match(const std::string& pattern, const std::string& name) {
  const bool measured = MatchWildcard(name.c_str(), pattern.data(), name.size(), pattern.size());
  const bool terminated = MatchWildcardTerminated(name.c_str(), pattern.data(), pattern.size());
  EXPECT_EQ(measured, terminated) << pattern << " vs " << name;
  return measured;
}

struct Row {
  const char* pattern;
  const char* name;
  bool result;
};

// The matcher's rules, row by row: a single forward pass, no backtracking.
TEST(MatchWildcard, FollowsTheSinglePassRules) {
  const Row rows[] = {
      {"*.TXT", "README.TXT", true},
      {"*.TXT", "MY.NOTES.TXT", false},  // the star stops at the first "."
      {"*TXT", "NOTES.TXT", false},      // ... and *TXT at the first T
      {"*TXT", "README.TXT", true},
      {"*A", "BAA", false},
      {"A*B", "AB", true},
      {"ABC*", "ABCD", true},
      {"ABC*", "ABC", false},  // a final star needs a character
      {"*", "X", true},
      {"*", "ANY NAME.EXT", true},
      {"*.*", "README", false},
      {"*.*", "A.B", true},
      {"A?C", "ABC", true},
      {"A?C", "AC", false},
      {"*?", "A?", true},  // the "?" after a star is a literal question mark
      {"*?", "AB", false},
      {"**", "AB", false},  // the second star is a literal star
      {"**", "A*", true},
      {"", "ANY", false},
      {"README.TXT", "README.TXT", true},
      {"README", "README.TXT", false},
      {"README.TXT", "README", false},
      {"?", "A", true},
      {"??", "A", false},
      {"*.", "A.", true},
      {"*X*", "AXB", true},
      {"*X*", "AX", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Match(row.pattern, row.name), row.result)
        << "pattern " << row.pattern << " name " << row.name;
  }
}

TEST(MatchWildcard, NeverMatchesAnEmptyName) {
  EXPECT_FALSE(Match("*", ""));
  EXPECT_FALSE(Match("", ""));
}

TEST(MatchWildcard, ComparesCharactersExactly) {
  EXPECT_FALSE(Match("A", "a"));
  EXPECT_TRUE(Match("\xC3\x9C*",
                    "\xC3\x9C"
                    "BER"));
}

// Names are UTF-8: "?" stands for one character whatever its length, and
// the character after a star is looked for as a whole character.
TEST(MatchWildcard, TakesUtf8CharactersWhole) {
  const Row rows[] = {
      {"?.TXT", "\xC3\x9C.TXT", true},  // U-umlaut is one character
      {"??.TXT", "\xC3\x9C.TXT", false},
      {"?\x9C", "\xC3\x9C", false},                     // "?" does not split it
      {"?", "\xE2\x82\xAC", true},                      // a three-byte character
      {"?", "\xF0\x9F\x98\x80", true},                  // a four-byte character
      {"*\xC3\x9C.TXT", "\xC3\x83\xC3\x9C.TXT", true},  // the star does not stop inside A-tilde
      {"*\xC3\x9C", "\xC3\x83", false},
      {"A*\xE2\x82\xAC", "AB\xE2\x82\xAC", true},
      {"*\x9C", "\xC3\x9C", false},     // a stray byte is not half a character
      {"*\x9C", "\xC3\x9C\x9C", true},  // ... but matches a stray byte
      {"?", "\xC3", true},              // an invalid byte is one character
      {"??", "\x9C\x9C", true},
      {"?", "\xC3\x28", false},  // a lead byte without its follower
      {"??", "\xC3\x28", true},
      {"\xC3?", "\xC3\x9C", false},  // a stray lead is not the start of U-umlaut
      {"?", "\xE0\x80\x80", false},  // an overlong form is three characters
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Match(row.pattern, row.name), row.result)
        << "pattern " << row.pattern << " name " << row.name;
  }
}

TEST(MatchWildcard, IgnoresPatternBytesBeyondItsLength) {
  const std::string pattern = "A*IGNORED";
  EXPECT_TRUE(MatchWildcard("AB", pattern.data(), 2, 2));
  EXPECT_TRUE(MatchWildcardTerminated("AB", pattern.data(), 2));
}

// The rules over whole characters, spelled out plainly: the text is cut
// into characters first, then matched one character at a time.
std::vector<std::string> Characters(const std::string& s) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b >= 0xF0 && b <= 0xF4   ? 4
                    : b >= 0xE0 && b <= 0xEF ? 3
                    : b >= 0xC2 && b <= 0xDF ? 2
                                             : 1;
    if (i + n > s.size()) n = 1;
    for (std::size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      const bool second = k == 1;
      const unsigned char low = second && b == 0xE0 ? 0xA0 : second && b == 0xF0 ? 0x90 : 0x80;
      const unsigned char high = second && b == 0xED ? 0x9F : second && b == 0xF4 ? 0x8F : 0xBF;
      if (c < low || c > high) n = 1;
    }
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

bool ReferenceMatch(const std::string& pattern, const std::string& name) {
  const std::vector<std::string> p = Characters(pattern);
  const std::vector<std::string> n = Characters(name);
  if (n.empty()) return false;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < n.size() && j < p.size()) {
    if (p[j] == "?") {
      ++i;
      ++j;
    } else if (p[j] == "*") {
      if (++j == p.size()) return true;
      while (i < n.size() && n[i] != p[j])
        ++i;
      if (i == n.size()) return false;
      ++i;
      ++j;
    } else {
      if (p[j] != n[i]) return false;
      ++i;
      ++j;
    }
  }
  return i == n.size() && j == p.size();
}

TEST(MatchWildcard, BothFormsFollowTheCharacterRulesOnRandomTexts) {
  // ASCII, the pieces of a two- and a three-byte character, stray bytes.
  const std::vector<std::string> pieces = {"A",    "B",        ".",    "\xC3", "\x9C",
                                           "\x83", "\xE2\x82", "\xAC", "*",    "?"};
  std::mt19937 random(3);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 6);
  const auto make = [&](bool wild) {
    std::string s;
    for (int n = length(random); n > 0; --n)
      s += pieces[wild ? pick(random) : pick(random) % (pieces.size() - 2)];
    return s;
  };
  for (int i = 0; i < 100000; ++i) {
    const std::string pattern = make(true);
    const std::string name = make(false);
    ASSERT_EQ(Match(pattern, name), ReferenceMatch(pattern, name))
        << "pattern " << pattern << " name " << name;
  }
}

}  // namespace
}  // namespace varnoke
