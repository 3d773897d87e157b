#include "tests/x11/probe_window.h"

#include <gtest/gtest.h>

#include "platform/x11/desktop.h"
#include "platform/x11/window_messages.h"
#include "platform/x11/x11_display.h"

namespace varnoke::testing {
namespace {

constexpr int kWait = 15000;

std::vector<std::string> ProbeArguments(const std::string& text,
                                        const std::vector<std::string>& extra) {
  std::vector<std::string> argv{TestProgram("line-edit-probe"), "--text", text};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return argv;
}

}  // namespace

TProbeWindow::TProbeWindow(platform::TX11Display& display, platform::TDesktop& desktop,
                           const std::string& text, const std::vector<std::string>& extra)
    : display_(display),
      child_(ProbeArguments(text, extra)),
      report_(platform::RegisterWindowMessage(&display, "VARNOKE_PROBE_REPORT")) {
  std::string window;
  EXPECT_TRUE(child_.ReadLineStarting("window ", window, kWait));
  Window = window.empty() ? 0 : std::stoull(window);
  desktop.SetForegroundWindow(Window);
  EXPECT_TRUE(desktop.WaitForFocusIn(Window, kWait));
  std::string rest;
  EXPECT_TRUE(child_.ReadLineStarting("focused", rest, kWait));
}

std::string TProbeWindow::Text(int* changes) {
  EXPECT_TRUE(platform::PostWindowMessage(display_, Window, report_, 0, 0));
  std::string count;
  EXPECT_TRUE(child_.ReadLineStarting("changes ", count, kWait));
  if (changes != nullptr) *changes = count.empty() ? -1 : std::stoi(count);
  std::string text;
  EXPECT_TRUE(child_.ReadLineStarting("text ", text, kWait));
  return text;
}

}  // namespace varnoke::testing
