// The real resident program on a desktop of the test's own: a temporary
// settings folder, drive and installation folder, the program started and
// ended as a user's session would, and the means to press its keys, look at
// its windows and keep pictures of them.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/x11/desktop.h"
#include "platform/x11/x11_display.h"
#include "tests/e2e/window_watch.h"
#include "tests/support/temp_dir.h"

namespace varnoke::testing {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Disk() const { return temp_.Path() + "/disk"; }
  std::string Install() const { return temp_.Path() + "/install"; }
  std::string DatabasePath() const { return Install() + "/memdb.dat"; }
  void MakeFile(const std::string& relative) const;
  // count files in folder (below the drive's root), named file<i>.txt.
  void MakeFiles(const std::string& folder, int count) const;

  std::uint32_t Dword(const std::string& name) const;
  void SetDword(const std::string& name, std::uint32_t value) const;

  // Starts build/bin/varnoke (another instance when one runs already).
  pid_t Start();
  // Waits until the program's icon is in the tray.
  bool WaitForTrayIcon(int timeoutMs, int* x = nullptr, int* y = nullptr);
  // Waits for the process to end: its exit status, or -1 after timeoutMs.
  static int WaitExit(pid_t pid, int timeoutMs);
  // Sends the signal to the program and waits for its end.
  int Stop(int signal = SIGTERM);
  pid_t Pid() const { return pid_; }
  std::string Stderr() const;

  static void Keys(const std::string& keys);
  static void Type(const std::string& text);
  static void Click(int x, int y);

  // The search window once it shows; 0 when it does not.
  std::uint64_t WaitForSearchWindow(int timeoutMs);
  platform::TDesktop& Desktop() { return *desktop_; }
  platform::TX11Display& Display() { return *display_; }
  TWindowWatch& Watch() { return *watch_; }

  // The window's frame rectangle once the window manager has framed it.
  bool FramedRect(std::uint64_t window, platform::TRect& rect);
  // A picture of the screen area under the build folder's screenshots/.
  static void Screenshot(const std::string& name, const platform::TRect& area);
  // The same on a Wayland desktop, through its screen-cast interface
  // (XWayland shows no program the windows of native ones).
  static void WaylandScreenshot(const std::string& name, const platform::TRect& area);

 private:
  TTempDir temp_;
  std::string oldConfig_;
  bool hadConfig_ = false;
  pid_t pid_ = -1;
  int runs_ = 0;
  std::unique_ptr<platform::TX11Display> display_;
  std::unique_ptr<platform::TDesktop> desktop_;
  std::unique_ptr<TWindowWatch> watch_;
};

// rect grown by margin on every side, within the screen's top left.
platform::TRect Around(const platform::TRect& rect, int margin);

}  // namespace varnoke::testing
