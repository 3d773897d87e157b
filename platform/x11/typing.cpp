// TDesktop::TypeText: text typed with XTest key events.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <map>
#include <vector>

#include "platform/x11/desktop.h"
#include "platform/x11/utf8_text.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_errors.h"

namespace varnoke::platform {
namespace {

// How long a client that cannot be pinged is given to read keys typed
// through borrowed keycodes before their mapping is taken back.
constexpr int kClientCatchUpMs = 250;
// A client that can be pinged answers within this, or is hung.
constexpr int kPingTimeoutMs = 2000;

// Where a keysym sits: its keycode and whether Shift selects it.
struct TKeyPlace {
  KeyCode keycode = 0;
  bool shift = false;
};

// The core keyboard map, group 1 (the first two columns) as typed.
class TKeyboardMap {
 public:
  explicit TKeyboardMap(Display* display) {
    XDisplayKeycodes(display, &min_, &max_);
    KeySym* syms = XGetKeyboardMapping(display, static_cast<KeyCode>(min_), max_ - min_ + 1, &per_);
    if (syms != nullptr) {
      syms_.assign(syms, syms + static_cast<std::size_t>(max_ - min_ + 1) * per_);
      XFree(syms);
    }
    XModifierKeymap* modifiers = XGetModifierMapping(display);
    if (modifiers != nullptr) {
      for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
        const KeyCode keycode = modifiers->modifiermap[i];
        if (keycode == 0) continue;
        modifierKeys_.push_back(keycode);
        if (i / modifiers->max_keypermod == ShiftMapIndex && shiftKey_ == 0) shiftKey_ = keycode;
      }
      XFreeModifiermap(modifiers);
    }
  }

  int PerKeycode() const { return per_; }
  KeyCode ShiftKey() const { return shiftKey_; }
  const std::vector<KeyCode>& ModifierKeys() const { return modifierKeys_; }

  // The first place of keysym among the keys that are not modifiers.
  bool Find(KeySym keysym, TKeyPlace& place) const {
    for (int keycode = min_; keycode <= max_ && !syms_.empty(); ++keycode) {
      if (IsModifier(static_cast<KeyCode>(keycode))) continue;
      for (int column = 0; column < 2 && column < per_; ++column) {
        if (At(keycode, column) != keysym) continue;
        if (column == 1 && shiftKey_ == 0) continue;
        place = TKeyPlace{static_cast<KeyCode>(keycode), column == 1};
        return true;
      }
    }
    return false;
  }

  // Keycodes with no keysym at all: free to borrow.
  std::vector<KeyCode> SpareKeys() const {
    std::vector<KeyCode> spare;
    for (int keycode = min_; keycode <= max_ && !syms_.empty(); ++keycode) {
      bool empty = !IsModifier(static_cast<KeyCode>(keycode));
      for (int column = 0; empty && column < per_; ++column)
        empty = At(keycode, column) == NoSymbol;
      if (empty) spare.push_back(static_cast<KeyCode>(keycode));
    }
    return spare;
  }

 private:
  KeySym At(int keycode, int column) const {
    return syms_[static_cast<std::size_t>(keycode - min_) * per_ + column];
  }
  bool IsModifier(KeyCode keycode) const {
    for (KeyCode modifier : modifierKeys_)
      if (modifier == keycode) return true;
    return false;
  }

