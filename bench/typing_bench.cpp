// Delivering a long path with non-ASCII characters into a Qt line edit, as
// the program does: through the accessibility bus, and typed (its fallback
// for applications off the bus), against xdotool's typing of the same
// text. And the hook library's lookup of the focused text field at the hot
// key, over the line edit and over the GTK 3 save dialog, against the bound
// it is given. Runs on a desktop of its own: started through
// desktop-session unless it already runs in one.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/bench_util.h"
#include "bench/desktop_session.h"
#include "platform/a11y/accessibility_bus.h"
#include "platform/a11y/edit_control_handle.h"
#include "platform/a11y/focus_lookup.h"
#include "platform/a11y/text_field_client.h"
#include "platform/runtime/hook_library.h"
#include "platform/x11/desktop.h"
#include "platform/x11/window_messages.h"
#include "platform/x11/x11_display.h"
#include "tests/x11/desktop_fixture.h"

namespace {

using namespace varnoke;
using testing::RunCommand;
using testing::TChild;

constexpr int kRounds = 5;
constexpr int kFieldRounds = 20;
constexpr int kPresses = 40;
constexpr int kLookupBoundMs = 150;

// 200 characters: capitals and small letters outside ASCII, Cyrillic,
// signs no US keyboard has.
std::string BenchPath() {
  const std::string part = "/home/Ülrich/Документы/Études/ÄÖÜ ß €·§/";
  std::string path;
  int characters = 0;
  for (std::size_t i = 0; characters < 200; i = (i + 1) % part.size()) {
    path += part[i];
    // Count lead bytes only.
    if ((static_cast<unsigned char>(part[i]) & 0xc0) != 0x80) ++characters;
  }
  // The loop stops after a lead byte; finish its character.
  while (!path.empty() && (static_cast<unsigned char>(path.back()) & 0x80) != 0 &&
         (static_cast<unsigned char>(path.back()) & 0xc0) == 0xc0) {
    path.pop_back();
    --characters;
  }
  while (characters < 200) {
    path += 'x';
    ++characters;
  }
  return path;
}

struct TFigures {
  double charsPerSecond = 0;
  double exactPercent = 0;
};

class TProbe {
 public:
  explicit TProbe(platform::TX11Display& display) : display_(display), desktop_(display) {
    report_ = platform::RegisterWindowMessage(&display_, "VARNOKE_PROBE_REPORT");
    child_ = std::make_unique<TChild>(
        std::vector<std::string>{testing::TestProgram("line-edit-probe"), "--text", "x"});
    std::string window, rest;
    if (!child_->ReadLineStarting("window ", window, 10000)) return;
    window_ = std::stoull(window);
    desktop_.SetForegroundWindow(window_);
    ready_ =
        desktop_.WaitForFocusIn(window_, 5000) && child_->ReadLineStarting("focused", rest, 5000);
  }
  bool Ready() const { return ready_; }
  platform::TDesktop& Desktop() { return desktop_; }
  pid_t Pid() const { return child_->Pid(); }
  std::uint64_t Window() const { return window_; }

  // Empties the line edit, runs type, and reads the text back once the
  // line edit has it all; the time from the start of typing to then.
  template <typename Type>
  bool Round(Type&& type, const std::string& expected, double& seconds) {
    RunCommand({"xdotool", "key", "ctrl+a", "BackSpace"});
    Text();
    const auto start = std::chrono::steady_clock::now();
    type();
    const std::string got = Text();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return got == expected;
  }

 private:
  std::string Text() {
    platform::PostWindowMessage(display_, window_, report_, 0, 0);
    std::string text;
    child_->ReadLineStarting("text ", text, 30000);
    return text;
  }

