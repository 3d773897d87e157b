#include "platform/upcase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace varnoke::platform {
namespace {

TEST(UpperCase, MapsAsciiLettersOnly) {
  EXPECT_EQ(UpperCase("readme.txt"), "README.TXT");
  EXPECT_EQ(UpperCase("Program Files (x86)~1_@[`{"), "PROGRAM FILES (X86)~1_@[`{");
  EXPECT_EQ(UpperCase(""), "");
}

TEST(UpperCase, MapsValidUtf8BySimpleUnicodeUpperCasing) {
  EXPECT_EQ(UpperCase("m\xC3\xBC"
                      "ller"),
            "M\xC3\x9C"
            "LLER");                                                             // ü -> Ü
  EXPECT_EQ(UpperCase("\xCE\xB1\xCE\xB2\xCE\xB3"), "\xCE\x91\xCE\x92\xCE\x93");  // αβγ
  EXPECT_EQ(UpperCase("\xD0\xB6"), "\xD0\x96");                                  // ж -> Ж
  EXPECT_EQ(UpperCase("stra\xC3\x9F"
                      "e"),
            "STRA\xC3\x9F"
            "E");                                                // ß has no simple upper
  EXPECT_EQ(UpperCase("\xF0\x90\x90\xA8"), "\xF0\x90\x90\x80");  // Deseret, 4 bytes
  EXPECT_EQ(UpperCase("\xE2\x82\xAC"), "\xE2\x82\xAC");          // € unchanged
}

TEST(UpperCase, MayChangeTheLengthOfAName) {
  EXPECT_EQ(UpperCase("\xC4\xB1"), "I");             // dotless ı -> I
  EXPECT_EQ(UpperCase("\xC9\x90"), "\xE2\xB1\xAF");  // ɐ -> Ɐ, two bytes to three
}

TEST(UpperCase, LeavesBytesOutsideValidSequencesAlone) {
  const std::string cases[] = {
      "\xFF"
      "abc",  // never valid
      "a\x80"
      "b",  // lone continuation
      "\xC0\x80"
      "x",  // overlong NUL
      "\xE0\x80\xAF"
      "x",  // overlong
      "\xED\xA0\x80"
      "x",  // surrogate
      "\xF4\x90\x80\x80"
      "x",     // beyond U+10FFFF
      "\xC3",  // truncated at the end
      "\xE2\x82"
      "a",  // truncated in the middle
  };
  for (const std::string& text : cases) {
    std::string expected = text;
    for (char& c : expected) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    EXPECT_EQ(UpperCase(text), expected);
  }
  // A valid sequence right behind an invalid byte is still mapped.
  EXPECT_EQ(UpperCase("\xC3\xC3\xA4"), "\xC3\xC3\x84");
}

TEST(UpperCase, IsIdempotentOnItsOwnResults) {
  const std::string names[] = {"caf\xC3\xA9", "\xC4\xB1", "\xC7\x85", "x\xFFy"};
  for (const std::string& name : names) {
    EXPECT_EQ(UpperCase(UpperCase(name)), UpperCase(name));
  }
}

int Sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(CompareNoCase, OrdersByTheBytesOfTheUpperCasedForms) {
  EXPECT_EQ(CompareNoCase("readme.txt", "README.TXT"), 0);
  EXPECT_LT(CompareNoCase("a", "B"), 0);
  EXPECT_GT(CompareNoCase("b", "A"), 0);
  EXPECT_LT(CompareNoCase("AB", "abc"), 0);
  EXPECT_EQ(CompareNoCase("", ""), 0);
  EXPECT_LT(CompareNoCase("", "a"), 0);
  EXPECT_EQ(CompareNoCase("m\xC3\xBC"
                          "ller",
                          "M\xC3\x9C"
                          "LLER"),
            0);
  // "_" (0x5F) lies between the upper- and lower-case letters.
  EXPECT_LT(CompareNoCase("Z", "_"), 0);
  EXPECT_LT(CompareNoCase("z", "_"), 0);
}

TEST(CompareNoCase, AgreesWithComparingUpperCaseResults) {
  // Names drawn from a small alphabet that mixes ASCII, multi-byte letters,
  // length-changing ones and invalid bytes.
  const char* pieces[] = {"a",
                          "A",
                          "z",
                          "_",
                          ".",
                          "\xC3\xA4",
                          "\xC3\x84",
                          "\xC4\xB1",
                          "I",
                          "\xC9\x90",
                          "\xE2\xB1\xAF",
                          "\xFF",
                          "\x80",
                          "\xC3",
                          "\xE2\x82"};
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> length(0, 5);
  const auto make = [&] {
    std::string s;
    for (int n = length(random); n > 0; --n)
      s += pieces[piece(random)];
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string a = make();
    const std::string b = make();
    const std::string ua = UpperCase(a);
    const std::string ub = UpperCase(b);
    const int expected = Sign(ua.compare(ub));
    ASSERT_EQ(Sign(CompareNoCase(a, b)), expected) << "a=" << a << " b=" << b;
  }
}

}  // namespace
}  // namespace varnoke::platform
