// A scan observer for tests: counts and records what the scan reports, and
// runs a test's own code where the scan processes messages.
#pragma once

#include <functional>
#include <vector>

#include "db/scan_observer.h"

namespace varnoke::testing {

class TRecordingObserver : public TScanObserver {
 public:
  void ProcessMessages() override {
    ++messageRounds;
    if (OnMessages) OnMessages();
  }
  void SetProgressPosition(int position) override { positions.push_back(position); }

  std::function<void()> OnMessages;
  int messageRounds = 0;
  std::vector<int> positions;
};

}  // namespace varnoke::testing
