// The hot key on X11: a passive grab on the root window, watched on a
// connection and thread of the source's own.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "hook/key_source.h"
#include "platform/wake_counter.h"

struct xcb_connection_t;

namespace varnoke::hook {

class TX11KeyGrab final : public TKeySource {
 public:
  TX11KeyGrab() = default;
  ~TX11KeyGrab() override;  // Stop()
  TX11KeyGrab(const TX11KeyGrab&) = delete;
  TX11KeyGrab& operator=(const TX11KeyGrab&) = delete;

  // Connects to the display, grabs the key set so far and starts the
  // thread. False when there is no display or no thread.
  bool Start(TPressed pressed) override;
  // kKeyRefused when another client holds the combination (nothing of
  // ours stays grabbed for it).
  TKeyAnswer SetKey(std::uint16_t vk, std::uint32_t modifiers) override;
  // Ungrabs, ends the thread and closes the connection; returns when all
  // of that is done.
  void Stop() override;

 private:
  struct TGrab {
    std::uint8_t keycode;
    std::uint16_t modifiers;
    friend bool operator==(const TGrab&, const TGrab&) = default;
  };

  void Run();
  void HandleEvents();
  // True when the press is a new press of the hot key (no auto-repeat).
  bool IsHotKeyPress(std::uint8_t keycode, std::uint16_t state, std::uint32_t time);
  // Grabs the key as the keyboard has it now; keepUnchanged: leaves grabs
  // that would come out the same as they are. Requires lock_.
  TKeyAnswer Regrab(bool keepUnchanged);
  void Ungrab();  // requires lock_

  std::mutex lock_;                // SetKey runs on the program's threads, the presses on this one
  std::uint16_t vk_ = 0;           // Guarded by lock_.
  std::uint32_t modifiers_ = 0;    // Guarded by lock_.
  std::vector<TGrab> grabs_;       // Guarded by lock_.
  std::uint16_t ignoredMask_ = 0;  // lock bits a press may carry; Guarded by lock_.
  std::uint16_t wantedMask_ = 0;   // Guarded by lock_.
  std::vector<std::uint8_t> keysDown_;  // Guarded by lock_.
  std::uint32_t lastRelease_ = 0;       // time of the last release; Guarded by lock_.
  std::uint8_t lastReleased_ = 0;       // its keycode; Guarded by lock_.

  TPressed pressed_;                        // set while the thread is not running
  xcb_connection_t* connection_ = nullptr;  // owned; set and cleared with the thread not running
  std::uint32_t root_ = 0;
  platform::TWakeCounter wake_;  // stop requests and events queued by other threads
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace varnoke::hook
