// The hot key in words: the names of its modifiers and of its key, as the
// hot-key dialog and the program's messages show them.
#pragma once

#include <cstdint>
#include <string>

namespace varnoke::shell {

// Modifier bits of a hot key.
inline constexpr std::uint32_t kHotKeyAlt = 1;
inline constexpr std::uint32_t kHotKeyShift = 2;
inline constexpr std::uint32_t kHotKeyCtrl = 4;

// "Shift ", "Ctrl ", "Alt " for the bits set, in that order, each with its
// trailing blank. Only the low byte of bits is looked at.
std::string HotKeyModifierText(std::uint32_t bits);

// The name of a virtual-key code ("F5", "Num 3", "Space"); empty for a code
// without a name.
std::string KeyNameText(std::uint32_t code);

// The whole hot key, modifiers and key ("Ctrl Alt F").
std::string HotKeyText(std::uint16_t code, std::uint32_t bits);

}  // namespace varnoke::shell
