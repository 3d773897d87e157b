// x11-wait [--wm] [--tray] [--timeout SECONDS]: waits until the display
// has an EWMH window manager (--wm) and a system tray (--tray). Exit 0 when
// both came, 1 after the timeout, 2 on wrong use or no display.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/x11/desktop.h"
#include "platform/x11/tray_watch.h"
#include "platform/x11/x11_display.h"

using varnoke::platform::TDesktop;
using varnoke::platform::TTrayWatch;
using varnoke::platform::TX11Display;

int main(int argc, char** argv) {
  bool wantWm = false;
  bool wantTray = false;
  double timeoutSeconds = 30;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--wm") == 0) {
      wantWm = true;
    } else if (std::strcmp(argv[i], "--tray") == 0) {
      wantTray = true;
    } else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      timeoutSeconds = std::atof(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: x11-wait [--wm] [--tray] [--timeout SECONDS]\n");
      return 2;
    }
  }
  auto display = TX11Display::Open();
  auto tray = TTrayWatch::Open();
  if (display == nullptr || tray == nullptr) {
    std::fprintf(stderr, "x11-wait: no display\n");
    return 2;
  }
  Display* x = display->Xlib();
  // The window manager announces itself by a property on the root.
  XSelectInput(x, DefaultRootWindow(x), PropertyChangeMask);
  TDesktop desktop(*display);
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000));
  for (;;) {
    while (XPending(x) > 0) {
      XEvent event;
      XNextEvent(x, &event);
    }
    tray->Dispatch();
    const bool wmReady = !wantWm || desktop.HasEwmhWindowManager();
    const bool trayReady = !wantTray || tray->Present();
    if (wmReady && trayReady) return 0;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      std::fprintf(stderr, "x11-wait: %s\n", !wmReady ? "no window manager" : "no tray");
      return 1;
    }
    pollfd fds[2] = {{display->ConnectionFd(), POLLIN, 0}, {tray->Fd(), POLLIN, 0}};
    // Events already read in by the checks are on the queues, not the
    // sockets: look at them before sleeping.
    if (XQLength(x) == 0) ::poll(fds, 2, static_cast<int>(left.count()));
  }
}
