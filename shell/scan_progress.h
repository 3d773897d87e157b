// The drive scan as the user watches it: the progress window's bar, and the
// window system kept alive while the scan works on the same thread.
#pragma once

#include <chrono>

#include "db/scan_observer.h"

namespace varnoke::shell {

class TFormAbout;

class TScanProgress : public TScanObserver {
 public:
  // about is borrowed and must outlive the scan.
  explicit TScanProgress(TFormAbout& about) : about_(about) {}

  // Lets the event loop run, at most once per 15 ms: called before every
  // directory entry, it must cost next to nothing when nothing is due.
  void ProcessMessages() override;
  void SetProgressPosition(int position) override;

 private:
  static constexpr std::chrono::milliseconds kInterval{15};
  // Calls between two looks at the clock.
  static constexpr int kCallsPerClockRead = 32;

  TFormAbout& about_;
  int countdown_ = 0;
  std::chrono::steady_clock::time_point next_{};
  int position_ = -1;
};

}  // namespace varnoke::shell
