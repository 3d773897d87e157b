// The pop-up on a Wayland desktop (headless mutter, tests/desktop/
// wayland-session): from running `varnoke --popup`, as the desktop's
// shortcut does, to the search window mapped with the keyboard in it, over
// a native Wayland window, 30 times; against running the same program for
// its version alone (the start every such shortcut pays) in the same run.
// And the hook library's lookup of the field at such a press (ReportHotKey)
// over a native Qt line edit and a native GTK 3 entry: from the activate
// message, posted at once, to the edit control's, posted once the
// accessibility bus has answered; against the bound the lookup is given.
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
#include "bench/program_installation.h"
#include "platform/a11y/edit_control_handle.h"
#include "platform/runtime/hook_library.h"
#include "platform/x11/desktop.h"
#include "platform/x11/x11_display.h"
#include "tests/e2e/window_watch.h"
#include "tests/wayland/remote_desktop.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::bench {
namespace {

constexpr int kPopups = 30;
constexpr int kWait = 10000;

constexpr int kPresses = 20;
constexpr int kLookupBoundMs = 150;

// A program started with one more variable set.
std::unique_ptr<testing::TChild> StartWith(const char* name, const char* value,
                                           const std::vector<std::string>& argv) {
  ::setenv(name, value, 1);
  auto child = std::make_unique<testing::TChild>(argv);
  ::unsetenv(name);
  return child;
}

// Presses reported to the hook until one finds a text field (the window
// has come up with its focus), then kPresses more: the time from each
// press's activate message to its edit-control message, and in *fields how
// many of them named a field. Stops at a press the hook does not answer.
std::vector<double> LookupTimes(platform::THookLibrary& hook, testing::TTestClient& client,
                                int* fields) {
  std::vector<double> times;
  bool ready = false;
  for (int press = 0; press < 200 && static_cast<int>(times.size()) < kPresses; ++press) {
    hook.ReportHotKey("");
    testing::TReceived activate;
    testing::TReceived edit;
    if (!client.NextClientMessage(activate, 5000)) break;
    const auto start = TClock::now();
    if (!client.NextClientMessage(edit, 5000) || edit.name != "EDITCONTROLMORVATH") break;
    const double ms = MsSince(start);
    const bool field = platform::IsAccessibleHandle(edit.wParam);
    if (ready) {
      times.push_back(ms);
      if (field) ++*fields;
    } else if (field) {
      ready = true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  return times;
}

int Main() {
  char folderTemplate[] = "/tmp/varnoke-bench-wayland-XXXXXX";
  const std::string root = ::mkdtemp(folderTemplate);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  TInstallation installation(root, VARNOKE_HOOK_LIBRARY);
  installation.SaveDatabase(1000, 9000);

  auto display = platform::TX11Display::Open();
  std::string problem;
  auto keys = testing::TRemoteDesktop::Open(problem);
  if (display == nullptr || keys == nullptr) {
    std::printf("wayland_popup_bench: no Wayland session (%s)\n", problem.c_str());
    return 1;
  }
  keys->Keys("shift");
  platform::TDesktop desktop(*display);
  testing::TWindowWatch watch;
  const pid_t program = ::fork();
  if (program == 0) {
    ::execl(VARNOKE_PROGRAM, VARNOKE_PROGRAM, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::setenv("QT_QPA_PLATFORM", "wayland", 1);
  testing::TChild native(std::vector<std::string>{testing::TestProgram("line-edit-probe"), "--text",
                                                  "x", "--size", "300x120"});
  ::unsetenv("QT_QPA_PLATFORM");
  std::string rest;
  bool ok = native.ReadLineStarting("focused", rest, kWait);
  if (!ok)
    std::fprintf(stderr, "wayland_popup_bench: the native window did not take the keyboard\n");
  // Resident once it answers a pop-up.
  for (int tries = 0; ok && tries < 1000; ++tries) {
    int status = -1;
    testing::RunCommand({VARNOKE_PROGRAM, "--popup"}, &status);
    if (status == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::uint64_t search = ok ? watch.WaitForViewable("Varnoke 96", 100, kWait) : 0;
  ok = search != 0 && desktop.WaitForFocusIn(search, kWait);
  // Keys come through the compositor a moment after XWayland names the focus.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ok = ok && keys->Keys("Escape") && watch.WaitGone("Varnoke 96", 100, kWait);

  std::vector<double> popup;
  std::vector<double> start;
  for (int round = 0; ok && round < kPopups; ++round) {
    const auto asked = TClock::now();
    testing::RunCommand({VARNOKE_PROGRAM, "--popup"});
    search = watch.WaitForViewable("Varnoke 96", 100, kWait);
    ok = search != 0 && desktop.WaitForFocusIn(search, kWait);
    popup.push_back(MsSince(asked));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ok = ok && keys->Keys("Escape") && watch.WaitGone("Varnoke 96", 100, kWait);

    const auto started = TClock::now();
    testing::RunCommand({VARNOKE_PROGRAM, "--version"});
    start.push_back(MsSince(started));
  }
  ::kill(program, SIGTERM);
  ::waitpid(program, nullptr, 0);

  // The hook as the program loads it, reporting to a window of the
  // bench's, over native windows started after it (their focus events
  // heard, as on a desktop where the program started first).
  std::string error;
  std::unique_ptr<platform::THookLibrary> hook =
      platform::THookLibrary::Load(VARNOKE_HOOK_LIBRARY, &error);
  testing::TTestClient client;
  std::vector<double> lookups;
  int fieldsFound = 0;
  if (ok && hook != nullptr && hook->InstallHook(1, client.CreateReceiver())) {
    const auto qt =
        StartWith("QT_QPA_PLATFORM", "wayland",
                  {testing::TestProgram("line-edit-probe"), "--text", "qt", "--size", "300x120"});
    lookups = LookupTimes(*hook, client, &fieldsFound);
    const auto gtk = StartWith("GDK_BACKEND", "wayland",
                               {"/usr/bin/zenity", "--entry", "--title=Bench", "--text=Name:"});
    const std::vector<double> more = LookupTimes(*hook, client, &fieldsFound);
    lookups.insert(lookups.end(), more.begin(), more.end());
  } else {
    std::fprintf(stderr, "wayland_popup_bench: the hook library did not start: %s\n",
                 error.c_str());
  }
  hook.reset();

  const std::string clean = "rm -rf -- '" + root + "'";
  if (std::system(clean.c_str()) != 0 || !ok || popup.empty()) {
    std::fprintf(stderr, "wayland_popup_bench: the search window did not come up\n");
    return 1;
  }
  Report("wayland_popup_ms_p50", Percentile(popup, 0.5));
  Report("wayland_popup_ms_p99", Percentile(popup, 0.99));
  Report("popup_command_start_ms_p50", Percentile(start, 0.5));
  Report("wayland_popup_vs_command_start_ratio", Percentile(popup, 0.5) / Percentile(start, 0.5));
  if (lookups.size() < 2 * kPresses) {
    std::printf("wayland_popup_bench: only %zu of %d presses found their field\n", lookups.size(),
                2 * kPresses);
  }
  if (!lookups.empty()) {
    Report("wayland_lookup_ms_p50", Percentile(lookups, 0.5));
    Report("wayland_lookup_ms_p99", Percentile(lookups, 0.99));
    Report("wayland_lookup_p99_vs_bound_ratio", Percentile(lookups, 0.99) / kLookupBoundMs);
    Report("wayland_lookup_found_percent",
           100.0 * fieldsFound / static_cast<double>(lookups.size()));
  }
  return 0;
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) {
  // On a Wayland desktop of its own, unless it runs in one already.
  if (std::getenv("VARNOKE_BENCH_WAYLAND") == nullptr) {
    if (std::system("command -v mutter >/dev/null 2>&1") != 0) {
      std::printf("wayland_popup_bench: skipped, mutter is missing\n");
      return 0;
    }
    ::setenv("VARNOKE_BENCH_WAYLAND", "1", 1);
    std::vector<char*> args{const_cast<char*>(VARNOKE_WAYLAND_SESSION), const_cast<char*>("--")};
    for (int i = 0; i < argc; ++i)
      args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::perror("wayland-session");
    return 1;
  }
  return varnoke::bench::Main();
}
