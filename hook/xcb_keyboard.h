// The keyboard as the hook grabs it: the keycodes of a keysym and the
// modifier bits of Alt and Num Lock, read from the server each time.
#pragma once

#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace varnoke::hook {

struct TKeyboardFacts {
  std::vector<std::uint8_t> keycodes;  // every key that carries the keysym
  std::uint16_t altMask = 0;           // the modifier bit Alt_L sets (Mod1 as a rule)
  std::uint16_t numLockMask = 0;       // the bit Num_Lock sets; 0 when no key has it
};

// False when the server did not answer.
bool ReadKeyboardFacts(xcb_connection_t* connection, std::uint32_t keysym, TKeyboardFacts& facts);

}  // namespace varnoke::hook