  int min_ = 8;
  int max_ = 7;
  int per_ = 0;
  std::vector<KeySym> syms_;
  std::vector<KeyCode> modifierKeys_;
  KeyCode shiftKey_ = 0;
};

// Releases the modifier keys that are down (the user may still hold the
// hot key's Ctrl or Alt), clears Caps Lock, latches and the keyboard group
// for the typing; puts back the lock and the group after. Released keys
// are not pressed again: a key held no longer would stay stuck.
class TNeutralModifiers {
 public:
  TNeutralModifiers(Display* display, const TKeyboardMap& map) : display_(display) {
    char keys[32] = {};
    XQueryKeymap(display_, keys);
    for (KeyCode keycode : map.ModifierKeys()) {
      if ((keys[keycode / 8] >> (keycode % 8)) & 1) XTestFakeKeyEvent(display_, keycode, False, 0);
    }
    XkbStateRec state{};
    if (XkbGetState(display_, XkbUseCoreKbd, &state) == Success) {
      capsLocked_ = (state.locked_mods & LockMask) != 0;
      group_ = state.locked_group;
      if (capsLocked_) XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, 0);
      if (state.latched_mods != 0) XkbLatchModifiers(display_, XkbUseCoreKbd, 0xff, 0);
      if (group_ != 0) XkbLockGroup(display_, XkbUseCoreKbd, 0);
    }
  }
  ~TNeutralModifiers() {
    if (capsLocked_) XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, LockMask);
    if (group_ != 0) XkbLockGroup(display_, XkbUseCoreKbd, group_);
    XFlush(display_);
  }
  TNeutralModifiers(const TNeutralModifiers&) = delete;
  TNeutralModifiers& operator=(const TNeutralModifiers&) = delete;

 private:
  Display* display_;
  bool capsLocked_ = false;
  unsigned int group_ = 0;
};

void Tap(Display* display, const TKeyPlace& place, KeyCode shiftKey) {
  if (place.shift) XTestFakeKeyEvent(display, shiftKey, True, 0);
  XTestFakeKeyEvent(display, place.keycode, True, 0);
  XTestFakeKeyEvent(display, place.keycode, False, 0);
  if (place.shift) XTestFakeKeyEvent(display, shiftKey, False, 0);
}

void MapKey(Display* display, KeyCode keycode, KeySym keysym, int perKeycode) {
  // The keysym on both levels: a lone letter would be case-converted by the
  // client (Ü read as ü), and Shift must not matter.
  std::vector<KeySym> row(static_cast<std::size_t>(perKeycode), NoSymbol);
  if (keysym != NoSymbol) {
    row[0] = keysym;
    if (perKeycode > 1) row[1] = keysym;
  }
  XChangeKeyboardMapping(display, keycode, perKeycode, row.data(), 1);
}

}  // namespace

TTypeResult TDesktop::TypeText(std::string_view utf8) {
  Display* display = display_.Xlib();
  TTypeResult result;
  const std::u32string text = DecodeUtf8(utf8, &result.Failed);
  if (text.empty()) return result;
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
    result.Failed += static_cast<int>(text.size());
    return result;
  }
  TErrorTrap trap(display);
  const TKeyboardMap map(display);
  const std::vector<KeyCode> spare = map.SpareKeys();
  const TWindowHandle target = TopLevelOf(FocusWindow());
  TNeutralModifiers neutral(display, map);

  std::size_t start = 0;
  while (start < text.size()) {
    // The longest stretch whose missing keysyms fit into the spare keys.
    std::map<KeySym, KeyCode> borrowed;
    std::size_t end = start;
    for (; end < text.size(); ++end) {
      const KeySym keysym = KeysymOfCharacter(text[end]);
      TKeyPlace place;
      if (keysym == 0 || map.Find(keysym, place) || borrowed.count(keysym) != 0) continue;
      if (spare.empty()) continue;  // cannot be typed at all
      if (borrowed.size() == spare.size()) break;
      const KeyCode keycode = spare[borrowed.size()];
      borrowed.emplace(keysym, keycode);
      MapKey(display, keycode, keysym, map.PerKeycode());
    }
    for (std::size_t i = start; i < end; ++i) {
      const KeySym keysym = KeysymOfCharacter(text[i]);
      TKeyPlace place;
      const auto found = borrowed.find(keysym);
      if (found != borrowed.end()) {
        place = TKeyPlace{found->second, false};
      } else if (keysym == 0 || !map.Find(keysym, place)) {
        ++result.Failed;
        continue;
      }
      Tap(display, place, map.ShiftKey());
      ++result.Typed;
    }
    if (!borrowed.empty()) {
      // The client reads each key with the map it fetched last: the keys
      // must all be read before the borrowed keycodes are given back.
      XSync(display, False);
      WaitForClient(target, kPingTimeoutMs, kClientCatchUpMs);
      for (const auto& [keysym, keycode] : borrowed)
        MapKey(display, keycode, NoSymbol, map.PerKeycode());
    }
    start = end;
  }
  XSync(display, False);
  trap.Finish();
  return result;
}

}  // namespace varnoke::platform
