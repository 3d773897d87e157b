#include "platform/desktop/key_table.h"

#include <string>

namespace varnoke::platform {
namespace {

struct TKeyEntry {
  std::uint16_t vk;
  std::uint32_t keysym;
  int qtKey;
  bool keypad;
  const char* keysymName;  // as the X keysym tables and the desktops spell it
};

// Qt::Key values, as Qt numbers them.
constexpr int kQtEscape = 0x01000000;
constexpr int kQtTab = 0x01000001;
constexpr int kQtBacktab = 0x01000002;
constexpr int kQtBackspace = 0x01000003;
constexpr int kQtReturn = 0x01000004;
constexpr int kQtEnter = 0x01000005;
constexpr int kQtInsert = 0x01000006;
constexpr int kQtDelete = 0x01000007;
constexpr int kQtPause = 0x01000008;
constexpr int kQtPrint = 0x01000009;
constexpr int kQtClear = 0x0100000b;
constexpr int kQtHome = 0x01000010;
constexpr int kQtEnd = 0x01000011;
constexpr int kQtLeft = 0x01000012;
constexpr int kQtUp = 0x01000013;
constexpr int kQtRight = 0x01000014;
constexpr int kQtDown = 0x01000015;
constexpr int kQtPageUp = 0x01000016;
constexpr int kQtPageDown = 0x01000017;
constexpr int kQtShift = 0x01000020;
constexpr int kQtControl = 0x01000021;
constexpr int kQtAlt = 0x01000023;
constexpr int kQtF1 = 0x01000030;
constexpr int kQtHelp = 0x01000058;
constexpr int kQtSelect = 0x01010000;

// Keysyms, as the X protocol numbers them.
constexpr std::uint32_t kXkF1 = 0xffbe;
constexpr std::uint32_t kXkKp0 = 0xffb0;

constexpr TKeyEntry kNamedKeys[] = {
    {8, 0xff08, kQtBackspace, false, "BackSpace"},
    {9, 0xff09, kQtTab, false, "Tab"},
    {12, 0xff0b, kQtClear, false, "Clear"},
    {13, 0xff0d, kQtReturn, false, "Return"},
    {16, 0xffe1, kQtShift, false, "Shift_L"},
    {17, 0xffe3, kQtControl, false, "Control_L"},
    {18, 0xffe9, kQtAlt, false, "Alt_L"},
    {19, 0xff13, kQtPause, false, "Pause"},
    {27, 0xff1b, kQtEscape, false, "Escape"},
    {32, 0x0020, 0x20, false, "space"},
    {33, 0xff55, kQtPageUp, false, "Page_Up"},      // also Prior
    {34, 0xff56, kQtPageDown, false, "Page_Down"},  // also Next
    {35, 0xff57, kQtEnd, false, "End"},
    {36, 0xff50, kQtHome, false, "Home"},
    {37, 0xff51, kQtLeft, false, "Left"},
    {38, 0xff52, kQtUp, false, "Up"},
    {39, 0xff53, kQtRight, false, "Right"},
    {40, 0xff54, kQtDown, false, "Down"},
    {41, 0xff60, kQtSelect, false, "Select"},
    {42, 0xff61, kQtPrint, false, "Print"},
    {45, 0xff63, kQtInsert, false, "Insert"},
    {46, 0xffff, kQtDelete, false, "Delete"},
    {47, 0xff6a, kQtHelp, false, "Help"},
    {106, 0xffaa, 0x2a, true, "KP_Multiply"},   // Qt::Key_Asterisk
    {107, 0xffab, 0x2b, true, "KP_Add"},        // Qt::Key_Plus
    {108, 0xffac, 0x2c, true, "KP_Separator"},  // Qt::Key_Comma
    {109, 0xffad, 0x2d, true, "KP_Subtract"},   // Qt::Key_Minus
    {110, 0xffae, 0x2e, true, "KP_Decimal"},    // Qt::Key_Period
    {111, 0xffaf, 0x2f, true, "KP_Divide"},     // Qt::Key_Slash
};

// Keysyms that name a key of the table under another name.
struct TAlias {
  std::uint32_t keysym;
  std::uint16_t vk;
};
constexpr TAlias kKeysymAliases[] = {
    {0xffe2, 16},  // Shift_R
    {0xffe4, 17},  // Control_R
    {0xffea, 18},  // Alt_R
    {0xffe7, 18},  // Meta_L: Alt on keyboards that map it so
    {0xffe8, 18},  // Meta_R
    {0xfe20, 9},   // ISO_Left_Tab: Shift+Tab
    {0xff8d, 13},  // KP_Enter
};

// Qt keys that are a key of the table under another name.
struct TQtAlias {
  int qtKey;
  std::uint16_t vk;
};
constexpr TQtAlias kQtAliases[] = {
    {kQtBacktab, 9},
    {kQtEnter, 13},
};

bool IsDigitVk(std::uint16_t vk) {
  return vk >= '0' && vk <= '9';
}
bool IsLetterVk(std::uint16_t vk) {
  return vk >= 'A' && vk <= 'Z';
}
bool IsNumpadDigitVk(std::uint16_t vk) {
  return vk >= 96 && vk <= 105;
}
bool IsFunctionVk(std::uint16_t vk) {
  return vk >= 112 && vk <= 135;
}

const TKeyEntry* FindNamedByVk(std::uint16_t vk) {
  for (const TKeyEntry& entry : kNamedKeys) {
    if (entry.vk == vk) return &entry;
  }
  return nullptr;
}

}  // namespace

std::uint32_t VkToKeysym(std::uint16_t vk) noexcept {
  if (IsDigitVk(vk)) return vk;               // XK_0 .. XK_9
  if (IsLetterVk(vk)) return vk - 'A' + 'a';  // XK_a .. XK_z
  if (IsNumpadDigitVk(vk)) return kXkKp0 + (vk - 96);
  if (IsFunctionVk(vk)) return kXkF1 + (vk - 112);
  const TKeyEntry* entry = FindNamedByVk(vk);
  return entry != nullptr ? entry->keysym : 0;
}

std::uint16_t KeysymToVk(std::uint32_t keysym) noexcept {
  if (keysym >= '0' && keysym <= '9') return static_cast<std::uint16_t>(keysym);
  if (keysym >= 'A' && keysym <= 'Z') return static_cast<std::uint16_t>(keysym);
  if (keysym >= 'a' && keysym <= 'z') return static_cast<std::uint16_t>(keysym - 'a' + 'A');
  if (keysym >= kXkKp0 && keysym <= kXkKp0 + 9)
    return static_cast<std::uint16_t>(96 + keysym - kXkKp0);
  if (keysym >= kXkF1 && keysym <= kXkF1 + 23)
    return static_cast<std::uint16_t>(112 + keysym - kXkF1);
  if (keysym == 0) return 0;
  for (const TKeyEntry& entry : kNamedKeys) {
    if (entry.keysym == keysym) return entry.vk;
  }
  for (const TAlias& alias : kKeysymAliases) {
    if (alias.keysym == keysym) return alias.vk;
  }
  return 0;
}

std::uint16_t QtKeyToVk(int qtKey, bool keypad) noexcept {
  if (qtKey >= '0' && qtKey <= '9') {
    return static_cast<std::uint16_t>(keypad ? 96 + (qtKey - '0') : qtKey);
  }
  if (qtKey >= 'A' && qtKey <= 'Z') return static_cast<std::uint16_t>(qtKey);
  if (qtKey >= kQtF1 && qtKey <= kQtF1 + 23) return static_cast<std::uint16_t>(112 + qtKey - kQtF1);
  if (qtKey == 0) return 0;
  // A keypad operator and the plain key of the same Qt code differ (the
  // keypad's "-" is a numpad code, the main row's has none of the table's);
  // other keypad keys read as their plain keys.
  for (const TKeyEntry& entry : kNamedKeys) {
    if (entry.qtKey == qtKey && entry.keypad == keypad) return entry.vk;
  }
  if (keypad) {
    for (const TKeyEntry& entry : kNamedKeys) {
      if (entry.qtKey == qtKey && !entry.keypad) return entry.vk;
    }
  }
  for (const TQtAlias& alias : kQtAliases) {
    if (alias.qtKey == qtKey) return alias.vk;
  }
  return 0;
}

std::string VkToKeysymName(std::uint16_t vk) {
  if (IsDigitVk(vk)) return std::string(1, static_cast<char>(vk));
  if (IsLetterVk(vk)) return std::string(1, static_cast<char>(vk - 'A' + 'a'));
  if (IsNumpadDigitVk(vk)) return "KP_" + std::to_string(vk - 96);
  if (IsFunctionVk(vk)) return "F" + std::to_string(vk - 111);
  const TKeyEntry* entry = FindNamedByVk(vk);
  return entry != nullptr ? entry->keysymName : "";
}

std::string ShortcutTrigger(std::uint16_t vk, std::uint32_t modifiers) {
  const std::string key = VkToKeysymName(vk);
  if (key.empty()) return {};
  std::string trigger;
  if (modifiers & kKeyCtrl) trigger += "CTRL+";
  if (modifiers & kKeyAlt) trigger += "ALT+";
  if (modifiers & kKeyShift) trigger += "SHIFT+";
  return trigger + key;
}

std::string GtkAccelerator(std::uint16_t vk, std::uint32_t modifiers) {
  const std::string key = VkToKeysymName(vk);
  if (key.empty()) return {};
  std::string accelerator;
  if (modifiers & kKeyCtrl) accelerator += "<Control>";
  if (modifiers & kKeyAlt) accelerator += "<Alt>";
  if (modifiers & kKeyShift) accelerator += "<Shift>";
  return accelerator + key;
}

int QtKeyCombination(std::uint16_t vk, std::uint32_t modifiers) {
  bool keypad = false;
  const int key = VkToQtKey(vk, &keypad);
  if (key == 0) return 0;
  // Qt::KeyboardModifier values.
  int combination = key;
  if (modifiers & kKeyShift) combination |= 0x02000000;
  if (modifiers & kKeyCtrl) combination |= 0x04000000;
  if (modifiers & kKeyAlt) combination |= 0x08000000;
  if (keypad) combination |= 0x20000000;
  return combination;
}

int VkToQtKey(std::uint16_t vk, bool* keypad) noexcept {
  bool onKeypad = false;
  int qtKey = 0;
  if (IsDigitVk(vk) || IsLetterVk(vk)) {
    qtKey = vk;
  } else if (IsNumpadDigitVk(vk)) {
    qtKey = '0' + (vk - 96);
    onKeypad = true;
  } else if (IsFunctionVk(vk)) {
    qtKey = kQtF1 + (vk - 112);
  } else if (const TKeyEntry* entry = FindNamedByVk(vk)) {
    qtKey = entry->qtKey;
    onKeypad = entry->keypad;
  }
  if (keypad != nullptr) *keypad = onKeypad;
  return qtKey;
}

}  // namespace varnoke::platform
