#include "db/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

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

TEST(MatchWildcard, ComparesBytesExactly) {
  EXPECT_FALSE(Match("A", "a"));
  EXPECT_TRUE(Match("\xC3\x9C*",
                    "\xC3\x9C"
                    "BER"));
  EXPECT_TRUE(Match("?\x9C", "\xC3\x9C"));  // "?" takes one byte
}

TEST(MatchWildcard, IgnoresPatternBytesBeyondItsLength) {
  const std::string pattern = "A*IGNORED";
  EXPECT_TRUE(MatchWildcard("AB", pattern.data(), 2, 2));
  EXPECT_TRUE(MatchWildcardTerminated("AB", pattern.data(), 2));
}

TEST(MatchWildcard, TerminatedAndMeasuredFormsAgree) {
  const char alphabet[] = {'A', 'B', '.', '*', '?'};
  std::mt19937 random(3);
  std::uniform_int_distribution<int> pick(0, 4);
  std::uniform_int_distribution<int> length(0, 6);
  const auto make = [&](bool wild) {
    std::string s;
    for (int n = length(random); n > 0; --n)
      s += alphabet[wild ? pick(random) : pick(random) % 3];
    return s;
  };
  for (int i = 0; i < 50000; ++i)
    Match(make(true), make(false));
}

}  // namespace
}  // namespace varnoke
