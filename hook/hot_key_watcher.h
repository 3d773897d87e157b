// The hot key: presses from the key source this session offers
// (key_source_choice.h), and from the desktop's own shortcuts through
// ReportHotKey, reported to the program's window on a connection and
// thread of the hook's own. At a press the window to cover is reported at
// once; the edit control follows once the accessibility bus has said
// which text field has the focus.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "hook/edit_controls.h"
#include "hook/key_source.h"
#include "platform/wake_counter.h"

struct xcb_connection_t;

namespace varnoke::hook {

class TAccessibleFocus;

class THotKeyWatcher {
 public:
  THotKeyWatcher();
  ~THotKeyWatcher();  // Stop()
  THotKeyWatcher(const THotKeyWatcher&) = delete;
  THotKeyWatcher& operator=(const THotKeyWatcher&) = delete;

  // Connects to the display, starts the key source with the key set so
  // far and the thread that reports presses to window. While running,
  // only moves the reports to window. False when there is no display, no
  // key source or no thread.
  bool Start(std::uint32_t window);
  // Stops the key source (the desktop lets the key go), ends the thread
  // and closes the connection; returns when all of that is done.
  void Stop();

  // vk: a virtual-key code; modifiers: 1 Alt, 2 Shift, 4 Ctrl. Returns 1
  // when the key is taken (or, before Start, remembered), 0 when another
  // program holds it or the desktop refused it, -1 when no key of the
  // keyboard carries the code.
  int SetKey(std::uint16_t vk, std::uint32_t modifiers);

  // A press of the hot key, from the key source or seen by the desktop:
  // reported from the thread, in order. token: the activation token the
  // desktop gave it, or empty. Ignored unless running.
  void Press(const std::string& token);

  // The text field of an edit-control handle reported for one; false when
  // the handle names none (an X window, or a report long gone). From any
  // thread.
  bool EditControlObject(std::uint32_t handle, platform::TAccessibleRef& field) const {
    return editControls_.Find(handle, field);
  }

  // How long the lookup of the focused text field may take at a press.
  static constexpr int kLookupMilliseconds = 150;

 private:
  void Run();
  // Lets the program's window take the focus with the desktop's token
  // when it shows next; without one, takes an old token away.
  void SetActivationToken(std::uint32_t window, const std::string& token);
  void Report();
  // The edit control to report: a handle for a focused text field on the
  // accessibility bus, 0 for a focus there that is no text field, else
  // focus (an application off the bus gets the keys typed into it), or
  // for a focus the display does not show, kUnseenEditControl.
  std::uint32_t EditControl(std::uint32_t active, std::uint32_t focus);

  // Start, Stop and SetKey come one at a time (the library's exports are
  // serialized): what only they touch needs no lock. Presses come from
  // other threads.
  std::uint16_t vk_ = 0;
  std::uint32_t modifiers_ = 0;
  std::unique_ptr<TKeySource> source_;

  std::mutex lock_;
  std::uint32_t target_ = 0;         // Guarded by lock_.
  std::deque<std::string> presses_;  // tokens of the presses to report; Guarded by lock_.

  bool wayland_ = false;  // on Wayland the focus may be where the display cannot see
  xcb_connection_t* connection_ = nullptr;  // owned; set and cleared with the thread not running
  std::uint32_t root_ = 0;
  std::uint32_t editControlMessage_ = 0;
  std::uint32_t activateMessage_ = 0;
  std::uint32_t startupIdAtom_ = 0;
  std::uint32_t utf8Atom_ = 0;
  platform::TWakeCounter wake_;  // presses and stop requests
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  // The thread's own; made before it starts and dropped after it ended.
  std::unique_ptr<TAccessibleFocus> accessible_;
  TEditControls editControls_;
};

}  // namespace varnoke::hook
