// Typing a long path with non-ASCII characters into a Qt line edit, as the
// delivery of a chosen path does, against xdotool's typing of the same
// text. Runs on a desktop of its own: started through desktop-session
// unless it already runs in one.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/bench_util.h"
#include "bench/desktop_session.h"
#include "platform/x11/desktop.h"
#include "platform/x11/window_messages.h"
#include "platform/x11/x11_display.h"
#include "tests/x11/desktop_fixture.h"

namespace {

using namespace varnoke;
using testing::RunCommand;
using testing::TChild;

constexpr int kRounds = 5;

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
TFigures Measure(TProbe& probe, const std::string& path, Type&& type) {
  TFigures figures;
  double totalSeconds = 0;
  int exact = 0;
  for (int round = 0; round < kRounds; ++round) {
    double seconds = 0;
    if (probe.Round(type, path, seconds)) ++exact;
    totalSeconds += seconds;
  }
  figures.charsPerSecond = 200.0 * kRounds / totalSeconds;
  figures.exactPercent = 100.0 * exact / kRounds;
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  if (!bench::InDesktopSession(argc, argv, "typing_bench", false, &status)) return status;
  auto display = platform::TX11Display::Open();
  if (display == nullptr) {
    std::printf("typing_bench: skipped, no display\n");
    return 0;
  }
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
  bench::Report("delivery_chars_per_s", ours.charsPerSecond);
  bench::Report("delivery_exact_percent", ours.exactPercent);
  bench::Report("xdotool_type_chars_per_s", xdotool.charsPerSecond);
  bench::Report("xdotool_type_exact_percent", xdotool.exactPercent);
  bench::Report("delivery_vs_xdotool_speed_ratio", ours.charsPerSecond / xdotool.charsPerSecond);
  return 0;
}
