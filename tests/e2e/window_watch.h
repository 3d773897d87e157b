// Finding the program's windows on the test's desktop as they come and go,
// by their titles, and the ways a user closes them.
#pragma once

#include <cstdint>
#include <string>

struct _XDisplay;

namespace varnoke::testing {

class TWindowWatch {
 public:
  // Starts watching the root window: every top-level made from now on is
  // seen, however briefly it lives.
  TWindowWatch();
  ~TWindowWatch();
  TWindowWatch(const TWindowWatch&) = delete;
  TWindowWatch& operator=(const TWindowWatch&) = delete;

  // The first top-level window titled exactly title, made since the watch
  // began or standing already, once it has that title; 0 after timeoutMs.
  std::uint64_t WaitForTitle(const std::string& title, int timeoutMs);
  // Waits until window is viewable (or, with viewable false, no longer).
  bool WaitViewable(std::uint64_t window, bool viewable, int timeoutMs);
  // The window manager's close button: WM_DELETE_WINDOW to the window.
  void Close(std::uint64_t window);
  // A window titled title, at least minWidth wide, that is viewable now; 0
  // when none.
  std::uint64_t Viewable(const std::string& title, int minWidth = 0);
  // Waits for such a window: 0 when none came within timeoutMs.
  std::uint64_t WaitForViewable(const std::string& title, int minWidth, int timeoutMs);
  // Waits until no such window is viewable.
  bool WaitGone(const std::string& title, int minWidth, int timeoutMs);
  // The small window a tray holds for the program: its centre on the screen.
  bool TrayIcon(const std::string& wmClass, int& x, int& y);

 private:
  std::string Title(std::uint64_t window);
  bool Shown(std::uint64_t window);

  // Reads the events there are, waiting up to timeoutMs for one.
  void Pump(int timeoutMs);

  _XDisplay* display_;
};

}  // namespace varnoke::testing
