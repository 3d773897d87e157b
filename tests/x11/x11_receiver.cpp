// x11-receiver [--map]: makes a window, prints "window <id>", then one line
// "<message name> <wParam> <lParam>" for every ClientMessage the window
// gets, until it is killed. --map shows the window (as a small top-level).
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const bool map = argc > 1 && std::strcmp(argv[1], "--map") == 0;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "x11-receiver: no display\n");
    return 2;
  }
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 64, 64, 0, 0, 0);
  XStoreName(display, window, "x11-receiver");
  if (map) XMapWindow(display, window);
  XSync(display, False);
  std::printf("window %lu\n", window);
  std::fflush(stdout);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);  // sleeps until the server sends something
    if (event.type != ClientMessage || event.xclient.format != 32) continue;
    char* name = XGetAtomName(display, event.xclient.message_type);
    std::printf("%s %lu %lu\n", name != nullptr ? name : "?",
                static_cast<unsigned long>(event.xclient.data.l[0]) & 0xffffffffUL,
                static_cast<unsigned long>(event.xclient.data.l[1]) & 0xffffffffUL);
    std::fflush(stdout);
    if (name != nullptr) XFree(name);
  }
}
