#include "platform/desktop/key_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace varnoke::platform {
namespace {

// Every code the hot-key dialog names, and the three modifier keys.
std::vector<std::uint16_t> TableCodes() {
  std::vector<std::uint16_t> codes{8, 9, 12, 13, 16, 17, 18, 19, 27};
  for (std::uint16_t vk = 32; vk <= 42; ++vk)
    codes.push_back(vk);
  for (std::uint16_t vk = 45; vk <= 57; ++vk)
    codes.push_back(vk);
  for (std::uint16_t vk = 65; vk <= 90; ++vk)
    codes.push_back(vk);
  for (std::uint16_t vk = 96; vk <= 135; ++vk)
    codes.push_back(vk);
  return codes;
}

TEST(KeyTableTest, EveryCodeHasAKeysymThatLeadsBack) {
  for (std::uint16_t vk : TableCodes()) {
    const std::uint32_t keysym = VkToKeysym(vk);
    EXPECT_NE(keysym, 0u) << "code " << vk;
    EXPECT_EQ(KeysymToVk(keysym), vk) << "code " << vk;
  }
}

TEST(KeyTableTest, EveryCodeHasAQtKeyThatLeadsBack) {
  for (std::uint16_t vk : TableCodes()) {
    bool keypad = false;
    const int qtKey = VkToQtKey(vk, &keypad);
    EXPECT_NE(qtKey, 0) << "code " << vk;
    EXPECT_EQ(QtKeyToVk(qtKey, keypad), vk) << "code " << vk;
  }
}

TEST(KeyTableTest, KeysymsAreTheOnesKeyboardMapsList) {
  EXPECT_EQ(VkToKeysym('A'), 0x61u);  // a: the unshifted keysym
  EXPECT_EQ(VkToKeysym('0'), 0x30u);
  EXPECT_EQ(VkToKeysym(96), 0xffb0u);   // KP_0
  EXPECT_EQ(VkToKeysym(111), 0xffafu);  // KP_Divide
  EXPECT_EQ(VkToKeysym(112), 0xffbeu);  // F1
  EXPECT_EQ(VkToKeysym(135), 0xffd5u);  // F24
  EXPECT_EQ(VkToKeysym(33), 0xff55u);   // Prior
  EXPECT_EQ(VkToKeysym(46), 0xffffu);   // Delete
  EXPECT_EQ(VkToKeysym(16), 0xffe1u);   // Shift_L
}

TEST(KeyTableTest, LettersOfEitherCaseAndBothSidesOfModifiersFindTheirCode) {
  EXPECT_EQ(KeysymToVk(0x46), 'F');   // F
  EXPECT_EQ(KeysymToVk(0x66), 'F');   // f
  EXPECT_EQ(KeysymToVk(0xffe2), 16);  // Shift_R
  EXPECT_EQ(KeysymToVk(0xffe4), 17);  // Control_R
  EXPECT_EQ(KeysymToVk(0xffea), 18);  // Alt_R
  EXPECT_EQ(KeysymToVk(0xff8d), 13);  // KP_Enter
  EXPECT_EQ(KeysymToVk(0xfe20), 9);   // ISO_Left_Tab
}

TEST(KeyTableTest, CodesOutsideTheTableHaveNothing) {
  for (std::uint16_t vk :
       {0, 1, 7, 10, 14, 15, 20, 26, 28, 31, 43, 44, 58, 64, 91, 95, 136, 255, 0xffff}) {
    EXPECT_EQ(VkToKeysym(vk), 0u) << "code " << vk;
    EXPECT_EQ(VkToQtKey(vk), 0) << "code " << vk;
  }
  EXPECT_EQ(KeysymToVk(0), 0);
  EXPECT_EQ(KeysymToVk(0xfe03), 0);      // ISO_Level3_Shift
  EXPECT_EQ(KeysymToVk(0x01000416), 0);  // Cyrillic capital Zhe
  EXPECT_EQ(QtKeyToVk(0, false), 0);
}

TEST(KeyTableTest, TheKeypadDecidesBetweenDigitsAndNumpadCodes) {
  EXPECT_EQ(QtKeyToVk('5', false), '5');
  EXPECT_EQ(QtKeyToVk('5', true), 101);
  // The main row's minus and slash have no code of the table; the keypad's do.
  EXPECT_EQ(QtKeyToVk('-', false), 0);
  EXPECT_EQ(QtKeyToVk('-', true), 109);
  EXPECT_EQ(QtKeyToVk('/', true), 111);
  // Keypad keys with Num Lock off read as their plain keys.
  EXPECT_EQ(QtKeyToVk(0x01000010, true), 36);  // Home
  EXPECT_EQ(QtKeyToVk(0x01000006, true), 45);  // Insert
  // Letters and function keys do not care.
  EXPECT_EQ(QtKeyToVk('Q', true), 'Q');
  EXPECT_EQ(QtKeyToVk(0x01000030 + 23, false), 135);  // F24
}

TEST(KeyTableTest, KeypadFlagFollowsTheKey) {
  bool keypad = true;
  EXPECT_EQ(VkToQtKey('7', &keypad), '7');
  EXPECT_FALSE(keypad);
  EXPECT_EQ(VkToQtKey(103, &keypad), '7');
  EXPECT_TRUE(keypad);
  EXPECT_EQ(VkToQtKey(106, &keypad), '*');
  EXPECT_TRUE(keypad);
  EXPECT_EQ(VkToQtKey(112, &keypad), 0x01000030);
  EXPECT_FALSE(keypad);
}

TEST(KeyTableTest, OtherNamesOfQtKeysGiveTheirCode) {
  EXPECT_EQ(QtKeyToVk(0x01000002, false), 9);  // Backtab: Shift+Tab
  EXPECT_EQ(QtKeyToVk(0x01000005, true), 13);  // Enter on the keypad
}

TEST(KeyTableTest, TheDesktopsSpellTheHotKeyTheirOwnWay) {
  constexpr std::uint32_t kCtrlAlt = kKeyCtrl | kKeyAlt;
  EXPECT_EQ(ShortcutTrigger('F', kCtrlAlt), "CTRL+ALT+f");
  EXPECT_EQ(GtkAccelerator('F', kCtrlAlt), "<Control><Alt>f");
  EXPECT_EQ(QtKeyCombination('F', kCtrlAlt), 0x46 | 0x04000000 | 0x08000000);
  EXPECT_EQ(GtkAccelerator(120, kCtrlAlt | kKeyShift), "<Control><Alt><Shift>F9");
  EXPECT_EQ(ShortcutTrigger(96, kKeyShift), "SHIFT+KP_0");
  EXPECT_EQ(QtKeyCombination(96, 0), '0' | 0x20000000);  // the keypad's
  EXPECT_EQ(VkToKeysymName(33), "Page_Up");
  for (std::uint16_t vk : TableCodes())
    EXPECT_FALSE(VkToKeysymName(vk).empty()) << "code " << vk;
  EXPECT_EQ(ShortcutTrigger(0xE0, kCtrlAlt), "");
  EXPECT_EQ(QtKeyCombination(0xE0, kCtrlAlt), 0);
}

}  // namespace
}  // namespace varnoke::platform
