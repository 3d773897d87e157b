// A source of change reports: the kernel interface the device reads.
#pragma once

#include <string>
#include <vector>

namespace varnoke::driver {

class TChangeSource {
 public:
  virtual ~TChangeSource() = default;

  // Starts watching the drives whose roots (drive form, "C:\") are given.
  // False when the kernel interface cannot be had.
  virtual bool Start(const std::vector<std::string>& roots) = 0;

  // The descriptor to wait on for kernel events.
  virtual int Fd() const = 0;

  // Reads and handles what the kernel has; called when Fd() is readable.
  virtual void OnReadable() = 0;

  // Called when the device has waited a moment without anything to read:
  // reports what was held back waiting for a partner event.
  virtual void OnQuiet() {}

  // True while events are held back waiting for a partner.
  virtual bool HoldsEvents() const { return false; }

  // Reports the state of the drives anew after events were lost.
  virtual void Resynchronize() = 0;
};

}  // namespace varnoke::driver
