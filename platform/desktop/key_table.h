// The one table of keys: virtual-key codes (the hot key's stored form), X
// keysyms (what the keyboard hook grabs) and Qt key codes (what the hot-key
// dialog sees), all as plain numbers so that no window-system header is
// needed to use it; and the hot key as each desktop's shortcut settings
// write it.
#pragma once

#include <cstdint>
#include <string>

namespace varnoke::platform {

// The keysym of a virtual-key code: the unshifted one a keyboard map lists
// first (XK_a for 'A', XK_KP_0 for numpad 0, XK_Shift_L for the Shift
// code). 0 for a code the table does not hold.
std::uint32_t VkToKeysym(std::uint16_t vk) noexcept;

// The virtual-key code of a keysym: letters of either case, either side's
// modifier key, and the few keysyms that stand for the same key (Page_Up
// and Prior, KP_Enter and Return, ISO_Left_Tab and Tab). 0 when none.
std::uint16_t KeysymToVk(std::uint32_t keysym) noexcept;

// The virtual-key code of a Qt key (a Qt::Key value); keypad tells whether
// the event carried Qt::KeypadModifier, which makes digits and the keypad's
// operators numpad codes. A keypad key without a numpad code of its own
// (Home with NumLock off) gives the code of its plain key. 0 when none.
std::uint16_t QtKeyToVk(int qtKey, bool keypad) noexcept;

// The Qt key of a virtual-key code; *keypad (when given) is set to whether
// the key is one of the keypad's, to be matched with Qt::KeypadModifier.
// 0 for a code the table does not hold.
int VkToQtKey(std::uint16_t vk, bool* keypad = nullptr) noexcept;

// The hot key's modifier bits, as in the setting HotKeyShift.
inline constexpr std::uint32_t kKeyAlt = 1;
inline constexpr std::uint32_t kKeyShift = 2;
inline constexpr std::uint32_t kKeyCtrl = 4;

// The keysym's name of a virtual-key code ("a", "F5", "KP_0", "Page_Up");
// empty for a code the table does not hold.
std::string VkToKeysymName(std::uint16_t vk);

// The hot key as the desktop portal's shortcuts take a preferred trigger
// ("CTRL+ALT+f"); empty for a code the table does not hold.
std::string ShortcutTrigger(std::uint16_t vk, std::uint32_t modifiers);

// The hot key as GNOME's keybinding settings write it ("<Control><Alt>f");
// empty for a code the table does not hold.
std::string GtkAccelerator(std::uint16_t vk, std::uint32_t modifiers);

// The hot key as one Qt key combination (a QKeySequence's key: the Qt key
// with its modifier bits), as KDE's global shortcuts take it; 0 for a code
// the table does not hold.
int QtKeyCombination(std::uint16_t vk, std::uint32_t modifiers);

}  // namespace varnoke::platform
