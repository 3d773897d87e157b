#include "tests/e2e/window_watch.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "tests/x11/desktop_fixture.h"

namespace varnoke::testing {
namespace {

using TClock = std::chrono::steady_clock;

int IgnoreErrors(Display*, XErrorEvent*) {
  return 0;  // windows come and go under the watch
}

void Walk(Display* display, Window window, const std::function<void(Window)>& visit) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return;
  std::vector<Window> list(children, children + count);
  if (children != nullptr) XFree(children);
  for (const Window child : list) {
    visit(child);
    Walk(display, child, visit);
  }
}

}  // namespace

TWindowWatch::TWindowWatch() : display_(XOpenDisplay(nullptr)) {
  XSetErrorHandler(IgnoreErrors);
  if (display_ != nullptr) {
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XFlush(display_);
  }
}

TWindowWatch::~TWindowWatch() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::string TWindowWatch::Title(std::uint64_t window) {
  const Atom name = XInternAtom(display_, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  Atom type = 0;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display_, window, name, 0, 1024, False, utf8, &type, &format, &items,
                         &after, &data) == Success &&
      data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), items);
  }
  if (data != nullptr) XFree(data);
  return title;
}

bool TWindowWatch::Shown(std::uint64_t window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

std::uint64_t TWindowWatch::WaitForTitle(const std::string& title, int timeoutMs) {
  if (display_ == nullptr) return 0;
  const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  std::uint64_t found = 0;
  Walk(display_, DefaultRootWindow(display_), [&](Window window) {
    if (found == 0 && Title(window) == title) found = window;
  });
  while (found == 0) {
    while (found == 0 && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      Window window = 0;
      if (event.type == CreateNotify) {
        window = event.xcreatewindow.window;
        // Its title may come after it is made.
        XSelectInput(display_, window, PropertyChangeMask);
      } else if (event.type == PropertyNotify) {
        window = event.xproperty.window;
      } else if (event.type == MapNotify) {
        window = event.xmap.window;
      }
      if (window != 0 && Title(window) == title) found = window;
    }
    if (found != 0) break;
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    const int left = RemainingMs(deadline);
    if (left == 0 || ::poll(&fd, 1, left) <= 0) break;
  }
  return found;
}

bool TWindowWatch::WaitViewable(std::uint64_t window, bool viewable, int timeoutMs) {
  const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  XSelectInput(display_, window, StructureNotifyMask | PropertyChangeMask);
  XSync(display_, False);
  while (Shown(window) != viewable) {
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    const int left = RemainingMs(deadline);
    if (left == 0 || ::poll(&fd, 1, left) <= 0) return Shown(window) == viewable;
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
    }
  }
  return true;
}

void TWindowWatch::Close(std::uint64_t window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XFlush(display_);
}

std::uint64_t TWindowWatch::Viewable(const std::string& title, int minWidth) {
  std::uint64_t found = 0;
  Walk(display_, DefaultRootWindow(display_), [&](Window window) {
    if (found != 0 || Title(window) != title) return;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display_, window, &attributes) != 0 &&
        attributes.map_state == IsViewable && attributes.width >= minWidth)
      found = window;
  });
  return found;
}

void TWindowWatch::Pump(int timeoutMs) {
  // Events wake the look again; a window that changes without telling
  // this connection is seen at the next tick.
  pollfd fd{ConnectionNumber(display_), POLLIN, 0};
  ::poll(&fd, 1, std::min(timeoutMs, 50));
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
  }
}

std::uint64_t TWindowWatch::WaitForViewable(const std::string& title, int minWidth,
                                            int timeoutMs) {
  const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (const std::uint64_t window = Viewable(title, minWidth)) return window;
    const int left = RemainingMs(deadline);
    if (left == 0) return 0;
    Pump(left);
  }
}

bool TWindowWatch::WaitGone(const std::string& title, int minWidth, int timeoutMs) {
  const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  while (Viewable(title, minWidth) != 0) {
    const int left = RemainingMs(deadline);
    if (left == 0) return false;
    Pump(left);
  }
  return true;
}

bool TWindowWatch::TrayIcon(const std::string& wmClass, int& x, int& y) {
  const Atom xembed = XInternAtom(display_, "_XEMBED_INFO", False);
  bool found = false;
  Walk(display_, DefaultRootWindow(display_), [&](Window window) {
    if (found) return;
    XClassHint hint{};
    if (XGetClassHint(display_, window, &hint) == 0) return;
    const bool ours = hint.res_class != nullptr && wmClass == hint.res_class;
    XFree(hint.res_name);
    XFree(hint.res_class);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display_, window, xembed, 0, 2, False, AnyPropertyType, &type, &format,
                       &items, &after, &data);
    if (data != nullptr) XFree(data);
    if (!ours || type == None || !Shown(window)) return;
    // Every window of the toolkit carries _XEMBED_INFO; the icon is the
    // small one.
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    if (attributes.width > 64 || attributes.height > 64) return;
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), attributes.width / 2,
                          attributes.height / 2, &x, &y, &child);
    found = true;
  });
  return found;
}

}  // namespace varnoke::testing
