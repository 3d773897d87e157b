// The scan's progress as a line of text on a terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>

#include "db/scan_observer.h"

namespace varnoke::find {

class TTextProgress : public TScanObserver {
 public:
  // Writes to out when show is set; cancel, when it becomes true (from a
  // signal handler), is handed on to the scan through cancelScan.
  TTextProgress(std::FILE* out, bool show, const std::atomic<bool>& cancel,
                std::atomic<bool>& cancelScan);

  void ProcessMessages() override;
  void SetProgressPosition(int position) override { position_ = position; }

  // Clears the progress line.
  void Finish();

 private:
  void Draw(std::chrono::steady_clock::time_point now);

  std::FILE* out_;
  bool show_;
  const std::atomic<bool>& cancel_;
  std::atomic<bool>& cancelScan_;
  int position_ = 0;
  long long entries_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDraw_ = start_;
  bool drawn_ = false;
};

}  // namespace varnoke::find
