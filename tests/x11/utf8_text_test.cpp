#include "platform/x11/utf8_text.h"

#include <gtest/gtest.h>

namespace varnoke::platform {
namespace {

std::u32string Decode(std::string_view text, int& invalid) {
  return DecodeUtf8(text, &invalid);
}

TEST(Utf8TextTest, DecodesEveryLengthOfSequence) {
  int invalid = -1;
  EXPECT_EQ(Decode("/tmp/\xc3\x9c \xd0\x96 \xe2\x82\xac \xf0\x9f\x98\x80", invalid),
            U"/tmp/Ü Ж € 😀");
  EXPECT_EQ(invalid, 0);
  EXPECT_EQ(Decode("", invalid), U"");
  EXPECT_EQ(invalid, 0);
}

TEST(Utf8TextTest, SkipsAndCountsEveryByteThatBeginsNoValidSequence) {
  int invalid = 0;
  // A stray continuation byte, a byte never used, a truncated sequence.
  EXPECT_EQ(Decode("a\x80"
                   "b\xff"
                   "c\xe2\x82",
                   invalid),
            U"abc");
  EXPECT_EQ(invalid, 4);
  // Overlong forms, a surrogate, a value past the last plane: the lead
  // byte goes, then each continuation byte on its own.
  EXPECT_EQ(Decode("\xc0\xaf", invalid), U"");
  EXPECT_EQ(invalid, 2);
  EXPECT_EQ(Decode("\xe0\x80\xaf", invalid), U"");
  EXPECT_EQ(invalid, 3);
  EXPECT_EQ(Decode("\xed\xa0\x80x", invalid), U"x");
  EXPECT_EQ(invalid, 3);
  EXPECT_EQ(Decode("\xf4\x90\x80\x80", invalid), U"");
  EXPECT_EQ(invalid, 4);
  // A sequence cut short by a new lead byte keeps the new character.
  EXPECT_EQ(Decode("\xc3\xc3\x9c", invalid), U"Ü");
  EXPECT_EQ(invalid, 1);
}

TEST(Utf8TextTest, KeysymsOfCharacters) {
  EXPECT_EQ(KeysymOfCharacter(U'a'), 0x61u);
  EXPECT_EQ(KeysymOfCharacter(U'~'), 0x7eu);
  EXPECT_EQ(KeysymOfCharacter(U'Ü'), 0xdcu);  // Latin-1: its own keysym
  EXPECT_EQ(KeysymOfCharacter(U'ß'), 0xdfu);
  EXPECT_EQ(KeysymOfCharacter(U'Ж'), 0x01000416u);  // others: the Unicode keysym
  EXPECT_EQ(KeysymOfCharacter(U'€'), 0x010020acu);
  EXPECT_EQ(KeysymOfCharacter(U'\n'), 0xff0du);  // Return
  EXPECT_EQ(KeysymOfCharacter(U'\t'), 0xff09u);  // Tab
  EXPECT_EQ(KeysymOfCharacter(U'\x01'), 0u);
  EXPECT_EQ(KeysymOfCharacter(U'\x7f'), 0u);
  EXPECT_EQ(KeysymOfCharacter(U'\x85'), 0u);
}

}  // namespace
}  // namespace varnoke::platform
