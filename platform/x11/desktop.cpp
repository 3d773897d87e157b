#include "platform/x11/desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <deque>

#include "platform/x11/window_properties.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_errors.h"

namespace varnoke::platform {
namespace {

using TClock = std::chrono::steady_clock;

// _NET_ACTIVE_WINDOW's source indication for a pager or other tool acting
// for the user: window managers obey it without focus-stealing checks.
constexpr long kSourcePager = 2;

// Rounded up: a wait that stops with a fraction of a millisecond left
// would give up before its time.
int RemainingMs(TClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Sleeps in poll() until the connection has something to read or the
// deadline passes; reads what came into Xlib's queue.
void WaitForInput(Display* display, TClock::time_point deadline) {
  pollfd fd{XConnectionNumber(display), POLLIN, 0};
  if (::poll(&fd, 1, RemainingMs(deadline)) > 0) XEventsQueued(display, QueuedAfterReading);
}

// Adds mask to this connection's selection on window; returns the old one.
long SelectMore(Display* display, Window window, long mask) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0) return 0;
  XSelectInput(display, window, attributes.your_event_mask | mask);
  return attributes.your_event_mask;
}

struct TRootEvents {
  Window root;
  Window watched;
};

// Removes the events the waits here asked for: focus changes of one
// window and whatever the root reports; other events stay queued.
Bool IsWaitNoise(Display*, XEvent* event, XPointer arg) {
  const auto* windows = reinterpret_cast<const TRootEvents*>(arg);
  if (event->type == FocusIn || event->type == FocusOut)
    return event->xfocus.window == windows->watched ? True : False;
  if (event->type == ClientMessage) return False;
  return event->xany.window == windows->root ? True : False;
}

// True when it removed any: something changed, and is to be looked at
// before sleeping again.
bool DropWaitNoise(Display* display, TRootEvents& windows) {
  XEvent event;
  bool dropped = false;
  while (XCheckIfEvent(display, &event, IsWaitNoise, reinterpret_cast<XPointer>(&windows)))
    dropped = true;
  return dropped;
}

}  // namespace

TDesktop::TDesktop(TX11Display& display) : display_(display) {}

TDesktop::~TDesktop() {
  if (ownWindow_ != 0) {
    XDestroyWindow(display_.Xlib(), ownWindow_);
    display_.Flush();
  }
}

unsigned long TDesktop::AtomOf(const char* name) {
  return XInternAtom(display_.Xlib(), name, False);
}

TWindowHandle TDesktop::FocusWindow() {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display_.Xlib(), &focus, &revert);
  if (focus == None || focus == PointerRoot) return 0;
  return focus;
}

TWindowHandle TDesktop::ActiveWindow() {
  Display* display = display_.Xlib();
  const auto active = ReadLongProperty(display, DefaultRootWindow(display),
                                       AtomOf("_NET_ACTIVE_WINDOW"), XA_WINDOW);
  if (!active.empty() && active[0] != None) return active[0];
  return TopLevelOf(FocusWindow());
}

TWindowHandle TDesktop::TopLevelOf(TWindowHandle window) {
  Display* display = display_.Xlib();
  const Window root = DefaultRootWindow(display);
  if (window == 0 || window == root) return 0;
  const unsigned long wmState = AtomOf("WM_STATE");
  std::uint64_t current = window;
  for (;;) {
    if (HasProperty(display, current, wmState)) return current;
    std::uint64_t parent = 0;
    if (!QueryParent(display, current, parent)) return 0;
    if (parent == root || parent == None) break;
    current = parent;
  }
  // current is the root's child holding window: a window manager's frame,
  // whose client lies below it, or a window nobody manages.
  std::deque<std::uint64_t> pending{current};
  while (!pending.empty()) {
    const std::uint64_t candidate = pending.front();
    pending.pop_front();
    if (candidate != current && HasProperty(display, candidate, wmState)) return candidate;
    for (std::uint64_t child : QueryChildren(display, candidate))
      pending.push_back(child);
  }
  return current;
}

