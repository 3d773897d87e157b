#include "platform/x11/x11_display.h"

#include <X11/Xlib.h>

#include "platform/x11/x11_errors.h"

namespace varnoke::platform {

std::unique_ptr<TX11Display> TX11Display::Open(const char* name) {
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return nullptr;
  RegisterErrorDisplay(display);
  return std::make_unique<TX11Display>(display);
}

TX11Display::~TX11Display() {
  // Late errors of this connection arrive while it is still registered, so
  // that closing it cannot reach a handler that ends the process.
  XSync(display_, False);
  UnregisterErrorDisplay(display_);
  XCloseDisplay(display_);
}

int TX11Display::ConnectionFd() const {
  return XConnectionNumber(display_);
}

void TX11Display::Flush() {
  XFlush(display_);
}

bool X11DisplayAvailable() {
  return TX11Display::Open() != nullptr;
}

}  // namespace varnoke::platform
