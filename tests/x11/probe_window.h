// line-edit-probe, the Qt line edit of the tests' own, started and driven:
// its window focused, its text read once it has handled everything sent to
// it before.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/x11/desktop_fixture.h"

namespace varnoke::platform {
class TDesktop;
class TX11Display;
}  // namespace varnoke::platform

namespace varnoke::testing {

class TProbeWindow {
 public:
  // Starts the probe with text in its line edit, all of it selected, gives
  // its window the focus and waits until the line edit has it (failures
  // are test failures). extra: more arguments for the probe.
  TProbeWindow(platform::TX11Display& display, platform::TDesktop& desktop, const std::string& text,
               const std::vector<std::string>& extra = {});

  // *changes (when given): how often the text has changed since the probe
  // started.
  std::string Text(int* changes = nullptr);
  pid_t Pid() const { return child_.Pid(); }

  std::uint64_t Window = 0;

 private:
  platform::TX11Display& display_;
  TChild child_;
  std::uint32_t report_;
};

}  // namespace varnoke::testing
