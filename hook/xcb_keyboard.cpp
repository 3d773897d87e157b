#include "hook/xcb_keyboard.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace varnoke::hook {
namespace {

constexpr xcb_keysym_t kXkNumLock = 0xff7f;
constexpr xcb_keysym_t kXkAltL = 0xffe9;
constexpr xcb_keysym_t kXkMetaL = 0xffe7;

template <typename T>
using TReply = std::unique_ptr<T, decltype(&std::free)>;

// The modifier bit of the first key that carries one of keysyms.
std::uint16_t MaskOf(const xcb_get_modifier_mapping_reply_t* modifiers,
                     const std::vector<std::vector<xcb_keysym_t>>& symsByKey,
                     std::uint8_t minKeycode, std::initializer_list<xcb_keysym_t> keysyms) {
  const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(modifiers);
  const int perModifier = modifiers->keycodes_per_modifier;
  for (int modifier = 0; modifier < 8; ++modifier) {
    for (int k = 0; k < perModifier; ++k) {
      const xcb_keycode_t keycode = keys[modifier * perModifier + k];
      if (keycode < minKeycode || keycode - minKeycode >= static_cast<int>(symsByKey.size()))
        continue;
      for (xcb_keysym_t sym : symsByKey[keycode - minKeycode]) {
        for (xcb_keysym_t wanted : keysyms)
          if (sym == wanted) return static_cast<std::uint16_t>(1u << modifier);
      }
    }
  }
  return 0;
}

}  // namespace

bool ReadKeyboardFacts(xcb_connection_t* connection, std::uint32_t keysym, TKeyboardFacts& facts) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const std::uint8_t minKeycode = setup->min_keycode;
  const int count = setup->max_keycode - setup->min_keycode + 1;
  TReply<xcb_get_keyboard_mapping_reply_t> mapping(
      xcb_get_keyboard_mapping_reply(
          connection,
          xcb_get_keyboard_mapping(connection, minKeycode, static_cast<std::uint8_t>(count)),
          nullptr),
      &std::free);
  TReply<xcb_get_modifier_mapping_reply_t> modifiers(
      xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr),
      &std::free);
  if (mapping == nullptr || modifiers == nullptr) return false;

  const int per = mapping->keysyms_per_keycode;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
  std::vector<std::vector<xcb_keysym_t>> symsByKey(static_cast<std::size_t>(count));
  facts = TKeyboardFacts{};
  // A letter's key may list only its capital.
  const xcb_keysym_t capital = keysym >= 'a' && keysym <= 'z' ? keysym - 'a' + 'A' : keysym;
  for (int key = 0; key < count; ++key) {
    symsByKey[key].assign(syms + key * per, syms + (key + 1) * per);
    for (xcb_keysym_t sym : symsByKey[key]) {
      if (sym == keysym || sym == capital) {
        facts.keycodes.push_back(static_cast<std::uint8_t>(minKeycode + key));
        break;
      }
    }
  }
  facts.altMask = MaskOf(modifiers.get(), symsByKey, minKeycode, {kXkAltL, kXkMetaL});
  if (facts.altMask == 0) facts.altMask = XCB_MOD_MASK_1;
  facts.numLockMask = MaskOf(modifiers.get(), symsByKey, minKeycode, {kXkNumLock});
  return true;
}

}  // namespace varnoke::hook