bool TDesktop::GetFrameExtents(TWindowHandle window, TFrameExtents& extents) {
  const TWindowHandle topLevel = TopLevelOf(window);
  if (topLevel == 0) return false;
  const auto values =
      ReadLongProperty(display_.Xlib(), topLevel, AtomOf("_NET_FRAME_EXTENTS"), XA_CARDINAL);
  if (values.size() < 4) return false;
  extents = TFrameExtents{static_cast<int>(values[0]), static_cast<int>(values[1]),
                          static_cast<int>(values[2]), static_cast<int>(values[3])};
  return true;
}

bool TDesktop::GetWindowRect(TWindowHandle window, TRect& rect) {
  Display* display = display_.Xlib();
  const TWindowHandle topLevel = TopLevelOf(window);
  if (topLevel == 0) return false;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, topLevel, &attributes) == 0) return false;
  int x = 0;
  int y = 0;
  Window child = None;
  if (!XTranslateCoordinates(display, topLevel, DefaultRootWindow(display), 0, 0, &x, &y, &child))
    return false;
  TFrameExtents frame;
  GetFrameExtents(topLevel, frame);  // none: no frame
  const int border = attributes.border_width;
  rect = TRect{x - border - frame.Left, y - border - frame.Top,
               x + attributes.width + border + frame.Right,
               y + attributes.height + border + frame.Bottom};
  return true;
}

TWindowHandle TDesktop::GetParent(TWindowHandle window) {
  if (window == 0) return 0;
  Display* display = display_.Xlib();
  Window owner = None;
  if (XGetTransientForHint(display, window, &owner) == 0) return 0;
  // Transient for the root means "for the whole group": no one window.
  if (owner == DefaultRootWindow(display)) return 0;
  return owner;
}

bool TDesktop::HasEwmhWindowManager() {
  Display* display = display_.Xlib();
  const unsigned long check = AtomOf("_NET_SUPPORTING_WM_CHECK");
  const auto onRoot = ReadLongProperty(display, DefaultRootWindow(display), check, XA_WINDOW);
  if (onRoot.empty() || onRoot[0] == None) return false;
  // A window manager that died leaves the root's property behind; its
  // check window then is gone or no longer points at itself.
  TErrorTrap trap(display);
  const auto onWindow = ReadLongProperty(display, onRoot[0], check, XA_WINDOW);
  return trap.Finish() == 0 && !onWindow.empty() && onWindow[0] == onRoot[0];
}

unsigned long TDesktop::ServerTime() {
  Display* display = display_.Xlib();
  if (ownWindow_ == 0) {
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    attributes.override_redirect = True;
    ownWindow_ =
        XCreateWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, CopyFromParent,
                      InputOnly, CopyFromParent, CWEventMask | CWOverrideRedirect, &attributes);
  }
  const unsigned long stamp = AtomOf("_VARNOKE_TIMESTAMP");
  XChangeProperty(display, ownWindow_, stamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
  struct TMatch {
    Window window;
    unsigned long atom;
  } match{ownWindow_, stamp};
  XEvent event;
  // The server answers a property change at once; this blocks only for it.
  XIfEvent(
      display, &event,
      [](Display*, XEvent* e, XPointer arg) -> Bool {
        const auto* m = reinterpret_cast<const TMatch*>(arg);
        return e->type == PropertyNotify && e->xproperty.window == m->window &&
               e->xproperty.atom == m->atom;
      },
      reinterpret_cast<XPointer>(&match));
  return event.xproperty.time;
}

void TDesktop::SetForegroundWindow(TWindowHandle window) {
  Display* display = display_.Xlib();
  const TWindowHandle topLevel = TopLevelOf(window);
  if (topLevel == 0) return;
  TErrorTrap trap(display);  // a window gone meanwhile only fails quietly
  if (HasEwmhWindowManager()) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = topLevel;
    event.xclient.message_type = AtomOf("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = kSourcePager;
    event.xclient.data.l[1] = static_cast<long>(ServerTime());
    event.xclient.data.l[2] = None;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XRaiseWindow(display, topLevel);
  } else {
    XRaiseWindow(display, topLevel);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
  }
  trap.Finish();
}

bool TDesktop::FocusIsWithin(TWindowHandle topLevel) {
  Display* display = display_.Xlib();
  const Window root = DefaultRootWindow(display);
  std::uint64_t current = FocusWindow();
  while (current != 0 && current != root) {
    if (current == topLevel) return true;
    if (!QueryParent(display, current, current)) return false;
  }
  return false;
}

