// What the program needs of the desktop beyond its own windows: message
// numbers shared with other programs, other programs' windows (where they
// stand, the foreground, the keyboard focus), typing into them, their text
// fields on the accessibility bus, and the arrival of a tray. On X11 these
// are the X11 services; tests without a display use an in-process stand-in.
#pragma once

#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/a11y/accessible.h"

namespace varnoke::shell {

// A window of any program on the display (an X11 window id); 0 is none.
using TWindowHandle = std::uint64_t;

// A rectangle in root-window (screen) coordinates, right and bottom
// exclusive.
struct TScreenRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TScreenRect&) const = default;
};

// How far a window manager's frame reaches beyond a window's client area.
struct TFrameExtents {
  int Left = 0;
  int Right = 0;
  int Top = 0;
  int Bottom = 0;
};

// A message another program posted to one of our windows.
struct TPostedMessage {
  TWindowHandle Window = 0;
  std::uint32_t Message = 0;
  std::uint64_t WParam = 0;
  std::uint64_t LParam = 0;
};

class TDesktopServices {
 public:
  virtual ~TDesktopServices() = default;

  // The number every program on the display gets for name; 0 on failure.
  virtual std::uint32_t RegisterWindowMessage(std::string_view name) = 0;

  // Decodes a native event of the toolkit (as a native event filter gets
  // it) that is a message posted to one of our windows.
  virtual bool DecodePostedMessage(const QByteArray& eventType, void* event,
                                   TPostedMessage& message) = 0;

  // The window's outer rectangle, its frame included; false when it is gone.
  virtual bool GetWindowRect(TWindowHandle window, TScreenRect& rect) = 0;
  // The window's frame; false when not known (yet).
  virtual bool GetFrameExtents(TWindowHandle window, TFrameExtents& extents) = 0;
  // The window it is transient for; 0 when none.
  virtual TWindowHandle GetParent(TWindowHandle window) = 0;
  // Asks for the window to become the active one, raised.
  virtual void SetForegroundWindow(TWindowHandle window) = 0;
  // True where the desktop tells no program where other programs' windows
  // are (Wayland): a pop-up without a window to cover is centred instead.
  virtual bool OtherWindowsHidden() { return false; }

  // Waits until the keyboard focus is in the window's top-level window:
  // true, or false once timeoutMs have passed.
  virtual bool WaitForFocusIn(TWindowHandle window, int timeoutMs) = 0;
  // Types the text (UTF-8) into whatever has the keyboard focus; true when
  // every character was typed.
  virtual bool TypeText(std::string_view text) = 0;

  // Turns the desktop's accessibility switch on when it is off, so that the
  // applications started from now on show their text fields on the
  // accessibility bus. False when there is no such switch.
  virtual bool SwitchAccessibilityOn() = 0;
  // Replaces the whole text of a text field on the accessibility bus with
  // text (UTF-8), the caret at its end; true when the field then reads as
  // text.
  virtual bool SetFieldText(const platform::TAccessibleRef& field, std::string_view text) = 0;
  // Selects the whole text of the field; true when the application says it
  // did.
  virtual bool SelectFieldText(const platform::TAccessibleRef& field) = 0;

  // True when a tray host on the display can take an icon now.
  virtual bool TrayPresent() = 0;
  // Calls onChange, on the user-interface thread, whenever a tray host may
  // have arrived, until the returned object is dropped.
  virtual std::unique_ptr<QObject> WatchTray(std::function<void()> onChange) = 0;
};

}  // namespace varnoke::shell
