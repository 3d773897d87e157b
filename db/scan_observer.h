// What the drive scan needs of the user interface that watches it.
#pragma once

namespace varnoke {

class TScanObserver {
 public:
  virtual ~TScanObserver() = default;

  // Dispatches every message waiting for the thread, then returns. Called
  // before every directory entry, so it must be cheap when nothing waits.
  virtual void ProcessMessages() = 0;

  // Sets the position of the progress bar (0 to 100, though a scan may go
  // beyond 100). Called once per directory, after its subdirectories.
  virtual void SetProgressPosition(int position) = 0;
};

}  // namespace varnoke