bool TDesktop::WaitForFocusIn(TWindowHandle window, int timeoutMs) {
  Display* display = display_.Xlib();
  const auto deadline = TClock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  const TWindowHandle topLevel = TopLevelOf(window);
  if (topLevel == 0) return false;
  const Window root = DefaultRootWindow(display);
  TErrorTrap trap(display);  // the window may go away while this waits
  // Focus events of the top-level (the focus entering it or any window in
  // it), and the root's property changes (a new active window), wake the
  // wait; the focus itself is what decides.
  const long oldTopMask = SelectMore(display, topLevel, FocusChangeMask);
  const long oldRootMask = SelectMore(display, root, PropertyChangeMask);
  TRootEvents windows{root, topLevel};
  bool inside = false;
  DropWaitNoise(display, windows);
  for (;;) {
    inside = FocusIsWithin(topLevel);
    if (inside || RemainingMs(deadline) == 0) break;
    // An event read in while the focus was looked at is on the queue, not
    // the socket: look again rather than sleep past it.
    if (!DropWaitNoise(display, windows)) WaitForInput(display, deadline);
    DropWaitNoise(display, windows);
  }
  XSelectInput(display, topLevel, oldTopMask);
  XSelectInput(display, root, oldRootMask);
  DropWaitNoise(display, windows);
  trap.Finish();
  return inside;
}

void TDesktop::WaitForClient(TWindowHandle topLevel, int pingTimeoutMs, int unpingableMs) {
  Display* display = display_.Xlib();
  const unsigned long protocols = AtomOf("WM_PROTOCOLS");
  const unsigned long ping = AtomOf("_NET_WM_PING");
  bool pingable = false;
  if (topLevel != 0) {
    TErrorTrap trap(display);
    Atom* list = nullptr;
    int count = 0;
    if (XGetWMProtocols(display, topLevel, &list, &count) != 0) {
      pingable = std::find(list, list + count, ping) != list + count;
      XFree(list);
    }
    trap.Finish();
  }
  if (!pingable) {
    // Nothing tells when such a client has read its events; give it the
    // time allowed.
    XSync(display, False);
    ::poll(nullptr, 0, std::max(unpingableMs, 0));
    return;
  }
  const auto deadline = TClock::now() + std::chrono::milliseconds(std::max(pingTimeoutMs, 0));
  const Window root = DefaultRootWindow(display);
  const unsigned long stamp = ServerTime();
  TErrorTrap trap(display);
  const long oldRootMask = SelectMore(display, root, SubstructureNotifyMask);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = topLevel;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(ping);
  event.xclient.data.l[1] = static_cast<long>(stamp);
  event.xclient.data.l[2] = static_cast<long>(topLevel);
  XSendEvent(display, topLevel, False, NoEventMask, &event);
  XFlush(display);
  // The client answers on the root after it has handled everything it was
  // sent before the ping: the key events among them.
  struct TPong {
    Window root;
    unsigned long protocols, ping, stamp;
  } pong{root, protocols, ping, stamp};
  auto isPong = [](Display*, XEvent* e, XPointer arg) -> Bool {
    const auto* p = reinterpret_cast<const TPong*>(arg);
    return e->type == ClientMessage && e->xclient.window == p->root &&
           e->xclient.message_type == p->protocols &&
           static_cast<unsigned long>(e->xclient.data.l[0]) == p->ping &&
           static_cast<unsigned long>(e->xclient.data.l[1]) == p->stamp;
  };
  TRootEvents windows{root, None};
  XEvent answer;
  for (;;) {
    DropWaitNoise(display, windows);
    // Checked last before sleeping: it reads in whatever has arrived.
    if (XCheckIfEvent(display, &answer, isPong, reinterpret_cast<XPointer>(&pong))) break;
    if (RemainingMs(deadline) == 0) break;
    WaitForInput(display, deadline);
  }
  XSelectInput(display, root, oldRootMask);
  DropWaitNoise(display, windows);
  trap.Finish();
}

}  // namespace varnoke::platform
