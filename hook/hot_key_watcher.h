// The hot key: a passive grab on the root window, watched on a connection
// and thread of the hook's own, reported to the program's window. At a
// press the window to cover is reported at once; the edit control follows
// once the accessibility bus has said which text field has the focus.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "hook/edit_controls.h"

struct xcb_connection_t;

namespace varnoke::hook {

class TAccessibleFocus;

class THotKeyWatcher {
 public:
  THotKeyWatcher();
  ~THotKeyWatcher();  // Stop()
  THotKeyWatcher(const THotKeyWatcher&) = delete;
  THotKeyWatcher& operator=(const THotKeyWatcher&) = delete;

  // Connects to the display, grabs the key set so far and starts the
  // thread that reports presses to window. While running, only moves the
  // reports to window. False when there is no display or no thread.
  bool Start(std::uint32_t window);
  // Ungrabs, ends the thread and closes the connection; returns when all
  // of that is done.
  void Stop();

  // vk: a virtual-key code; modifiers: 1 Alt, 2 Shift, 4 Ctrl. Returns 1
  // when grabbed (or, before Start, remembered), 0 when another client
  // holds the combination (nothing of ours stays grabbed for it), -1 when
  // no key of the keyboard carries the code.
  int SetKey(std::uint16_t vk, std::uint32_t modifiers);

  // The text field of an edit-control handle reported for one; false when
  // the handle names none (an X window, or a report long gone). From any
  // thread.
  bool EditControlObject(std::uint32_t handle, platform::TAccessibleRef& field) const {
    return editControls_.Find(handle, field);
  }

  // How long the lookup of the focused text field may take at a press.
  static constexpr int kLookupMilliseconds = 150;

 private:
  struct TGrab {
    std::uint8_t keycode;
    std::uint16_t modifiers;
    friend bool operator==(const TGrab&, const TGrab&) = default;
  };

  void Run();
  void HandleEvents();
  void OnKeyPress(std::uint8_t keycode, std::uint16_t state, std::uint32_t time);
  void Report();
  // The edit control to report: a handle for a focused text field on the
  // accessibility bus, 0 for a focus there that is no text field, else
  // focus (an application off the bus gets the keys typed into it).
  std::uint32_t EditControl(std::uint32_t active, std::uint32_t focus);
  // Grabs the key as the keyboard has it now; keepUnchanged: leaves grabs
  // that would come out the same as they are. Requires lock_.
  int Regrab(bool keepUnchanged);
  void Ungrab();  // requires lock_
  void Wake();

  std::mutex lock_;                // SetKey runs on the program's threads, the reports on this one
  std::uint16_t vk_ = 0;           // Guarded by lock_.
  std::uint32_t modifiers_ = 0;    // Guarded by lock_.
  std::vector<TGrab> grabs_;       // Guarded by lock_.
  std::uint16_t ignoredMask_ = 0;  // lock bits a press may carry; Guarded by lock_.
  std::uint16_t wantedMask_ = 0;   // Guarded by lock_.
  std::uint32_t target_ = 0;       // Guarded by lock_.
  std::vector<std::uint8_t> keysDown_;  // Guarded by lock_.
  std::uint32_t lastRelease_ = 0;       // time of the last release; Guarded by lock_.
  std::uint8_t lastReleased_ = 0;       // its keycode; Guarded by lock_.

  xcb_connection_t* connection_ = nullptr;  // owned; set and cleared with the thread not running
  std::uint32_t root_ = 0;
  std::uint32_t editControlMessage_ = 0;
  std::uint32_t activateMessage_ = 0;
  int wakeFd_ = -1;  // eventfd: stop requests and events queued by other threads
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  // The thread's own; made before it starts and dropped after it ended.
  std::unique_ptr<TAccessibleFocus> accessible_;
  TEditControls editControls_;
};

}  // namespace varnoke::hook