  platform::TX11Display& display_;
  platform::TDesktop desktop_;
  std::unique_ptr<TChild> child_;
  std::uint32_t report_ = 0;
  std::uint64_t window_ = 0;
  bool ready_ = false;
};

template <typename Type>
TFigures Measure(TProbe& probe, const std::string& path, Type&& type, int rounds = kRounds) {
  TFigures figures;
  double totalSeconds = 0;
  int exact = 0;
  for (int round = 0; round < rounds; ++round) {
    double seconds = 0;
    if (probe.Round(type, path, seconds)) ++exact;
    totalSeconds += seconds;
  }
  figures.charsPerSecond = 200.0 * rounds / totalSeconds;
  figures.exactPercent = 100.0 * exact / rounds;
  return figures;
}

double MsFor200(const TFigures& figures) {
  return 200.0 / figures.charsPerSecond * 1000.0;
}

// With the hook library reporting to a window of client's: the time from
// the activate message (posted at the press) to the edit-control message
// (posted once the lookup is done), for presses of the hot key over the
// window that has the focus; *fields counts the presses that found a text
// field. Stops at the first press the hook does not answer.
std::vector<double> LookupTimes(testing::TTestClient& client, int presses, int* fields) {
  std::vector<double> times;
  for (int press = 0; press < presses; ++press) {
    // Not waited for: the activate message is taken in as it comes.
    TChild key({"/usr/bin/xdotool", "key", "ctrl+alt+f"});
    testing::TReceived activate;
    testing::TReceived edit;
    if (!client.NextClientMessage(activate, 5000)) break;
    const auto start = std::chrono::steady_clock::now();
    if (!client.NextClientMessage(edit, 5000) || edit.name != "EDITCONTROLMORVATH") break;
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    if (platform::IsAccessibleHandle(edit.wParam)) ++*fields;
    key.Finish();
  }
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  if (!bench::InDesktopSession(argc, argv, "typing_bench", true, &status)) return status;
  auto display = platform::TX11Display::Open();
  if (display == nullptr) {
    std::printf("typing_bench: skipped, no display\n");
    return 0;
  }
  // As the program does at start-up: the line edit serves its text field
  // on the accessibility bus.
  platform::TTextFieldClient fields(platform::SessionBusAddress());
  fields.SwitchAccessibilityOn();
  TProbe probe(*display);
  if (!probe.Ready()) {
    std::printf("typing_bench: the probe window did not take the focus\n");
    return 1;
  }
  const std::string path = BenchPath();
  const TFigures ours = Measure(probe, path, [&] { probe.Desktop().TypeText(path); });
  const TFigures xdotool = Measure(probe, path, [&] {
    RunCommand({"xdotool", "type", "--delay", "0", path});
  });
  // The field as the hook library reports it, filled as the program fills
  // it (its connection opened before the first round, as the program's
  // is by then).
  std::unique_ptr<platform::TBusConnection> bus =
      platform::OpenAccessibilityBus(platform::SessionBusAddress(), platform::DeadlineIn(5000));
  platform::TFocusEvents events;
  platform::TFocusLookup lookup;
  const platform::TFocusReport field =
      bus == nullptr
          ? platform::TFocusReport{}
          : lookup.Find(*bus, events, probe.Pid(), ::getpid(), platform::DeadlineIn(5000));
  TFigures accessible;
  if (field.Kind == platform::TFocusKind::EditableText) {
    fields.SelectAllText(field.Object);
    accessible = Measure(
        probe, path, [&] { fields.ReplaceText(field.Object, path); }, kFieldRounds);
  }
  bench::Report("delivery_chars_per_s", ours.charsPerSecond);
  bench::Report("delivery_exact_percent", ours.exactPercent);
  bench::Report("xdotool_type_chars_per_s", xdotool.charsPerSecond);
  bench::Report("xdotool_type_exact_percent", xdotool.exactPercent);
  bench::Report("delivery_vs_xdotool_speed_ratio", ours.charsPerSecond / xdotool.charsPerSecond);
  if (accessible.charsPerSecond > 0) {
    bench::Report("delivery_typing_ms", MsFor200(ours));
    bench::Report("delivery_a11y_ms", MsFor200(accessible));
    bench::Report("delivery_a11y_exact_percent", accessible.exactPercent);
    bench::Report("delivery_a11y_vs_typing_ratio", MsFor200(accessible) / MsFor200(ours));
  } else {
    std::printf("typing_bench: the line edit is not on the accessibility bus\n");
  }

  // The lookup at the hot key, over the line edit and over a GTK 3 save
  // dialog, each focused in turn.
  std::string error;
  std::unique_ptr<platform::THookLibrary> hook =
      platform::THookLibrary::Load(VARNOKE_HOOK_LIBRARY, &error);
  testing::TTestClient client;
  const std::uint64_t receiver = client.CreateReceiver();
  if (hook == nullptr || !hook->InstallHook(1, receiver) ||
      hook->SetKey('F', 4 | 1) != platform::TSetKeyResult::Grabbed) {  // Ctrl+Alt+F
    std::printf("typing_bench: the hook library did not start: %s\n", error.c_str());
    return 1;
  }
  int fieldsFound = 0;
  std::vector<double> lookups = LookupTimes(client, kPresses, &fieldsFound);
  TChild dialog({"/usr/bin/zenity", "--file-selection", "--save", "--title=Save the bench",
                 "--filename=/tmp/draft-name.txt"});
  int found = -1;
  const std::string window = RunCommand(
      {"timeout", "20", "xdotool", "search", "--sync", "--name", "Save the bench"}, &found);
  if (found == 0 && !window.empty()) {
    probe.Desktop().SetForegroundWindow(std::stoull(window));
    probe.Desktop().WaitForFocusIn(std::stoull(window), 10000);
    const std::vector<double> gtk = LookupTimes(client, kPresses, &fieldsFound);
    lookups.insert(lookups.end(), gtk.begin(), gtk.end());
  }
  if (lookups.size() < 2 * kPresses) {
    std::printf("typing_bench: only %zu of %d presses were answered\n", lookups.size(),
                2 * kPresses);
  }
  if (!lookups.empty()) {
    bench::Report("hotkey_lookup_ms_p50", bench::Percentile(lookups, 0.5));
    bench::Report("hotkey_lookup_ms_p99", bench::Percentile(lookups, 0.99));
    bench::Report("hotkey_lookup_p99_vs_bound_ratio",
                  bench::Percentile(lookups, 0.99) / kLookupBoundMs);
    bench::Report("hotkey_lookup_found_percent", 100.0 * fieldsFound / (2 * kPresses));
  }
  return 0;
}
