// The text fields on the accessibility bus that the hook has reported, by
// the handle it posted for each, so that the program can turn a handle
// back into its field. Only the latest few are kept: the program acts on
// the last report it got.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/a11y/accessible.h"

namespace varnoke::hook {

class TEditControls {
 public:
  // A new handle for field: never 0, bit 31 always set.
  std::uint32_t Add(const platform::TAccessibleRef& field);
  // The field of handle; false when it is none of the kept ones.
  bool Find(std::uint32_t handle, platform::TAccessibleRef& field) const;

  static constexpr std::size_t kKept = 16;

 private:
  mutable std::mutex lock_;  // Add runs on the hook's thread, Find on the program's
  std::deque<std::pair<std::uint32_t, platform::TAccessibleRef>> kept_;  // Guarded by lock_.
  std::uint32_t last_ = 0;                                               // Guarded by lock_.
};

}  // namespace varnoke::hook
