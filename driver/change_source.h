// A source of change reports: the kernel interface the device reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnoke::driver {

// What tests and benchmarks may set before the device starts.
struct TSourceOptions {
  // Most watches an inotify source adds (0: as many as the kernel allows);
  // lets a test run out of watches without touching the machine's limit.
  std::uint32_t WatchLimit = 0;
  // How often a few directories without a watch are listed again.
  std::uint32_t RelistPeriodMs = 2000;
  // The program's tree was loaded, not scanned: every directory is walked
  // and its listing reported whole, for the program to compare with its
  // tree (MONITOR_IOCTL_CATCH_UP), instead of being placed in silence.
  bool Compare = false;
};

class TChangeSource {
 public:
  virtual ~TChangeSource() = default;

  // Starts watching the drives whose roots (drive form, "C:\") are given.
  // False when the kernel interface cannot be had.
  virtual bool Start(const std::vector<std::string>& roots) = 0;

  // The descriptor to wait on for kernel events.
  virtual int Fd() const = 0;
  // Reads and handles what the kernel has, until it has nothing more;
  // called when Fd() is readable, and to catch up before a question.
  virtual void OnReadable() = 0;

  // Called when the device has waited a moment without anything to read:
  // reports what was held back waiting for a partner event.
  virtual void OnQuiet() {}
  // True while events are held back waiting for a partner.
  virtual bool HoldsEvents() const { return false; }

  // The device woke the reader: reports may have been handled.
  virtual void OnWake() {}

  // A timer to wait on as well, or -1; OnTimer runs when it expires.
  virtual int TimerFd() const { return -1; }
  virtual void OnTimer() {}

  // Directories waiting to be listed; zero once every listing asked for has
  // been made and handled.
  virtual std::size_t Pending() const = 0;
  // Directories the source cannot watch for want of kernel resources.
  virtual std::size_t Unwatched() const { return 0; }
  // Someone waits for the tree to catch up with the disk: what the source
  // cannot watch is to be listed now, not at its slow pace.
  virtual void CatchUp() {}
};

}  // namespace varnoke::driver
