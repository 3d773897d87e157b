#include "platform/hive/hive_format.h"

#include <gtest/gtest.h>

#include <random>

namespace varnoke::platform {
namespace {

THiveContents Parse(std::string_view text) {
  THiveContents contents;
  THiveParseError error;
  EXPECT_TRUE(ParseHive(text, contents, error)) << "line " << error.Line << ": " << error.Reason;
  return contents;
}

THiveParseError ParseError(std::string_view text) {
  THiveContents contents;
  THiveParseError error;
  EXPECT_FALSE(ParseHive(text, contents, error)) << text;
  return error;
}

TEST(HiveFormat, ReadsKeysAndEveryKindOfValue) {
  const THiveContents hive = Parse(
      "REGEDIT4\r\n"
      "\r\n"
      "; the program's settings\r\n"
      "[HKEY_CLASSES_ROOT\\Varnoke\\Settings]\r\n"
      "\"Directory\"=\"/opt/var \\\"noke\\\" \\\\x\"\r\n"
      "\"ShowSplash\"=dword:00000001\r\n"
      "\"HotKey\"=dword:46\r\n"
      "\"Raw\"=hex:01,02,03,04\r\n"
      "\"Multi\"=hex(7):41,00,\\\r\n"
      "  42,00,00\r\n"
      "@=\"default\"\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives]\r\n"
      "\"a:\"=\"removable\"\r\n");
  ASSERT_EQ(hive.Keys.size(), 2u);
  const TRegKey* settings = hive.Find("hkey_classes_root\\varnoke\\SETTINGS");
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->Find("directory")->Data, StringData("/opt/var \"noke\" \\x"));
  EXPECT_EQ(settings->Find("Directory")->Type, kRegSz);
  EXPECT_EQ(settings->Find("ShowSplash")->Data, DwordData(1));
  EXPECT_EQ(settings->Find("HotKey")->Data, DwordData(0x46));
  EXPECT_EQ(settings->Find("Raw")->Type, kRegBinary);
  EXPECT_EQ(settings->Find("Raw")->Data, (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(settings->Find("Multi")->Type, 7u);
  EXPECT_EQ(settings->Find("Multi")->Data, (std::vector<std::uint8_t>{0x41, 0, 0x42, 0, 0}));
  EXPECT_EQ(settings->Find("")->Data, StringData("default"));
  EXPECT_EQ(hive.Find("HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives")->Values.size(), 1u);
}

TEST(HiveFormat, AnEmptyFileIsAnEmptyHive) {
  EXPECT_TRUE(Parse("").Keys.empty());
  EXPECT_TRUE(Parse("\n\n").Keys.empty());
  EXPECT_TRUE(Parse("\xEF\xBB\xBFREGEDIT4\n").Keys.empty());
}

TEST(HiveFormat, LaterValuesAndRepeatedKeysMergeIntoTheFirst) {
  const THiveContents hive =
      Parse("REGEDIT4\n[K]\n\"A\"=dword:1\n[k]\n\"a\"=dword:2\n\"B\"=\"x\"\n");
  ASSERT_EQ(hive.Keys.size(), 1u);
  EXPECT_EQ(hive.Keys[0].Values.size(), 2u);
  EXPECT_EQ(hive.Find("K")->Find("A")->Data, DwordData(2));
}

TEST(HiveFormat, SaysOnWhichLineAndWhyItCannotRead) {
  struct Case {
    const char* text;
    int line;
    const char* reason;
  } cases[] = {
      {"REGEDIT5\n", 1, "the first line is not REGEDIT4"},
      {"REGEDIT4\n\"A\"=dword:1\n", 2, "a value stands before any key"},
      {"REGEDIT4\n[K\n", 2, "a key name is missing its closing ]"},
      {"REGEDIT4\n[-K]\n", 2, "a line removes a key, which a settings file cannot do"},
      {"REGEDIT4\n[K]\n\"A=1\n", 3, "a value name is missing its closing quote"},
      {"REGEDIT4\n[K]\n\"A\" 1\n", 3, "an = is missing after the value name"},
      {"REGEDIT4\n[K]\n\"A\"=\"open\n", 3, "a text is missing its closing quote"},
      {"REGEDIT4\n[K]\n\"A\"=dword:123456789\n", 3, "a dword needs 1 to 8 hexadecimal digits"},
      {"REGEDIT4\n[K]\n\"A\"=dword:xyz\n", 3, "a dword needs 1 to 8 hexadecimal digits"},
      {"REGEDIT4\n[K]\n\"A\"=hex:1,2\n", 3,
       "a byte list holds something other than two-digit hexadecimal bytes"},
      {"REGEDIT4\n[K]\n\n\"A\"=hex:01,\\\n", 4, "the file ends in the middle of a byte list"},
      {"REGEDIT4\n[K]\n\"A\"=-\n", 3, "a line removes a value, which a settings file cannot do"},
      {"REGEDIT4\n[K]\n\"A\"=sz:x\n", 3, "a value is neither a text, a dword nor a byte list"},
      {"REGEDIT4\n[K]\ngarbage\n", 3, "this line is neither a key nor a value"},
  };
  for (const Case& c : cases) {
    const THiveParseError error = ParseError(c.text);
    EXPECT_EQ(error.Line, c.line) << c.text;
    EXPECT_EQ(error.Reason, c.reason) << c.text;
  }
}

TEST(HiveFormat, WritesWhatItReadsBack) {
  std::mt19937 random(17);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  for (int round = 0; round < 300; ++round) {
    THiveContents hive;
    for (int k = pick(4); k >= 0; --k) {
      TRegKey& key = hive.FindOrAdd("HKEY_CLASSES_ROOT\\Key " + std::to_string(hive.Keys.size()));
      for (int v = pick(6); v > 0; --v) {
        std::string name = "V" + std::to_string(key.Values.size());
        if (pick(5) == 0) name += "\"q\\";
        std::vector<std::uint8_t> data;
        for (int b = pick(60); b > 0; --b)
          data.push_back(static_cast<std::uint8_t>(pick(256)));
        const std::uint32_t types[] = {kRegSz, kRegDword, kRegBinary, 7, 0x20000};
        const std::uint32_t type = types[pick(5)];
        if (type == kRegSz && pick(2) == 0) data = StringData("text \"with\" \\ slashes");
        if (type == kRegDword && pick(2) == 0)
          data = DwordData(static_cast<std::uint32_t>(random()));
        key.Values.push_back(TRegValue{name, type, data});
      }
    }
    THiveContents back;
    THiveParseError error;
    const std::string text = FormatHive(hive);
    ASSERT_TRUE(ParseHive(text, back, error)) << error.Line << ": " << error.Reason << "\n" << text;
    ASSERT_EQ(back, hive) << text;
  }
}

}  // namespace
}  // namespace varnoke::platform
