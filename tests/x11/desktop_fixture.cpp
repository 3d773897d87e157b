#include "tests/x11/desktop_fixture.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace varnoke::testing {
namespace {

using TClock = std::chrono::steady_clock;

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

int RemainingMs(TClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::string TestProgram(const std::string& name) {
  return std::string(VARNOKE_TEST_BIN) + "/" + name;
}
std::string HookLibraryPath() {
  return std::string(VARNOKE_LIBRARY_DIR) + "/mhook.dll";
}

TChild::TChild(const std::vector<std::string>& argv) {
  int out[2];
  int in[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    ::dup2(in[0], 0);
    std::vector<char*> args = Argv(argv);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(in[0]);
  out_ = out[0];
  in_ = in[1];
}

TChild::~TChild() {
  if (pid_ > 0) {
    ::close(in_);
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  ::close(out_);
}

int TChild::Finish() {
  ::close(in_);
  int raw = 0;
  ::waitpid(pid_, &raw, 0);
  pid_ = -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool TChild::Send(const std::string& line) {
  const std::string text = line + "\n";
  return in_ >= 0 && ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool TChild::ReadLine(std::string& line, int timeoutMs) {
  const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto end = buffered_.find('\n');
    if (end != std::string::npos) {
      line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return true;
    }
    pollfd fd{out_, POLLIN, 0};
    if (::poll(&fd, 1, RemainingMs(deadline)) <= 0) return false;
    char chunk[4096];
    const ssize_t got = ::read(out_, chunk, sizeof chunk);
    if (got <= 0) return false;
    buffered_.append(chunk, static_cast<std::size_t>(got));
  }
}

bool TChild::ReadLineStarting(const std::string& prefix, std::string& rest, int timeoutMs) {
  const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line;
  while (ReadLine(line, RemainingMs(deadline))) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      rest = line.substr(prefix.size());
      return true;
    }
  }
  return false;
}

std::string RunCommand(const std::vector<std::string>& argv, int* status) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    std::vector<char*> args = Argv(argv);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char chunk[4096];
  ssize_t got = 0;
  while ((got = ::read(out[0], chunk, sizeof chunk)) > 0)
    text.append(chunk, static_cast<std::size_t>(got));
  ::close(out[0]);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return text;
}

TTestClient::TTestClient() : display_(XOpenDisplay(nullptr)) {}

TTestClient::~TTestClient() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::uint64_t TTestClient::Root() const {
  return DefaultRootWindow(display_);
}

template <typename Match>
bool TTestClient::NextEvent(Match match, void* out, int timeoutMs) {
  const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (match(event)) {
        *static_cast<XEvent*>(out) = event;
        return true;
      }
    }
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    if (::poll(&fd, 1, RemainingMs(deadline)) <= 0) return false;
  }
}

std::uint64_t TTestClient::CreateTopLevel(int x, int y, int width, int height,
                                          const std::string& title) {
  const Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), x, y, width,
                                            height, 0, 0, 0xffffff);
  XStoreName(display_, window, title.c_str());
  XSizeHints hints{};
  hints.flags = USPosition | USSize;
  hints.x = x;
  hints.y = y;
  hints.width = width;
  hints.height = height;
  XSetWMNormalHints(display_, window, &hints);
  XSelectInput(display_, window, PropertyChangeMask | StructureNotifyMask);
  XMapWindow(display_, window);
  const Atom wmState = XInternAtom(display_, "WM_STATE", False);
  const bool managed = [&] {
    XEvent event;
    return NextEvent(
        [&](const XEvent& e) {
          return e.xany.window == window && e.type == PropertyNotify && e.xproperty.atom == wmState;
        },
        &event, 5000);
  }();
  if (!managed) {
    // No window manager: mapped is as far as it goes.
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    if (attributes.map_state != IsViewable) return 0;
  }
  return window;
}

