#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "platform/messages.h"
#include "tests/support/memory_registry.h"

namespace varnoke::settings {
namespace {

using platform::DwordData;
using platform::StringData;

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsStoreTest() { registry.AddSettingsKey(); }

  platform::TRegKey& Key() {
    return *registry.contents.Find("HKEY_CLASSES_ROOT\\Varnoke\\Settings");
  }

  // The message of the ERegistry that call raises, or "" when none.
  template <typename Call>
  std::string Failure(Call call) {
    try {
      call();
    } catch (const ERegistry& e) {
      return e.what();
    }
    return "";
  }

  std::string Message(int id, std::initializer_list<platform::TMessageArg> args) {
    return platform::FormatMessage(id, args);
  }

  testing::TMemoryRegistry registry;
  TSettingsStore store{registry};
};

TEST_F(SettingsStoreTest, ReadsAndWritesDwords) {
  Key().Set("HotKey", platform::kRegDword, DwordData(70));
  EXPECT_EQ(store.ReadDWORDSetting(SettingsKey, "HotKey"), 70u);
  EXPECT_EQ(store.ReadDWORDSetting("varnoke\\SETTINGS", "hotkey"), 70u);  // case-blind
  store.WriteDWORDSetting(SettingsKey, "CRC32", 0xD1F020DEu);
  EXPECT_EQ(store.ReadDWORDSetting(SettingsKey, "CRC32"), 0xD1F020DEu);
  EXPECT_EQ(Key().Find("CRC32")->Type, platform::kRegDword);
}

TEST_F(SettingsStoreTest, ReadsAnyValueOfAtMostFourBytesAsANumber) {
  Key().Set("Binary", platform::kRegBinary, {0x78, 0x56, 0x34, 0x12});
  EXPECT_EQ(store.ReadDWORDSetting(SettingsKey, "Binary"), 0x12345678u);
  Key().Set("Short", platform::kRegBinary, {0x05});
  EXPECT_EQ(store.ReadDWORDSetting(SettingsKey, "Short"), 5u);
  Key().Set("Text", platform::kRegSz, StringData("1"));  // "1" and its NUL
  EXPECT_EQ(store.ReadDWORDSetting(SettingsKey, "Text"), 0x31u);
}

TEST_F(SettingsStoreTest, ALongValueOfAnotherTypeIsTheWrongType) {
  Key().Set("Directory", platform::kRegSz, StringData("/opt/varnoke"));
  EXPECT_EQ(Failure([&] { store.ReadDWORDSetting(SettingsKey, "Directory"); }),
            Message(platform::kMsgValueWrongType, {"Directory", "Varnoke\\Settings", "DWORD"}));
  Key().Set("Blob", platform::kRegBinary, std::vector<std::uint8_t>(300, 1));
  EXPECT_EQ(Failure([&] { store.ReadStringSetting(SettingsKey, "Blob"); }),
            Message(platform::kMsgValueWrongType,
                    {"Blob", "Varnoke\\Settings", "Null Terminated String"}));
  Key().Set("WideDword", platform::kRegDword, std::vector<std::uint8_t>(8, 1));
  EXPECT_EQ(Failure([&] { store.ReadDWORDSetting(SettingsKey, "WideDword"); }),
            Message(platform::kMsgValueNotOpened, {"WideDword", "Varnoke\\Settings"}));
}

TEST_F(SettingsStoreTest, AFolderSettingMustBeATextHoldingAnAbsolutePath) {
  Key().Set("Directory", platform::kRegSz, StringData("/opt/varnoke"));
  EXPECT_EQ(store.ReadFolderSetting(SettingsKey, "Directory"), "/opt/varnoke");
  const std::string notOpened =
      Message(platform::kMsgValueNotOpened, {"Directory", "Varnoke\\Settings"});
  Key().Set("Directory", platform::kRegSz, StringData(""));
  EXPECT_EQ(Failure([&] { store.ReadFolderSetting(SettingsKey, "Directory"); }),
            notOpened + "\n\nThe folder name is empty; it must start with \"/\".");
  Key().Set("Directory", platform::kRegSz, StringData("rel/dir"));
  EXPECT_EQ(Failure([&] { store.ReadFolderSetting(SettingsKey, "Directory"); }),
            notOpened +
                "\n\nThe folder name 'rel/dir' is not an absolute path; it must start "
                "with \"/\".");
  // Four bytes of zero read as an empty text by ReadStringSetting.
  Key().Set("Directory", platform::kRegDword, platform::DwordData(0));
  EXPECT_EQ(store.ReadStringSetting(SettingsKey, "Directory"), "");
  EXPECT_EQ(Failure([&] { store.ReadFolderSetting(SettingsKey, "Directory"); }),
            Message(platform::kMsgValueWrongType,
                    {"Directory", "Varnoke\\Settings", "Null Terminated String"}));
}

TEST_F(SettingsStoreTest, AMissingValueCannotBeOpened) {
  EXPECT_EQ(Failure([&] { store.ReadDWORDSetting(SettingsKey, "SaveSuccessful"); }),
            Message(platform::kMsgValueNotOpened, {"SaveSuccessful", "Varnoke\\Settings"}));
  EXPECT_EQ(Failure([&] { store.ReadStringSetting(SettingsKey, "Directory"); }),
            Message(platform::kMsgValueNotOpened, {"Directory", "Varnoke\\Settings"}));
}

TEST_F(SettingsStoreTest, AMissingKeyCannotBeOpenedAndIsNeverCreated) {
  registry.contents.Keys.clear();
  const std::string expected = Message(platform::kMsgKeyNotOpened, {"Varnoke\\Settings"});
  EXPECT_EQ(Failure([&] { store.ReadDWORDSetting(SettingsKey, "HotKey"); }), expected);
  EXPECT_EQ(Failure([&] { store.ReadStringSetting(SettingsKey, "Directory"); }), expected);
  EXPECT_EQ(Failure([&] { store.WriteDWORDSetting(SettingsKey, "CRC32", 1); }), expected);
  EXPECT_TRUE(registry.contents.Keys.empty());
  EXPECT_NE(expected.find("The key: 'Varnoke\\Settings' could not be opened"), std::string::npos);
}

TEST_F(SettingsStoreTest, ReadsTextsUpTo255CharactersWhole) {
  const std::string fits(255, 'd');
  Key().Set("Directory", platform::kRegSz, StringData(fits));
  EXPECT_EQ(store.ReadStringSetting(SettingsKey, "Directory"), fits);
  Key().Set("Directory", platform::kRegSz, StringData(fits + "x"));
  EXPECT_EQ(Failure([&] { store.ReadStringSetting(SettingsKey, "Directory"); }),
            Message(platform::kMsgValueNotOpened, {"Directory", "Varnoke\\Settings"}));
  // The text ends at its first NUL; without one all 256 bytes are taken.
  Key().Set("Cut", platform::kRegBinary, {'a', 'b', 0, 'c'});
  EXPECT_EQ(store.ReadStringSetting(SettingsKey, "Cut"), "ab");
  Key().Set("Full", platform::kRegBinary, std::vector<std::uint8_t>(256, 'z'));
  EXPECT_EQ(store.ReadStringSetting(SettingsKey, "Full"), std::string(256, 'z'));
}

TEST_F(SettingsStoreTest, AFailedWriteLeavesTheOldValue) {
  store.WriteDWORDSetting(SettingsKey, "CRC32", 1);
  registry.unwritable = true;
  const std::string failure = Failure([&] { store.WriteDWORDSetting(SettingsKey, "CRC32", 2); });
  EXPECT_EQ(failure.substr(0, failure.find("\n\n")),
            Message(platform::kMsgValueNotSet, {"CRC32", "Varnoke\\Settings"}));
  EXPECT_NE(failure.find("the disk is full"), std::string::npos);
  registry.unwritable = false;
  EXPECT_EQ(store.ReadDWORDSetting(SettingsKey, "CRC32"), 1u);
}

TEST_F(SettingsStoreTest, AHiveThatCannotBeParsedCannotBeOpenedAndSaysWhy) {
  registry.unreadable = true;
  const std::string failure = Failure([&] { store.ReadDWORDSetting(SettingsKey, "HotKey"); });
  EXPECT_EQ(failure, Message(platform::kMsgKeyNotOpened, {"Varnoke\\Settings"}) +
                         "\n\nline 3: broken on purpose");
  EXPECT_EQ(Failure([&] { store.WriteDWORDSetting(SettingsKey, "HotKey", 1); }), failure);
}

}  // namespace
}  // namespace varnoke::settings
