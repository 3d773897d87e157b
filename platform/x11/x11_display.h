// A connection to an X display.
#pragma once

#include <memory>

struct _XDisplay;  // Xlib's Display, kept out of this header

namespace varnoke::platform {

class TX11Display {
 public:
  // Connects to the display named (DISPLAY when null). Null when there is
  // no display to connect to.
  static std::unique_ptr<TX11Display> Open(const char* name = nullptr);

  ~TX11Display();
  TX11Display(const TX11Display&) = delete;
  TX11Display& operator=(const TX11Display&) = delete;

  // The connection's socket, for waiting on with poll() or a notifier.
  int ConnectionFd() const;
  // Sends every request still buffered.
  void Flush();

  // For the X11 services' own code. X errors on this connection never end
  // the process: they are recorded (see x11_errors.h) or ignored.
  _XDisplay* Xlib() const { return display_; }

  explicit TX11Display(_XDisplay* display) : display_(display) {}

 private:
  _XDisplay* display_;  // owned
};

// True when an X11 display can be opened: DISPLAY is set and answers.
bool X11DisplayAvailable();

}  // namespace varnoke::platform