std::uint64_t TTestClient::CreateChild(std::uint64_t parent, int x, int y, int width, int height) {
  const Window child = XCreateSimpleWindow(display_, parent, x, y, width, height, 0, 0, 0xc0c0c0);
  XSelectInput(display_, child, KeyPressMask | FocusChangeMask);
  XMapWindow(display_, child);
  XSync(display_, False);
  return child;
}

std::uint64_t TTestClient::CreateReceiver() {
  const Window window =
      XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
  XSync(display_, False);
  return window;
}

void TTestClient::SetTransientFor(std::uint64_t window, std::uint64_t owner) {
  XSetTransientForHint(display_, window, owner);
  XSync(display_, False);
}

void TTestClient::SetInputFocus(std::uint64_t window) {
  XSetInputFocus(display_, window, RevertToParent, CurrentTime);
  XSync(display_, False);
}

bool TTestClient::NextClientMessage(TReceived& out, int timeoutMs) {
  XEvent event;
  if (!NextEvent([](const XEvent& e) { return e.type == ClientMessage; }, &event, timeoutMs))
    return false;
  char* name = XGetAtomName(display_, event.xclient.message_type);
  out.window = event.xclient.window;
  out.name = name != nullptr ? name : "";
  if (name != nullptr) XFree(name);
  out.wParam = static_cast<unsigned long>(event.xclient.data.l[0]) & 0xffffffffUL;
  out.lParam = static_cast<unsigned long>(event.xclient.data.l[1]) & 0xffffffffUL;
  return true;
}

bool TTestClient::NextKeyPress(std::uint64_t window, unsigned long keysym, unsigned& state,
                               int timeoutMs) {
  const KeyCode keycode = XKeysymToKeycode(display_, keysym);
  XEvent event;
  if (!NextEvent(
          [window, keycode](const XEvent& e) {
            return e.type == KeyPress && e.xkey.window == window && e.xkey.keycode == keycode;
          },
          &event, timeoutMs))
    return false;
  state = event.xkey.state;
  return true;
}

std::uint64_t TTestClient::RootChildOf(std::uint64_t window) {
  Window current = window;
  for (;;) {
    Window root = None, parent = None, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, current, &root, &parent, &children, &count) == 0) return 0;
    if (children != nullptr) XFree(children);
    if (parent == root) return current;
    current = parent;
  }
}

std::vector<unsigned long> TTestClient::KeyboardMap() {
  int min = 0, max = 0, per = 0;
  XDisplayKeycodes(display_, &min, &max);
  KeySym* syms = XGetKeyboardMapping(display_, static_cast<KeyCode>(min), max - min + 1, &per);
  std::vector<unsigned long> map(syms, syms + (max - min + 1) * per);
  XFree(syms);
  return map;
}

bool TTestClient::AnyModifierDown() {
  char keys[32] = {};
  XQueryKeymap(display_, keys);
  XModifierKeymap* modifiers = XGetModifierMapping(display_);
  bool down = false;
  for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
    const KeyCode keycode = modifiers->modifiermap[i];
    if (keycode != 0 && ((keys[keycode / 8] >> (keycode % 8)) & 1)) down = true;
  }
  XFreeModifiermap(modifiers);
  return down;
}

bool TTestClient::CapsLockOn() {
  XkbStateRec state{};
  XkbGetState(display_, XkbUseCoreKbd, &state);
  return (state.locked_mods & LockMask) != 0;
}

std::uint64_t TTestClient::BecomeTrayManager() {
  const Window manager = CreateReceiver();
  const Atom selection = XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False);
  XSetSelectionOwner(display_, selection, manager, CurrentTime);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = DefaultRootWindow(display_);
  event.xclient.message_type = XInternAtom(display_, "MANAGER", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = static_cast<long>(selection);
  event.xclient.data.l[2] = static_cast<long>(manager);
  XSendEvent(display_, DefaultRootWindow(display_), False, StructureNotifyMask, &event);
  XSync(display_, False);
  return manager;
}

int TTestClient::DropQueued() {
  XSync(display_, False);
  int messages = 0;
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == ClientMessage) ++messages;
  }
  return messages;
}

}  // namespace varnoke::testing
