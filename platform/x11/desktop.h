// The desktop as the program sees it: which window is active and which has
// the focus, where windows stand, handing the foreground to a window, and
// typing text into the focused one.
#pragma once

#include <string_view>

#include "platform/x11/rect.h"
#include "platform/x11/window_handle.h"

namespace varnoke::platform {

class TX11Display;

// What TypeText did.
struct TTypeResult {
  int Typed = 0;   // characters sent as key presses
  int Failed = 0;  // characters that could not be typed, and invalid UTF-8 bytes
};

// Every call runs on the thread that owns the display. Windows that no
// longer exist only make the calls fail (false, 0 or an empty result).
class TDesktop {
 public:
  // Borrows display, which must outlive the desktop.
  explicit TDesktop(TX11Display& display);
  ~TDesktop();
  TDesktop(const TDesktop&) = delete;
  TDesktop& operator=(const TDesktop&) = delete;

  // The window manager's active window (_NET_ACTIVE_WINDOW); without one,
  // the top-level of the focus window. 0 when neither is known.
  TWindowHandle ActiveWindow();
  // The window that has the input focus; 0 when the focus is nowhere or
  // follows the pointer.
  TWindowHandle FocusWindow();
  // The application window (the one carrying WM_STATE) that is window or
  // contains it; without one, the root's child that contains window. 0 for
  // the root itself or a window that does not exist.
  TWindowHandle TopLevelOf(TWindowHandle window);

  // The frame rectangle of window's top-level in root coordinates: the
  // client area grown by its _NET_FRAME_EXTENTS (none: no frame).
  bool GetWindowRect(TWindowHandle window, TRect& rect);
  // window's _NET_FRAME_EXTENTS; false when it has none.
  bool GetFrameExtents(TWindowHandle window, TFrameExtents& extents);
  // The window window is transient for (WM_TRANSIENT_FOR); 0 when none.
  TWindowHandle GetParent(TWindowHandle window);

  // True when a window manager that follows EWMH runs (its
  // _NET_SUPPORTING_WM_CHECK window exists and names itself).
  bool HasEwmhWindowManager();

  // Asks the window manager to activate window's top-level and raises it;
  // with no EWMH window manager, gives it the input focus directly.
  void SetForegroundWindow(TWindowHandle window);

  // Waits until the input focus is in window's top-level (the top-level
  // itself or any window inside it). False when timeoutMs passed first.
  bool WaitForFocusIn(TWindowHandle window, int timeoutMs);

  // Types utf8 into whatever has the focus, with synthetic key events.
  // Characters the keyboard map lacks are typed through spare keycodes
  // mapped for the moment and restored after; modifiers held down when
  // typing starts are released first and not pressed again; Caps Lock and
  // the keyboard group are set back as they were.
  TTypeResult TypeText(std::string_view utf8);

  // For the typing code: a server timestamp, got by a property change on a
  // window of this desktop's own.
  unsigned long ServerTime();
  // For the typing code: waits until the client owning top-level has read
  // every event sent to it so far (a _NET_WM_PING round trip), at most
  // pingTimeoutMs; a client that cannot be pinged is given unpingableMs.
  void WaitForClient(TWindowHandle topLevel, int pingTimeoutMs, int unpingableMs);

 private:
  bool FocusIsWithin(TWindowHandle topLevel);
  unsigned long AtomOf(const char* name);

  TX11Display& display_;
  TWindowHandle ownWindow_ = 0;  // input-only, never mapped; for timestamps
};

}  // namespace varnoke::platform
