// key-grabber KEYSYM [MODIFIERS]: holds a passive grab of a key on the root
// window, as another program holding a hot key would, until its standard
// input closes; then it lets go and ends. MODIFIERS: names joined by "+", of ctrl, alt, shift.
// Prints "grabbed" or "refused" once the server has answered.
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool refused = false;

int OnError(Display*, XErrorEvent* event) {
  if (event->error_code == BadAccess) refused = true;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: key-grabber KEYSYM [MODIFIERS]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 2;
  const KeyCode keycode = XKeysymToKeycode(display, XStringToKeysym(argv[1]));
  unsigned int modifiers = 0;
  const std::string names = argc > 2 ? argv[2] : "";
  if (names.find("ctrl") != std::string::npos) modifiers |= ControlMask;
  if (names.find("alt") != std::string::npos) modifiers |= Mod1Mask;
  if (names.find("shift") != std::string::npos) modifiers |= ShiftMask;
  XSetErrorHandler(OnError);
  XGrabKey(display, keycode, modifiers, DefaultRootWindow(display), False, GrabModeAsync,
           GrabModeAsync);
  XSync(display, False);
  std::printf(refused || keycode == 0 ? "refused\n" : "grabbed\n");
  std::fflush(stdout);
  char buffer[64];
  while (::read(0, buffer, sizeof buffer) > 0) {
  }
  // Let go before ending, so that whoever waits for the end finds the key
  // free: the server has carried out the ungrab once XSync returns.
  XUngrabKey(display, keycode, modifiers, DefaultRootWindow(display));
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
