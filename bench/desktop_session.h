// Benchmarks that run on a desktop of their own start themselves again
// through desktop-session (Xvfb, the window manager with its tray, a
// session bus) unless they run in one already.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace varnoke::bench {

// Returns true when this process runs in the session; otherwise replaces
// the process with the session running it again, or returns false with
// *status set (0 when the desktop programs are missing: the benchmark is
// skipped).
inline bool InDesktopSession(int argc, char** argv, const char* name, bool withBus, int* status) {
  const std::string marker = std::string("VARNOKE_BENCH_SESSION_") + name;
  if (std::getenv(marker.c_str()) != nullptr) return true;
  if (std::system("command -v Xvfb >/dev/null 2>&1 && command -v icewm >/dev/null 2>&1") != 0) {
    std::printf("%s: skipped, Xvfb or icewm is missing\n", name);
    *status = 0;
    return false;
  }
  ::setenv(marker.c_str(), "1", 1);
  ::setenv("VARNOKE_X11_WAIT", VARNOKE_X11_WAIT_PROGRAM, 1);
  std::vector<char*> args{const_cast<char*>(VARNOKE_DESKTOP_SESSION)};
  if (!withBus) args.push_back(const_cast<char*>("--no-dbus"));
  args.push_back(const_cast<char*>("--"));
  for (int i = 0; i < argc; ++i)
    args.push_back(argv[i]);
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  std::perror("desktop-session");
  *status = 1;
  return false;
}

}  // namespace varnoke::bench
