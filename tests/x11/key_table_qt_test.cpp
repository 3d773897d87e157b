// The key table's Qt numbers are Qt's own.
#include <gtest/gtest.h>

#include <Qt>

#include "platform/desktop/key_table.h"

namespace varnoke::platform {
namespace {

struct TExpected {
  std::uint16_t vk;
  Qt::Key key;
  bool keypad;
};

constexpr TExpected kExpected[] = {
    {8, Qt::Key_Backspace, false}, {9, Qt::Key_Tab, false},     {12, Qt::Key_Clear, false},
    {13, Qt::Key_Return, false},   {16, Qt::Key_Shift, false},  {17, Qt::Key_Control, false},
    {18, Qt::Key_Alt, false},      {19, Qt::Key_Pause, false},  {27, Qt::Key_Escape, false},
    {32, Qt::Key_Space, false},    {33, Qt::Key_PageUp, false}, {34, Qt::Key_PageDown, false},
    {35, Qt::Key_End, false},      {36, Qt::Key_Home, false},   {37, Qt::Key_Left, false},
    {38, Qt::Key_Up, false},       {39, Qt::Key_Right, false},  {40, Qt::Key_Down, false},
    {41, Qt::Key_Select, false},   {42, Qt::Key_Print, false},  {45, Qt::Key_Insert, false},
    {46, Qt::Key_Delete, false},   {47, Qt::Key_Help, false},   {106, Qt::Key_Asterisk, true},
    {107, Qt::Key_Plus, true},     {108, Qt::Key_Comma, true},  {109, Qt::Key_Minus, true},
    {110, Qt::Key_Period, true},   {111, Qt::Key_Slash, true},
};

TEST(KeyTableQtTest, NamedKeysAreQtsKeys) {
  for (const TExpected& expected : kExpected) {
    bool keypad = !expected.keypad;
    EXPECT_EQ(VkToQtKey(expected.vk, &keypad), static_cast<int>(expected.key)) << expected.vk;
    EXPECT_EQ(keypad, expected.keypad) << expected.vk;
  }
}

TEST(KeyTableQtTest, RangesAreQtsRanges) {
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(VkToQtKey(static_cast<std::uint16_t>('0' + i)), Qt::Key_0 + i);
    EXPECT_EQ(VkToQtKey(static_cast<std::uint16_t>(96 + i)), Qt::Key_0 + i);
  }
  for (int i = 0; i < 26; ++i)
    EXPECT_EQ(VkToQtKey(static_cast<std::uint16_t>('A' + i)), Qt::Key_A + i);
  EXPECT_EQ(VkToQtKey(112), Qt::Key_F1);
  EXPECT_EQ(VkToQtKey(123), Qt::Key_F12);
  EXPECT_EQ(VkToQtKey(135), Qt::Key_F24);
  EXPECT_EQ(QtKeyToVk(Qt::Key_Backtab, false), 9);
  EXPECT_EQ(QtKeyToVk(Qt::Key_Enter, true), 13);
}

}  // namespace
}  // namespace varnoke::platform
