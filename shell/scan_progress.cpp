#include "shell/scan_progress.h"

#include <QCoreApplication>

#include "shell/about.h"

namespace varnoke::shell {

void TScanProgress::ProcessMessages() {
  if (--countdown_ > 0) return;
  countdown_ = kCallsPerClockRead;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_) return;
  QCoreApplication::processEvents();
  next_ = std::chrono::steady_clock::now() + kInterval;
}

void TScanProgress::SetProgressPosition(int position) {
  if (position == position_) return;
  position_ = position;
  about_.SetProgress(position);
}

}  // namespace varnoke::shell
