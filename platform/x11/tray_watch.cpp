#include "platform/x11/tray_watch.h"

#include <X11/Xlib.h>

#include <string>

#include "platform/x11/x11_display.h"

namespace varnoke::platform {

std::unique_ptr<TTrayWatch> TTrayWatch::Open(const char* displayName) {
  auto display = TX11Display::Open(displayName);
  if (display == nullptr) return nullptr;
  return std::make_unique<TTrayWatch>(std::move(display));
}

TTrayWatch::TTrayWatch(std::unique_ptr<TX11Display> display) : display_(std::move(display)) {
  Display* x = display_->Xlib();
  const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x));
  selection_ = XInternAtom(x, name.c_str(), False);
  // A tray manager's MANAGER message goes to the root with this mask.
  XSelectInput(x, DefaultRootWindow(x), StructureNotifyMask);
  XFlush(x);
}

TTrayWatch::~TTrayWatch() = default;

bool TTrayWatch::Present() {
  Display* x = display_->Xlib();
  for (;;) {
    if (XGetSelectionOwner(x, selection_) != None) return true;
    // Events read in with the answer came after the question was asked; a
    // tray announced among them must not wait for the socket to stir again.
    if (XQLength(x) == 0) return false;
    Dispatch();
  }
}

int TTrayWatch::Fd() const {
  return display_->ConnectionFd();
}

void TTrayWatch::Dispatch() {
  Display* x = display_->Xlib();
  // XPending reads what the socket holds, so a level-triggered notifier on
  // Fd() quiets down.
  while (XPending(x) > 0) {
    XEvent event;
    XNextEvent(x, &event);
  }
}

}  // namespace varnoke::platform
