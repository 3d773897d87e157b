// The catch-up after a load. The tree came from the file, so it may differ
// from the disk wherever something changed while the program was not
// running: the device walks every directory once and reports each listing
// whole (VXD_CODE_LISTING), and the tree is compared with it and set
// right, at the listing's place among the change reports. This applies
// those reports and keeps what they found for whoever shows it: how many
// directories were compared, how many changes were found, and the first
// changes themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "db/memory_db.h"
#include "platform/device_abi.h"

namespace varnoke {

struct TCatchUpStatus {
  bool Running = false;    // asked of the device, and neither over nor called off
  bool Ended = false;      // the device has walked every directory
  bool CalledOff = false;  // the owner called it off first
  std::uint64_t Folders = 0;
  std::uint64_t Changes = 0;
};

class TCatchUp {
 public:
  // Changes kept for TakeChanges; the rest are only counted.
  static constexpr std::size_t kChangesKept = 1000;

  // From any thread.
  TCatchUpStatus Status() const;
  // The changes kept since the last call, in the order they were found.
  std::vector<TTreeChange> TakeChanges();
  // Listings still to come set the tree right all the same (the device
  // walks on without reporting more, and those under way may hold
  // directories that appeared meanwhile), but the catch-up counts as over.
  void CallOff();

  // On the monitor thread: the device was asked and walks.
  void Begin();
  // Applies a VXD_CODE_LISTING report to db.
  void Apply(TMemoryDB& db, const TChangeEvent& event);

 private:
  mutable std::mutex mutex_;
  TCatchUpStatus status_;             // Guarded by mutex_.
  std::vector<TTreeChange> kept_;     // Guarded by mutex_.
  std::size_t keptSoFar_ = 0;         // Guarded by mutex_.
  std::vector<TTreeChange> changes_;  // the monitor thread's own
};

}  // namespace varnoke
