// The hot key's pop-up: from the press (xdotool) to the search window
// mapped with the keyboard in it, over 30 presses on the real program,
// against the window manager handing the keyboard from one plain window to
// another (xdotool windowactivate) in the same run. Runs on a desktop of its
// own.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "bench/desktop_session.h"
#include "bench/program_installation.h"
#include "platform/x11/desktop.h"
#include "platform/x11/x11_display.h"
#include "tests/e2e/window_watch.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::bench {
namespace {

constexpr int kPresses = 30;
constexpr int kWait = 10000;

// A plain window of the benchmark's own that holds the keyboard.
std::uint64_t StartProbe(std::unique_ptr<testing::TChild>& child, int left) {
  child = std::make_unique<testing::TChild>(std::vector<std::string>{
      testing::TestProgram("line-edit-probe"), "--text", "x", "--size", "300x120"});
  std::string window;
  if (!child->ReadLineStarting("window ", window, kWait)) return 0;
  testing::RunCommand({"xdotool", "windowmove", window, std::to_string(left), "100"});
  return std::stoull(window);
}

int Main() {
  char folderTemplate[] = "/tmp/varnoke-bench-popup-XXXXXX";
  const std::string root = ::mkdtemp(folderTemplate);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  TInstallation installation(root, VARNOKE_HOOK_LIBRARY);
  installation.SaveDatabase(1000, 9000);

  auto display = platform::TX11Display::Open();
  if (display == nullptr) {
    std::printf("popup_bench: no display\n");
    return 1;
  }
  platform::TDesktop desktop(*display);
  testing::TWindowWatch watch;
  const pid_t program = ::fork();
  if (program == 0) {
    ::execl(VARNOKE_PROGRAM, VARNOKE_PROGRAM, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int x = 0;
  int y = 0;
  bool ok = false;
  for (int tries = 0; tries < 1000 && !(ok = watch.TrayIcon("varnoke", x, y)); ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  std::unique_ptr<testing::TChild> first;
  std::unique_ptr<testing::TChild> second;
  const std::uint64_t target = StartProbe(first, 50);
  const std::uint64_t other = StartProbe(second, 400);
  ok = ok && target != 0 && other != 0;

  std::vector<double> popup;
  std::vector<double> activate;
  for (int press = 0; ok && press < kPresses; ++press) {
    desktop.SetForegroundWindow(target);
    ok = desktop.WaitForFocusIn(target, kWait);
    const auto start = TClock::now();
    testing::RunCommand({"xdotool", "key", "--delay", "0", "ctrl+alt+f"});
    const std::uint64_t search = watch.WaitForViewable("Varnoke 96", 100, kWait);
    ok = ok && search != 0 && desktop.WaitForFocusIn(search, kWait);
    popup.push_back(MsSince(start));
    testing::RunCommand({"xdotool", "key", "Escape"});
    ok = ok && watch.WaitGone("Varnoke 96", 100, kWait);

    // The peer: the keyboard handed to another window by the window manager.
    desktop.SetForegroundWindow(target);
    ok = ok && desktop.WaitForFocusIn(target, kWait);
    const auto handed = TClock::now();
    testing::RunCommand({"xdotool", "windowactivate", std::to_string(other)});
    ok = ok && desktop.WaitForFocusIn(other, kWait);
    activate.push_back(MsSince(handed));
  }
  ::kill(program, SIGTERM);
  ::waitpid(program, nullptr, 0);
  const std::string clean = "rm -rf -- '" + root + "'";
  if (std::system(clean.c_str()) != 0 || !ok || popup.empty()) {
    std::fprintf(stderr, "popup_bench: the search window did not come up\n");
    return 1;
  }
  Report("popup_ms_p50", Percentile(popup, 0.5));
  Report("popup_ms_p99", Percentile(popup, 0.99));
  Report("activate_ms_p50", Percentile(activate, 0.5));
  Report("popup_vs_activate_ratio", Percentile(popup, 0.5) / Percentile(activate, 0.5));
  return 0;
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) {
  int status = 0;
  if (!varnoke::bench::InDesktopSession(argc, argv, "popup_bench", true, &status)) return status;
  return varnoke::bench::Main();
}
