// Where the hot key's presses come from: one source per kind of desktop.
// On X11 the hook grabs the key itself; a Wayland desktop lets no program
// grab keys, and takes the key through its own shortcut service instead.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace varnoke::hook {

// What SetKey made of a key, as the library's SetKey returns it.
enum TKeyAnswer : int {
  kKeyTaken = 1,     // presses of the key now come
  kKeyRefused = 0,   // another program holds it, or the desktop refused it or bound
                     // another key instead; nothing of ours is bound to it
  kKeyUnknown = -1,  // no key carries the code
};

class TKeySource {
 public:
  // Called for each press, on a thread of the source's own; token: what
  // the desktop gave the press to let a window take the focus, or empty.
  using TPressed = std::function<void(const std::string& token)>;

  virtual ~TKeySource() = default;

  // Starts watching; presses go to pressed until Stop. False when the
  // desktop turns out not to offer the source after all.
  virtual bool Start(TPressed pressed) = 0;
  // vk: a virtual-key code; modifiers: 1 Alt, 2 Shift, 4 Ctrl. Replaces
  // the key. Before Start, only remembers it (and answers kKeyTaken when
  // the code names a key).
  virtual TKeyAnswer SetKey(std::uint16_t vk, std::uint32_t modifiers) = 0;
  // Stops watching and takes the key back from the desktop; returns when
  // no press can come any more.
  virtual void Stop() = 0;
};

}  // namespace varnoke::hook
