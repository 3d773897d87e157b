// wayland-keys: presses keys on the headless mutter session of
// wayland-session, for scripts. Reads commands from standard input, one a
// line, and answers each with "ok" or "failed":
//   keys COMBINATION   e.g. "keys ctrl+alt+f", "keys Return"
//   type TEXT          each character of TEXT (UTF-8)
// Ends at the end of its input; the session ends with it.
#include <cstdio>
#include <iostream>
#include <string>

#include "tests/wayland/remote_desktop.h"

int main() {
  std::string problem;
  auto desktop = varnoke::testing::TRemoteDesktop::Open(problem);
  if (desktop == nullptr) {
    std::fprintf(stderr, "wayland-keys: %s\n", problem.c_str());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    bool ok = false;
    if (line.rfind("keys ", 0) == 0) ok = desktop->Keys(line.substr(5));
    if (line.rfind("type ", 0) == 0) ok = desktop->Type(line.substr(5));
    std::printf("%s\n", ok ? "ok" : "failed");
    std::fflush(stdout);
  }
  return 0;
}
