// Helpers for the tests that run on a desktop of their own (the
// desktop-session harness): helper programs, and a client of the test's
// own that makes windows and reads what they receive.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _XDisplay;

namespace varnoke::testing {

// Where the build put the test programs (x11-receiver, line-edit-probe,
// key-grabber) and mhook.dll.
std::string TestProgram(const std::string& name);

// Milliseconds left until deadline, rounded up (so that a wait never ends
// before it), 0 once it has passed.
int RemainingMs(std::chrono::steady_clock::time_point deadline);
std::string HookLibraryPath();

// A helper program whose standard output is read line by line.
class TChild {
 public:
  explicit TChild(const std::vector<std::string>& argv);
  ~TChild();  // closes its input, ends it, waits for it
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  // Writes line and a newline to its input.
  bool Send(const std::string& line);
  // The next line, without its newline; false when none came in time.
  bool ReadLine(std::string& line, int timeoutMs);
  // Closes its input and waits for it to end by itself; its exit status.
  int Finish();
  // Reads lines until one starts with prefix; returns the rest of it.
  bool ReadLineStarting(const std::string& prefix, std::string& rest, int timeoutMs);
  // Its process id; -1 once it has been waited for.
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int in_ = -1;
  std::string buffered_;
};

// Runs argv and returns what it printed; *status gets its exit status.
std::string RunCommand(const std::vector<std::string>& argv, int* status = nullptr);

struct TReceived {
  std::uint64_t window = 0;
  std::string name;
  std::uint64_t wParam = 0;
  std::uint64_t lParam = 0;
};

// A connection of the test's own, with windows made on it.
class TTestClient {
 public:
  TTestClient();
  ~TTestClient();
  TTestClient(const TTestClient&) = delete;
  TTestClient& operator=(const TTestClient&) = delete;

  bool Connected() const { return display_ != nullptr; }

  // A top-level window, shown and waited for until the window manager
  // manages it (WM_STATE set) or, with no window manager, it is mapped.
  std::uint64_t CreateTopLevel(int x, int y, int width, int height, const std::string& title);
  // A shown child window of parent that takes key presses.
  std::uint64_t CreateChild(std::uint64_t parent, int x, int y, int width, int height);
  // A window that is never shown: only for receiving messages.
  std::uint64_t CreateReceiver();
  void SetTransientFor(std::uint64_t window, std::uint64_t owner);
  void SetInputFocus(std::uint64_t window);

  // The next ClientMessage to one of this client's windows.
  bool NextClientMessage(TReceived& out, int timeoutMs);
  // The next press of the key carrying keysym in window; its modifier state.
  bool NextKeyPress(std::uint64_t window, unsigned long keysym, unsigned& state, int timeoutMs);
  // Drops every event the server has sent so far; returns how many of
  // them were ClientMessages.
  int DropQueued();

  std::uint64_t Root() const;
  // The root's child that holds window (a window manager's frame).
  std::uint64_t RootChildOf(std::uint64_t window);

  // The keyboard as the server has it now.
  std::vector<unsigned long> KeyboardMap();
  bool AnyModifierDown();
  bool CapsLockOn();

  // Takes the tray selection of screen 0 and announces it as a tray
  // manager does; returns the manager window.
  std::uint64_t BecomeTrayManager();

 private:
  template <typename Match>
  bool NextEvent(Match match, void* event, int timeoutMs);
  _XDisplay* display_ = nullptr;
};

}  // namespace varnoke::testing
